// The command line: options into a ChangeRequest, and the usage text.
#pragma once

#include <cstdint>

#include "cli/ChangeRequest.h"

enum ExitStatus : int {
    kExitSuccess = 0,        // every operand changed, or "-h"
    kExitUsage = 1,          // no operand, or an unrecognised option
    kExitOperandFailed = 2,  // an operand failed, or a date was invalid
};

// What ParseOptions decided: go on with the operands from firstOperand (0
// when the options used up every argument), or end the run with exitStatus.
struct ParseVerdict {
    bool endRun;
    ExitStatus exitStatus;
    int32_t firstOperand;
};

// Fills request from the options before the first operand. Messages
// ("-h", an unrecognised option, a bad date) are printed here; the exit
// is the caller's.
ParseVerdict ParseOptions(ChangeRequest& request, int32_t argc, char** argv);

// The first four bytes of value, the first one most significant. Bytes past
// the end of a shorter value count as zero.
uint32_t FourCharCode(const char* value);

// Writes the usage text to standard output and flushes it.
void PrintUsage();
