// The catalog service on real files in a fresh directory per test.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "catalog/CatalogService.h"
#include "platform/StoredRecord.h"
#include "platform/WriteSteps.h"

namespace {

using Bytes = std::basic_string<uint8_t>;

class LinuxCatalogTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/vornik-catalog-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        ASSERT_EQ(chmod(pattern, 0755), 0);
    }
    void TearDown() override {
        const std::string command = "rm -rf " + directory;
        EXPECT_EQ(system(command.c_str()), 0);
    }

    std::string Path(const std::string& name) const { return directory + "/" + name; }

    std::string MakeFile(const std::string& name, mode_t mode = 0644) const {
        const std::string path = Path(name);
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, mode);
        EXPECT_GE(fd, 0);
        close(fd);
        chmod(path.c_str(), mode);
        return path;
    }

    // The attribute's bytes, or nothing when the node has none.
    static Bytes Attribute(const std::string& path) {
        uint8_t buffer[256];
        const ssize_t length = lgetxattr(path.c_str(), kStoredRecordName, buffer, sizeof buffer);
        return length < 0 ? Bytes{} : Bytes(buffer, static_cast<size_t>(length));
    }

    static void SetAttribute(const std::string& path, const Bytes& bytes) {
        ASSERT_EQ(setxattr(path.c_str(), kStoredRecordName, bytes.data(), bytes.size(), 0), 0);
    }

    // Version 1 and a distinct value in every other byte.
    static Bytes DistinctBytes() {
        Bytes bytes(kStoredRecordSize, 0);
        bytes[0] = 1;
        for (size_t i = 2; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(0x40 + i);
        return bytes;
    }

    PlatformStatus Write(const std::string& path, uint32_t options, NodeFieldMask mask, const NodeRecord& record) {
        NodeHandle node{};
        const PlatformStatus status = ResolveNode(path.c_str(), options, &node);
        if (status != 0)
            return status;
        const PlatformStatus written = WriteNodeFields(&node, mask, &record);
        ReleaseNode(&node);
        return written;
    }

    std::string directory;
};

