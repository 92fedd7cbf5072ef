// Local dates to universal time: the inverse of the date parser's reading,
// which is the wall clock less an hour while daylight-saving time is on.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "catalog/CatalogService.h"
#include "tests/support/ScopedTimeZone.h"

namespace {

WideDateTime Wide(int64_t seconds) {
    return WideDateTime{static_cast<uint16_t>(seconds >> 32), static_cast<uint32_t>(seconds), 0};
}

int64_t Seconds(const WideDateTime& date) {
    return int64_t{date.highSeconds} << 32 | date.lowSeconds;
}

// Seconds since 1904 of a wall-clock date read as if it were universal.
int64_t WallClock(int year, int month, int day, int hour, int minute) {
    struct tm fields {};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    return static_cast<int64_t>(timegm(&fields)) + kSecondsFrom1904;
}

TEST(ZoneTest, NoonInSummerAndWinterIsStoredAsTheRightInstant) {
    ScopedTimeZone zone("UTC");
    struct Row {
        const char* zone;
        int month;
        bool daylightSaving;
        int64_t instant;  // noon of that day in that zone, seconds since 1970
    };
    const Row rows[] = {
        {"America/New_York", 7, true, 1593878400},  {"America/New_York", 1, false, 1579107600},
        {"Europe/Berlin", 7, true, 1593856800},     {"Europe/Berlin", 1, false, 1579086000},
        {"Australia/Sydney", 7, false, 1593828000}, {"Australia/Sydney", 1, true, 1579050000},
        {"Asia/Kolkata", 7, false, 1593844200},     {"Asia/Kolkata", 1, false, 1579069800},
        {"UTC", 7, false, 1593864000},              {"UTC", 1, false, 1579089600},
    };
    for (const Row& row : rows) {
        ScopedTimeZone::Use(row.zone);
        const int day = row.month == 7 ? 4 : 15;
        const WideDateTime local = Wide(WallClock(2020, row.month, day, 12, 0) - (row.daylightSaving ? 3600 : 0));
        WideDateTime universal{};
        EXPECT_EQ(UniversalFromLocal(&local, &universal), 0) << row.zone;
        EXPECT_EQ(Seconds(universal), row.instant + kSecondsFrom1904) << row.zone << " month " << row.month;
    }
}

TEST(ZoneTest, ADateBeforeTheFirstUniversalSecondStillFillsTheResult) {
    ScopedTimeZone zone("Europe/Berlin");
    const WideDateTime local = Wide(0);  // 1904-01-01 00:00 in Berlin is 1903 in universal time
    WideDateTime universal{0xFFFF, 0xFFFFFFFF, 0xFFFF};
    EXPECT_NE(UniversalFromLocal(&local, &universal), 0);
    EXPECT_EQ(Seconds(universal), 0);
    EXPECT_EQ(universal.fraction, 0);
}

}  // namespace
