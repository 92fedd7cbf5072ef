#include "show/ShowOperands.h"

#include <cstdio>

#include "catalog/Operands.h"
#include "show/ShowFormat.h"

namespace {

// Operands take the way that Vornik's own take in this build, so that a
// path that fails gets the same error line from both programs.
StatusCode ReadOperand(const char* operand, NodeRecord* record) {
    char canonical[kCanonicalPathSize];
    StatusCode status = 0;
    const char* path = PathToUpdate(operand, canonical, &status);
    if (path == nullptr)
        return status;
    NodeHandle node{};
    status = StatusFromPlatform(ResolveNode(path, &node));
    if (status != 0)
        return status;
    status = StatusFromPlatform(ReadNodeFields(&node, kShowMask, record));
    ReleaseNode(&node);
    return status;
}

ValueText FieldValue(ShowField field, const NodeRecord& record) {
    switch (field) {
    case ShowField::attributes:
        return FormatLetters(record);
    case ShowField::creator:
        return FormatCode(record.presentationInfo.creatorCode);
    case ShowField::creationDate:
        return FormatDate(record.creationDate);
    case ShowField::modificationDate:
        return FormatDate(record.modificationDate);
    case ShowField::block:
    case ShowField::type:
        return FormatCode(record.presentationInfo.typeCode);
    }
    return ValueText{};
}

void PrintBlock(const char* operand, const NodeRecord& record) {
    printf("%s\n", operand);
    printf("  type:        %s\n", FormatCode(record.presentationInfo.typeCode).text);
    printf("  creator:     %s\n", FormatCode(record.presentationInfo.creatorCode).text);
    printf("  attributes:  %s\n", FormatLetters(record).text);
    printf("  created:     %s\n", FormatDate(record.creationDate).text);
    printf("  modified:    %s\n", FormatDate(record.modificationDate).text);
}

}  // namespace

bool ShowOperands(const ShowRequest& request, int32_t count, char* const* operands) {
    bool failed = false;
    bool blockShown = false;
    for (int32_t i = 0; i < count; ++i) {
        NodeRecord record{};
        const StatusCode status = ReadOperand(operands[i], &record);
        if (status != 0) {
            // What went to standard output before stays before the line
            // where both streams go to one place.
            fflush(stdout);
            PrintErrorTo(stderr, status, operands[i]);
            failed = true;
            continue;
        }
        if (request.field != ShowField::block) {
            printf("%s\n", FieldValue(request.field, record).text);
            continue;
        }
        if (blockShown)
            printf("\n");
        PrintBlock(operands[i], record);
        blockShown = true;
    }
    return failed;
}
