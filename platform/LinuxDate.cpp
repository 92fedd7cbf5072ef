// The date service on Linux: local wall-clock seconds to universal time,
// the exact inverse of the date parser's reading of an instant (its local
// offset, less an hour while daylight-saving time is in effect).

#include <array>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "catalog/CatalogService.h"

namespace {

constexpr PlatformStatus kNoSuchLocalTime = -50;

// The offset by which the parser's local reading of an instant differs from
// universal time.
int64_t ReadingOffset(int64_t instant) {
    const auto time = static_cast<time_t>(instant);
    struct tm local {};
    if (localtime_r(&time, &local) == nullptr)
        return 0;
    return local.tm_gmtoff - (local.tm_isdst > 0 ? 3600 : 0);
}

PlatformStatus Convert(const WideDateTime* local, WideDateTime* universal) {
    const int64_t reading = WideSeconds(*local) - kSecondsFrom1904;

    // The offset is constant but for a few changes a year; starting from the
    // offset at the reading itself, at most a few steps settle on it.
    int64_t instant = reading - ReadingOffset(reading);
    for (int step = 0; step < 3; ++step) {
        const int64_t next = reading - ReadingOffset(instant);
        if (next == instant)
            break;
        instant = next;
    }
    PlatformStatus status = instant + ReadingOffset(instant) == reading ? 0 : kNoSuchLocalTime;

    int64_t seconds = instant + kSecondsFrom1904;
    if (seconds < 0) {  // before the first date a WideDateTime can hold
        seconds = 0;
        status = kNoSuchLocalTime;
    }
    *universal = WideFromSeconds(seconds, local->fraction);
    return status;
}

// A run converts the same one or two dates for every operand, so the last
// two conversions are kept, each with the zone (TZ) it was made in.
struct Conversion {
    bool made;
    WideDateTime local;
    WideDateTime universal;
    PlatformStatus status;
    char zone[128];
};

std::array<Conversion, 2> gRecent{};
size_t gOldest = 0;

bool SameDate(const WideDateTime& a, const WideDateTime& b) {
    return a.highSeconds == b.highSeconds && a.lowSeconds == b.lowSeconds && a.fraction == b.fraction;
}

}  // namespace

PlatformStatus UniversalFromLocal(const WideDateTime* local, WideDateTime* universal) {
    const char* zone = getenv("TZ");
    if (zone == nullptr)
        zone = "";
    for (const Conversion& recent : gRecent) {
        if (recent.made && SameDate(recent.local, *local) && strcmp(recent.zone, zone) == 0) {
            *universal = recent.universal;
            return recent.status;
        }
    }
    const PlatformStatus status = Convert(local, universal);
    if (strlen(zone) < sizeof gRecent[0].zone) {
        Conversion& slot = gRecent[gOldest];
        slot = Conversion{true, *local, *universal, status, {}};
        strcpy(slot.zone, zone);
        gOldest = (gOldest + 1) % gRecent.size();
    }
    return status;
}
