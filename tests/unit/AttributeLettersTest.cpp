// The letters of "-a": which field each letter writes, the tie-breaks
// between letters, and the report of bytes that name no attribute.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/ChangeRequest.h"
#include "config/BuildChoices.h"
#include "parse/AttributeLetters.h"

namespace {

const std::string kInvalidLetter = "Invalid File Attribute Specified.";

// The busy letters exist only in builds with the busy bit; elsewhere Z and z
// are invalid bytes like any other.
constexpr bool kBusy = build::hasBusy;
constexpr int kBusyLetterInvalid = kBusy ? 0 : 1;

struct ParsedLetters {
    ChangeRequest request;
    std::string output;  // standard output, byte for byte
};

// Parses each value in turn into one fresh request, as several "-a"
// options on one command line do.
ParsedLetters ParseValues(const std::vector<std::string>& values) {
    ParsedLetters parsed{};
    testing::internal::CaptureStdout();
    for (const std::string& value : values)
        ParseAttributeLetters(value.c_str(), parsed.request);
    parsed.output = testing::internal::GetCapturedStdout();
    return parsed;
}

std::string InvalidMessages(int count) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += kInvalidLetter;
    return text;
}

std::string Hex(unsigned value) {
    char text[16];
    snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// The display-flag letters and the bit that each names.
struct DisplayLetterRow {
    char upper;
    char lower;
    uint16_t bit;
    const char* meaning;
};

constexpr DisplayLetterRow kDisplayLetters[] = {
    {'A', 'a', 0x8000, "alias file"},
    {'B', 'b', 0x2000, "bundle"},
    {'C', 'c', 0x0400, "custom icon"},
    {'D', 'd', 0x0001, "on the desktop"},
    {'E', 'e', 0x0010, "hidden extension"},
    {'I', 'i', 0x0100, "inited"},
    {'M', 'm', 0x0040, "shared"},
    {'N', 'n', 0x0080, "no INIT resources"},
    {'S', 's', 0x1000, "system (name locked)"},
    {'T', 't', 0x0800, "stationery"},
    {'V', 'v', 0x4000, "invisible"},
};

TEST(AttributeLetters, EachDisplayLetterNamesItsOwnBit) {
    for (const DisplayLetterRow& row : kDisplayLetters) {
        SCOPED_TRACE(std::string(1, row.upper) + ": " + row.meaning);

        const ParsedLetters set = ParseValues({std::string(1, row.upper)});
        EXPECT_EQ(Hex(set.request.setMask), Hex(row.bit)) << "uppercase sets";
        EXPECT_EQ(set.request.clearMask, 0);
        EXPECT_EQ(set.request.lockedRequested, 0);
        EXPECT_FALSE(BusyRequested(set.request));
        EXPECT_EQ(set.output, "");

        const ParsedLetters clear = ParseValues({std::string(1, row.lower)});
        EXPECT_EQ(clear.request.setMask, 0);
        EXPECT_EQ(Hex(clear.request.clearMask), Hex(row.bit)) << "lowercase clears";
        EXPECT_EQ(clear.output, "");
    }
}

// Every byte that is not one of the letters prints the message once and
// changes nothing: the other letters of the alphabet, digits, blanks,
// punctuation, control bytes and every byte from 0x80 up.
TEST(AttributeLetters, EveryOtherByteIsReportedAndChangesNothing) {
    const std::string valid = std::string("ABCDEIMNSTVLabcdeimnstvl") + (kBusy ? "Zz" : "");
    int checked = 0;
    for (int byte = 1; byte <= 0xFF; ++byte) {
        const char c = static_cast<char>(byte);
        if (valid.find(c) != std::string::npos)
            continue;
        SCOPED_TRACE("byte " + Hex(static_cast<unsigned>(byte)));
        const ParsedLetters parsed = ParseValues({std::string(1, c)});
        EXPECT_EQ(parsed.output, kInvalidLetter);
        EXPECT_EQ(parsed.request.setMask, 0);
        EXPECT_EQ(parsed.request.clearMask, 0);
        EXPECT_EQ(parsed.request.lockedRequested, 0);
        EXPECT_FALSE(BusyRequested(parsed.request));
        ++checked;
    }
    EXPECT_EQ(checked, 255 - static_cast<int>(valid.size()));
}

// One or more "-a" values and everything they leave in the request.
struct LettersRow {
    std::vector<std::string> values;
    uint16_t setMask;
    uint16_t clearMask;
    uint8_t lockedRequested;
    uint8_t lockedValue;
    bool busyRequested;
    bool busyValue;
    int invalidMessages;
    const char* comment;
};

const LettersRow kLetterRows[] = {
    {{""}, 0, 0, 0, 0, false, false, 0, "an empty value changes nothing and prints nothing"},
    {{"ABCDEIMNSTV"}, 0xFDD1, 0, 0, 0, false, false, 0, "all display letters set 0xFDD1"},
    {{"abcdeimnstv"}, 0, 0xFDD1, 0, 0, false, false, 0, "all display letters in lowercase clear 0xFDD1"},
    {{"VV"}, 0x4000, 0, 0, 0, false, false, 0, "a repeated letter counts once"},
    {{"Vv"}, 0x4000, 0x4000, 0, 0, false, false, 0, "both cases put the bit into both masks"},
    {{"vV"}, 0x4000, 0x4000, 0, 0, false, false, 0, "both cases, the other order"},
    {{"V", "v"}, 0x4000, 0x4000, 0, 0, false, false, 0, "both cases in two values"},
    {{"A", "B"}, 0xA000, 0, 0, 0, false, false, 0, "a second value adds to the masks"},
    {{"Ad", "aD"}, 0x8001, 0x8001, 0, 0, false, false, 0, "a second value never resets the masks"},
    {{"L"}, 0, 0, 1, 1, false, false, 0, "L requests the locked bit set, masks stay 0"},
    {{"l"}, 0, 0, 1, 0, false, false, 0, "l requests the locked bit cleared"},
    {{"Ll"}, 0, 0, 1, 0, false, false, 0, "of L and l the last wins"},
    {{"lL"}, 0, 0, 1, 1, false, false, 0, "of l and L the last wins"},
    {{"L", "l"}, 0, 0, 1, 0, false, false, 0, "the last wins across values"},
    {{"l", "V"}, 0x4000, 0, 1, 0, false, false, 0, "a value without L or l keeps the earlier choice"},
    {{"Z"}, 0, 0, 0, 0, kBusy, kBusy, kBusyLetterInvalid, "Z requests the busy bit set"},
    {{"z"}, 0, 0, 0, 0, kBusy, false, kBusyLetterInvalid, "z requests the busy bit cleared"},
    {{"Zz"}, 0, 0, 0, 0, kBusy, false, 2 * kBusyLetterInvalid, "of Z and z the last wins"},
    {{"zZ"}, 0, 0, 0, 0, kBusy, kBusy, 2 * kBusyLetterInvalid, "of z and Z the last wins"},
    {{"Z", "z"}, 0, 0, 0, 0, kBusy, false, 2 * kBusyLetterInvalid, "the last wins across values"},
    {{"VZD"}, 0x4001, 0, 0, 0, kBusy, kBusy, kBusyLetterInvalid, "Z between display letters"},
    {{"VxD"}, 0x4001, 0, 0, 0, false, false, 1, "an invalid letter leaves its neighbours alone"},
    {{"Vx1"}, 0x4000, 0, 0, 0, false, false, 2, "two invalid bytes, two messages run together"},
    {{"V D"}, 0x4001, 0, 0, 0, false, false, 1, "a blank is an invalid byte"},
    {{"\xC3\xA9"}, 0, 0, 0, 0, false, false, 2, "a two-byte UTF-8 character is two invalid bytes"},
    {{"\x80V\xFF"}, 0x4000, 0, 0, 0, false, false, 2, "high bytes around a letter"},
    {{"x", "Lq"}, 0, 0, 1, 1, false, false, 2, "messages of two values continue on one line"},
};

TEST(AttributeLetters, ValuesMergeIntoTheRequest) {
    for (const LettersRow& row : kLetterRows) {
        SCOPED_TRACE(row.comment);
        const ParsedLetters parsed = ParseValues(row.values);
        const ChangeRequest& request = parsed.request;
        EXPECT_EQ(Hex(request.setMask), Hex(row.setMask));
        EXPECT_EQ(Hex(request.clearMask), Hex(row.clearMask));
        EXPECT_EQ(request.lockedRequested, row.lockedRequested);
        EXPECT_EQ(request.lockedValue, row.lockedValue);
        EXPECT_EQ(BusyRequested(request), row.busyRequested);
        EXPECT_EQ(BusyValue(request), row.busyValue);
        EXPECT_EQ(parsed.output, InvalidMessages(row.invalidMessages));
        // Marking the attributes as requested is the option parser's job.
        EXPECT_EQ(request.attributesRequested, 0);
    }
}

// A value is walked to its end whatever its length: here a million bytes,
// more than one argument can carry (the kernel passes at most 128 KiB per
// argument). Each bad byte is reported, and letters far apart still count.
TEST(AttributeLetters, AMillionByteValueIsWalkedToItsEnd) {
    std::string value(1'000'000, '?');
    value.front() = 'V';
    value[value.size() / 2] = 'L';
    value.back() = 'v';
    const int invalid = static_cast<int>(value.size()) - 3;

    const ParsedLetters parsed = ParseValues({value});
    EXPECT_EQ(parsed.output.size(), static_cast<size_t>(invalid) * kInvalidLetter.size());
    EXPECT_TRUE(parsed.output == InvalidMessages(invalid)) << "the message, repeated and nothing else";
    EXPECT_EQ(Hex(parsed.request.setMask), Hex(0x4000));
    EXPECT_EQ(Hex(parsed.request.clearMask), Hex(0x4000));
    EXPECT_EQ(parsed.request.lockedRequested, 1);
    EXPECT_EQ(parsed.request.lockedValue, 1);
}

}  // namespace
