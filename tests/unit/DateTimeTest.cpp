// Dates of "-d" and "-m": the split of the text into fields, the arithmetic
// from an instant to local seconds since 1904, the conversion of fields in
// named time zones, and the parser's answers as a whole.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "catalog/CatalogService.h"
#include "config/BuildChoices.h"
#include "parse/DateTime.h"
#include "tests/support/ScopedTimeZone.h"

namespace {

// The C library quietly falls back to universal time for a zone it cannot
// find, which would make every zone row pass or fail for the wrong reason.
bool ZoneInstalled(const std::string& zone) {
    const char* dir = getenv("TZDIR");
    const std::string path = std::string(dir != nullptr ? dir : "/usr/share/zoneinfo") + "/" + zone;
    return access(path.c_str(), R_OK) == 0;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar,
// computed without the C library so that it checks mktime instead of
// repeating it.
constexpr int64_t DaysFrom1970(int64_t year, int64_t month, int64_t day) {
    if (month <= 2)
        year -= 1;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// A wall-clock reading as seconds since 1904-01-01 00:00, no zone applied.
constexpr uint32_t Wall(int64_t year, int64_t month, int64_t day, int64_t hour = 0, int64_t minute = 0,
                        int64_t second = 0) {
    return static_cast<uint32_t>(DaysFrom1970(year, month, day) * 86400 + hour * 3600 + minute * 60 + second +
                                 kSecondsFrom1904);
}

constexpr uint32_t kOneHour = 3600;

static_assert(Wall(1970, 1, 1) == 2082844800);
static_assert(Wall(2000, 1, 1) == 3029529600);
static_assert(Wall(1904, 1, 1) == 0);

std::string Describe(const DateFields& f) {
    return std::to_string(f.year) + "-" + std::to_string(f.month) + "-" + std::to_string(f.day) + " " +
           std::to_string(f.hour) + ":" + std::to_string(f.minute) + ":" + std::to_string(f.second) +
           " weekday " + std::to_string(f.dayOfWeek);
}

std::string Describe(std::optional<uint32_t> seconds) {
    return seconds ? std::to_string(*seconds) : std::string("nothing");
}

template <size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

const std::string kInvalidDate = "ERROR: invalid date/time\n";
const std::string kMktimeError = "mktime error: ";

bool IsMktimeError(const std::string& text) {
    return text.rfind(kMktimeError, 0) == 0 && text.size() > kMktimeError.size() && text.back() == '\n';
}

// ---------------------------------------------------------------------------
// The split of a date text into fields.

struct SplitRow {
    const char* text;
    bool complete;      // month, day and year all present
    DateFields fields;  // year, month, day, hour, minute, second, day of week
    const char* comment;
};

const SplitRow kSplitRows[] = {
    {"12/25/2007", true, {2007, 12, 25, 0, 0, 0, 0}, "date alone, time 00:00:00"},
    {"12/25/07 10:30 PM", true, {2007, 12, 25, 22, 30, 0, 0}, "two-digit year, time and PM"},
    {"1/2/3", true, {2003, 1, 2, 0, 0, 0, 0}, "one digit each"},
    {"12 25 2007", true, {2007, 12, 25, 0, 0, 0, 0}, "blanks separate like slashes"},
    {"12//25/ 2007", true, {2007, 12, 25, 0, 0, 0, 0}, "repeated separators make no piece"},
    {"/12/25/2007/", true, {2007, 12, 25, 0, 0, 0, 0}, "leading and trailing separators"},
    {"12/25/2007/10:30/PM", true, {2007, 12, 25, 22, 30, 0, 0}, "slashes throughout"},
    {"7th/08/07", true, {2007, 7, 8, 0, 0, 0, 0}, "a number is read up to the first non-digit"},
    {"+7/+8/+7", true, {2007, 7, 8, 0, 0, 0, 0}, "a plus sign is read"},

    {"12/25/07 10", true, {2007, 12, 25, 10, 0, 0, 0}, "hour alone"},
    {"12/25/07 10:30:15", true, {2007, 12, 25, 10, 30, 15, 0}, "hour, minute and second"},
    {"12/25/07 10:30:15:99", true, {2007, 12, 25, 10, 30, 15, 0}, "time pieces after the third are ignored"},
    {"12/25/07 10::30", true, {2007, 12, 25, 10, 30, 0, 0}, "an empty time piece takes no position"},
    {"12/25/07 :30", true, {2007, 12, 25, 0, 0, 0, 0}, "after a leading colon 30 is the hour, out of range"},

    {"12/25/07 12:15 AM", true, {2007, 12, 25, 0, 15, 0, 0}, "12 AM is midnight"},
    {"12/25/07 12:15 PM", true, {2007, 12, 25, 12, 15, 0, 0}, "12 PM stays noon"},
    {"12/25/07 0:15 PM", true, {2007, 12, 25, 12, 15, 0, 0}, "0 PM is noon"},
    {"12/25/07 13:00 PM", true, {2007, 12, 25, 13, 0, 0, 0}, "an afternoon hour ignores PM"},
    {"12/25/07 11:59 pm", true, {2007, 12, 25, 23, 59, 0, 0}, "lowercase marker"},
    {"12/25/07 11:00 am", true, {2007, 12, 25, 11, 0, 0, 0}, "AM leaves a morning hour alone"},
    {"12/25/07 10:30 Post", true, {2007, 12, 25, 22, 30, 0, 0}, "only the marker's first character counts"},
    {"12/25/07 10:30 X", true, {2007, 12, 25, 10, 30, 0, 0}, "another marker changes nothing"},
    {"12/25/2007 10:30PM", true, {2007, 12, 25, 10, 30, 0, 0}, "a marker without a blank is no piece"},
    {"12/25/2007 PM", true, {2007, 12, 25, 0, 0, 0, 0}, "PM in the time's place is an empty time"},
    {"12/25/07 25:00 PM", true, {2007, 12, 25, 12, 0, 0, 0}, "an hour out of range counts as 0 for PM"},

    {"12/25/07 24:00", true, {2007, 12, 25, 0, 0, 0, 0}, "hour 24 is out of range"},
    {"12/25/07 10:60", true, {2007, 12, 25, 10, 0, 0, 0}, "minute 60 is out of range"},
    {"12/25/07 10:30:60", true, {2007, 12, 25, 10, 30, 0, 0}, "second 60 is out of range"},
    {"12/25/07 -1:30", true, {2007, 12, 25, 0, 30, 0, 0}, "a negative hour is out of range"},
    {"12/25/07 23:59:59", true, {2007, 12, 25, 23, 59, 59, 0}, "the largest time of day"},
    {"13/10/2007", true, {2007, 0, 10, 0, 0, 0, 0}, "month 13 becomes 0"},
    {"0/10/2007", true, {2007, 0, 10, 0, 0, 0, 0}, "month 0 stays 0"},
    {"-1/10/2007", true, {2007, 0, 10, 0, 0, 0, 0}, "a negative month becomes 0"},
    {"12/32/2007", true, {2007, 12, 0, 0, 0, 0, 0}, "day 32 becomes 0"},
    {"12/31/2007", true, {2007, 12, 31, 0, 0, 0, 0}, "day 31 is kept in every month"},
    {"2/31/2007", true, {2007, 2, 31, 0, 0, 0, 0}, "the day is not checked against the month"},
    {"PM/AM/XX", true, {2000, 0, 0, 0, 0, 0, 0}, "pieces without digits read as 0"},

    {"1/1/0", true, {2000, 1, 1, 0, 0, 0, 0}, "year 0 is 2000"},
    {"1/1/99", true, {2099, 1, 1, 0, 0, 0, 0}, "year 99 is 2099"},
    {"1/1/100", true, {100, 1, 1, 0, 0, 0, 0}, "year 100 stays 100"},
    {"1/1/1999", true, {1999, 1, 1, 0, 0, 0, 0}, "a four-digit year stays"},
    {"1/1/-5", true, {1995, 1, 1, 0, 0, 0, 0}, "a negative year counts from 2000"},
    {"1/1/65536", true, {2000, 1, 1, 0, 0, 0, 0}, "the year keeps its low 16 bits: 0, then 2000"},
    {"1/1/70000", true, {4464, 1, 1, 0, 0, 0, 0}, "the year keeps its low 16 bits"},

    {"1/2/2003 4:05:06 PM six seven eight", true, {2003, 1, 2, 16, 5, 6, 0}, "pieces 6 to 8 are ignored"},
    {"1/2/2003 4:05 AM 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30",
     true,
     {2003, 1, 2, 4, 5, 0, 0},
     "pieces after the eighth are ignored"},

    {"12/25", false, {}, "no year"},
    {"12", false, {}, "month alone"},
    {"", false, {}, "empty text"},
    {"///", false, {}, "separators only"},
    {"  /  ", false, {}, "blanks and slashes only"},
    {"12/25/", false, {}, "a trailing separator is no year"},
    {"12\t25\t2007", false, {}, "a tab is no separator"},
    {"12-25-2007", false, {}, "a dash is no separator"},
};

TEST(DateText, SplitsIntoFields) {
    for (const SplitRow& row : kSplitRows) {
        SCOPED_TRACE(std::string("\"") + row.text + "\": " + row.comment);
        std::string text = row.text;
        DateFields fields{};
        const bool complete = SplitDateText(text.data(), &fields);
        EXPECT_EQ(complete, row.complete);
        if (row.complete && complete) {
            EXPECT_EQ(Describe(fields), Describe(row.fields));
        }
    }
}

// ---------------------------------------------------------------------------
// From an instant, its offset and its daylight-saving flag to local seconds.

struct InstantRow {
    int64_t instant;  // seconds since 1970-01-01 00:00 universal time
    int64_t gmtOffset;
    bool daylightSaving;
    std::optional<uint32_t> expected;
    const char* comment;
};

const InstantRow kInstantRows[] = {
    {0, 0, false, 2082844800u, "1970-01-01 in a zone at universal time"},
    {946684800, 0, false, 3029529600u, "2000-01-01 at universal time"},
    {-2082844800, 0, false, 0u, "1904-01-01 00:00 is local second 0"},
    {18000, -18000, false, 2082844800u, "midnight 1970 five hours west of Greenwich"},
    {18000, -18000, true, 2082844800u - kOneHour, "daylight-saving time takes one hour off"},
    {0, 0, true, 2082844800u - kOneHour, "daylight-saving time at offset 0"},
    {-1, 0, false, 2082844799u, "the second before 1970 is an instant like any other"},
    {-2082844800 - 3600, 3600, false, 0u, "1904 local midnight one hour east: the limit is local"},
    {-2082844801, 0, false, std::nullopt, "one second before 1904 local"},
    {-2082931200, 0, false, std::nullopt, "1903-12-31 cannot be counted from 1904"},
    {-2082844800 + 1800, 0, true, std::nullopt, "daylight-saving time can take the reading below 1904"},
    {INT32_MAX, 0, false, 4230328447u, "2038-01-19 03:14:07, the last second of the 32-bit count"},
    {INT32_MAX, 50400, false, 4230378847u, "the last second in a zone fourteen hours east"},
    {int64_t{INT32_MAX} + 1, 0, false, std::nullopt, "one second past the 32-bit count"},
    {int64_t{INT32_MAX} + 1, -50400, false, std::nullopt, "past the count also where local time is earlier"},
    {int64_t{INT32_MIN} - 1, 0, false, std::nullopt, "below the 32-bit count"},
};

TEST(LocalSeconds, FromInstantOffsetAndDaylightSaving) {
    for (const InstantRow& row : kInstantRows) {
        SCOPED_TRACE(row.comment);
        EXPECT_EQ(Describe(LocalSecondsFromInstant(row.instant, row.gmtOffset, row.daylightSaving)),
                  Describe(row.expected));
    }
}

// ---------------------------------------------------------------------------
// Calendar fields to local seconds in named time zones: the wall-clock
// reading counted from 1904, one hour less while daylight-saving time is in
// effect, or nothing (after "mktime error") outside the 32-bit counts.

struct ZoneRow {
    const char* zone;
    DateFields fields;  // year, month, day, hour, minute, second, day of week
    std::optional<uint32_t> expected;
    const char* comment;
};

void PrintTo(const ZoneRow& row, std::ostream* out) {
    *out << row.zone << ", " << Describe(row.fields) << ": " << row.comment;
}

const ZoneRow kZoneRows[] = {
    {"UTC", {2020, 7, 4, 12, 0, 0, 0}, Wall(2020, 7, 4, 12), "summer at universal time"},
    {"UTC", {2020, 1, 15, 8, 30, 15, 0}, Wall(2020, 1, 15, 8, 30, 15), "winter at universal time"},
    {"America/New_York", {2020, 7, 4, 12, 0, 0, 0}, Wall(2020, 7, 4, 12) - kOneHour, "summer: EDT"},
    {"America/New_York", {2020, 1, 15, 8, 30, 0, 0}, Wall(2020, 1, 15, 8, 30), "winter: EST"},
    {"Europe/Berlin", {2021, 7, 1, 9, 0, 0, 0}, Wall(2021, 7, 1, 9) - kOneHour, "summer: CEST"},
    {"Europe/Berlin", {2021, 12, 24, 18, 0, 0, 0}, Wall(2021, 12, 24, 18), "winter: CET"},
    {"Australia/Sydney", {2021, 1, 10, 12, 0, 0, 0}, Wall(2021, 1, 10, 12) - kOneHour, "southern summer: AEDT"},
    {"Australia/Sydney", {2021, 7, 10, 12, 0, 0, 0}, Wall(2021, 7, 10, 12), "southern winter: AEST"},
    {"Asia/Kolkata", {2021, 7, 1, 9, 45, 0, 0}, Wall(2021, 7, 1, 9, 45), "half-hour offset, no summer time"},
    {"Asia/Kolkata", {2021, 1, 1, 0, 0, 0, 0}, Wall(2021, 1, 1), "half-hour offset in winter"},

    {"UTC", {2007, 0, 10, 0, 0, 0, 0}, Wall(2006, 12, 10), "month 0 is December of the year before"},
    {"UTC", {2007, 12, 0, 0, 0, 0, 0}, Wall(2007, 11, 30), "day 0 is the last day of the month before"},
    {"UTC", {2007, 2, 30, 0, 0, 0, 0}, Wall(2007, 3, 2), "February 30 runs into March"},
    {"UTC", {2008, 2, 30, 0, 0, 0, 0}, Wall(2008, 3, 1), "February 30 of a leap year"},

    {"UTC", {1969, 12, 31, 23, 59, 59, 0}, 2082844799u, "the instant -1 is valid"},
    {"America/New_York", {1969, 12, 31, 18, 59, 59, 0}, Wall(1969, 12, 31, 18, 59, 59), "the instant -1 in EST"},
    {"UTC", {1904, 1, 1, 0, 0, 0, 0}, 0u, "the first second of the count"},
    {"UTC", {1903, 12, 31, 23, 59, 59, 0}, std::nullopt, "the second before 1904"},
    {"UTC", {1901, 12, 13, 20, 45, 52, 0}, std::nullopt, "the first instant of a 32-bit count is before 1904"},
    {"UTC", {100, 1, 1, 0, 0, 0, 0}, std::nullopt, "year 100"},
    {"UTC", {2038, 1, 19, 3, 14, 7, 0}, 4230328447u, "the last second of the 32-bit count"},
    {"UTC", {2038, 1, 19, 3, 14, 8, 0}, std::nullopt, "one second later"},
    {"America/New_York", {2038, 1, 18, 22, 14, 7, 0}, Wall(2038, 1, 18, 22, 14, 7), "the last second in EST"},
    {"America/New_York", {2038, 1, 18, 22, 14, 8, 0}, std::nullopt, "the limit is the universal instant"},
    {"Asia/Kolkata", {2038, 1, 19, 8, 44, 7, 0}, Wall(2038, 1, 19, 8, 44, 7), "the last second east of Greenwich"},
    {"Asia/Kolkata", {2038, 1, 19, 8, 44, 8, 0}, std::nullopt, "one second later east of Greenwich"},
    {"UTC", {2039, 6, 1, 0, 0, 0, 0}, std::nullopt, "a date in 2039"},
    {"Australia/Sydney", {2040, 1, 1, 0, 0, 0, 0}, std::nullopt, "a date in 2040"},
};

class LocalSecondsInZone : public testing::TestWithParam<ZoneRow> {};

TEST_P(LocalSecondsInZone, FollowsTheWallClock) {
    const ZoneRow& row = GetParam();
    if (!ZoneInstalled(row.zone))
        GTEST_SKIP() << "time zone " << row.zone << " is not installed";
    ScopedTimeZone zone(row.zone);

    testing::internal::CaptureStderr();
    const std::optional<uint32_t> seconds = DateFieldsToLocalSeconds(row.fields);
    const std::string errors = testing::internal::GetCapturedStderr();

    EXPECT_EQ(Describe(seconds), Describe(row.expected));
    if (row.expected) {
        EXPECT_EQ(errors, "");
    } else {
        EXPECT_TRUE(IsMktimeError(errors)) << "standard error: \"" << errors << "\"";
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, LocalSecondsInZone, testing::ValuesIn(kZoneRows));

// ---------------------------------------------------------------------------
// The parser as a whole, at universal time.

struct ParseRow {
    const char* text;  // null: the option stood last
    DateVerdict verdict;
    uint32_t seconds;  // when valid
    const char* comment;
};

const ParseRow kParseRows[] = {
    {"12/25/2007 10:30 PM", DateVerdict::valid, Wall(2007, 12, 25, 22, 30), "date, time and marker"},
    {"12/25/2007/10:30/PM", DateVerdict::valid, Wall(2007, 12, 25, 22, 30), "the same with slashes"},
    {"13/10/2007", DateVerdict::valid, Wall(2006, 12, 10), "month out of range: December of 2006"},
    {"12/32/2007", DateVerdict::valid, Wall(2007, 11, 30), "day out of range: the last of November"},
    {"2/30/2007", DateVerdict::valid, Wall(2007, 3, 2), "February 30: March 2"},
    {"1/1/-5", DateVerdict::valid, Wall(1995, 1, 1), "year -5 is 1995"},
    {"12/31/1969 11:59:59 PM", DateVerdict::valid, 2082844799u, "the instant -1 is a date like any other"},
    {"1/1/1904", DateVerdict::valid, 0u, "the first second of the count"},
    {"1/1/100", DateVerdict::outOfRange, 0, "year 100 is before 1904"},
    {"12/31/1903 11:59:59 PM", DateVerdict::outOfRange, 0, "the last second before 1904"},
    {"1/1/2039", DateVerdict::outOfRange, 0, "a date in 2039"},
    {nullptr, DateVerdict::invalid, 0, "no text at all"},
    {"12/25", DateVerdict::invalid, 0, "no year"},
    {"", DateVerdict::invalid, 0, "empty text"},
    {"///", DateVerdict::invalid, 0, "separators only"},
    {"..", DateVerdict::invalid, 0, "two periods are one piece, not now"},
    {"./", DateVerdict::invalid, 0, "a period with a separator is not alone"},
};

TEST(ParseDateTime, AnswersEachText) {
    ScopedTimeZone zone("UTC");
    for (const ParseRow& row : kParseRows) {
        SCOPED_TRACE(std::string(row.text != nullptr ? row.text : "(null)") + ": " + row.comment);
        std::string text = row.text != nullptr ? row.text : "";

        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const DateResult result = ParseDateTime(row.text != nullptr ? text.data() : nullptr);
        const std::string errors = testing::internal::GetCapturedStderr();
        const std::string output = testing::internal::GetCapturedStdout();

        EXPECT_EQ(static_cast<int>(result.verdict), static_cast<int>(row.verdict));
        if (row.verdict == DateVerdict::valid) {
            EXPECT_EQ(result.localSeconds, row.seconds);
        }
        EXPECT_EQ(output, row.verdict == DateVerdict::invalid ? kInvalidDate : "");
        if (row.verdict == DateVerdict::outOfRange) {
            EXPECT_TRUE(IsMktimeError(errors)) << "standard error: \"" << errors << "\"";
        } else {
            EXPECT_EQ(errors, "");
        }
    }
}

// A lone period is the current date and time, read in the local zone. The
// zones have kept one offset for decades, so today's date does not matter.
TEST(ParseDateTime, PeriodAloneIsNow) {
    struct NowRow {
        const char* zone;
        int64_t offset;
    };
    const NowRow rows[] = {{"UTC", 0}, {"Asia/Kolkata", 5 * 3600 + 1800}};
    for (const NowRow& row : rows) {
        if (!ZoneInstalled(row.zone))
            GTEST_SKIP() << "time zone " << row.zone << " is not installed";
    }
    for (const NowRow& row : rows) {
        SCOPED_TRACE(row.zone);
        ScopedTimeZone zone(row.zone);
        char text[] = ".";

        testing::internal::CaptureStdout();
        const int64_t before = time(nullptr);
        const DateResult result = ParseDateTime(text);
        const int64_t after = time(nullptr);
        const std::string output = testing::internal::GetCapturedStdout();

        ASSERT_EQ(static_cast<int>(result.verdict), static_cast<int>(DateVerdict::valid));
        EXPECT_GE(result.localSeconds, before + row.offset + kSecondsFrom1904);
        EXPECT_LE(result.localSeconds, after + row.offset + kSecondsFrom1904);
        EXPECT_EQ(output, "");
        EXPECT_STREQ(text, ".");
    }
}

// The x86 build splits a private copy and leaves the argument as it came;
// the other builds cut the argument itself, a zero byte over each separator.
struct CutRow {
    std::string text;
    std::string cut;  // the argument's bytes after a cutting parse
    DateVerdict verdict;
    const char* comment;
};

TEST(ParseDateTime, CutsTheArgumentOnlyWhereTheBuildSays) {
    ScopedTimeZone zone("UTC");
    const CutRow rows[] = {
        {"12/25/2007 10:30 PM", Bytes("12\0" "25\0" "2007\0" "10\0" "30\0" "PM"), DateVerdict::valid,
         "every slash, blank and colon"},
        {"1//2/3/", Bytes("1\0\0" "2\0" "3\0"), DateVerdict::valid, "repeated and trailing separators"},
        {"12/25", Bytes("12\0" "25"), DateVerdict::invalid, "also when the text is refused"},
    };
    for (const CutRow& row : rows) {
        SCOPED_TRACE(row.text + ": " + row.comment);
        std::vector<char> argument(row.text.begin(), row.text.end());
        argument.push_back('\0');

        testing::internal::CaptureStdout();
        const DateResult result = ParseDateTime(argument.data());
        testing::internal::GetCapturedStdout();

        EXPECT_EQ(static_cast<int>(result.verdict), static_cast<int>(row.verdict));
        const std::string after(argument.data(), row.text.size());
        EXPECT_EQ(after, build::copyDateArgument ? row.text : row.cut);
    }
}

}  // namespace
