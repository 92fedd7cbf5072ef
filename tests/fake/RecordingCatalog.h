// A stand-in for the catalog and date services that records every call and
// answers from a script, so tests see which calls came, in which order and
// with which masks.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "catalog/CatalogService.h"

enum class CatalogOp { resolve, read, convert, write, release };

struct CatalogCall {
    CatalogOp op;
    std::string path;        // resolve
    uint32_t options;        // resolve
    int32_t descriptor;      // read, write, release: the handle's node
    NodeFieldMask mask;      // read, write
    WideDateTime date;       // convert: the local date given
    NodeRecord record;       // write: the record given
};

struct RecordingCatalog {
    std::vector<CatalogCall> calls;

    // Scripted answers. A path listed in resolveFailures fails with its
    // status; every other path resolves to a new node.
    std::map<std::string, PlatformStatus> resolveFailures;
    PlatformStatus readStatus = 0;
    PlatformStatus writeStatus = 0;
    PlatformStatus convertStatus = 0;
    NodeRecord stored{};                  // what a read gives
    int64_t universalOffset = 3600;       // convert: universal = local + this
};

// The one recording that the services write to; reset between tests.
RecordingCatalog& Recording();
void ResetRecording();

// The ops of the recorded calls, in order.
std::vector<CatalogOp> RecordedOps();
