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
Call init(std::uint8_t module, std::uint8_t frame, std::uint8_t position, std::uint8_t turns,
          std::uint8_t base, std::uint32_t hz, std::uint8_t option) {
    return [=](MFB_BoardHandle h, Outs&) {
        return i_MFB_InitSSI(h, module, frame, position, turns, base, hz, option);
    };
}
Call init_raw(std::uint8_t module, std::uint8_t frame, std::uint8_t base, std::uint32_t hz) {
    return
        [=](MFB_BoardHandle h, Outs&) { return i_MFB_InitSSIRawData(h, module, frame, base, hz); };
}
Call read1(std::uint8_t module, std::uint8_t channel) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_Read1SSIValue(h, module, channel, &o.words[0], &o.words[1]);
    };
}
Call get_value(std::uint8_t module, std::uint8_t channel) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_GetSSIValue(h, module, channel, &o.words[0], &o.words[1]);
    };
}
Call read1_raw(std::uint8_t module, std::uint8_t channel, std::uint8_t count) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_Read1SSIRawDataValue(h, module, channel, o.words.data(), count);
    };
}
Call get_raw(std::uint8_t module, std::uint8_t channel, std::uint8_t count) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_GetSSIRawDataValue(h, module, channel, o.words.data(), count);
    };
}
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
Call input_bit(std::uint8_t module, std::uint8_t bit) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_ReadSSI1DigitalInput(h, module, bit, &o.bytes[0]);
    };
}
Call inputs(std::uint8_t module) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_ReadSSIAllDigitalInput(h, module, &o.bytes[0]);
    };
}
Call output_on(std::uint8_t module) {
    return [=](MFB_BoardHandle h, Outs&) { return i_MFB_SetSSIDigitalOutputOn(h, module); };
}
Call output_off(std::uint8_t module) {
    return [=](MFB_BoardHandle h, Outs&) { return i_MFB_SetSSIDigitalOutputOff(h, module); };
}
Call start(std::uint8_t module) {
    return [=](MFB_BoardHandle h, Outs&) { return i_MFB_StartSSIAcquisition(h, module); };
}
Call status(std::uint8_t module) {
    return [=](MFB_BoardHandle h, Outs& o) {
        return i_MFB_GetSSIAcquisitionStatus(h, module, &o.bytes[0]);
    };
}
using Ssi = OpenRecorderTest;

