// VornikShow's values, each written in the form that the matching option of
// Vornik takes back: a code for -t and -c, the letters for -a, a date for -d
// and -m.
#pragma once

#include <cstdint>

#include "catalog/CatalogService.h"

// One printable value, zero-terminated. The longest is a code of four
// escaped bytes (16 characters) or a date in a year of many digits.
struct ValueText {
    char text[40];
};

// A four-character code. Zero bytes at its end are left out, as Vornik fills
// a short value with zeros. When every byte before them is printable ASCII
// (blank to tilde), those bytes are the text, at most four characters, which
// Vornik's -t and -c take back unchanged. Any other code is written as all
// four bytes with escapes: "\xhh" for a byte outside blank to tilde, "\\"
// for a backslash; such a text is always longer than four characters.
ValueText FormatCode(uint32_t code);

// The attribute letters in the order of Vornik's usage text, uppercase for a
// set attribute and lowercase for a clear one. Reads the locked bit of
// nodeStateFlags, the displayFlags and, in builds that have it, the busy bit
// of the extended display flags.
ValueText FormatLetters(const NodeRecord& record);

// A universal date as the local wall-clock time at that instant,
// "mm/dd/yyyy hh:mm:ss AM" or "PM", in the zone of TZ; the fraction of a
// second is dropped. An all-zero date is "none": the node was never given
// one.
ValueText FormatDate(const WideDateTime& universal);

// The date that FormatDate writes for an all-zero one.
inline constexpr char kNoDate[] = "none";
