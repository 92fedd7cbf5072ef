// Carrying out the run's request on one operand.
#pragma once

#include "catalog/CatalogService.h"
#include "cli/ChangeRequest.h"

// What ReadNodeFields is asked for whenever a flag or a code is to change,
// and what is written back after the merge.
inline constexpr NodeFieldMask kFlagsAndCodesMask =
    kNodeStateFlagsField | kPresentationInfoField |
    (build::hasBusy ? NodeFieldMask{kExtendedPresentationInfoField} : NodeFieldMask{0});

// Resolves path, reads what must be merged (only when a flag or a code is
// to change), merges, converts the dates and writes every selected field in
// one call. Returns 0, or the status of the first operation that failed.
StatusCode ApplyChanges(const ChangeRequest& request, const char* path);