TEST_F(LinuxCatalogTest, ResolutionFailuresSayWhatIsMissing) {
    MakeFile("file");
    ASSERT_EQ(symlink("loop", Path("loop").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", Path("dangling").c_str()), 0);
    struct Row {
        std::string path;
        PlatformStatus status;
        const char* what;
    };
    const Row rows[] = {
        {Path("missing"), kFileNotFound, "the last component is missing"},
        {Path("missing/"), kFileNotFound, "a trailing slash names the same component"},
        {Path("dangling"), kFileNotFound, "a link to nothing is followed to nothing"},
        {Path("nodir/file"), ENOENT, "a directory on the way is missing"},
        {Path("file/x"), ENOTDIR, "a file on the way"},
        {Path("loop"), ELOOP, "a link to itself"},
        {Path(std::string(NAME_MAX + 1, 'n')), ENAMETOOLONG, "a component too long"},
        {"", kFileNotFound, "the empty path"},
    };
    for (const Row& row : rows) {
        NodeHandle node{};
        EXPECT_EQ(ResolveNode(row.path.c_str(), 0, &node), row.status) << row.what;
    }
}

TEST_F(LinuxCatalogTest, ANodeWithoutARecordReadsAsZeroAndItsMtimeAsTheDate) {
    const std::string path = MakeFile("f");
    const struct timespec times[2] = {{0, UTIME_OMIT}, {1593878400, 500000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

    NodeHandle node{};
    ASSERT_EQ(ResolveNode(path.c_str(), 0, &node), 0);
    NodeRecord record{};
    memset(&record, 0xEE, sizeof record);
    EXPECT_EQ(ReadNodeFields(&node, kStoredFields | kModificationDateField, &record), 0);
    ReleaseNode(&node);

    EXPECT_EQ(record.nodeStateFlags, 0);
    EXPECT_EQ(uint32_t{record.presentationInfo.typeCode}, 0u);
    EXPECT_EQ(record.extendedPresentationInfo.extendedDisplayFlags, 0);
    EXPECT_EQ(int64_t{record.modificationDate.highSeconds} << 32 | record.modificationDate.lowSeconds,
              1593878400 + kSecondsFrom1904);
    EXPECT_EQ(record.modificationDate.fraction, 0x8000);
    EXPECT_TRUE(Attribute(path).empty()) << "reading creates nothing";
}

TEST_F(LinuxCatalogTest, AWriteKeepsTheFieldsItsMaskLeavesOut) {
    const std::string path = MakeFile("f");
    SetAttribute(path, DistinctBytes());
    NodeRecord record{};
    record.presentationInfo.typeCode = 0x54455854;
    record.presentationInfo.creatorCode = 0x74747874;
    record.nodeStateFlags = 0xFFFF;  // not selected: must not be stored

    EXPECT_EQ(Write(path, 0, kPresentationInfoField, record), 0);

    Bytes expected = DistinctBytes();
    expected.replace(12, 8, Bytes{'T', 'E', 'X', 'T', 't', 't', 'x', 't'});
    expected.replace(20, 8, Bytes(8, 0));  // the presentation area is written whole
    EXPECT_EQ(Attribute(path), expected);
}

TEST_F(LinuxCatalogTest, TheModificationDateIsTheMtimeAndNeverTouchesTheAttribute) {
    const std::string path = MakeFile("f");
    const struct timespec times[2] = {{1000, 0}, {2000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    NodeRecord record{};
    record.modificationDate = WideDateTime{0, static_cast<uint32_t>(1593878400 + kSecondsFrom1904), 0};

    EXPECT_EQ(Write(path, 0, kModificationDateField, record), 0);

    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, 1593878400);
    EXPECT_EQ(status.st_atime, 1000) << "the access time is left alone";
    EXPECT_TRUE(Attribute(path).empty());
}

TEST_F(LinuxCatalogTest, AnEmptyMaskChangesNothing) {
    const std::string path = MakeFile("f");
    EXPECT_EQ(Write(path, 0, 0, NodeRecord{}), 0);
    EXPECT_TRUE(Attribute(path).empty());
}

TEST_F(LinuxCatalogTest, AnAttributeThatIsNotOursIsRefusedAndKept) {
    Bytes shortRecord = DistinctBytes();
    shortRecord.pop_back();
    Bytes longRecord = DistinctBytes();
    longRecord.push_back(0x99);
    Bytes otherVersion = DistinctBytes();
    otherVersion[0] = 2;
    for (const Bytes& corrupt : {shortRecord, longRecord, otherVersion, Bytes(200, 1)}) {
        const std::string path = MakeFile("f");
        SetAttribute(path, corrupt);
        NodeHandle node{};
        ASSERT_EQ(ResolveNode(path.c_str(), 0, &node), 0);
        NodeRecord record{};
        EXPECT_EQ(ReadNodeFields(&node, kStoredFields, &record), kIOError);
        EXPECT_EQ(WriteNodeFields(&node, kCreationDateField | kModificationDateField, &record), kIOError);
        ReleaseNode(&node);
        EXPECT_EQ(Attribute(path), corrupt);
    }
}

TEST_F(LinuxCatalogTest, TheResolvedNodeIsWrittenEvenAfterItsPathWasReplaced) {
    const std::string path = MakeFile("a");
    NodeHandle node{};
    ASSERT_EQ(ResolveNode(path.c_str(), 0, &node), 0);
    ASSERT_EQ(rename(path.c_str(), Path("b").c_str()), 0);
    MakeFile("a");
    NodeRecord record{};
    record.presentationInfo.typeCode = 0x54455854;
    EXPECT_EQ(WriteNodeFields(&node, kPresentationInfoField, &record), 0);
    ReleaseNode(&node);
    EXPECT_EQ(Attribute(Path("b")).substr(12, 4), (Bytes{'T', 'E', 'X', 'T'}));
    EXPECT_TRUE(Attribute(Path("a")).empty());
}

TEST_F(LinuxCatalogTest, ALinkItselfTakesAnMtimeButNoRecord) {
    const std::string target = MakeFile("target");
    const std::string link = Path("link");
    ASSERT_EQ(symlink("target", link.c_str()), 0);
    NodeRecord record{};
    record.presentationInfo.typeCode = 0x54455854;
    record.modificationDate = WideDateTime{0, static_cast<uint32_t>(1000000 + kSecondsFrom1904), 0};

    EXPECT_EQ(Write(link, kResolveLinkItself, kPresentationInfoField, record), kWritePermissionError);
    EXPECT_EQ(Write(link, kResolveLinkItself, kModificationDateField, record), 0);

    struct stat status {};
    ASSERT_EQ(lstat(link.c_str(), &status), 0);
    EXPECT_EQ(status.st_mtime, 1000000);
    ASSERT_EQ(stat(target.c_str(), &status), 0);
    EXPECT_NE(status.st_mtime, 1000000);
    EXPECT_TRUE(Attribute(target).empty());

    EXPECT_EQ(Write(link, 0, kPresentationInfoField, record), 0) << "followed, the link reaches its target";
    EXPECT_EQ(Attribute(target).substr(12, 4), (Bytes{'T', 'E', 'X', 'T'}));
}

// The mtime is refused after the attribute was replaced (as it is for a
// user who may write a file but does not own it): the attribute is put back,
// or removed when there was none.
TEST_F(LinuxCatalogTest, ARefusedMtimeLeavesTheAttributeAsItWas) {
    SetWriteStepHook([](WriteStep step, const NodeHandle*) { return step == WriteStep::setModificationDate ? EPERM : 0; });
    for (const bool hadRecord : {true, false}) {
        const std::string path = MakeFile(hadRecord ? "with" : "without");
        if (hadRecord)
            SetAttribute(path, DistinctBytes());
        NodeRecord record{};
        record.presentationInfo.typeCode = 0x54455854;
        EXPECT_EQ(Write(path, 0, kPresentationInfoField | kModificationDateField, record), kWritePermissionError);
        EXPECT_EQ(Attribute(path), hadRecord ? DistinctBytes() : Bytes{});
    }
    SetWriteStepHook(nullptr);
}

// The path of the node that the next hook removes.
std::string gDoomed;

TEST_F(LinuxCatalogTest, ANodeRemovedAfterResolutionIsNotFoundAndNothingIsCreated) {
    const std::string path = MakeFile("f");
    gDoomed = path;
    SetWriteStepHook([](WriteStep step, const NodeHandle*) {
        if (step == WriteStep::examineNode)
            unlink(gDoomed.c_str());
        return 0;
    });
    NodeRecord record{};
    record.presentationInfo.typeCode = 0x54455854;
    EXPECT_EQ(Write(path, 0, kPresentationInfoField, record), kFileNotFound);
    SetWriteStepHook(nullptr);
    EXPECT_NE(access(path.c_str(), F_OK), 0) << "nothing is created at the path";
}

// Whatever the write holds, the record or the mtime alone, and whether the
// record was read first (as for flags and codes) or not, a node removed since
// it was resolved is not found, and the node keeps what it had: a descriptor
// held on it shows neither a record nor a new mtime.
TEST_F(LinuxCatalogTest, AWriteToANodeRemovedSinceItsResolutionChangesNothing) {
    struct Row {
        NodeFieldMask mask;
        bool readFirst;  // removed between the read and the write
        const char* what;
    };
    const Row rows[] = {
        {kPresentationInfoField | kNodeStateFlagsField, false, "flags and codes"},
        {kPresentationInfoField | kNodeStateFlagsField, true, "flags and codes, read first"},
        {kCreationDateField, false, "the creation date, written without a read"},
        {kPresentationInfoField | kModificationDateField, false, "codes and the mtime"},
        {kPresentationInfoField | kModificationDateField, true, "codes and the mtime, read first"},
        {kModificationDateField, false, "the mtime alone"},
    };
    NodeRecord record{};
    record.presentationInfo.typeCode = 0x54455854;
    record.creationDate = WideDateTime{0, 12345, 0};
    record.modificationDate = WideDateTime{0, static_cast<uint32_t>(1593878400 + kSecondsFrom1904), 0};
    for (const Row& row : rows) {
        const std::string path = MakeFile("f");
        const struct timespec times[2] = {{1000, 0}, {2000, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        const int held = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(held, 0);
        NodeHandle node{};
        ASSERT_EQ(ResolveNode(path.c_str(), 0, &node), 0);
        NodeRecord read{};
        if (row.readFirst) {
            ASSERT_EQ(ReadNodeFields(&node, row.mask & kStoredFields, &read), 0);
        }
        ASSERT_EQ(unlink(path.c_str()), 0);

        EXPECT_EQ(WriteNodeFields(&node, row.mask, &record), kFileNotFound) << row.what;
        ReleaseNode(&node);

        struct stat status {};
        ASSERT_EQ(fstat(held, &status), 0);
        EXPECT_EQ(status.st_mtime, 2000) << row.what;
        EXPECT_LT(fgetxattr(held, kStoredRecordName, nullptr, 0), 0) << row.what;
        EXPECT_NE(access(path.c_str(), F_OK), 0) << "nothing is created at the path";
        close(held);
    }
}

// Another run that tries to take the node's lock while this one holds it.
bool LockIsFree(const std::string& path) {
    const int other = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool free = flock(other, LOCK_EX | LOCK_NB) == 0;
    close(other);
    return free;
}

TEST_F(LinuxCatalogTest, TheRecordIsLockedFromItsReadToTheRelease) {
    for (const std::string& path : {MakeFile("f"), Path("d")}) {
        mkdir(Path("d").c_str(), 0755);
        NodeHandle node{};
        ASSERT_EQ(ResolveNode(path.c_str(), 0, &node), 0);
        EXPECT_TRUE(LockIsFree(path)) << "resolving alone takes no lock";
        NodeRecord record{};
        ASSERT_EQ(ReadNodeFields(&node, kPresentationInfoField, &record), 0);
        EXPECT_FALSE(LockIsFree(path)) << path;
        ASSERT_EQ(WriteNodeFields(&node, kPresentationInfoField, &record), 0);
        EXPECT_FALSE(LockIsFree(path)) << path;
        ReleaseNode(&node);
        EXPECT_TRUE(LockIsFree(path)) << path;
    }
}

// Only files and folders carry records: other kinds of node read as none,
// refuse a record, take a modification date, and are never opened, since
// opening a device can have side effects.
TEST_F(LinuxCatalogTest, OtherKindsOfNodeAreNeverOpened) {
    ASSERT_EQ(mkfifo(Path("fifo").c_str(), 0644), 0);
    std::vector<std::string> paths = {Path("fifo")};
    if (geteuid() == 0 && mknod(Path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        paths.push_back(Path("null"));
    for (const std::string& path : paths) {
        NodeHandle node{};
        ASSERT_EQ(ResolveNode(path.c_str(), 0, &node), 0);
        NodeRecord record{};
        EXPECT_EQ(ReadNodeFields(&node, kStoredFields, &record), 0) << path;
        EXPECT_EQ(uint32_t{record.presentationInfo.typeCode}, 0u);
        EXPECT_EQ(node.serviceDescriptor, -1) << path << " was opened";
        record.modificationDate = WideDateTime{0, static_cast<uint32_t>(1000000 + kSecondsFrom1904), 0};
        EXPECT_EQ(WriteNodeFields(&node, kPresentationInfoField, &record), kWritePermissionError) << path;
        EXPECT_EQ(WriteNodeFields(&node, kModificationDateField, &record), 0) << path;
        ReleaseNode(&node);
        struct stat status {};
        ASSERT_EQ(lstat(path.c_str(), &status), 0);
        EXPECT_EQ(status.st_mtime, 1000000) << path;
    }
}

TEST_F(LinuxCatalogTest, ANodeNeverGivenACreationDateShowsItsBirthTime) {
    const std::string path = MakeFile("f");
    struct statx birth {};
    ASSERT_EQ(statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &birth), 0);
    NodeHandle node{};
    ASSERT_EQ(ResolveNode(path.c_str(), 0, &node), 0);
    NodeRecord record{};
    ASSERT_EQ(ReadNodeFields(&node, kCreationDateField, &record), 0);
    const int64_t shown = int64_t{record.creationDate.highSeconds} << 32 | record.creationDate.lowSeconds;
    if (birth.stx_mask & STATX_BTIME)
        EXPECT_EQ(shown, birth.stx_btime.tv_sec + kSecondsFrom1904);
    else
        EXPECT_EQ(shown, 0) << "no birth time kept here";

    NodeRecord given{};
    given.creationDate = WideDateTime{0, 12345, 0};
    ASSERT_EQ(WriteNodeFields(&node, kCreationDateField, &given), 0);
    ASSERT_EQ(ReadNodeFields(&node, kCreationDateField, &record), 0);
    EXPECT_EQ(uint32_t{record.creationDate.lowSeconds}, 12345u) << "a given date wins";
    ReleaseNode(&node);
}

}  // namespace
