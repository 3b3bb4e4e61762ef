// The status table (include/mfb_status.json, compiled into mfbctl) against the export definition
// and the code lists of include/mfb.h, and the status texts mfbctl prints from it.
//
// mfb.h is read as its comment convention says: a comment lists codes as items separated by ';',
// ':' or '.', an item that starts with a code ("-3 timer number above 2", "-3 to -6 device path",
// "+100 ...") lists it; a comment applies to the declarations right below it, up to a blank line
// or another comment; a section's opening comment (after a "----" heading, not right above a
// declaration) applies to every declaration of the section. Where the board driver's status
// becomes the code, the table gives the rule and the header may spell such codes out.
#include "common/status.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

using mfbctl::codes;
using mfbctl::exports;

std::string read_file(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::set<int> table_codes(const std::string& name) {
    std::set<int> result;
    if (const mfbctl::ExportEntry* e = mfbctl::find_export(name))
        for (const mfbctl::StatusCode& c : codes(*e))
            result.insert(c.code);
    return result;
}

// The codes a comment lists.
std::set<int> listed_codes(std::string text) {
    for (std::size_t at; (at = text.find("\xE2\x88\x92")) != std::string::npos;) // U+2212 minus
        text.replace(at, 3, "-");
    static const std::regex item(R"(^[\s/*]*([-+])(\d+)(?:\s+to\s+-(\d+))?\b)");
    std::set<int> result;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = text.find_first_of(";:.", start);
        const std::string part = text.substr(start, end == std::string::npos ? end : end - start);
        std::smatch m;
        if (std::regex_search(part, m, item)) {
            const int sign = m[1] == "-" ? -1 : 1;
            const int first = std::stoi(m[2]);
            const int last = m[3].matched ? std::stoi(m[3]) : first;
            for (int c = first; c <= last; ++c)
                result.insert(sign * c);
        }
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    result.erase(0);
    return result;
}

// Each i_MFB_ declaration of the header with the codes its comments list.
std::map<std::string, std::set<int>> header_codes(const std::string& header) {
    enum class Kind { Comment, Declaration, Blank, Other };
    struct Element {
        Kind kind;
        std::string text; // comment text, or the declared name
    };
    std::vector<Element> elements;
    std::istringstream in(header);
    static const std::regex declaration(R"(^int16_t MFB_CALL (i_MFB_\w+)\()");
    for (std::string line; std::getline(in, line);) {
        const auto first = line.find_first_not_of(" \t");
        std::smatch m;
        if (first == std::string::npos) {
            elements.push_back({Kind::Blank, ""});
        } else if (line.compare(first, 2, "/*") == 0) {
            std::string text = line;
            while (text.find("*/") == std::string::npos && std::getline(in, line))
                text += "\n" + line;
            elements.push_back({Kind::Comment, text});
        } else if (std::regex_search(line, m, declaration)) {
            elements.push_back({Kind::Declaration, m[1]});
            while (line.find(';') == std::string::npos && std::getline(in, line)) {
            }
        } else {
            elements.push_back({Kind::Other, ""});
        }
    }
    std::map<std::string, std::set<int>> result;
    std::set<int> lead, attached;
    bool after_heading = false;
    for (std::size_t i = 0; i < elements.size(); ++i) {
        const Element& e = elements[i];
        const bool next_is_declaration =
            i + 1 < elements.size() && elements[i + 1].kind == Kind::Declaration;
        if (e.kind == Kind::Comment && e.text.find("----") != std::string::npos) {
            lead.clear(), attached.clear();
            after_heading = true;
        } else if (e.kind == Kind::Comment) {
            if (after_heading && !next_is_declaration)
                lead = listed_codes(e.text);
            else
                attached = listed_codes(e.text);
            after_heading = false;
        } else if (e.kind == Kind::Declaration) {
            std::set<int> all = lead;
            all.insert(attached.begin(), attached.end());
            result[e.text] = all;
            after_heading = false;
            if (!next_is_declaration)
                attached.clear();
        } else if (e.kind != Kind::Blank || !after_heading) {
            attached.clear();
        }
    }
    return result;
}

std::string show(const std::set<int>& codes) {
    std::string s;
    for (int c : codes)
        s += " " + std::to_string(c);
    return s.empty() ? " none" : s;
}

TEST(StatusTable, ListsEveryExportOnceWithItsCodesOnce) {
    ASSERT_EQ(exports().size(), 121u);
    std::set<int> ordinals;
    std::set<std::string> names;
    for (const auto& e : exports()) {
        EXPECT_TRUE(ordinals.insert(e.ordinal).second) << e.ordinal;
        EXPECT_TRUE(names.insert(e.name).second) << e.name;
        std::set<int> seen;
        for (const auto& c : codes(e)) {
            EXPECT_NE(c.code, 0) << e.name;
            EXPECT_TRUE(seen.insert(c.code).second) << e.name << " lists " << c.code << " twice";
            EXPECT_STRNE(c.meaning, "") << e.name << " " << c.code;
        }
    }
}

TEST(StatusTable, HoldsEveryExportOfTheDefinitionAtItsOrdinal) {
    const std::string def = read_file(MFB_SOURCE_DIR "/MFB.def");
    static const std::regex line(R"(^\s+(\w+)@\d+\s+@(\d+))");
    std::istringstream in(def);
    unsigned found = 0;
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        if (!std::regex_search(l, m, line))
            continue;
        ++found;
        const mfbctl::ExportEntry* e = mfbctl::find_export(m[1].str());
        ASSERT_NE(e, nullptr) << m[1] << " is not in the status table";
        EXPECT_EQ(e->ordinal, std::stoi(m[2])) << m[1];
    }
    EXPECT_GT(found, 80u); // the definition was read
}

