// The catalog update against the recording stand-in: which calls, in which
// order, with which masks, and what the merge writes.

#include <gtest/gtest.h>

#include "catalog/ApplyChanges.h"
#include "tests/fake/RecordingCatalog.h"

namespace {

using Ops = std::vector<CatalogOp>;
constexpr auto kResolve = CatalogOp::resolve;
constexpr auto kRead = CatalogOp::read;
constexpr auto kConvert = CatalogOp::convert;
constexpr auto kWrite = CatalogOp::write;
constexpr auto kRelease = CatalogOp::release;

// A stored record with a distinct value in every field the update merges.
NodeRecord StoredFixture() {
    NodeRecord record{};
    record.nodeStateFlags = 0xA5A4;  // locked bit clear
    record.presentationInfo.typeCode = 0x11223344;
    record.presentationInfo.creatorCode = 0x55667788;
    record.presentationInfo.displayFlags = 0x022E;  // the bits no letter names
    for (uint8_t i = 0; i < 6; ++i)
        record.presentationInfo.uninterpreted[i] = static_cast<uint8_t>(0xB0 + i);
    for (uint8_t i = 0; i < 8; ++i)
        record.extendedPresentationInfo.uninterpreted1[i] = static_cast<uint8_t>(0xC0 + i);
    record.extendedPresentationInfo.extendedDisplayFlags = 0x5A5A;  // busy bit clear
    for (uint8_t i = 0; i < 6; ++i)
        record.extendedPresentationInfo.uninterpreted2[i] = static_cast<uint8_t>(0xD0 + i);
    return record;
}

class ApplyChangesTest : public testing::Test {
protected:
    void SetUp() override {
        ResetRecording();
        Recording().stored = StoredFixture();
    }

    const CatalogCall& Call(CatalogOp op) {
        for (const CatalogCall& call : Recording().calls)
            if (call.op == op)
                return call;
        ADD_FAILURE() << "no such call";
        static CatalogCall none{};
        return none;
    }

