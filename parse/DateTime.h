// Dates of "-d" and "-m": local wall-clock text to local seconds since 1904.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>

struct DateFields {
    int16_t year;
    int16_t month;      // 1 to 12; 0 stands for a month out of range
    int16_t day;        // 1 to 31; 0 stands for a day out of range
    int16_t hour;       // 0 to 23
    int16_t minute;     // 0 to 59
    int16_t second;     // 0 to 59
    int16_t dayOfWeek;  // 1 (Sunday) to 7; the parser leaves it 0
};

enum class DateVerdict {
    valid,
    invalid,     // "ERROR: invalid date/time" has been printed
    outOfRange,  // "mktime error" has been printed on standard error
};

struct DateResult {
    DateVerdict verdict;
    uint32_t localSeconds;  // meaningful when valid
};

// Parses "mm/dd/[yy]yy [hh:mm[:ss] [AM | PM]]", or "." for the current date
// and time. text may be null (the option stood last). Depending on the build
// the text is cut in a private copy or in place.
DateResult ParseDateTime(char* text);

// Splits a date text into its fields without converting it. Returns false
// when the month, the day or the year is missing. text is cut in place.
bool SplitDateText(char* text, DateFields* fields);

// The calendar fields as local seconds since 1904-01-01 00:00, or nothing
// (after "mktime error" on standard error) when the instant lies outside
// what a 32-bit count of either epoch can hold.
std::optional<uint32_t> DateFieldsToLocalSeconds(const DateFields& fields);

// The arithmetic behind DateFieldsToLocalSeconds: an instant (seconds since
// 1970 universal time), the local offset at that instant and whether
// daylight-saving time is in effect, as local seconds since 1904. Nothing
// when the instant lies after 2038-01-19 03:14:07 universal time or the
// result before 1904-01-01 00:00.
std::optional<uint32_t> LocalSecondsFromInstant(int64_t instant, int64_t gmtOffset, bool daylightSaving);
