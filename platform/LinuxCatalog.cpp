// The catalog service on Linux. A node is held by an O_PATH descriptor from
// ResolveNode to ReleaseNode, so the node that was resolved is the node that
// is read and written, whatever happens to its path meanwhile. The stored
// fields live in one extended attribute (platform/StoredRecord.h); the
// modification date is the node's mtime.

#include <fcntl.h>
#include <sys/file.h>
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
constexpr uint32_t kRecordOpened = 0x4;   // examined; serviceDescriptor set where readable

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

// The record's way into a node. Resolution holds an O_PATH descriptor,
// which the attribute calls and flock refuse. For a regular file or a folder
// the descriptor is opened again for reading through its own entry in
// /proc/self/fd (the same node, no second lookup of the operand), and the
// record's read-merge-write is done under an exclusive flock on it, so that
// concurrent runs lose no update. No other kind of node is ever opened:
// opening a device can have side effects, and only files and folders carry
// user attributes. Those, and nodes that may not be opened for reading, are
// reached by the /proc path of the O_PATH descriptor, without a lock.

// The directory of this process's descriptors, opened once it is needed
// and kept. (A plain global rather than a function's static: the program
// needs nothing of the C++ runtime, which keeps its start-up short.)
int gDescriptorDirectory = -1;

int DescriptorDirectory() {
    if (gDescriptorDirectory < 0)
        gDescriptorDirectory = open("/proc/self/fd", O_PATH | O_DIRECTORY | O_CLOEXEC);
    return gDescriptorDirectory;
}

struct DescriptorName {
    char text[32];
};

DescriptorName NameOf(int descriptor) {
    DescriptorName name{};
    snprintf(name.text, sizeof name.text, "%d", descriptor);
    return name;
}

DescriptorName PathOf(const NodeHandle* node) {
    DescriptorName path{};
    snprintf(path.text, sizeof path.text, "/proc/self/fd/%d", static_cast<int>(node->descriptor));
    return path;
}

// Waits for the node's lock. Where the file system has no flock (some
// network file systems), the update goes on unlocked.
void LockRecord(int descriptor) {
    while (flock(descriptor, LOCK_EX) != 0 && errno == EINTR) {
    }
}

// Examines the resolved node before its update: a node removed since it was
// resolved is not found, and nothing is written to it.
PlatformStatus ExamineNode(NodeHandle* node, struct stat* status) {
    if (const int fault = FaultBefore(WriteStep::examineNode, node))
        return StoreStatus(fault);
    if (fstat(node->descriptor, status) != 0)
        return StoreStatus(errno);
    return status->st_nlink == 0 ? kFileNotFound : 0;
}

