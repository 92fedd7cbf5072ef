#include "platform/StoredRecord.h"

#include <cstring>

namespace {

// Offsets in the attribute.
constexpr size_t kVersionAt = 0;
constexpr size_t kReservedAt = 1;
constexpr size_t kNodeStateFlagsAt = 2;
constexpr size_t kCreationDateAt = 4;
constexpr size_t kPresentationAt = 12;
constexpr size_t kExtendedPresentationAt = 28;

uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

uint32_t Get32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

void Put16(uint8_t* p, uint16_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

void Put32(uint8_t* p, uint32_t value) {
    Put16(p, static_cast<uint16_t>(value >> 16));
    Put16(p + 2, static_cast<uint16_t>(value));
}

WideDateTime GetDate(const uint8_t* p) {
    return WideDateTime{Get16(p), Get32(p + 2), Get16(p + 6)};
}

void PutDate(uint8_t* p, const WideDateTime& date) {
    Put16(p, date.highSeconds);
    Put32(p + 2, date.lowSeconds);
    Put16(p + 6, date.fraction);
}

}  // namespace

bool DecodeStoredRecord(const uint8_t* bytes, size_t length, NodeRecord* record) {
    if (length != kStoredRecordSize || bytes[kVersionAt] != kStoredRecordVersion)
        return false;
    record->nodeStateFlags = Get16(bytes + kNodeStateFlagsAt);
    record->creationDate = GetDate(bytes + kCreationDateAt);

    const uint8_t* p = bytes + kPresentationAt;
    PresentationInfo& presentation = record->presentationInfo;
    presentation.typeCode = Get32(p);
    presentation.creatorCode = Get32(p + 4);
    presentation.displayFlags = Get16(p + 8);
    memcpy(presentation.uninterpreted, p + 10, sizeof presentation.uninterpreted);

    p = bytes + kExtendedPresentationAt;
    ExtendedPresentationInfo& extended = record->extendedPresentationInfo;
    memcpy(extended.uninterpreted1, p, sizeof extended.uninterpreted1);
    extended.extendedDisplayFlags = Get16(p + 8);
    memcpy(extended.uninterpreted2, p + 10, sizeof extended.uninterpreted2);
    return true;
}

StoredRecordBytes EncodeStoredRecord(const NodeRecord& record) {
    StoredRecordBytes bytes{};
    bytes[kVersionAt] = kStoredRecordVersion;
    bytes[kReservedAt] = 0;
    Put16(&bytes[kNodeStateFlagsAt], record.nodeStateFlags);
    PutDate(&bytes[kCreationDateAt], record.creationDate);

    uint8_t* p = &bytes[kPresentationAt];
    const PresentationInfo& presentation = record.presentationInfo;
    Put32(p, presentation.typeCode);
    Put32(p + 4, presentation.creatorCode);
    Put16(p + 8, presentation.displayFlags);
    memcpy(p + 10, presentation.uninterpreted, sizeof presentation.uninterpreted);

    p = &bytes[kExtendedPresentationAt];
    const ExtendedPresentationInfo& extended = record.extendedPresentationInfo;
    memcpy(p, extended.uninterpreted1, sizeof extended.uninterpreted1);
    Put16(p + 8, extended.extendedDisplayFlags);
    memcpy(p + 10, extended.uninterpreted2, sizeof extended.uninterpreted2);
    return bytes;
}

void CopyNodeFields(NodeFieldMask mask, const NodeRecord& from, NodeRecord* to) {
    if (mask & kNodeStateFlagsField)
        to->nodeStateFlags = from.nodeStateFlags;
    if (mask & kCreationDateField)
        to->creationDate = from.creationDate;
    if (mask & kModificationDateField)
        to->modificationDate = from.modificationDate;
    if (mask & kPresentationInfoField)
        to->presentationInfo = from.presentationInfo;
    if (mask & kExtendedPresentationInfoField)
        to->extendedPresentationInfo = from.extendedPresentationInfo;
}
