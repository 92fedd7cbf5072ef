#include "show/ShowFormat.h"

#include <cstdio>
#include <ctime>

#include "parse/AttributeLetters.h"

namespace {

static_assert(sizeof(time_t) == 8, "dates past 2038 need a 64-bit time_t");

bool IsTypeable(uint8_t byte) {
    return byte >= 0x20 && byte <= 0x7E;
}

// Appends text at *length, keeping the terminating zero.
void Append(ValueText* value, size_t* length, const char* text) {
    const int written = snprintf(value->text + *length, sizeof value->text - *length, "%s", text);
    if (written > 0)
        *length += static_cast<size_t>(written);
}

ValueText EscapedCode(const uint8_t (&bytes)[4]) {
    ValueText value{};
    size_t length = 0;
    for (const uint8_t byte : bytes) {
        char piece[8];
        if (byte == '\\')
            snprintf(piece, sizeof piece, "\\\\");
        else if (IsTypeable(byte))
            snprintf(piece, sizeof piece, "%c", byte);
        else
            snprintf(piece, sizeof piece, "\\x%02x", byte);
        Append(&value, &length, piece);
    }
    return value;
}

bool LetterIsSet(const AttributeLetter& entry, const NodeRecord& record) {
    switch (entry.kind) {
    case LetterKind::displayFlag:
        return (record.presentationInfo.displayFlags & entry.displayFlag) != 0;
    case LetterKind::locked:
        return (record.nodeStateFlags & kNodeLockedBit) != 0;
    case LetterKind::busy:
        return (record.extendedPresentationInfo.extendedDisplayFlags & kBusyBit) != 0;
    }
    return false;
}

// The hour of a 24-hour clock on the 12-hour clock that Vornik reads:
// midnight is 12 AM, noon 12 PM.
int TwelveHourClock(int hour) {
    const int twelve = hour % 12;
    return twelve == 0 ? 12 : twelve;
}

}  // namespace

ValueText FormatCode(uint32_t code) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(code >> 24), static_cast<uint8_t>(code >> 16),
                              static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
    size_t length = 4;
    while (length > 0 && bytes[length - 1] == 0)
        --length;
    ValueText value{};
    for (size_t i = 0; i < length; ++i) {
        if (!IsTypeable(bytes[i]))
            return EscapedCode(bytes);
        value.text[i] = static_cast<char>(bytes[i]);
    }
    return value;
}

ValueText FormatLetters(const NodeRecord& record) {
    ValueText value{};
    size_t length = 0;
    for (const AttributeLetter& entry : kAttributeLetters) {
        if (!InThisBuild(entry))
            continue;
        const bool set = LetterIsSet(entry, record);
        value.text[length++] = set ? entry.letter : static_cast<char>(entry.letter - 'A' + 'a');
    }
    return value;
}

ValueText FormatDate(const WideDateTime& universal) {
    ValueText value{};
    const int64_t seconds = WideSeconds(universal);
    if (seconds == 0 && universal.fraction == 0) {
        snprintf(value.text, sizeof value.text, "%s", kNoDate);
        return value;
    }
    // The plain wall clock: Vornik reads it back with mktime and the date
    // service turns that into this same instant again.
    const auto instant = static_cast<time_t>(seconds - kSecondsFrom1904);
    struct tm local {};
    if (localtime_r(&instant, &local) == nullptr) {  // not for a 48-bit count
        snprintf(value.text, sizeof value.text, "%s", kNoDate);
        return value;
    }
    snprintf(value.text, sizeof value.text, "%02d/%02d/%04lld %02d:%02d:%02d %s", local.tm_mon + 1,
             local.tm_mday, static_cast<long long>(local.tm_year) + 1900, TwelveHourClock(local.tm_hour),
             local.tm_min, local.tm_sec, local.tm_hour < 12 ? "AM" : "PM");
    return value;
}
