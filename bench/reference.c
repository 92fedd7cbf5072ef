// The least work per file that each route of the catalog update needs, for
// the benchmark to hold Vornik against: one mode per route, the file names as
// the arguments (given through xargs, as Vornik's are). Codes and flags are a
// read-modify-write of the 44-byte record (type TEXT, creator ttxt, the
// invisible flag set), as `Vornik -t TEXT -c ttxt -a V` does; the date is
// 1/2/2003 00:00 local time, as `Vornik -m 1/2/2003`.
//
//   xattr-rdonly  open(O_RDONLY|O_NONBLOCK) + fgetxattr + fsetxattr + close
//   xattr-proc    open(O_PATH) + getxattr/setxattr on /proc/self/fd/N + close
//   xattr-lock    open(O_PATH) + fstat + openat(/proc/self/fd, "N", O_RDONLY)
//                 + flock(LOCK_EX) + fgetxattr + fstat (the node is still
//                 there) + fsetxattr + close + close;
//                 nodes other than files and folders take the /proc path calls
//   mtime         open(O_PATH) + fstat (a node removed since it was resolved
//                 is not written) + utimensat(fd, "", AT_EMPTY_PATH) + close
//   mtime-unchecked
//                 open(O_PATH) + utimensat(fd, "", AT_EMPTY_PATH) + close:
//                 the same without the check, the least any handle can do
//   both          xattr-lock with utimensat on the O_PATH descriptor before
//                 the closes
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

enum { kRecordSize = 44 };
static const char kRecordName[] = "user.vornik.catalog";

static struct timespec gTimes[2];
static int gProcDescriptors = -1;

// Merges the change into the record as read; a node without a record
// starts from an empty one.
static int Merge(unsigned char* record, ssize_t length) {
    if (length < 0) {
        if (errno != ENODATA && errno != ENOTSUP)
            return -1;
        memset(record, 0, kRecordSize);
        record[0] = 1;
    } else if (length != kRecordSize || record[0] != 1) {
        errno = EIO;
        return -1;
    }
    memcpy(record + 12, "TEXT", 4);
    memcpy(record + 16, "ttxt", 4);
    record[20] |= 0x40;
    return 0;
}

// A node removed since it was resolved is not written.
static int StillThere(int fd) {
    struct stat status;
    return fstat(fd, &status) == 0 && status.st_nlink > 0;
}

// examined: a descriptor of the node to examine between the read and the
// write, or -1.
static int ByDescriptor(int fd, int examined) {
    unsigned char record[kRecordSize + 1];
    if (Merge(record, fgetxattr(fd, kRecordName, record, sizeof record)) != 0)
        return -1;
    if (examined >= 0 && !StillThere(examined))
        return -1;
    return fsetxattr(fd, kRecordName, record, kRecordSize, 0);
}

static int ByProcPath(int fd) {
    char path[32];
    snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    unsigned char record[kRecordSize + 1];
    if (Merge(record, getxattr(path, kRecordName, record, sizeof record)) != 0)
        return -1;
    return setxattr(path, kRecordName, record, kRecordSize, 0);
}

static int ReadOnly(int fd) {
    return ByDescriptor(fd, -1);
}

// Files and folders are reopened for reading through the descriptor's /proc
// entry (no second lookup of the name) and locked; other kinds are never
// opened, and take the path calls on the O_PATH descriptor.
static int Locked(int fd, int withDate) {
    struct stat status;
    if (fstat(fd, &status) != 0)
        return -1;
    int result;
    if (S_ISREG(status.st_mode) || S_ISDIR(status.st_mode)) {
        char number[16];
        snprintf(number, sizeof number, "%d", fd);
        const int reopened = openat(gProcDescriptors, number, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (reopened < 0)
            return -1;
        result = flock(reopened, LOCK_EX);
        if (result == 0)
            result = ByDescriptor(reopened, fd);
        if (result == 0 && withDate)
            result = utimensat(fd, "", gTimes, AT_EMPTY_PATH);
        close(reopened);
    } else {
        result = ByProcPath(fd);
        if (result == 0 && withDate)
            result = utimensat(fd, "", gTimes, AT_EMPTY_PATH);
    }
    return result;
}

static int LockedCodes(int fd) {
    return Locked(fd, 0);
}

static int LockedBoth(int fd) {
    return Locked(fd, 1);
}

static int CheckedDate(int fd) {
    return StillThere(fd) ? utimensat(fd, "", gTimes, AT_EMPTY_PATH) : -1;
}

static int UncheckedDate(int fd) {
    return utimensat(fd, "", gTimes, AT_EMPTY_PATH);
}

struct Mode {
    const char* name;
    int openFlags;
    int (*update)(int fd);
};

static const struct Mode kModes[] = {
    {"xattr-rdonly", O_RDONLY | O_NONBLOCK, ReadOnly}, {"xattr-proc", O_PATH, ByProcPath},
    {"xattr-lock", O_PATH, LockedCodes},              {"mtime", O_PATH, CheckedDate},
    {"mtime-unchecked", O_PATH, UncheckedDate},       {"both", O_PATH, LockedBoth},
};

// Every mode opens the file by its name once, updates it through that
// descriptor and closes it.
static int UpdateFile(const struct Mode* mode, const char* name) {
    const int fd = open(name, mode->openFlags | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const int result = mode->update(fd);
    close(fd);
    return result;
}

int main(int argc, char** argv) {
    const struct Mode* mode = NULL;
    for (size_t i = 0; argc > 1 && i < sizeof kModes / sizeof kModes[0]; ++i) {
        if (strcmp(argv[1], kModes[i].name) == 0)
            mode = &kModes[i];
    }
    if (mode == NULL) {
        fputs("usage: reference xattr-rdonly|xattr-proc|xattr-lock|mtime|mtime-unchecked|both file...\n", stderr);
        return 1;
    }
    struct tm local = {.tm_year = 2003 - 1900, .tm_mon = 0, .tm_mday = 2, .tm_isdst = -1};
    gTimes[0].tv_nsec = UTIME_OMIT;
    gTimes[1].tv_sec = mktime(&local);
    if (mode->update == LockedCodes || mode->update == LockedBoth) {
        gProcDescriptors = open("/proc/self/fd", O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (gProcDescriptors < 0) {
            perror("/proc/self/fd");
            return 1;
        }
    }
    int failed = 0;
    for (int i = 2; i < argc; ++i) {
        if (UpdateFile(mode, argv[i]) != 0) {
            fprintf(stderr, "%s: %s\n", argv[i], strerror(errno));
            failed = 1;
        }
    }
    return failed;
}
