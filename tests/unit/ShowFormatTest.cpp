// VornikShow's values: each must be what Vornik's option takes back to the
// same stored value. Codes against FourCharCode, letters against
// ParseAttributeLetters, dates against ParseDateTime and UniversalFromLocal
// in zones with daylight-saving time.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "catalog/CatalogService.h"
#include "cli/ChangeRequest.h"
#include "cli/Options.h"
#include "config/BuildChoices.h"
#include "parse/AttributeLetters.h"
#include "parse/DateTime.h"
#include "show/ShowFormat.h"
#include "tests/support/ScopedTimeZone.h"

namespace {

uint32_t Code(const char (&bytes)[5]) {
    return uint32_t{static_cast<uint8_t>(bytes[0])} << 24 | uint32_t{static_cast<uint8_t>(bytes[1])} << 16 |
           uint32_t{static_cast<uint8_t>(bytes[2])} << 8 | uint32_t{static_cast<uint8_t>(bytes[3])};
}

// Reads an escaped code back: "\xhh" and "\\" as the man page describes them.
uint32_t UnescapeCode(const std::string& text) {
    uint32_t code = 0;
    int bytes = 0;
    for (size_t i = 0; i < text.size(); ++bytes) {
        uint8_t byte = static_cast<uint8_t>(text[i]);
        if (text[i] == '\\' && text[i + 1] == 'x') {
            byte = static_cast<uint8_t>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
            i += 4;
        } else if (text[i] == '\\') {
            i += 2;
        } else {
            i += 1;
        }
        code = code << 8 | byte;
    }
    EXPECT_EQ(bytes, 4) << text;
    return code;
}

TEST(ShowCode, TypeableCodesAreTheirBytesAndEscapedOnesAreMarked) {
    struct Row {
        char bytes[5];
        const char* text;
        const char* why;
    };
    const Row rows[] = {
        {"TEXT", "TEXT", "four letters"},
        {"a b ", "a b ", "blanks count, a trailing one too"},
        {"  AB", "  AB", "leading blanks"},
        {"a\\bc", "a\\bc", "a backslash in a typeable code stays as it is"},
        {"~!$'", "~!$'", "punctuation"},
        {"ABC", "ABC", "a zero at the end is left out"},
        {"A", "A", "zeros at the end are left out"},
        {"", "", "no code: all four bytes zero"},
        {"A\0B", "A\\x00B\\x00", "a zero between bytes cannot be typed"},
        {"\0\0\0A", "\\x00\\x00\\x00A", "leading zeros cannot be typed"},
        {"\x01\x02\x03\x04", "\\x01\\x02\\x03\\x04", "control bytes"},
        {"\x80\xff\xfe\x81", "\\x80\\xff\\xfe\\x81", "high bytes, lowercase hexadecimal"},
        {"a\\b\x7f", "a\\\\b\\x7f", "a backslash is doubled once anything is escaped"},
        {"x\ny ", "x\\x0ay ", "a newline"},
    };
    for (const Row& row : rows)
        EXPECT_STREQ(FormatCode(Code(row.bytes)).text, row.text) << row.why;
}

// Every byte at every place: a text of four characters or fewer is what -t
// takes back to the same code; a longer one is escaped and decodes to it.
TEST(ShowCode, EveryByteAtEveryPlaceRoundTrips) {
    for (int place = 0; place < 4; ++place) {
        for (int byte = 0; byte < 256; ++byte) {
            const int shift = 8 * (3 - place);
            const uint32_t code = (0x41414141u & ~(0xFFu << shift)) | uint32_t(byte) << shift;
            const std::string text = FormatCode(code).text;
            if (text.size() <= 4) {
                EXPECT_EQ(FourCharCode(text.c_str()), code) << "place " << place << " byte " << byte;
            } else {
                EXPECT_NE(text.find('\\'), std::string::npos) << text;
                EXPECT_EQ(UnescapeCode(text), code) << text;
            }
        }
    }
}

NodeRecord RecordWithBits(uint16_t display, bool locked, bool busy) {
    NodeRecord record{};
    record.presentationInfo.displayFlags = display;
    record.nodeStateFlags = static_cast<NodeStateFlags>(0xA5C2 | (locked ? kNodeLockedBit : 0));
    record.extendedPresentationInfo.extendedDisplayFlags = static_cast<ExtendedDisplayFlags>(0x6D3F | (busy ? kBusyBit : 0));
    return record;
}

const char* const kAllClear = build::hasBusy ? "abcdeimnlstvz" : "abcdeimnlstv";

TEST(ShowLetters, EachLetterShowsItsOwnBitOnly) {
    struct Row {
        uint16_t display;
        bool locked;
        bool busy;
        const char* letters;
    };
    const Row rows[] = {
        {0x8000, false, false, "Abcdeimnlstv"}, {0x2000, false, false, "aBcdeimnlstv"},
        {0x0400, false, false, "abCdeimnlstv"}, {0x0001, false, false, "abcDeimnlstv"},
        {0x0010, false, false, "abcdEimnlstv"}, {0x0100, false, false, "abcdeImnlstv"},
        {0x0040, false, false, "abcdeiMnlstv"}, {0x0080, false, false, "abcdeimNlstv"},
        {0x0000, true, false, "abcdeimnLstv"},  {0x1000, false, false, "abcdeimnlStv"},
        {0x0800, false, false, "abcdeimnlsTv"}, {0x4000, false, false, "abcdeimnlstV"},
        {0xFDD1, true, false, "ABCDEIMNLSTV"},
        // The bits no letter names show nowhere.
        {0x022E, false, false, "abcdeimnlstv"},
    };
    for (const Row& row : rows) {
        const std::string expected = std::string(row.letters) + (build::hasBusy ? "z" : "");
        EXPECT_EQ(FormatLetters(RecordWithBits(row.display, row.locked, row.busy)).text, expected) << row.letters;
    }
    EXPECT_EQ(std::string(FormatLetters(RecordWithBits(0, false, true)).text),
              build::hasBusy ? "abcdeimnlstvZ" : "abcdeimnlstv");
    EXPECT_STREQ(FormatLetters(NodeRecord{}).text, kAllClear);
}

// Every combination of the thirteen letters: Vornik's parser, given the
// text, asks for exactly the bits that the record holds.
TEST(ShowLetters, EveryCombinationParsesBackToTheSameBits) {
    constexpr uint16_t kNamed = 0xFDD1;
    for (uint32_t combination = 0; combination < (1u << 13); ++combination) {
        uint16_t display = 0;
        int bit = 0;
        for (uint16_t flag = 1; flag != 0; flag = static_cast<uint16_t>(flag << 1)) {
            if ((kNamed & flag) && (combination >> bit++ & 1))
                display |= flag;
        }
        const bool locked = combination >> 11 & 1;
        const bool busy = combination >> 12 & 1;
        const ValueText text = FormatLetters(RecordWithBits(display, locked, busy));

        ChangeRequest request{};
        ParseAttributeLetters(text.text, request);
        ASSERT_EQ(request.setMask, display) << text.text;
        ASSERT_EQ(request.clearMask, kNamed & ~display) << text.text;
        ASSERT_EQ(request.lockedRequested, 1);
        ASSERT_EQ(request.lockedValue != 0, locked) << text.text;
        ASSERT_EQ(BusyRequested(request), build::hasBusy);
        if (build::hasBusy) {
            ASSERT_EQ(BusyValue(request), busy) << text.text;
        }
    }
}

WideDateTime Wide(int64_t instant, uint16_t fraction = 0) {
    const int64_t seconds = instant + kSecondsFrom1904;
    return WideDateTime{static_cast<uint16_t>(seconds >> 32), static_cast<uint32_t>(seconds), fraction};
}

int64_t Instant(const WideDateTime& date) {
    return (int64_t{date.highSeconds} << 32 | date.lowSeconds) - kSecondsFrom1904;
}

TEST(ShowDate, WallClockOfTheInstantInTheZone) {
    struct Row {
        const char* zone;
        int64_t instant;  // seconds since 1970, universal
        const char* text;
    };
    const Row rows[] = {
        {"America/New_York", 1593878400, "07/04/2020 12:00:00 PM"},   // summer, daylight-saving time
        {"America/New_York", 1579107600, "01/15/2020 12:00:00 PM"},   // winter
        {"Australia/Sydney", 1579050000, "01/15/2020 12:00:00 PM"},   // summer there
        {"Australia/Sydney", 1593828000, "07/04/2020 12:00:00 PM"},   // winter there
        {"UTC", 1198621800, "12/25/2007 10:30:00 PM"},                // evening
        {"UTC", 1198540800, "12/25/2007 12:00:00 AM"},                // midnight is 12 AM
        {"UTC", 1198541105, "12/25/2007 12:05:05 AM"},                // and the hour after it too
        {"UTC", 1198584000, "12/25/2007 12:00:00 PM"},                // noon is 12 PM
        {"UTC", 1198580400, "12/25/2007 11:00:00 AM"},                // the hour before noon
        {"Asia/Kolkata", 0, "01/01/1970 05:30:00 AM"},                // an offset of half an hour
        {"UTC", -kSecondsFrom1904 + 1, "01/01/1904 12:00:01 AM"},     // the first second after none
        {"UTC", 2147483647, "01/19/2038 03:14:07 AM"},                // the last that Vornik takes
        {"UTC", 4102444800, "01/01/2100 12:00:00 AM"},                // later ones are still shown
    };
    for (const Row& row : rows) {
        ScopedTimeZone zone(row.zone);
        EXPECT_STREQ(FormatDate(Wide(row.instant)).text, row.text) << row.zone << " " << row.instant;
    }
}

TEST(ShowDate, AllZeroIsNoneAndAFractionIsDropped) {
    ScopedTimeZone zone("UTC");
    EXPECT_STREQ(FormatDate(WideDateTime{0, 0, 0}).text, "none");
    EXPECT_STREQ(FormatDate(Wide(1198621800, 0xFFFF)).text, "12/25/2007 10:30:00 PM");
}

// The date that Vornik stores for the text of FormatDate.
int64_t StoredFromText(const char* text) {
    char argument[64];
    snprintf(argument, sizeof argument, "%s", text);
    const DateResult parsed = ParseDateTime(argument);
    EXPECT_EQ(parsed.verdict, DateVerdict::valid) << text;
    const WideDateTime local{0, parsed.localSeconds, 0};
    WideDateTime universal{};
    UniversalFromLocal(&local, &universal);
    return Instant(universal);
}

// The transitions of 2020 and the hour around each, then every hour of the
// year: every instant comes back, but for the second pass through the hour
// that is repeated when the clocks go back. Its wall clock is the same text
// as an hour before, and Vornik takes the first of the two.
TEST(ShowDate, WallClockTextComesBackAsTheSameInstant) {
    struct Zone {
        const char* name;
        int64_t transitions[2];  // 2020: the clocks go forward, then back
    };
    const Zone zones[] = {
        {"America/New_York", {1583650800, 1604210400}},
        {"Australia/Sydney", {1601740800, 1586016000}},
        {"Europe/Berlin", {1585443600, 1603587600}},
        {"UTC", {1583650800, 1604210400}},
    };
    for (const Zone& zone : zones) {
        ScopedTimeZone scoped(zone.name);
        for (const int64_t transition : zone.transitions) {
            for (const int64_t offset : {-3601, -3600, -1, 0, 1, 3599, 3600, 3601}) {
                const int64_t instant = transition + offset;
                const std::string text = FormatDate(Wide(instant)).text;
                const bool repeated = text == FormatDate(Wide(instant - 3600)).text;
                EXPECT_EQ(StoredFromText(text.c_str()), repeated ? instant - 3600 : instant)
                    << zone.name << " " << text << " (" << instant << ")";
            }
        }
        int repeatedHours = 0;
        for (int64_t instant = 1577836800 + 1234; instant < 1609459200; instant += 3600) {
            const std::string text = FormatDate(Wide(instant)).text;
            const bool repeated = text == FormatDate(Wide(instant - 3600)).text;
            repeatedHours += repeated;
            ASSERT_EQ(StoredFromText(text.c_str()), repeated ? instant - 3600 : instant) << zone.name << " " << text;
        }
        EXPECT_EQ(repeatedHours, strcmp(zone.name, "UTC") == 0 ? 0 : 1) << zone.name;
    }
}

}  // namespace
