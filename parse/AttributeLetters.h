// The letters of "-a": uppercase sets an attribute, lowercase clears it.
#pragma once

#include "cli/ChangeRequest.h"

// Merges the letters of value into the request's masks and its locked and
// busy requests. Each byte that names no attribute prints
// "Invalid File Attribute Specified." (no line end) and is skipped.
void ParseAttributeLetters(const char* value, ChangeRequest& request);
