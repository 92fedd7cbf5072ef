// VornikShow's operand loop: each operand's record read through the catalog
// service and printed, a failing operand reported in Vornik's error line.
#pragma once

#include <cstdint>

#include "catalog/ApplyChanges.h"
#include "show/ShowOptions.h"

// What is read of each operand: everything that VornikShow prints, the flags
// and codes that Vornik merges and both dates.
inline constexpr NodeFieldMask kShowMask = kFlagsAndCodesMask | kCreationDateField | kModificationDateField;

// Shows each operand in order on standard output: a block of all values, or
// one line with the requested value. A failing operand gets one error line
// on standard error and the loop goes on. Returns true when at least one
// operand failed.
bool ShowOperands(const ShowRequest& request, int32_t count, char* const* operands);
