// The catalog service on Linux. A node is held by an O_PATH descriptor from
// ResolveNode to ReleaseNode, so the node that was resolved is the node that
// is read and written, whatever happens to its path meanwhile. The stored
// fields live in one extended attribute (platform/StoredRecord.h); the
// modification date is the node's mtime.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <climits>
#include <string_view>

#include "catalog/CatalogService.h"
#include "platform/StoredRecord.h"
#include "platform/WriteSteps.h"

namespace {

// NodeHandle::serviceFlags
constexpr uint32_t kStoredLoaded = 0x1;   // serviceData holds the attribute as stored
constexpr uint32_t kStoredPresent = 0x2;  // the node has the attribute

static_assert(sizeof(NodeHandle{}.serviceData) >= kStoredRecordSize);

// Every build, 32-bit ones included, sees files over 4 GiB and times after
// 2038 without a system call failing on them.
static_assert(sizeof(off_t) == 8 && sizeof(time_t) == 8, "build with 64-bit file offsets and times");

WriteStepHook gWriteStepHook = nullptr;

// 0 to go on with the step, or the errno that the step is to fail with.
int FaultBefore(WriteStep step, const NodeHandle* node) {
    return gWriteStepHook != nullptr ? gWriteStepHook(step, node) : 0;
}

struct ErrnoStatus {
    int error;
    StatusCode status;
};

// How a failed read or write of a node's record is reported. An error
// without a row reports the service's i/o error.
constexpr std::array kStoreErrors{
    ErrnoStatus{EACCES, kWritePermissionError}, ErrnoStatus{EPERM, kWritePermissionError},
    ErrnoStatus{ENOTSUP, kWritePermissionError}, ErrnoStatus{EROFS, kVolumeLocked},
    ErrnoStatus{EBUSY, kFileBusy},               ErrnoStatus{ETXTBSY, kFileBusy},
    ErrnoStatus{EIO, kIOError},                  ErrnoStatus{ENOENT, kFileNotFound},
    ErrnoStatus{ESTALE, kFileNotFound},          ErrnoStatus{ENOSPC, kDiskFull},
    ErrnoStatus{EDQUOT, kDiskFull},
};

PlatformStatus StoreStatus(int error) {
    for (const ErrnoStatus& row : kStoreErrors) {
        if (row.error == error)
            return row.status;
    }
    return kIOError;
}

// A missing last component inside an existing directory is a missing file;
// a missing directory on the way is a missing directory.
PlatformStatus MissingNodeStatus(const char* path) {
    std::string_view name(path);
    while (name.size() > 1 && name.back() == '/')
        name.remove_suffix(1);
    const size_t slash = name.rfind('/');
    char directory[PATH_MAX] = ".";
    if (slash != std::string_view::npos) {
        const size_t length = slash == 0 ? 1 : slash;
        if (length >= sizeof directory)
            return ENOENT;
        memcpy(directory, path, length);
        directory[length] = '\0';
    }
    struct stat status {};
    if (stat(directory, &status) == 0 && S_ISDIR(status.st_mode))
        return kFileNotFound;
    return ENOENT;
}

// The attribute calls refuse O_PATH descriptors; the descriptor's entry in
// /proc names the same node without a second lookup of the operand.
struct DescriptorPath {
    char text[32];
};

DescriptorPath PathOf(const NodeHandle* node) {
    DescriptorPath path{};
    snprintf(path.text, sizeof path.text, "/proc/self/fd/%d", static_cast<int>(node->descriptor));
    return path;
}

// Reads the attribute into the handle once. A node without it, or on a file
// system without user attributes, reads as all zero; an attribute that is
// not a record of ours is refused, and never written over.
PlatformStatus LoadStored(NodeHandle* node) {
    if (node->serviceFlags & kStoredLoaded)
        return 0;
    uint8_t buffer[kStoredRecordSize + 1];
    const ssize_t length = getxattr(PathOf(node).text, kStoredRecordName, buffer, sizeof buffer);
    if (length < 0 && errno != ENODATA && errno != ENOTSUP)
        return errno == ERANGE ? kIOError : StoreStatus(errno);
    NodeRecord check{};
    if (length >= 0 && !DecodeStoredRecord(buffer, static_cast<size_t>(length), &check))
        return kIOError;
    memset(node->serviceData, 0, sizeof node->serviceData);
    if (length >= 0)
        memcpy(node->serviceData, buffer, kStoredRecordSize);
    node->serviceFlags |= kStoredLoaded | (length >= 0 ? kStoredPresent : 0);
    return 0;
}

// The stored fields as the handle last saw them; all zero without a record.
NodeRecord StoredFields(const NodeHandle* node) {
    NodeRecord record{};
    if (node->serviceFlags & kStoredPresent)
        DecodeStoredRecord(node->serviceData, kStoredRecordSize, &record);
    return record;
}

PlatformStatus SaveStored(NodeHandle* node, const StoredRecordBytes& bytes) {
    if (const int fault = FaultBefore(WriteStep::storeRecord, node))
        return StoreStatus(fault);
    if (setxattr(PathOf(node).text, kStoredRecordName, bytes.data(), bytes.size(), 0) != 0)
        return StoreStatus(errno);
    return 0;
}

// Puts back the attribute as it was before this handle wrote it.
void RestoreStored(const NodeHandle* node) {
    const DescriptorPath path = PathOf(node);
    if (node->serviceFlags & kStoredPresent)
        setxattr(path.text, kStoredRecordName, node->serviceData, kStoredRecordSize, 0);
    else
        removexattr(path.text, kStoredRecordName);
}

WideDateTime WideFromTimespec(const struct timespec& time) {
    const int64_t seconds = static_cast<int64_t>(time.tv_sec) + kSecondsFrom1904;
    if (seconds < 0)
        return WideDateTime{0, 0, 0};
    const auto fraction = static_cast<uint16_t>(static_cast<int64_t>(time.tv_nsec) * 65536 / 1000000000);
    return WideDateTime{static_cast<uint16_t>(seconds >> 32), static_cast<uint32_t>(seconds), fraction};
}

struct timespec TimespecFromWide(const WideDateTime& date) {
    const int64_t seconds = (int64_t{date.highSeconds} << 32 | date.lowSeconds) - kSecondsFrom1904;
    struct timespec time {};
    time.tv_sec = static_cast<time_t>(seconds);
    time.tv_nsec = static_cast<long>(int64_t{date.fraction} * 1000000000 / 65536);
    return time;
}

PlatformStatus ReadModificationDate(const NodeHandle* node, NodeRecord* record) {
    struct stat status {};
    if (fstatat(node->descriptor, "", &status, AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW) != 0)
        return StoreStatus(errno);
    record->modificationDate = WideFromTimespec(status.st_mtim);
    return 0;
}

PlatformStatus WriteModificationDate(const NodeHandle* node, const WideDateTime& date) {
    if (const int fault = FaultBefore(WriteStep::setModificationDate, node))
        return StoreStatus(fault);
    const struct timespec times[2] = {{0, UTIME_OMIT}, TimespecFromWide(date)};
    if (utimensat(node->descriptor, "", times, AT_EMPTY_PATH) != 0)
        return StoreStatus(errno);
    return 0;
}

}  // namespace