    ChangeRequest request{};
};

TEST(FlagsAndCodesMaskTest, TheExtendedAreaGoesWithTheBusyBit) {
    // Node flags and presentation, plus the extended presentation where the
    // build keeps a busy bit.
    EXPECT_EQ(kFlagsAndCodesMask, build::hasBusy ? 0x1802u : 0x0802u);
}

TEST_F(ApplyChangesTest, TypeAloneRewritesWhatWasReadWithOnlyTheTypeChanged) {
    request.typeRequested = 1;
    request.typeCode = 0x54455854;

    EXPECT_EQ(ApplyChanges(request, "a.txt"), 0);

    EXPECT_EQ(RecordedOps(), (Ops{kResolve, kRead, kWrite, kRelease}));
    EXPECT_EQ(Call(kResolve).path, "a.txt");
    EXPECT_EQ(Call(kRead).mask, kFlagsAndCodesMask);
    EXPECT_EQ(Call(kWrite).mask, kFlagsAndCodesMask);
    NodeRecord expected = StoredFixture();
    expected.presentationInfo.typeCode = 0x54455854;
    EXPECT_EQ(memcmp(&Call(kWrite).record.presentationInfo, &expected.presentationInfo, sizeof(PresentationInfo)), 0);
    EXPECT_EQ(memcmp(&Call(kWrite).record.extendedPresentationInfo, &expected.extendedPresentationInfo,
                     sizeof(ExtendedPresentationInfo)),
              0);
    EXPECT_EQ(Call(kWrite).record.nodeStateFlags, expected.nodeStateFlags);
}

TEST_F(ApplyChangesTest, TheNodeResolvedIsTheNodeReadWrittenAndReleased) {
    request.creatorRequested = 1;
    ApplyChanges(request, "a.txt");
    const int32_t node = Call(kRead).descriptor;
    EXPECT_EQ(Call(kWrite).descriptor, node);
    EXPECT_EQ(Call(kRelease).descriptor, node);
}

TEST_F(ApplyChangesTest, DatesAloneReadNothingAndConvertModificationFirst) {
    struct Row {
        bool mod, created;
        NodeFieldMask writeMask;
        Ops ops;
    };
    const Row rows[] = {
        {false, true, 0x0020, {kResolve, kConvert, kWrite, kRelease}},
        {true, false, 0x0040, {kResolve, kConvert, kWrite, kRelease}},
        {true, true, 0x0060, {kResolve, kConvert, kConvert, kWrite, kRelease}},
    };
    for (const Row& row : rows) {
        SetUp();
        request = ChangeRequest{};
        request.modDateRequested = row.mod;
        request.modDate.lowSeconds = 1000;
        request.createdDateRequested = row.created;
        request.createdDate.lowSeconds = 2000;

        EXPECT_EQ(ApplyChanges(request, "f"), 0);

        EXPECT_EQ(RecordedOps(), row.ops);
        EXPECT_EQ(Call(kWrite).mask, row.writeMask);
        const NodeRecord& written = Call(kWrite).record;
        if (row.mod) {
            EXPECT_EQ(uint32_t{written.modificationDate.lowSeconds}, 1000u + 3600u);
        }
        if (row.created) {
            EXPECT_EQ(uint32_t{written.creationDate.lowSeconds}, 2000u + 3600u);
        }
        if (row.mod && row.created) {
            EXPECT_EQ(uint32_t{Recording().calls[1].date.lowSeconds}, 1000u);
            EXPECT_EQ(uint32_t{Recording().calls[2].date.lowSeconds}, 2000u);
        }
    }
}

TEST_F(ApplyChangesTest, BothDatesWithAFlagWriteEverythingInOneCall) {
    request.attributesRequested = 1;
    request.modDateRequested = 1;
    request.createdDateRequested = 1;
    EXPECT_EQ(ApplyChanges(request, "f"), 0);
    EXPECT_EQ(RecordedOps(), (Ops{kResolve, kRead, kConvert, kConvert, kWrite, kRelease}));
    EXPECT_EQ(Call(kWrite).mask, kFlagsAndCodesMask | 0x0060u);
}

TEST_F(ApplyChangesTest, AnEmptyRequestStillResolvesAndWritesTheEmptyMask) {
    EXPECT_EQ(ApplyChanges(request, "f"), 0);
    EXPECT_EQ(RecordedOps(), (Ops{kResolve, kWrite, kRelease}));
    EXPECT_EQ(Call(kWrite).mask, 0u);
}

TEST_F(ApplyChangesTest, AFailedResolutionIsReturnedAndNothingElseIsCalled) {
    Recording().resolveFailures["missing"] = kFileNotFound;
    request.typeRequested = 1;
    request.modDateRequested = 1;
    EXPECT_EQ(ApplyChanges(request, "missing"), kFileNotFound);
    EXPECT_EQ(RecordedOps(), (Ops{kResolve}));
}

TEST_F(ApplyChangesTest, AFailedReadWritesNothingNotEvenADate) {
    Recording().readStatus = kIOError;
    request.lockedRequested = 1;
    request.modDateRequested = 1;
    request.createdDateRequested = 1;
    EXPECT_EQ(ApplyChanges(request, "f"), kIOError);
    EXPECT_EQ(RecordedOps(), (Ops{kResolve, kRead, kRelease}));
}

TEST_F(ApplyChangesTest, TheWriteStatusIsTheResult) {
    Recording().writeStatus = kVolumeLocked;
    request.typeRequested = 1;
    EXPECT_EQ(ApplyChanges(request, "f"), kVolumeLocked);
    EXPECT_EQ(RecordedOps().back(), kRelease);
}

TEST_F(ApplyChangesTest, OnlyTheLow16BitsOfAPlatformStatusCount) {
    Recording().writeStatus = 0x10000;
    EXPECT_EQ(ApplyChanges(request, "f"), 0);
    Recording().writeStatus = 0x7FFFFFD5;  // low half is -43
    EXPECT_EQ(ApplyChanges(request, "f"), kFileNotFound);
    Recording().writeStatus = 0;
    Recording().resolveFailures["x"] = 0x30000;
    EXPECT_EQ(ApplyChanges(request, "x"), 0);
}

TEST_F(ApplyChangesTest, DisplayFlagsAreSetThenCleared) {
    struct Row {
        uint16_t stored, setMask, clearMask, expected;
        const char* what;
    };
    const Row rows[] = {
        {0x0000, 0x4000, 0x0000, 0x4000, "a set bit is added"},
        {0xFFFF, 0x0000, 0x4001, 0xBFFE, "cleared bits are removed, others kept"},
        {0x0000, 0x4000, 0x4000, 0x0000, "a bit in both masks ends cleared"},
        {0x022E, 0xFDD1, 0x0000, 0xFFFF, "bits that no letter names are kept"},
        {0x1234, 0x0000, 0x0000, 0x1234, "empty masks write the flags back unchanged"},
    };
    for (const Row& row : rows) {
        SetUp();
        Recording().stored.presentationInfo.displayFlags = row.stored;
        request = ChangeRequest{};
        request.attributesRequested = 1;
        request.setMask = row.setMask;
        request.clearMask = row.clearMask;
        ApplyChanges(request, "f");
        EXPECT_EQ(Call(kWrite).record.presentationInfo.displayFlags, row.expected) << row.what;
    }
}

TEST_F(ApplyChangesTest, LockedAndBusyChangeOnlyTheirOwnBit) {
    struct Row {
        bool value;
        uint16_t storedState, expectedState;
    };
    const Row rows[] = {{true, 0xA5A4, 0xA5A5}, {false, 0xA5A5, 0xA5A4}, {false, 0xA5A4, 0xA5A4}};
    for (const Row& row : rows) {
        SetUp();
        Recording().stored.nodeStateFlags = row.storedState;
        Recording().stored.extendedPresentationInfo.extendedDisplayFlags = row.value ? 0x5A5A : 0x5ADA;
        request = ChangeRequest{};
        request.lockedRequested = 1;
        request.lockedValue = row.value;
        RequestBusy(request, row.value);
        ApplyChanges(request, "f");
        EXPECT_EQ(Call(kWrite).record.nodeStateFlags, row.expectedState);
        const uint16_t expectedExtended = build::hasBusy ? (row.value ? 0x5ADA : 0x5A5A)
                                                         : Recording().stored.extendedPresentationInfo.extendedDisplayFlags;
        EXPECT_EQ(Call(kWrite).record.extendedPresentationInfo.extendedDisplayFlags, expectedExtended);
    }
}

TEST_F(ApplyChangesTest, TheBusyRequestAloneReadsAndWritesTheRecord) {
    RequestBusy(request, true);
    ApplyChanges(request, "f");
    const Ops expected = build::hasBusy ? Ops{kResolve, kRead, kWrite, kRelease} : Ops{kResolve, kWrite, kRelease};
    EXPECT_EQ(RecordedOps(), expected);
}

TEST_F(ApplyChangesTest, ThePathOptionsGoToResolution) {
    const bool linkItself = RequestLinkItself(request);  // false in a build without -P
    ApplyChanges(request, "link");
    EXPECT_EQ(Call(kResolve).options, linkItself ? kResolveLinkItself : 0u);
}

}  // namespace
