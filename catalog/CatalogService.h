// The catalog and date operations that Vornik's catalog update relies on.
//
// platform/ implements them on the real file system; the unit tests link a
// recording stand-in in their place. Nothing but ApplyChanges (and the reader
// of records) calls them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "config/BuildChoices.h"

// A status of one operation of the catalog or date service. Callers take its
// low 16 bits, read as signed: 0 is success, negative values are the catalog
// service's codes, positive values errno numbers of path resolution.
using PlatformStatus = int32_t;

// The 16-bit status that an operand's update ends with.
using StatusCode = int16_t;

inline StatusCode StatusFromPlatform(PlatformStatus status) {
    return static_cast<StatusCode>(static_cast<uint16_t>(static_cast<uint32_t>(status) & 0xFFFFu));
}

// The catalog service's own codes.
enum : StatusCode {
    kDirectoryNotFound = -120,
    kWritePermissionError = -61,
    kFileBusy = -47,
    kVolumeLocked = -46,
    kFileNotFound = -43,
    kDiskFull = -34,
    kIOError = -36,
};

// The record layouts below are the catalog service's and are packed to two
// bytes, as the service lays them out; the assertions pin every offset.
#pragma pack(push, 2)

// Seconds since 1904-01-01 00:00 as a 48-bit count, plus a 16-bit fraction.
struct WideDateTime {
    uint16_t highSeconds;
    uint32_t lowSeconds;
    uint16_t fraction;
};

// Seconds from 1904-01-01 00:00 to 1970-01-01 00:00.
inline constexpr int64_t kSecondsFrom1904 = 2082844800;

using NodeStateFlags = uint16_t;
using DisplayFlags = uint16_t;
using ExtendedDisplayFlags = uint16_t;

inline constexpr NodeStateFlags kNodeLockedBit = 0x0001;
inline constexpr ExtendedDisplayFlags kBusyBit = 0x0080;

struct PresentationInfo {
    uint32_t typeCode;
    uint32_t creatorCode;
    DisplayFlags displayFlags;
    uint8_t uninterpreted[6];  // written back as read
};

struct ExtendedPresentationInfo {
    uint8_t uninterpreted1[8];  // written back as read
    ExtendedDisplayFlags extendedDisplayFlags;
    uint8_t uninterpreted2[6];  // written back as read
};

// One node's catalog fields, in host byte order. Only the fields that an
// operation's mask selects carry meaning.
struct NodeRecord {
    NodeStateFlags nodeStateFlags;
    uint8_t reserved1[14];
    WideDateTime creationDate;      // universal time
    WideDateTime modificationDate;  // universal time
    uint8_t reserved2[40];
    PresentationInfo presentationInfo;
    ExtendedPresentationInfo extendedPresentationInfo;
};

#pragma pack(pop)

static_assert(sizeof(WideDateTime) == 8, "WideDateTime is 8 bytes without gaps");
static_assert(offsetof(WideDateTime, highSeconds) == 0);
static_assert(offsetof(WideDateTime, lowSeconds) == 2);
static_assert(offsetof(WideDateTime, fraction) == 6);

// The 48-bit count of seconds that the high and low seconds hold together.
inline int64_t WideSeconds(const WideDateTime& date) {
    return int64_t{date.highSeconds} << 32 | date.lowSeconds;
}

inline WideDateTime WideFromSeconds(int64_t seconds, uint16_t fraction) {
    return WideDateTime{static_cast<uint16_t>(seconds >> 32), static_cast<uint32_t>(seconds), fraction};
}

static_assert(sizeof(PresentationInfo) == 16);
static_assert(offsetof(PresentationInfo, typeCode) == 0);
static_assert(offsetof(PresentationInfo, creatorCode) == 4);
static_assert(offsetof(PresentationInfo, displayFlags) == 8);
static_assert(offsetof(PresentationInfo, uninterpreted) == 10);

static_assert(sizeof(ExtendedPresentationInfo) == 16);
static_assert(offsetof(ExtendedPresentationInfo, extendedDisplayFlags) == 8);
static_assert(offsetof(ExtendedPresentationInfo, uninterpreted2) == 10);

static_assert(offsetof(NodeRecord, nodeStateFlags) == 0);
static_assert(offsetof(NodeRecord, creationDate) == 16);
static_assert(offsetof(NodeRecord, modificationDate) == 24);
static_assert(offsetof(NodeRecord, presentationInfo) == 72);
static_assert(offsetof(NodeRecord, extendedPresentationInfo) == 88);

// Selects fields of a NodeRecord for ReadNodeFields and WriteNodeFields.
using NodeFieldMask = uint32_t;

enum : NodeFieldMask {
    kNodeStateFlagsField = 0x0002,
    kCreationDateField = 0x0020,
    kModificationDateField = 0x0040,
    kPresentationInfoField = 0x0800,
    kExtendedPresentationInfoField = 0x1000,
};

// ResolveNode's option bit: act on a final symbolic link itself.
inline constexpr uint32_t kResolveLinkItself = 0x0001;

// A reference to one node, made by ResolveNode and released by ReleaseNode.
// Its content belongs to the catalog service; callers never look inside.
struct NodeHandle {
    int32_t descriptor;
    int32_t serviceDescriptor;
    uint32_t serviceFlags;
    uint8_t serviceData[48];
};

// Makes a handle for the node that path names. options is 0 or
// kResolveLinkItself. On success the handle must be given to ReleaseNode.
PlatformStatus ResolveNode(const char* path, uint32_t options, NodeHandle* node);

// The form without an options word: a final symbolic link is followed.
inline PlatformStatus ResolveNode(const char* path, NodeHandle* node) {
    return ResolveNode(path, 0, node);
}

// Fills the fields of record that mask selects with the node's current values.
PlatformStatus ReadNodeFields(NodeHandle* node, NodeFieldMask mask, NodeRecord* record);

// Stores the fields of record that mask selects into the node's catalog
// record in one operation; the others keep their stored values. An empty
// mask changes nothing. On failure the node is left as it was.
PlatformStatus WriteNodeFields(NodeHandle* node, NodeFieldMask mask, const NodeRecord* record);

// Gives back what ResolveNode took for the handle.
void ReleaseNode(NodeHandle* node);

// Converts a local date and time to universal time. Always fills universal,
// also when it reports a failure.
PlatformStatus UniversalFromLocal(const WideDateTime* local, WideDateTime* universal);
