#include "catalog/Operands.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "catalog/ApplyChanges.h"
#include "config/BuildChoices.h"

namespace {

struct ErrorRow {
    StatusCode status;
    const char* message;
};

// The rows follow each error's meaning, so the errno rows take this
// system's numbers.
constexpr std::array kErrorRows{
    ErrorRow{ENOENT, "Directory not found."},
    ErrorRow{EIO, "An I/O error occurred."},
    ErrorRow{EACCES, "Search permission is denied on a component of the path name."},
    ErrorRow{EFAULT, "Path points outside the process's allocated address space."},
    ErrorRow{ENOTDIR, "A component of the path prefix is not a directory."},
    ErrorRow{ELOOP, "Too many symbolic links in pathnamne."},
    ErrorRow{ENAMETOOLONG, "Pathname is too long."},
    ErrorRow{kDirectoryNotFound, "Directory Not Found"},
    ErrorRow{kWritePermissionError, "Write Permissions Error."},
    ErrorRow{kFileBusy, "File is Busy."},
    ErrorRow{kVolumeLocked, "Volume is Locked."},
    ErrorRow{kFileNotFound, "File Not Found."},
    ErrorRow{kIOError, "i/o Error (Bummers)."},
};

}  // namespace

const char* PathToUpdate(const char* operand, char* canonical, StatusCode* status) {
    if constexpr (!build::canonicalOperands)
        return operand;
    if (realpath(operand, canonical) != nullptr)
        return canonical;
    *status = static_cast<StatusCode>(errno);
    return nullptr;
}

const char* ErrorText(StatusCode status) {
    for (const ErrorRow& row : kErrorRows) {
        if (row.status == status)
            return row.message;
    }
    return "Unexpected Error.";
}

void PrintError(StatusCode status, const char* path) {
    PrintErrorTo(stdout, status, path);
}

void PrintErrorTo(FILE* stream, StatusCode status, const char* path) {
    fprintf(stream, "ERROR: %s (%d)  on file: %s \r\n", ErrorText(status), static_cast<int>(status), path);
}

bool ApplyToOperands(const ChangeRequest& request, int32_t count, char* const* operands) {
    bool failed = false;
    char canonical[kCanonicalPathSize];
    for (int32_t i = 0; i < count; ++i) {
        StatusCode status = 0;
        const char* path = PathToUpdate(operands[i], canonical, &status);
        if (path != nullptr)
            status = ApplyChanges(request, path);
        if (status != 0) {
            PrintError(status, operands[i]);
            failed = true;
        }
    }
    return failed;
}
