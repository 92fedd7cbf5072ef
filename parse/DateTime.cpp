#include "parse/DateTime.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "catalog/CatalogService.h"
#include "config/BuildChoices.h"

namespace {

constexpr size_t kDatePieceSlots = 8;  // month, day, year, time, marker, 3 ignored
constexpr size_t kTimePieceSlots = 3;  // hour, minute, second

// Cuts text in place at every byte of separators. Empty pieces take no slot;
// pieces beyond the slots are ignored. Returns the number of pieces kept.
template <size_t N>
size_t CutPieces(char* text, const char* separators, std::array<char*, N>& slots) {
    size_t count = 0;
    char* rest = text;
    while (rest != nullptr) {
        char* piece = strsep(&rest, separators);
        if (*piece != '\0' && count < N)
            slots[count++] = piece;
    }
    return count;
}

// The number at the start of a piece as atoi reads it: blanks, a sign and
// decimal digits. Values beyond 32 bits saturate, so every build and every
// host reads the same number.
int32_t PieceNumber(const char* piece) {
    const long value = strtol(piece, nullptr, 10);
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(value);
}

int16_t InRangeOrZero(int32_t value, int32_t low, int32_t high) {
    return value >= low && value <= high ? static_cast<int16_t>(value) : 0;
}

// Two-digit years, and all below them, count from 2000.
int16_t YearFromNumber(int32_t number) {
    int16_t year = static_cast<int16_t>(number);
    if (year <= 99)
        year = static_cast<int16_t>(year + 2000);
    return year;
}

void SplitTimeOfDay(char* text, DateFields* fields) {
    std::array<char*, kTimePieceSlots> pieces{};
    const size_t count = CutPieces(text, ":", pieces);
    if (count > 0)
        fields->hour = InRangeOrZero(PieceNumber(pieces[0]), 0, 23);
    if (count > 1)
        fields->minute = InRangeOrZero(PieceNumber(pieces[1]), 0, 59);
    if (count > 2)
        fields->second = InRangeOrZero(PieceNumber(pieces[2]), 0, 59);
}

// Only the marker's first character counts: P moves a morning hour to the
// afternoon, A moves 12 to midnight.
void ApplyDayHalf(const char* marker, DateFields* fields) {
    const char first = marker[0];
    if ((first == 'P' || first == 'p') && fields->hour <= 11)
        fields->hour = static_cast<int16_t>(fields->hour + 12);
    else if ((first == 'A' || first == 'a') && fields->hour == 12)
        fields->hour = 0;
}

std::optional<uint32_t> FailConversion(int error) {
    errno = error != 0 ? error : EOVERFLOW;
    perror("mktime error");
    return std::nullopt;
}

std::optional<uint32_t> LocalSecondsNow() {
    const time_t now = time(nullptr);
    struct tm local {};
    if (localtime_r(&now, &local) == nullptr)
        return FailConversion(errno);
    auto seconds = LocalSecondsFromInstant(now, local.tm_gmtoff, local.tm_isdst > 0);
    if (!seconds)
        return FailConversion(EOVERFLOW);
    return seconds;
}

DateResult ResultOf(std::optional<uint32_t> seconds) {
    if (!seconds)
        return {DateVerdict::outOfRange, 0};
    return {DateVerdict::valid, *seconds};
}

}  // namespace

bool SplitDateText(char* text, DateFields* fields) {
    std::array<char*, kDatePieceSlots> pieces{};
    const size_t count = CutPieces(text, "/ ", pieces);
    if (count < 3)
        return false;
    fields->month = InRangeOrZero(PieceNumber(pieces[0]), 1, 12);
    fields->day = InRangeOrZero(PieceNumber(pieces[1]), 1, 31);
    fields->year = YearFromNumber(PieceNumber(pieces[2]));
    if (count > 3)
        SplitTimeOfDay(pieces[3], fields);
    if (count > 4)
        ApplyDayHalf(pieces[4], fields);
    return true;
}

std::optional<uint32_t> LocalSecondsFromInstant(int64_t instant, int64_t gmtOffset, bool daylightSaving) {
    if (instant < INT32_MIN || instant > INT32_MAX)
        return std::nullopt;
    const int64_t local = instant + gmtOffset - (daylightSaving ? 3600 : 0) + kSecondsFrom1904;
    if (local < 0 || local > UINT32_MAX)
        return std::nullopt;
    return static_cast<uint32_t>(local);
}

std::optional<uint32_t> DateFieldsToLocalSeconds(const DateFields& fields) {
    struct tm calendar {};
    calendar.tm_sec = fields.second;
    calendar.tm_min = fields.minute;
    calendar.tm_hour = fields.hour;
    calendar.tm_mday = fields.day;
    calendar.tm_mon = fields.month - 1;
    calendar.tm_year = fields.year - 1900;
    calendar.tm_isdst = -1;  // let mktime decide from the zone's rules
    // mktime reads no day of the week but fills it when it succeeds; a value
    // it never gives tells a real failure from the valid instant one second
    // before 1970, whose count is also -1.
    calendar.tm_wday = -1;

    errno = 0;
    const time_t instant = mktime(&calendar);
    if (instant == static_cast<time_t>(-1) && calendar.tm_wday == -1)
        return FailConversion(errno);
    auto seconds = LocalSecondsFromInstant(instant, calendar.tm_gmtoff, calendar.tm_isdst != 0);
    if (!seconds)
        return FailConversion(EOVERFLOW);
    return seconds;
}

DateResult ParseDateTime(char* text) {
    if (text != nullptr && strcmp(text, ".") == 0)
        return ResultOf(LocalSecondsNow());

    char* copy = nullptr;
    char* cut = text;
    if constexpr (build::copyDateArgument) {
        copy = text != nullptr ? strdup(text) : nullptr;
        cut = copy;
    }
    DateFields fields{};
    const bool complete = cut != nullptr && SplitDateText(cut, &fields);
    free(copy);
    if (!complete) {
        fputs("ERROR: invalid date/time\n", stdout);
        return {DateVerdict::invalid, 0};
    }
    return ResultOf(DateFieldsToLocalSeconds(fields));
}