TEST(StatusTable, EqualsTheCodeListsOfTheHeader) {
    const auto header = header_codes(read_file(MFB_SOURCE_DIR "/include/mfb.h"));
    EXPECT_GT(header.size(), 80u); // the header was read
    for (const auto& [name, listed] : header) {
        const mfbctl::ExportEntry* e = mfbctl::find_export(name);
        ASSERT_NE(e, nullptr) << name << " is not in the status table";
        // The header may also spell out codes that come from the board driver's status ("-1 to
        // -255 the driver's status byte negated"), which the table gives by its driver rule.
        std::set<int> own = listed;
        std::erase_if(own, [&](int c) { return mfbctl::driver_status(name, c).has_value(); });
        EXPECT_EQ(own, table_codes(name)) << name << ": the header lists" << show(listed)
                                          << ", the table" << show(table_codes(name));
    }
}

TEST(StatusTable, ReadsTheHeaderConvention) {
    EXPECT_EQ(
        listed_codes("/* -1 handle not open; -3 to -5 device path; -9 x (-7 is not used); 0. */"),
        (std::set<int>{-1, -3, -4, -5, -9}));
    EXPECT_EQ(listed_codes("/* Every function: \xE2\x88\x92"
                           "100 exchange failed; +100 refused; "
                           "ports 0 to 3; (s = 1 gives -101). */"),
              (std::set<int>{-100, 100}));
    const auto h = header_codes("/* ---- x ----\n */\n/* Every function: -1 handle not open. */\n\n"
                                "/* -2 a. */\nint16_t MFB_CALL i_MFB_A(int);\nint16_t MFB_CALL "
                                "i_MFB_B(int,\n int);\n\nint16_t MFB_CALL i_MFB_C(int);\n");
    EXPECT_EQ(h.at("i_MFB_A"), (std::set<int>{-1, -2}));
    EXPECT_EQ(h.at("i_MFB_B"), (std::set<int>{-1, -2}));
    EXPECT_EQ(h.at("i_MFB_C"), (std::set<int>{-1}));
}

TEST(StatusTable, DescribesListedCodesAndDriverRefusals) {
    const struct {
        const char* function;
        int status;
        const char* text;
    } cases[] = {
        {"i_MFB_ReadTimerValue", -3, "i_MFB_ReadTimerValue: -3 timer number above 2"},
        {"i_MFB_EnableCompareLogic", -15,
         "i_MFB_EnableCompareLogic: -15 no interrupt routine installed"},
        {"i_MFB_InitCounter", -3,
         "i_MFB_InitCounter: -3 the board driver refused (driver status -2)"},
        {"i_MFB_SetNewPWMTiming", -101,
         "i_MFB_SetNewPWMTiming: -101 the board driver refused (driver status 1)"},
        {"i_MFB_ReadPulseEncoderValue", -3,
         "i_MFB_ReadPulseEncoderValue: -3 the board driver refused (driver status 3)"},
        {"i_MFB_ReadETMValue", 5,
         "i_MFB_ReadETMValue: 5 the board driver refused (driver status 5)"},
        {"i_MFB_ReadTimerValue", -7, "i_MFB_ReadTimerValue: -7 not a code of this function"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mfbctl::describe_status(c.function, c.status), c.text);
}

} // namespace
