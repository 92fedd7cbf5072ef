// The attribute's byte layout. Every field holds distinct bytes, so a
// swapped byte order or a shifted offset shows at once.

#include <gtest/gtest.h>

#include <cstring>

#include "platform/StoredRecord.h"

namespace {

NodeRecord DistinctRecord() {
    NodeRecord record{};
    record.nodeStateFlags = 0x0203;
    record.creationDate = WideDateTime{0x0405, 0x06070809, 0x0A0B};
    record.modificationDate = WideDateTime{0xEEEE, 0xEEEEEEEE, 0xEEEE};  // not stored
    record.presentationInfo.typeCode = 0x0C0D0E0F;
    record.presentationInfo.creatorCode = 0x10111213;
    record.presentationInfo.displayFlags = 0x1415;
    const uint8_t tail1[6] = {0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B};
    memcpy(record.presentationInfo.uninterpreted, tail1, 6);
    const uint8_t head2[8] = {0x1C, 0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23};
    memcpy(record.extendedPresentationInfo.uninterpreted1, head2, 8);
    record.extendedPresentationInfo.extendedDisplayFlags = 0x2425;
    const uint8_t tail2[6] = {0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B};
    memcpy(record.extendedPresentationInfo.uninterpreted2, tail2, 6);
    return record;
}

// Version 1, reserved 0, then bytes 0x02 to 0x2B in order.
StoredRecordBytes DistinctBytes() {
    StoredRecordBytes bytes{};
    bytes[0] = 1;
    bytes[1] = 0;
    for (size_t i = 2; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i);
    return bytes;
}

TEST(StoredRecordTest, EncodesEveryFieldBigEndianAtItsOffset) {
    EXPECT_EQ(EncodeStoredRecord(DistinctRecord()), DistinctBytes());
}

TEST(StoredRecordTest, DecodesWhatItEncodes) {
    const StoredRecordBytes bytes = DistinctBytes();
    NodeRecord decoded{};
    ASSERT_TRUE(DecodeStoredRecord(bytes.data(), bytes.size(), &decoded));
    EXPECT_EQ(EncodeStoredRecord(decoded), bytes);
    EXPECT_EQ(uint32_t{decoded.presentationInfo.typeCode}, 0x0C0D0E0Fu);
    EXPECT_EQ(uint32_t{decoded.creationDate.lowSeconds}, 0x06070809u);
    EXPECT_EQ(decoded.extendedPresentationInfo.extendedDisplayFlags, 0x2425);
}

TEST(StoredRecordTest, RefusesAnotherLengthOrVersion) {
    uint8_t bytes[kStoredRecordSize + 1] = {1};
    NodeRecord decoded{};
    EXPECT_FALSE(DecodeStoredRecord(bytes, kStoredRecordSize - 1, &decoded));
    EXPECT_FALSE(DecodeStoredRecord(bytes, kStoredRecordSize + 1, &decoded));
    EXPECT_FALSE(DecodeStoredRecord(bytes, 0, &decoded));
    bytes[0] = 2;
    EXPECT_FALSE(DecodeStoredRecord(bytes, kStoredRecordSize, &decoded));
    bytes[0] = 0;
    EXPECT_FALSE(DecodeStoredRecord(bytes, kStoredRecordSize, &decoded));
}

TEST(StoredRecordTest, CopiesOnlyTheSelectedFields) {
    const NodeRecord from = DistinctRecord();
    NodeRecord to{};
    CopyNodeFields(kCreationDateField | kPresentationInfoField, from, &to);
    EXPECT_EQ(to.nodeStateFlags, 0);
    EXPECT_EQ(uint32_t{to.creationDate.lowSeconds}, uint32_t{from.creationDate.lowSeconds});
    EXPECT_EQ(uint32_t{to.modificationDate.lowSeconds}, 0u);
    EXPECT_EQ(memcmp(&to.presentationInfo, &from.presentationInfo, sizeof(PresentationInfo)), 0);
    EXPECT_EQ(to.extendedPresentationInfo.extendedDisplayFlags, 0);
}

}  // namespace