void SetWriteStepHook(WriteStepHook hook) {
    gWriteStepHook = hook;
}

PlatformStatus ResolveNode(const char* path, uint32_t options, NodeHandle* node) {
    int flags = O_PATH | O_CLOEXEC;
    if (options & kResolveLinkItself)
        flags |= O_NOFOLLOW;
    const int descriptor = open(path, flags);
    if (descriptor < 0)
        return errno == ENOENT ? MissingNodeStatus(path) : errno;
    *node = NodeHandle{};
    node->descriptor = descriptor;
    return 0;
}

PlatformStatus ReadNodeFields(NodeHandle* node, NodeFieldMask mask, NodeRecord* record) {
    if (mask & kStoredFields) {
        const PlatformStatus status = LoadStored(node);
        if (status != 0)
            return status;
        CopyNodeFields(mask & kStoredFields, StoredFields(node), record);
    }
    if (mask & kModificationDateField)
        return ReadModificationDate(node, record);
    return 0;
}

// The attribute is replaced first, keeping the fields that the mask leaves
// out; if the mtime then cannot be set, the old attribute is put back, so a
// failed write leaves the node as it was.
PlatformStatus WriteNodeFields(NodeHandle* node, NodeFieldMask mask, const NodeRecord* record) {
    const NodeFieldMask storedMask = mask & kStoredFields;
    StoredRecordBytes bytes{};
    if (storedMask != 0) {
        PlatformStatus status = LoadStored(node);
        if (status != 0)
            return status;
        NodeRecord merged = StoredFields(node);
        CopyNodeFields(storedMask, *record, &merged);
        bytes = EncodeStoredRecord(merged);
        status = SaveStored(node, bytes);
        if (status != 0)
            return status;
    }
    if (mask & kModificationDateField) {
        const PlatformStatus status = WriteModificationDate(node, record->modificationDate);
        if (status != 0) {
            if (storedMask != 0)
                RestoreStored(node);
            return status;
        }
    }
    if (storedMask != 0) {
        memcpy(node->serviceData, bytes.data(), bytes.size());
        node->serviceFlags |= kStoredPresent;
    }
    return 0;
}

void ReleaseNode(NodeHandle* node) {
    if (node->descriptor >= 0)
        close(node->descriptor);
    node->descriptor = -1;
}
