// A seam between the steps of an update, for tests that must place a fault
// exactly there (a node removed after it was resolved, a refused mtime after
// the attribute was replaced), where no sleep or second process could.
#pragma once

#include "catalog/CatalogService.h"

enum class WriteStep {
    examineNode,          // the resolved node is about to be examined before its update
    storeRecord,          // the attribute is about to be replaced
    setModificationDate,  // the mtime is about to be set
};

// Called before each step with the node; a non-zero errno makes the step
// fail with that error, as if the system had refused it.
using WriteStepHook = int (*)(WriteStep step, const NodeHandle* node);

// Installs a hook, or none with nullptr. Not for use by the program itself.
void SetWriteStepHook(WriteStepHook hook);
