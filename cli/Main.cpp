// Vornik: changes the catalog metadata of files and folders.

#include <csignal>
#include <cstdlib>

#include "catalog/Operands.h"
#include "cli/Options.h"

int main(int argc, char** argv) {
    // Output errors are ignored, and a reader that went away must not end the
    // run halfway through the operands.
    signal(SIGPIPE, SIG_IGN);

    if (argc <= 1) {
        PrintUsage();
        return kExitUsage;
    }
    // The request lives until the process exits; held by a static, it stays
    // reachable, so leak checkers do not count it.
    static ChangeRequest* request = nullptr;
    request = static_cast<ChangeRequest*>(calloc(1, sizeof(ChangeRequest)));
    if (request == nullptr)
        return kExitOperandFailed;

    const ParseVerdict verdict = ParseOptions(*request, argc, argv);
    if (verdict.endRun)
        return verdict.exitStatus;
    if (verdict.firstOperand == 0) {
        PrintUsage();
        return kExitUsage;
    }
    const bool failed = ApplyToOperands(*request, argc - verdict.firstOperand, argv + verdict.firstOperand);
    return failed ? kExitOperandFailed : kExitSuccess;
}
