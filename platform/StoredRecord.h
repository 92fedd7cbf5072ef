// The catalog record as it is kept on Linux: one extended attribute per
// node, 44 bytes, numbers big-endian. docs/record-format.md describes it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "catalog/CatalogService.h"

inline constexpr char kStoredRecordName[] = "user.vornik.catalog";
inline constexpr size_t kStoredRecordSize = 44;
inline constexpr uint8_t kStoredRecordVersion = 1;

using StoredRecordBytes = std::array<uint8_t, kStoredRecordSize>;

// The NodeRecord fields that the attribute holds. The modification date is
// the node's own mtime.
inline constexpr NodeFieldMask kStoredFields =
    kNodeStateFlagsField | kCreationDateField | kPresentationInfoField | kExtendedPresentationInfoField;

// Fills the stored fields of record from an attribute's bytes. False when
// the bytes are not a record of this version (wrong length or version).
bool DecodeStoredRecord(const uint8_t* bytes, size_t length, NodeRecord* record);

// The attribute's bytes for the stored fields of record.
StoredRecordBytes EncodeStoredRecord(const NodeRecord& record);

// Copies the fields that mask selects from one record to another.
void CopyNodeFields(NodeFieldMask mask, const NodeRecord& from, NodeRecord* to);
