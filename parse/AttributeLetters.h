// The letters of "-a": uppercase sets an attribute, lowercase clears it.
#pragma once

#include <array>
#include <cstdint>

#include "cli/ChangeRequest.h"

enum class LetterKind : uint8_t { displayFlag, locked, busy };

struct AttributeLetter {
    char letter;  // the uppercase form
    LetterKind kind;
    uint16_t displayFlag;
};

// In the order of the usage text's list. The parser reads letters through it
// and VornikShow prints them from it, so what one prints the other accepts.
// The busy letter is in every build's table; builds without the busy bit
// skip it (InThisBuild).
inline constexpr std::array kAttributeLetters{
    AttributeLetter{'A', LetterKind::displayFlag, 0x8000},  // alias file
    AttributeLetter{'B', LetterKind::displayFlag, 0x2000},  // bundle
    AttributeLetter{'C', LetterKind::displayFlag, 0x0400},  // custom icon
    AttributeLetter{'D', LetterKind::displayFlag, 0x0001},  // on the desktop
    AttributeLetter{'E', LetterKind::displayFlag, 0x0010},  // hidden extension
    AttributeLetter{'I', LetterKind::displayFlag, 0x0100},  // inited
    AttributeLetter{'M', LetterKind::displayFlag, 0x0040},  // shared
    AttributeLetter{'N', LetterKind::displayFlag, 0x0080},  // no INIT resources
    AttributeLetter{'L', LetterKind::locked, 0},            // node locked
    AttributeLetter{'S', LetterKind::displayFlag, 0x1000},  // system (name locked)
    AttributeLetter{'T', LetterKind::displayFlag, 0x0800},  // stationery
    AttributeLetter{'V', LetterKind::displayFlag, 0x4000},  // invisible
    AttributeLetter{'Z', LetterKind::busy, 0},              // busy
};

// Whether this build has the letter: builds without the busy bit skip it.
constexpr bool InThisBuild(const AttributeLetter& entry) {
    return entry.kind != LetterKind::busy || build::hasBusy;
}

// Merges the letters of value into the request's masks and its locked and
// busy requests. Each byte that names no attribute prints
// "Invalid File Attribute Specified." (no line end) and is skipped.
void ParseAttributeLetters(const char* value, ChangeRequest& request);
