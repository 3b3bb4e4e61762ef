#include "explain.h"

#include <algorithm>
#include <iterator>

namespace mfbctl::explain {
namespace {

struct RefusalEntry {
    const char* function;
    const char* export_name; // "" for every export of the function
    int status;
    bool driver; // status is a driver status; else the export's code
    const char* meaning;
};
struct SourceName {
    const char* function;
    std::uint32_t value;
    const char* name;
};
struct FieldRule {
    const char* name;
    const char* from; // "word1", "word2", "value0" to "value15"
    int bit;          // -1: the whole word
    const char* word0;
    const char* word1;
};
struct InterruptEntry {
    const char* function;
    const char* source_from; // "word1", or "" with a fixed source
    const char* source;
    unsigned first, count; // in kFields
};
struct FlagName {
    const char* name;
    bool bit;
    unsigned value;
    const char* word;
};

#include "explain_table.inc"

std::string replace(std::string text, std::string_view key, const std::string& by) {
    if (const auto at = text.find(key); at != std::string::npos)
        text.replace(at, key.size(), by);
    return text;
}

std::string normalised(std::string_view name) {
    std::string s(name);
    std::replace(s.begin(), s.end(), '_', '-');
    return s;
}

} // namespace

std::span<const FunctionInfo> functions() {
    return kFunctions;
}

const FunctionInfo* function(unsigned code) {
    for (const FunctionInfo& f : kFunctions)
        if (f.code == code)
            return &f;
    return nullptr;
}

const FunctionInfo* find_function(std::string_view name) {
    const std::string n = normalised(name);
    for (const FunctionInfo& f : kFunctions)
        if (n == f.name || (*f.family && n == f.family))
            return &f;
    return nullptr;
}

std::string wrong_function(const std::string& where, unsigned actual, unsigned expected) {
    const auto words = [](unsigned code) {
        const FunctionInfo* f = function(code);
        return f ? std::string(f->words) : "function " + std::to_string(code);
    };
    std::string text = replace(kWrongFunction, "{where}", where);
    text = replace(text, "{actual}", words(actual));
    return replace(text, "{expected}", words(expected));
}

std::string refusal(unsigned code, std::string_view export_name, int status,
                    std::optional<long> driver_status) {
    const FunctionInfo* f = function(code);
    if (!f)
        return "";
    for (const RefusalEntry& r : kRefusals) {
        if (std::string_view(r.function) != f->name ||
            (*r.export_name && export_name != r.export_name))
            continue;
        if (r.driver ? driver_status && *driver_status == r.status : status == r.status)
            return r.meaning;
    }
    return "";
}

Decoded decode_interrupt(unsigned code, std::uint32_t word1, std::uint32_t word2,
                         std::span<const std::uint32_t> values) {
    Decoded d;
    const FunctionInfo* f = function(code);
    const auto* entry = f ? std::find_if(std::begin(kInterrupts), std::end(kInterrupts),
                                         [&](const InterruptEntry& e) {
                                             return std::string_view(e.function) == f->name;
                                         })
                          : std::end(kInterrupts);
    if (entry == std::end(kInterrupts))
        return d;
    const auto word = [&](std::string_view from) -> std::uint32_t {
        if (from == "word1")
            return word1;
        if (from == "word2")
            return word2;
        const unsigned i = static_cast<unsigned>(std::stoul(std::string(from.substr(5))));
        return i < values.size() ? values[i] : 0;
    };
    d.source = entry->source;
    if (*entry->source_from) {
        const std::uint32_t v = word(entry->source_from);
        d.source = "unknown";
        for (const SourceName& s : kSources)
            if (std::string_view(s.function) == f->name && s.value == v)
                d.source = s.name;
    }
    for (unsigned i = entry->first; i < entry->first + entry->count; ++i) {
        const FieldRule& rule = kFields[i];
        std::uint32_t v = word(rule.from);
        if (rule.bit >= 0)
            v = (v >> rule.bit) & 1;
        d.fields.push_back({rule.name, v, rule.bit >= 0 ? (v ? rule.word1 : rule.word0) : ""});
    }
    return d;
}

std::vector<std::string> flags(std::string_view name, unsigned value) {
    std::vector<std::string> names;
    for (const FlagName& f : kFlags)
        if (name == f.name && (f.bit ? (value >> f.value) & 1 : value == f.value))
            names.push_back(f.word);
    return names;
}

std::span<const InformationWord> board_information() {
    return kInformation;
}

} // namespace mfbctl::explain
