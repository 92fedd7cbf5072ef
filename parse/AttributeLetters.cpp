#include "parse/AttributeLetters.h"

#include <array>
#include <cstdio>

namespace {

const AttributeLetter* FindLetter(char upper) {
    for (const AttributeLetter& entry : kAttributeLetters) {
        if (entry.letter == upper)
            return InThisBuild(entry) ? &entry : nullptr;
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
