// What the tool says about a board beyond the status codes, from the explanation table compiled in
// from include/mfb_explain.json (the Python package reads the same table): the functions a module
// position carries, why a simulated module refused a request, what an interrupt record holds, and
// the names of status bits and information words.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mfbctl::explain {

// A function of a module configuration word (bits 7-0).
struct FunctionInfo {
    unsigned code;
    const char* name;   // as commands show it: "counter", "frequency"
    const char* family; // the command that drives it: "freq"; "" for none
    const char* words;  // in a sentence: "a counter", "empty"
};
std::span<const FunctionInfo> functions();
// The function with a code; null for a number the table does not know.
const FunctionInfo* function(unsigned code);
// The function a name, a family or its Python spelling names ("frequency", "freq",
// "pulse_encoder"); null for none.
const FunctionInfo* find_function(std::string_view name);

// "board 0 module 0 is a counter, not a timer"
std::string wrong_function(const std::string& where, unsigned actual, unsigned expected);

// Why a simulated module (function code) refused an export's call: by the driver status the
// export's rule gives, or by the export's own code. "" where the table says nothing.
std::string refusal(unsigned function, std::string_view export_name, int status,
                    std::optional<long> driver_status);

// An interrupt record read for the function at its module position.
struct Field {
    std::string name;
    std::uint32_t value;
    std::string word; // the word for the value, where the table names one
};
struct Decoded {
    std::string source; // "compare", "zero"; "" where the function raises none the table knows
    std::vector<Field> fields;
};
Decoded decode_interrupt(unsigned function, std::uint32_t word1, std::uint32_t word2,
                         std::span<const std::uint32_t> values);

// The names of a status byte: the bits that are set ("counter.uas"), or the name of its value
// ("counter.latch"); empty where the table names none.
std::vector<std::string> flags(std::string_view name, unsigned value);

// The information record's words 1 to 5 and its byte.
struct InformationWord {
    const char* name;  // "serial", "pci_bus"
    const char* label; // "serial", "PCI bus"
    bool hex;
};
std::span<const InformationWord> board_information();

} // namespace mfbctl::explain
