#include "catalog/ApplyChanges.h"

namespace {

bool RequestsFlagsOrCodes(const ChangeRequest& request) {
    return request.typeRequested || request.creatorRequested || request.attributesRequested ||
           request.lockedRequested || BusyRequested(request);
}

template <typename Word>
Word WithBit(Word word, Word bit, bool set) {
    return static_cast<Word>(set ? word | bit : word & ~bit);
}

void MergeFlagsAndCodes(const ChangeRequest& request, NodeRecord& record) {
    PresentationInfo& presentation = record.presentationInfo;
    if (request.typeRequested)
        presentation.typeCode = request.typeCode;
    if (request.creatorRequested)
        presentation.creatorCode = request.creatorCode;
    if (request.attributesRequested)  // a bit in both masks ends cleared
        presentation.displayFlags =
            static_cast<DisplayFlags>((presentation.displayFlags | request.setMask) & ~request.clearMask);
    if (request.lockedRequested)
        record.nodeStateFlags = WithBit(record.nodeStateFlags, kNodeLockedBit, request.lockedValue != 0);
    if (BusyRequested(request)) {
        ExtendedPresentationInfo& extended = record.extendedPresentationInfo;
        extended.extendedDisplayFlags = WithBit(extended.extendedDisplayFlags, kBusyBit, BusyValue(request));
    }
}

StatusCode UpdateNode(const ChangeRequest& request, NodeHandle* node) {
    NodeRecord record{};
    NodeFieldMask writeMask = 0;
    if (RequestsFlagsOrCodes(request)) {
        const StatusCode status = StatusFromPlatform(ReadNodeFields(node, kFlagsAndCodesMask, &record));
        if (status != 0)
            return status;
        MergeFlagsAndCodes(request, record);
        writeMask = kFlagsAndCodesMask;
    }
    // The conversion's status is not examined: it always fills its result.
    if (request.modDateRequested) {
        UniversalFromLocal(&request.modDate, &record.modificationDate);
        writeMask |= kModificationDateField;
    }
    if (request.createdDateRequested) {
        UniversalFromLocal(&request.createdDate, &record.creationDate);
        writeMask |= kCreationDateField;
    }
    return StatusFromPlatform(WriteNodeFields(node, writeMask, &record));
}

PlatformStatus Resolve(const ChangeRequest& request, const char* path, NodeHandle* node) {
    if constexpr (build::hasPathOptions)
        return ResolveNode(path, PathOptions(request), node);
    else
        return ResolveNode(path, node);
}

}  // namespace

StatusCode ApplyChanges(const ChangeRequest& request, const char* path) {
    NodeHandle node{};
    StatusCode status = StatusFromPlatform(Resolve(request, path, &node));
    if (status != 0)
        return status;
    status = UpdateNode(request, &node);
    ReleaseNode(&node);
    return status;
}
