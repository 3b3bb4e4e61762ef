// The SSI exports against a recording board: argument checks in order, requests byte for byte,
// answers copied to the caller's variables, nothing written after a failure.
#include "exchange_table.h"

using namespace mfbtest;

namespace {

constexpr std::uint32_t kInitSsi = 0x900020EC;
constexpr std::uint32_t kInitSsiRawData = 0x900020F0;
constexpr std::uint32_t kRead1Value = 0x900020F4;
constexpr std::uint32_t kRead1RawData = 0x900020F8;
constexpr std::uint32_t kReadAllValues = 0x900020FC;
constexpr std::uint32_t kReadAllRawData = 0x90002100;
constexpr std::uint32_t kReadDigitalInput = 0x90002104;
constexpr std::uint32_t kSetDigitalOutput = 0x90002108;
constexpr std::uint32_t kStartAcquisition = 0x9000210C;
constexpr std::uint32_t kAcquisitionStatus = 0x90002110;
constexpr std::uint32_t kGetValue = 0x90002114;
constexpr std::uint32_t kGetRawData = 0x90002118;

// The calls, with the caller's variables in Outs: u32 results in words (and words2 for the second
// array), u8 results in bytes[0].
template <class F> Call two_words(F fn, std::uint8_t module, std::uint8_t channel) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return fn(h, module, channel, &o.words[0], &o.words[1]);
    };
}
template <class F> Call raw(F fn, std::uint8_t module, std::uint8_t channel, std::uint8_t count) {
    return
        [=](MFB_BoardHandle h, Outs& o) { return fn(h, module, channel, o.words.data(), count); };
}
const auto init = [](auto... a) { return plain(i_MFB_InitSSI, a...); };
const auto init_raw = [](auto... a) { return plain(i_MFB_InitSSIRawData, a...); };
const auto read1 = [](auto... a) { return two_words(i_MFB_Read1SSIValue, a...); };
const auto get_value = [](auto... a) { return two_words(i_MFB_GetSSIValue, a...); };
const auto read1_raw = [](auto... a) { return raw(i_MFB_Read1SSIRawDataValue, a...); };
const auto get_raw = [](auto... a) { return raw(i_MFB_GetSSIRawDataValue, a...); };
Call read_all(std::uint8_t module) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_ReadAllSSIValue(h, module, o.words.data(), o.words2.data());
    };
}
Call read_all_raw(std::uint8_t module, std::uint8_t count) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_ReadAllSSIRawDataValue(h, module, o.words.data(), count);
    };
}
const auto input_bit = [](auto... a) { return byte_out(i_MFB_ReadSSI1DigitalInput, a...); };
const auto inputs = [](auto... a) { return byte_out(i_MFB_ReadSSIAllDigitalInput, a...); };
const auto output_on = [](auto... a) { return plain(i_MFB_SetSSIDigitalOutputOn, a...); };
const auto output_off = [](auto... a) { return plain(i_MFB_SetSSIDigitalOutputOff, a...); };
const auto start = [](auto... a) { return plain(i_MFB_StartSSIAcquisition, a...); };
const auto status = [](auto... a) { return byte_out(i_MFB_GetSSIAcquisitionStatus, a...); };
using Ssi = OpenRecorderTest;

