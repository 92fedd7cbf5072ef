// The operand loop and its error report.
#pragma once

#include <climits>
#include <cstdint>
#include <cstdio>

#include "catalog/CatalogService.h"
#include "cli/ChangeRequest.h"

// Applies the request to each operand in order, reporting each failure in
// one error line. Returns true when at least one operand failed.
bool ApplyToOperands(const ChangeRequest& request, int32_t count, char* const* operands);

// The room PathToUpdate needs for a canonical path.
inline constexpr size_t kCanonicalPathSize = build::canonicalOperands ? PATH_MAX : 1;

// The path by which an operand is updated: the operand itself, or where the
// build asks for it, its canonical form written into canonical. Returns null
// after setting *status (an errno number) when the operand cannot be made
// canonical.
const char* PathToUpdate(const char* operand, char* canonical, StatusCode* status);

// Prints "ERROR: <message> (<code>)  on file: <path> \r\n".
void PrintError(StatusCode status, const char* path);

// The same line on another stream: VornikShow keeps its standard output for
// the values that scripts read.
void PrintErrorTo(FILE* stream, StatusCode status, const char* path);

// The message for a status; "Unexpected Error." for a status without one.
const char* ErrorText(StatusCode status);
