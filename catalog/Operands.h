// The operand loop and its error report.
#pragma once

#include <cstdint>
#include <cstdio>

#include "catalog/CatalogService.h"
#include "cli/ChangeRequest.h"

// Applies the request to each operand in order, reporting each failure in
// one error line. Returns true when at least one operand failed.
bool ApplyToOperands(const ChangeRequest& request, int32_t count, char* const* operands);

// Prints "ERROR: <message> (<code>)  on file: <path> \r\n".
void PrintError(StatusCode status, const char* path);

// The same line on another stream: VornikShow keeps its standard output for
// the values that scripts read.
void PrintErrorTo(FILE* stream, StatusCode status, const char* path);

// The message for a status; "Unexpected Error." for a status without one.
const char* ErrorText(StatusCode status);