// Every function with valid arguments but the module m and the channel c, and its code for a
// failed exchange.
std::vector<ExchangeFails> functions(std::uint8_t m = 3, std::uint8_t c = 2) {
    return {
        {"InitSSI", init(m, 25, 13, 12, 30, 500'000, 0), -9},
        {"InitSSIRawData (-9, as the value set-up)", init_raw(m, 48, 30, 500'000), -9},
        {"Read1SSIValue", read1(m, c), -4},
        {"Read1SSIRawDataValue", read1_raw(m, c, 2), -4},
        {"ReadAllSSIValue", read_all(m), -3},
        {"ReadAllSSIRawDataValue", read_all_raw(m, 16), -3},
        {"ReadSSI1DigitalInput", input_bit(m, 0), -3},
        {"ReadSSIAllDigitalInput", inputs(m), -3},
        {"SetSSIDigitalOutputOn", output_on(m), -3},
        {"SetSSIDigitalOutputOff", output_off(m), -3},
        {"StartSSIAcquisition", start(m), -3},
        {"GetSSIAcquisitionStatus", status(m), -3},
        {"GetSSIValue", get_value(m, c), -4},
        {"GetSSIRawDataValue", get_raw(m, c, 2), -4},
    };
}

TEST_F(Ssi, RefusedArgumentsSendNothing) {
    for (const ExchangeFails& f : functions(4, 3)) { // the handle, then the module, wins over all
        check(Refused{f.what, stranger(f.call), -1});
        check(Refused{f.what, f.call, -2});
    }
    const Refused cases[] = {
        {"InitSSI handle, all else bad too", stranger(init(4, 1, 0, 99, 31, 0, 2)), -1},
        {"InitSSI module 4, all else bad too", init(4, 1, 0, 99, 31, 0, 2), -2},
        {"InitSSI frame 1", init(3, 1, 1, 0, 30, 500'000, 0), -3},
        {"InitSSI frame 33", init(3, 33, 1, 0, 30, 500'000, 0), -3},
        {"InitSSI frame 0, position bad too", init(3, 0, 0, 99, 30, 500'000, 0), -3},
        {"InitSSI position 0", init(3, 25, 0, 0, 30, 500'000, 0), -4},
        {"InitSSI position above frame", init(3, 25, 26, 0, 30, 500'000, 0), -4},
        {"InitSSI turns 13 of 12 left", init(3, 25, 13, 13, 30, 500'000, 0), -5},
        {"InitSSI turns 1 with position = frame", init(3, 25, 25, 1, 30, 500'000, 0), -5},
        {"InitSSI clock base 31, clock valid", init(3, 25, 13, 12, 31, 500'000, 0), -6},
        {"InitSSI clock base 0, clock and flag bad", init(3, 25, 13, 12, 0, 0, 9), -6},
        {"InitSSI base 30 at 228 Hz", init(3, 25, 13, 12, 30, 228, 0), -7},
        {"InitSSI base 33 at 251 Hz", init(3, 25, 13, 12, 33, 251, 0), -7},
        {"InitSSI base 30 at 5,000,001 Hz", init(3, 25, 13, 12, 30, 5'000'001, 0), -7},
        {"InitSSI base 33 at 5,000,001 Hz", init(3, 25, 13, 12, 33, 5'000'001, 0), -7},
        {"InitSSI 0 Hz, flag bad too", init(3, 25, 13, 12, 30, 0, 2), -7},
        {"InitSSI option 2", init(3, 25, 13, 12, 30, 500'000, 2), -8},
        {"InitSSIRawData frame 1", init_raw(3, 1, 30, 500'000), -3},
        {"InitSSIRawData frame 49", init_raw(3, 49, 30, 500'000), -3},
        {"InitSSIRawData clock base 31, clock valid", init_raw(3, 48, 31, 500'000), -4},
        {"InitSSIRawData clock base 255, clock bad", init_raw(3, 48, 255, 0), -4},
        {"InitSSIRawData base 30 at 228 Hz", init_raw(3, 48, 30, 228), -5},
        {"InitSSIRawData base 33 at 251 Hz", init_raw(3, 48, 33, 251), -5},
        {"InitSSIRawData at 5,000,001 Hz", init_raw(3, 48, 30, 5'000'001), -5},
        {"Read1SSIValue channel 3", read1(3, 3), -3},
        {"GetSSIValue channel 3", get_value(3, 3), -3},
        {"Read1SSIRawDataValue channel 3", read1_raw(3, 3, 2), -3},
        {"GetSSIRawDataValue channel 3", get_raw(3, 3, 2), -3},
        // The answer holds 16 words: a larger count is refused before anything is sent.
        {"ReadAllSSIRawDataValue 17 words", read_all_raw(3, 17), -4},
        {"ReadAllSSIRawDataValue 255 words", read_all_raw(0, 255), -4},
    };
    check_all(cases);
}

// Answer words 1 to 17 from offset 4 of a buffer of `size` bytes, the rest of it 0: word(i) is
// the i-th of them.
std::uint32_t word(std::uint32_t i) {
    return 0x01000001u * (i + 1);
}
Bytes numbered_words(std::size_t size) {
    Bytes b(size, 0);
    for (std::uint32_t i = 0; 4 + 4 * i + 4 <= size; ++i)
        mfb::vbus::put_u32(b, 4 + 4 * i, word(i));
    return b;
}
std::vector<std::uint32_t> first_words(std::uint32_t n) {
    std::vector<std::uint32_t> w;
    for (std::uint32_t i = 0; i < n; ++i)
        w.push_back(word(i));
    return w;
}

TEST_F(Ssi, RequestsByteForByteAndWhatTheyCopy) {
    const Sent cases[] = {
        {"InitSSI 25 = 13 + 12 bits, 30 MHz base, 500 kHz", init(3, 25, 13, 12, 30, 500'000, 0),
         kInitSsi, cat({{3, 25, 13, 12, 30, 0, 0, 0}, le32(500'000), {0, 0, 0, 0}})},
        {"InitSSI shortest frame, 1 + 1 bits, Gray", init(0, 2, 1, 1, 33, 252, 1), kInitSsi,
         cat({{0, 2, 1, 1, 33, 0, 0, 0}, le32(252), {1, 0, 0, 0}})},
        {"InitSSI position = frame, no turns", init(1, 2, 2, 0, 30, 229, 0), kInitSsi,
         cat({{1, 2, 2, 0, 30, 0, 0, 0}, le32(229), zeros(4)})},
        {"InitSSI 32-bit position", init(2, 32, 32, 0, 30, 5'000'000, 1), kInitSsi,
         cat({{2, 32, 32, 0, 30, 0, 0, 0}, le32(5'000'000), {1, 0, 0, 0}})},
        {"InitSSI 1 + 31 bits", init(3, 32, 1, 31, 33, 5'000'000, 0), kInitSsi,
         cat({{3, 32, 1, 31, 33, 0, 0, 0}, le32(5'000'000), zeros(4)})},
        {"InitSSIRawData 48 bits, 33 MHz, 1 MHz", init_raw(3, 48, 33, 1'000'000), kInitSsiRawData,
         cat({{3, 48, 33, 0}, le32(1'000'000)})},
        {"InitSSIRawData 2 bits, slowest clock", init_raw(0, 2, 30, 229), kInitSsiRawData,
         cat({{0, 2, 30, 0}, le32(229)})},
        {"Read1SSIValue channel 2: value 1 from offset 4, value 2 from 8", read1(3, 2), kRead1Value,
         cat({{3, 2}, zeros(10)}), 12, numbered_words(12), Writes{.words = {word(0), word(1)}}},
        {"GetSSIValue channel 0", get_value(1, 0), kGetValue, cat({{1, 0}, zeros(10)}), 12,
         numbered_words(12), Writes{.words = {word(0), word(1)}}},
        {"ReadAllSSIValue: positions from offsets 4-12, turns from 16-24", read_all(3),
         kReadAllValues, cat({{3}, zeros(27)}), 28, numbered_words(28),
         Writes{.words = first_words(3), .words2 = {word(3), word(4), word(5)}}},
        {"ReadSSIAllDigitalInput: the byte whole", inputs(1), kReadDigitalInput, Bytes{1, 0}, 2,
         Bytes{0xEE, 0xC3}, Writes{.bytes = {0xC3}}},
        {"SetSSIDigitalOutputOn", output_on(3), kSetDigitalOutput, {3, 1}},
        {"SetSSIDigitalOutputOff", output_off(3), kSetDigitalOutput, {3, 0}},
        {"StartSSIAcquisition", start(2), kStartAcquisition, {2}},
        {"GetSSIAcquisitionStatus: the byte whole", status(3), kAcquisitionStatus, Bytes{3, 0}, 2,
         Bytes{0xEE, 0xC3}, Writes{.bytes = {0xC3}}},
    };
    check_all(cases);
}

TEST_F(Ssi, FailedExchangeGivesEachFunctionsCode) {
    check_all(functions());
}

// The caller's array holds two words: both are written whatever the count asks for.
TEST_F(Ssi, RawWordsOfOneChannel) {
    struct Case {
        std::uint8_t count;
        std::uint32_t second; // element 1 afterwards
    };
    const Case cases[] = {{0, 0}, {1, 0}, {2, word(1)}, {255, word(1)}};
    for (const Case& k : cases) {
        SCOPED_TRACE(int{k.count});
        const Bytes request = cat({{3, 2}, zeros(10), {k.count, 0, 0, 0}});
        const Writes writes{.words = {word(0), k.second}};
        check(Sent{"Read1SSIRawDataValue", read1_raw(3, 2, k.count), kRead1RawData, request, 16,
                   numbered_words(16), writes});
        check(Sent{"GetSSIRawDataValue", get_raw(3, 2, k.count), kGetRawData, request, 16,
                   numbered_words(16), writes});
    }
}

TEST_F(Ssi, RawWordsOfAllChannelsCopyTheCountOnly) {
    for (std::uint8_t count : {0, 1, 16}) {
        SCOPED_TRACE(int{count});
        check(Sent{"ReadAllSSIRawDataValue", read_all_raw(3, count), kReadAllRawData,
                   cat({{3}, zeros(67), {count, 0, 0, 0}}), 72, numbered_words(72),
                   Writes{.words = first_words(count)}});
    }
}

TEST_F(Ssi, OneDigitalInputBit) {
    // The byte has bits 0 to 7 only: higher bit numbers read 0, however the byte is set.
    const std::uint8_t cases[][3] = {{0x05, 0, 1},  {0x05, 1, 0},  {0x05, 2, 1},  {0x05, 3, 0},
                                     {0x80, 7, 1},  {0x7F, 7, 0},  {0xFF, 8, 0},  {0xFF, 31, 0},
                                     {0xFF, 32, 0}, {0xFF, 33, 0}, {0xFF, 255, 0}};
    for (const auto& [byte, bit, expected] : cases) {
        SCOPED_TRACE(testing::Message() << "byte " << int{byte} << " bit " << int{bit});
        check(Sent{"ReadSSI1DigitalInput", input_bit(3, bit), kReadDigitalInput, Bytes{3, 0}, 2,
                   Bytes{0xEE, byte}, Writes{.bytes = {expected}}});
    }
}

} // namespace