// Prepares the node's record once: a file or folder is opened for reading
// and locked; any other kind of node is left unopened. examined is the
// node's status when the caller has just examined it, else null.
PlatformStatus OpenRecord(NodeHandle* node, const struct stat* examined) {
    if (node->serviceFlags & kRecordOpened)
        return 0;
    struct stat status {};
    if (examined != nullptr) {
        status = *examined;
    } else if (const PlatformStatus found = ExamineNode(node, &status); found != 0) {
        return found;
    }
    node->serviceFlags |= kRecordOpened;
    if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
        return 0;
    const int readable = openat(DescriptorDirectory(), NameOf(node->descriptor).text,
                                O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (readable < 0)  // no read permission: the path calls still work
        return 0;
    node->serviceDescriptor = readable;
    LockRecord(readable);
    return 0;
}

ssize_t GetAttribute(const NodeHandle* node, void* buffer, size_t size) {
    if (node->serviceDescriptor >= 0)
        return fgetxattr(node->serviceDescriptor, kStoredRecordName, buffer, size);
    return getxattr(PathOf(node).text, kStoredRecordName, buffer, size);
}

int SetAttribute(const NodeHandle* node, const void* bytes, size_t size) {
    if (node->serviceDescriptor >= 0)
        return fsetxattr(node->serviceDescriptor, kStoredRecordName, bytes, size, 0);
    return setxattr(PathOf(node).text, kStoredRecordName, bytes, size, 0);
}

int RemoveAttribute(const NodeHandle* node) {
    if (node->serviceDescriptor >= 0)
        return fremovexattr(node->serviceDescriptor, kStoredRecordName);
    return removexattr(PathOf(node).text, kStoredRecordName);
}

// Reads the attribute into the handle once. A node without it, or on a file
// system without user attributes, reads as all zero; an attribute that is
// not a record of ours is refused, and never written over.
PlatformStatus LoadStored(NodeHandle* node, const struct stat* examined) {
    if (node->serviceFlags & kStoredLoaded)
        return 0;
    const PlatformStatus opened = OpenRecord(node, examined);
    if (opened != 0)
        return opened;
    uint8_t buffer[kStoredRecordSize + 1];
    const ssize_t length = GetAttribute(node, buffer, sizeof buffer);
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
    if (SetAttribute(node, bytes.data(), bytes.size()) != 0)
        return StoreStatus(errno);
    return 0;
}

// Puts back the attribute as it was before this handle wrote it.
void RestoreStored(const NodeHandle* node) {
    if (node->serviceFlags & kStoredPresent)
        SetAttribute(node, node->serviceData, kStoredRecordSize);
    else
        RemoveAttribute(node);
}

WideDateTime WideFromTimespec(const struct timespec& time) {
    const int64_t seconds = static_cast<int64_t>(time.tv_sec) + kSecondsFrom1904;
    if (seconds < 0)
        return WideDateTime{0, 0, 0};
    const auto fraction = static_cast<uint16_t>(static_cast<int64_t>(time.tv_nsec) * 65536 / 1000000000);
    return WideFromSeconds(seconds, fraction);
}

struct timespec TimespecFromWide(const WideDateTime& date) {
    const int64_t seconds = WideSeconds(date) - kSecondsFrom1904;
    struct timespec time {};
    time.tv_sec = static_cast<time_t>(seconds);
    time.tv_nsec = static_cast<long>(int64_t{date.fraction} * 1000000000 / 65536);
    return time;
}

// A node never given a creation date shows the birth time that the file
// system keeps, where it keeps one; else the date stays 0.
void ReadBirthTime(const NodeHandle* node, NodeRecord* record) {
    struct statx status {};
    if (statx(node->descriptor, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_BTIME, &status) != 0 ||
        !(status.stx_mask & STATX_BTIME))
        return;
    struct timespec birth {};
    birth.tv_sec = static_cast<time_t>(status.stx_btime.tv_sec);
    birth.tv_nsec = static_cast<long>(status.stx_btime.tv_nsec);
    record->creationDate = WideFromTimespec(birth);
}

bool IsZero(const WideDateTime& date) {
    return date.highSeconds == 0 && date.lowSeconds == 0 && date.fraction == 0;
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
    node->serviceDescriptor = -1;
    return 0;
}

PlatformStatus ReadNodeFields(NodeHandle* node, NodeFieldMask mask, NodeRecord* record) {
    if (mask & kStoredFields) {
        const PlatformStatus status = LoadStored(node, nullptr);
        if (status != 0)
            return status;
        CopyNodeFields(mask & kStoredFields, StoredFields(node), record);
        if ((mask & kCreationDateField) && IsZero(record->creationDate))
            ReadBirthTime(node, record);
    }
    if (mask & kModificationDateField)
        return ReadModificationDate(node, record);
    return 0;
}

// The node is examined right before the write, so that one removed since it
// was resolved (or since its record was read) is not found and keeps what it
// had. The attribute is replaced first, keeping the fields that the mask
// leaves out; if the mtime then cannot be set, the old attribute is put
// back, so a failed write leaves the node as it was.
PlatformStatus WriteNodeFields(NodeHandle* node, NodeFieldMask mask, const NodeRecord* record) {
    if (mask == 0)
        return 0;
    struct stat examined {};
    if (const PlatformStatus found = ExamineNode(node, &examined); found != 0)
        return found;
    const NodeFieldMask storedMask = mask & kStoredFields;
    StoredRecordBytes bytes{};
    if (storedMask != 0) {
        PlatformStatus status = LoadStored(node, &examined);
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
        const PlatformStatus written = WriteModificationDate(node, record->modificationDate);
        if (written != 0) {
            if (storedMask != 0)
                RestoreStored(node);
            return written;
        }
    }
    if (storedMask != 0) {
        memcpy(node->serviceData, bytes.data(), bytes.size());
        node->serviceFlags |= kStoredPresent;
    }
    return 0;
}

// Closing the readable descriptor also gives up the lock.
void ReleaseNode(NodeHandle* node) {
    if (node->serviceDescriptor >= 0)
        close(node->serviceDescriptor);
    if (node->descriptor >= 0)
        close(node->descriptor);
    node->serviceDescriptor = -1;
    node->descriptor = -1;
}
