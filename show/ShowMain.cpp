// VornikShow: prints the catalog record of files and folders, every value in
// the form that Vornik accepts back.

#include <ctime>

#include "show/ShowOperands.h"
#include "show/ShowOptions.h"

int main(int argc, char** argv) {
    tzset();  // dates are shown in the zone of TZ
    ShowRequest request{};
    const ShowVerdict verdict = ParseShowOptions(request, argc, argv);
    if (verdict.endRun)
        return verdict.exitStatus;
    const bool failed = ShowOperands(request, argc - verdict.firstOperand, argv + verdict.firstOperand);
    return failed ? kExitOperandFailed : kExitSuccess;
}
