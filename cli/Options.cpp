#include <cstdio>

#include "cli/Options.h"
#include "parse/AttributeLetters.h"
#include "parse/DateTime.h"

namespace {

ParseVerdict GoOn(int32_t firstOperand) {
    return {false, kExitSuccess, firstOperand};
}

ParseVerdict EndRun(ExitStatus status) {
    return {true, status, 0};
}

ParseVerdict RejectOption(const char* argument, const char* next) {
    printf("Invalid Argument %s %s\n\r", argument, next != nullptr ? next : "");
    PrintUsage();
    return EndRun(kExitUsage);
}

// Parses a date value into one of the request's dates. False when the run
// must end (the parser has said why).
bool TakeDate(char* value, uint8_t& requested, WideDateTime& date) {
    const DateResult result = ParseDateTime(value);
    if (result.verdict != DateVerdict::valid)
        return false;
    requested = 1;
    date.lowSeconds = result.localSeconds;
    return true;
}

}  // namespace

uint32_t FourCharCode(const char* value) {
    uint32_t code = 0;
    bool ended = false;
    for (int i = 0; i < 4; ++i) {
        const auto byte = ended ? uint8_t{0} : static_cast<uint8_t>(value[i]);
        ended = byte == 0;
        code = code << 8 | byte;
    }
    return code;
}

ParseVerdict ParseOptions(ChangeRequest& request, int32_t argc, char** argv) {
    int32_t index = 1;
    while (index < argc) {
        char* argument = argv[index];
        char* value = argv[index + 1];  // the vector's null entry after the last
        if (argument[0] != '-')
            return GoOn(index);

        // An option that stands last has no value; only the dates read a
        // missing one (as an invalid date), the others end the options.
        switch (argument[1]) {
        case 'P':
            if (!RequestLinkItself(request))
                return RejectOption(argument, value);
            index += 1;
            continue;
        case 'h':
            PrintUsage();
            return EndRun(kExitSuccess);
        case 'a':
            if (value == nullptr)
                return GoOn(0);
            request.attributesRequested = 1;
            ParseAttributeLetters(value, request);
            break;
        case 'c':
            if (value == nullptr)
                return GoOn(0);
            request.creatorRequested = 1;
            request.creatorCode = FourCharCode(value);
            break;
        case 'd':
            if (!TakeDate(value, request.createdDateRequested, request.createdDate))
                return EndRun(kExitOperandFailed);
            break;
        case 'm':
            if (!TakeDate(value, request.modDateRequested, request.modDate))
                return EndRun(kExitOperandFailed);
            break;
        case 't':
            if (value == nullptr)
                return GoOn(0);
            request.typeRequested = 1;
            request.typeCode = FourCharCode(value);
            break;
        default:
            return RejectOption(argument, value);
        }
        index += 2;
    }
    return GoOn(0);
}
