// Fuzzes the command line: the input, cut at its zero bytes, is the argument
// vector after the program's name. Besides crashes and sanitizer reports, a
// verdict or a request that breaks the rules of the options ends the run.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "cli/ChangeRequest.h"
#include "cli/Options.h"
#include "config/BuildChoices.h"

namespace {

// Bits of the display flags that some letter names.
constexpr uint16_t kNamedDisplayFlags = 0xFDD1;

// A broken rule is a crash to the fuzzer; the stack shows which rule.
void Require(bool rule) {
    if (!rule)
        abort();
}

bool IsFlag(uint8_t value) {
    return value == 0 || value == 1;
}

std::vector<std::string> ArgumentsOf(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments{"Vornik"};
    const char* text = reinterpret_cast<const char*>(data);
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
        if (i == size || text[i] == '\0') {
            arguments.emplace_back(text + start, i - start);
            start = i + 1;
        }
    }
    return arguments;
}

void CheckVerdict(const ParseVerdict& verdict, const std::vector<char*>& argv) {
    const auto argc = static_cast<int32_t>(argv.size() - 1);
    if (verdict.endRun) {
        Require(verdict.exitStatus == kExitSuccess || verdict.exitStatus == kExitUsage ||
                verdict.exitStatus == kExitOperandFailed);
        return;
    }
    Require(verdict.exitStatus == kExitSuccess);
    if (verdict.firstOperand != 0) {
        Require(verdict.firstOperand >= 1 && verdict.firstOperand < argc);
        Require(argv[static_cast<size_t>(verdict.firstOperand)][0] != '-');
    }
}

void CheckRequest(const ChangeRequest& request) {
    Require(IsFlag(request.typeRequested) && IsFlag(request.creatorRequested));
    Require(IsFlag(request.modDateRequested) && IsFlag(request.createdDateRequested));
    Require(IsFlag(request.attributesRequested) && IsFlag(request.lockedRequested));
    Require(IsFlag(request.lockedValue));
    Require((request.setMask & ~kNamedDisplayFlags) == 0);
    Require((request.clearMask & ~kNamedDisplayFlags) == 0);
    // Dates hold local seconds in their low word alone.
    Require(request.modDate.highSeconds == 0 && request.modDate.fraction == 0);
    Require(request.createdDate.highSeconds == 0 && request.createdDate.fraction == 0);
    if (!request.modDateRequested)
        Require(request.modDate.lowSeconds == 0);
    if (!request.createdDateRequested)
        Require(request.createdDate.lowSeconds == 0);
    Require(BusyRequested(request) || !BusyValue(request));
    Require(PathOptions(request) == 0 || PathOptions(request) == kResolveLinkItself);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The usage text and the messages are the black-box suite's business;
    // here they would only bury the fuzzer's own report.
    if (freopen("/dev/null", "w", stdout) == nullptr)
        abort();
    // A zone with daylight-saving time, so that its edges are reached.
    setenv("TZ", "America/New_York", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments = ArgumentsOf(data, size);
    const std::vector<std::string> original = arguments;
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    ChangeRequest request{};
    const ParseVerdict verdict = ParseOptions(request, static_cast<int32_t>(arguments.size()), argv.data());
    CheckVerdict(verdict, argv);
    CheckRequest(request);
    // The copying build cuts a private copy of each date: the arguments,
    // operands included, stay as they were given.
    if constexpr (build::copyDateArgument) {
        for (size_t i = 0; i < arguments.size(); ++i)
            Require(strcmp(argv[i], original[i].c_str()) == 0);
    }
    return 0;
}
