#include "tests/fake/RecordingCatalog.h"

namespace {

RecordingCatalog gRecording;
int32_t gNextNode = 100;

CatalogCall Call(CatalogOp op) {
    CatalogCall call{};
    call.op = op;
    return call;
}

}  // namespace

RecordingCatalog& Recording() {
    return gRecording;
}

void ResetRecording() {
    gRecording = RecordingCatalog{};
}

std::vector<CatalogOp> RecordedOps() {
    std::vector<CatalogOp> ops;
    for (const CatalogCall& call : gRecording.calls)
        ops.push_back(call.op);
    return ops;
}

PlatformStatus ResolveNode(const char* path, uint32_t options, NodeHandle* node) {
    CatalogCall call = Call(CatalogOp::resolve);
    call.path = path;
    call.options = options;
    gRecording.calls.push_back(call);
    const auto failure = gRecording.resolveFailures.find(path);
    if (failure != gRecording.resolveFailures.end())
        return failure->second;
    *node = NodeHandle{};
    node->descriptor = gNextNode++;
    return 0;
}

PlatformStatus ReadNodeFields(NodeHandle* node, NodeFieldMask mask, NodeRecord* record) {
    CatalogCall call = Call(CatalogOp::read);
    call.descriptor = node->descriptor;
    call.mask = mask;
    gRecording.calls.push_back(call);
    if (gRecording.readStatus == 0)
        *record = gRecording.stored;
    return gRecording.readStatus;
}

PlatformStatus WriteNodeFields(NodeHandle* node, NodeFieldMask mask, const NodeRecord* record) {
    CatalogCall call = Call(CatalogOp::write);
    call.descriptor = node->descriptor;
    call.mask = mask;
    call.record = *record;
    gRecording.calls.push_back(call);
    return gRecording.writeStatus;
}

void ReleaseNode(NodeHandle* node) {
    CatalogCall call = Call(CatalogOp::release);
    call.descriptor = node->descriptor;
    gRecording.calls.push_back(call);
}

PlatformStatus UniversalFromLocal(const WideDateTime* local, WideDateTime* universal) {
    CatalogCall call = Call(CatalogOp::convert);
    call.date = *local;
    gRecording.calls.push_back(call);
    const int64_t seconds = (int64_t{local->highSeconds} << 32 | local->lowSeconds) + gRecording.universalOffset;
    *universal = WideDateTime{static_cast<uint16_t>(seconds >> 32), static_cast<uint32_t>(seconds), 0};
    return gRecording.convertStatus;
}
