// VornikShow's command line: which field to show, and its usage text.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cli/Options.h"

// What is shown of each operand: the whole block, or one value alone.
enum class ShowField : uint8_t { block, attributes, creator, creationDate, modificationDate, type };

struct ShowRequest {
    ShowField field;
};

// What ParseShowOptions decided: show the operands from firstOperand on, or
// end the run with exitStatus (every message has been printed).
struct ShowVerdict {
    bool endRun;
    ExitStatus exitStatus;
    int32_t firstOperand;
};

// Fills request from the options before the first operand. Options are
// whole words: -a, -c, -d, -m, -t (at most one of them), -h or --help,
// --version, and "--", after which every argument is an operand, as is every
// argument from the first that does not begin with "-" (or is "-" alone).
// -h and --version end the run with status 0; no argument, an unknown
// option, two different field options or no operand end it with status 1,
// the message and the usage on standard error.
ShowVerdict ParseShowOptions(ShowRequest& request, int32_t argc, char** argv);

// Writes the usage text to stream.
void PrintShowUsage(FILE* stream);
