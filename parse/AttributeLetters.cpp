#include "parse/AttributeLetters.h"

#include <array>
#include <cstdio>

namespace {

enum class LetterKind : uint8_t { displayFlag, locked, busy };

struct AttributeLetter {
    char letter;  // the uppercase form
    LetterKind kind;
    uint16_t displayFlag;
};

// In the order of the usage text's list.
constexpr std::array kLetters{
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

const AttributeLetter* FindLetter(char upper) {
    for (const AttributeLetter& entry : kLetters) {
        if (entry.letter != upper)
            continue;
        if (entry.kind == LetterKind::busy && !build::hasBusy)
            return nullptr;
        return &entry;
    }
    return nullptr;
}

void ApplyLetter(const AttributeLetter& entry, bool set, ChangeRequest& request) {
    switch (entry.kind) {
    case LetterKind::displayFlag:
        if (set)
            request.setMask |= entry.displayFlag;
        else
            request.clearMask |= entry.displayFlag;
        break;
    case LetterKind::locked:
        request.lockedRequested = 1;
        request.lockedValue = set;
        break;
    case LetterKind::busy:
        RequestBusy(request, set);
        break;
    }
}

}  // namespace

void ParseAttributeLetters(const char* value, ChangeRequest& request) {
    for (const char* p = value; *p != '\0'; ++p) {
        const char c = *p;
        const bool upper = c >= 'A' && c <= 'Z';
        const bool lower = c >= 'a' && c <= 'z';
        const AttributeLetter* entry = nullptr;
        if (upper || lower)
            entry = FindLetter(upper ? c : static_cast<char>(c - 'a' + 'A'));
        if (entry == nullptr) {
            fputs("Invalid File Attribute Specified.", stdout);
            continue;
        }
        ApplyLetter(*entry, upper, request);
    }
}