TEST_F(Ssi, RefusedArgumentsSendNothing) {
    const Refused cases[] = {
        // A handle that no slot holds wins over every other argument.
        {"InitSSI handle", stranger(init(9, 1, 0, 99, 31, 0, 2)), -1},
        {"InitSSI module 4, all else bad too", init(4, 1, 0, 99, 31, 0, 2), -2},
        {"InitSSI frame 1", init(3, 1, 1, 0, 30, 500'000, 0), -3},
        {"InitSSI frame 33", init(3, 33, 1, 0, 30, 500'000, 0), -3},
        {"InitSSI frame 0, position bad too", init(3, 0, 0, 99, 30, 500'000, 0), -3},
        {"InitSSI position 0", init(3, 25, 0, 0, 30, 500'000, 0), -4},
        {"InitSSI position above frame", init(3, 25, 26, 0, 30, 500'000, 0), -4},
        {"InitSSI position 255, turns 255", init(3, 32, 255, 255, 30, 500'000, 0), -4},
        {"InitSSI turns 13 of 12 left", init(3, 25, 13, 13, 30, 500'000, 0), -5},
        {"InitSSI turns 1 with position = frame", init(3, 25, 25, 1, 30, 500'000, 0), -5},
        {"InitSSI turns 255", init(3, 2, 1, 255, 30, 500'000, 0), -5},
        {"InitSSI clock base 31, clock valid", init(3, 25, 13, 12, 31, 500'000, 0), -6},
        {"InitSSI clock base 0, clock and flag bad", init(3, 25, 13, 12, 0, 0, 9), -6},
        {"InitSSI base 30 at 228 Hz", init(3, 25, 13, 12, 30, 228, 0), -7},
        {"InitSSI base 33 at 251 Hz", init(3, 25, 13, 12, 33, 251, 0), -7},
        {"InitSSI base 30 at 5,000,001 Hz", init(3, 25, 13, 12, 30, 5'000'001, 0), -7},
        {"InitSSI base 33 at 5,000,001 Hz", init(3, 25, 13, 12, 33, 5'000'001, 0), -7},
        {"InitSSI 0 Hz, flag bad too", init(3, 25, 13, 12, 30, 0, 2), -7},
        {"InitSSI 0xFFFFFFFF Hz", init(3, 25, 13, 12, 33, 0xFFFFFFFF, 0), -7},
        {"InitSSI option 2", init(3, 25, 13, 12, 30, 500'000, 2), -8},
        {"InitSSI option 255", init(3, 25, 13, 12, 30, 500'000, 255), -8},

        {"InitSSIRawData handle", stranger(init_raw(9, 0, 0, 0)), -1},
        {"InitSSIRawData module 4", init_raw(4, 0, 0, 0), -2},
        {"InitSSIRawData frame 1", init_raw(3, 1, 30, 500'000), -3},
        {"InitSSIRawData frame 49", init_raw(3, 49, 30, 500'000), -3},
        {"InitSSIRawData clock base 31, clock valid", init_raw(3, 48, 31, 500'000), -4},
        {"InitSSIRawData clock base 255, clock bad", init_raw(3, 48, 255, 0), -4},
        {"InitSSIRawData base 30 at 228 Hz", init_raw(3, 48, 30, 228), -5},
        {"InitSSIRawData base 33 at 251 Hz", init_raw(3, 48, 33, 251), -5},
        {"InitSSIRawData at 5,000,001 Hz", init_raw(3, 48, 30, 5'000'001), -5},

        {"Read1SSIValue handle", stranger(read1(3, 0)), -1},
        {"Read1SSIValue module 4, channel bad too", read1(4, 3), -2},
        {"Read1SSIValue channel 3", read1(3, 3), -3},
        {"Read1SSIValue channel 255", read1(0, 255), -3},
        {"GetSSIValue handle", stranger(get_value(3, 0)), -1},
        {"GetSSIValue module 4", get_value(4, 3), -2},
        {"GetSSIValue channel 3", get_value(3, 3), -3},
        {"Read1SSIRawDataValue handle", stranger(read1_raw(3, 0, 2)), -1},
        {"Read1SSIRawDataValue module 4", read1_raw(4, 9, 2), -2},
        {"Read1SSIRawDataValue channel 3", read1_raw(3, 3, 2), -3},
        {"GetSSIRawDataValue handle", stranger(get_raw(3, 0, 2)), -1},
        {"GetSSIRawDataValue module 4", get_raw(4, 9, 2), -2},
        {"GetSSIRawDataValue channel 3", get_raw(3, 3, 2), -3},

        {"ReadAllSSIValue handle", stranger(read_all(3)), -1},
        {"ReadAllSSIValue module 4", read_all(4), -2},
        {"ReadAllSSIRawDataValue handle", stranger(read_all_raw(3, 17)), -1},
        {"ReadAllSSIRawDataValue module 4, count bad too", read_all_raw(4, 17), -2},
        // The answer holds 16 words: a larger count is refused before anything is sent.
        {"ReadAllSSIRawDataValue 17 words", read_all_raw(3, 17), -4},
        {"ReadAllSSIRawDataValue 255 words", read_all_raw(0, 255), -4},

        {"ReadSSI1DigitalInput handle", stranger(input_bit(3, 0)), -1},
        {"ReadSSI1DigitalInput module 4", input_bit(4, 0), -2},
        {"ReadSSIAllDigitalInput handle", stranger(inputs(3)), -1},
        {"ReadSSIAllDigitalInput module 4", inputs(4), -2},
        {"SetSSIDigitalOutputOn handle", stranger(output_on(3)), -1},
        {"SetSSIDigitalOutputOn module 4", output_on(4), -2},
        {"SetSSIDigitalOutputOff handle", stranger(output_off(3)), -1},
        {"SetSSIDigitalOutputOff module 255", output_off(255), -2},
        {"StartSSIAcquisition handle", stranger(start(3)), -1},
        {"StartSSIAcquisition module 4", start(4), -2},
        {"GetSSIAcquisitionStatus handle", stranger(status(3)), -1},
        {"GetSSIAcquisitionStatus module 4", status(4), -2},
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
        {"Read1SSIRawDataValue 2 words", read1_raw(3, 1, 2), kRead1RawData,
         cat({{3, 1}, zeros(10), {2, 0, 0, 0}}), 16, numbered_words(16),
         Writes{.words = {word(0), word(1)}}},
        {"GetSSIRawDataValue 255 words: two copied", get_raw(2, 2, 255), kGetRawData,
         cat({{2, 2}, zeros(10), {255, 0, 0, 0}}), 16, numbered_words(16),
         Writes{.words = {word(0), word(1)}}},
        {"ReadAllSSIValue: positions from offsets 4-12, turns from 16-24", read_all(3),
         kReadAllValues, cat({{3}, zeros(27)}), 28, numbered_words(28),
         Writes{.words = first_words(3), .words2 = {word(3), word(4), word(5)}}},
        {"ReadAllSSIRawDataValue 16 words", read_all_raw(3, 16), kReadAllRawData,
         cat({{3}, zeros(67), {16, 0, 0, 0}}), 72, numbered_words(72),
         Writes{.words = first_words(16)}},
        {"ReadAllSSIRawDataValue 0 words", read_all_raw(2, 0), kReadAllRawData,
         cat({{2}, zeros(71)}), 72, numbered_words(72)},
        {"ReadSSI1DigitalInput bit 200 reads 0",
         input_bit(3, 200),
         kReadDigitalInput,
         {3, 0},
         2,
         {0xEE, 0xFF},
         Writes{.bytes = {0}}},
        {"ReadSSIAllDigitalInput: the byte whole",
         inputs(1),
         kReadDigitalInput,
         {1, 0},
         2,
         {0xEE, 0xC3},
         Writes{.bytes = {0xC3}}},
        {"SetSSIDigitalOutputOn", output_on(3), kSetDigitalOutput, {3, 1}},
        {"SetSSIDigitalOutputOff", output_off(3), kSetDigitalOutput, {3, 0}},
        {"StartSSIAcquisition", start(2), kStartAcquisition, {2}},
        {"GetSSIAcquisitionStatus: the byte whole",
         status(3),
         kAcquisitionStatus,
         {3, 0},
         2,
         {0xEE, 0xC3},
         Writes{.bytes = {0xC3}}},
    };
    check_all(cases);
}

TEST_F(Ssi, FailedExchangeGivesEachFunctionsCode) {
    const ExchangeFails cases[] = {
        {"InitSSI", init(3, 25, 13, 12, 30, 500'000, 0), -9},
        {"InitSSIRawData (-9, as the value set-up)", init_raw(3, 48, 30, 500'000), -9},
        {"Read1SSIValue", read1(3, 0), -4},
        {"Read1SSIRawDataValue", read1_raw(3, 0, 2), -4},
        {"ReadAllSSIValue", read_all(3), -3},
        {"ReadAllSSIRawDataValue", read_all_raw(3, 16), -3},
        {"ReadSSI1DigitalInput", input_bit(3, 0), -3},
        {"ReadSSIAllDigitalInput", inputs(3), -3},
        {"SetSSIDigitalOutputOn", output_on(3), -3},
        {"SetSSIDigitalOutputOff", output_off(3), -3},
        {"StartSSIAcquisition", start(3), -3},
        {"GetSSIAcquisitionStatus", status(3), -3},
        {"GetSSIValue", get_value(3, 2), -4},
        {"GetSSIRawDataValue", get_raw(3, 2, 2), -4},
    };
    check_all(cases);
}

// The caller's array holds two words: both are written whatever the count asks for.
TEST_F(Ssi, RawWordsOfOneChannel) {
    struct Case {
        std::uint8_t count;
        std::uint32_t second; // element 1 afterwards
    };
    const Case cases[] = {{0, 0}, {1, 0}, {2, word(1)}, {3, word(1)}, {255, word(1)}};
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
    for (std::uint8_t count : {0, 1, 6, 15, 16}) {
        SCOPED_TRACE(int{count});
        check(Sent{"ReadAllSSIRawDataValue", read_all_raw(3, count), kReadAllRawData,
                   cat({{3}, zeros(67), {count, 0, 0, 0}}), 72, numbered_words(72),
                   Writes{.words = first_words(count)}});
    }
}

TEST_F(Ssi, OneDigitalInputBit) {
    struct Case {
        std::uint8_t byte, bit, expected;
    };
    const Case cases[] = {
        {0x05, 0, 1},
        {0x05, 1, 0},
        {0x05, 2, 1},
        {0x05, 3, 0},
        {0x80, 7, 1},
        {0x7F, 7, 0},
        // The byte has bits 0 to 7 only: higher bit numbers read 0, however the byte is set.
        {0xFF, 8, 0},
        {0xFF, 31, 0},
        {0xFF, 32, 0},
        {0xFF, 33, 0},
        {0xFF, 64, 0},
        {0xFF, 255, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "byte " << int{c.byte} << " bit " << int{c.bit});
        check(Sent{"ReadSSI1DigitalInput",
                   input_bit(3, c.bit),
                   kReadDigitalInput,
                   {3, 0},
                   2,
                   {0xEE, c.byte},
                   Writes{.bytes = {c.expected}}});
    }
}

} // namespace
