// The record of requested changes: one per run, filled while the options are
// parsed and only read afterwards, for every operand alike.
#pragma once

#include <cstdint>

#include "catalog/CatalogService.h"
#include "config/BuildChoices.h"

// A value field means something only while its flag is 1. Dates hold local
// seconds since 1904 in lowSeconds alone; they become universal per operand.
struct ChangeRequest {
    uint8_t typeRequested;
    uint32_t typeCode;
    uint8_t creatorRequested;
    uint32_t creatorCode;
    uint8_t modDateRequested;
    WideDateTime modDate;
    uint8_t attributesRequested;
    uint16_t setMask;    // DisplayFlags bits to set
    uint16_t clearMask;  // DisplayFlags bits to clear; clearing wins
    uint8_t createdDateRequested;
    WideDateTime createdDate;
    uint8_t lockedRequested;
    uint8_t lockedValue;
#if VORNIK_HAS_BUSY
    uint8_t busyRequested;
    uint8_t busyValue;
#endif
#if VORNIK_HAS_PATH_OPTIONS
    uint32_t pathOptions;  // 0, or kResolveLinkItself after "-P"
#endif
};

// The fields that not every build has are reached through these, so that
// the code using them reads the same in every build.

inline bool BusyRequested(const ChangeRequest& request) {
#if VORNIK_HAS_BUSY
    return request.busyRequested != 0;
#else
    (void)request;
    return false;
#endif
}

inline bool BusyValue(const ChangeRequest& request) {
#if VORNIK_HAS_BUSY
    return request.busyValue != 0;
#else
    (void)request;
    return false;
#endif
}

inline void RequestBusy(ChangeRequest& request, bool busy) {
#if VORNIK_HAS_BUSY
    request.busyRequested = 1;
    request.busyValue = busy;
#else
    (void)request;
    (void)busy;
#endif
}

inline uint32_t PathOptions(const ChangeRequest& request) {
#if VORNIK_HAS_PATH_OPTIONS
    return request.pathOptions;
#else
    (void)request;
    return 0;
#endif
}

// False in a build without "-P".
inline bool RequestLinkItself(ChangeRequest& request) {
#if VORNIK_HAS_PATH_OPTIONS
    request.pathOptions = kResolveLinkItself;
    return true;
#else
    (void)request;
    return false;
#endif
}
