// The operand loop and its error line, against the recording stand-in.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "catalog/Operands.h"
#include "tests/fake/RecordingCatalog.h"

namespace {

TEST(ErrorTextTest, EveryRowAndTheDefault) {
    struct Row {
        StatusCode status;
        const char* message;
    };
    const Row rows[] = {
        {2, "Directory not found."},
        {5, "An I/O error occurred."},
        {13, "Search permission is denied on a component of the path name."},
        {14, "Path points outside the process's allocated address space."},
        {20, "A component of the path prefix is not a directory."},
        {40, "Too many symbolic links in pathnamne."},  // ELOOP on Linux
        {36, "Pathname is too long."},                  // ENAMETOOLONG on Linux
        {-120, "Directory Not Found"},
        {-61, "Write Permissions Error."},
        {-47, "File is Busy."},
        {-46, "Volume is Locked."},
        {-43, "File Not Found."},
        {-36, "i/o Error (Bummers)."},
        {-35, "Unexpected Error."},
        {1, "Unexpected Error."},
        {62, "Unexpected Error."},  // another system's ELOOP
        {-32768, "Unexpected Error."},
    };
    for (const Row& row : rows)
        EXPECT_STREQ(ErrorText(row.status), row.message) << row.status;
}

TEST(PrintErrorTest, TheLineKeepsThePathAsTypedAndEndsInBlankCarriageReturnNewline) {
    testing::internal::CaptureStdout();
    PrintError(-43, "dir/my file.txt");
    PrintError(2, "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR: File Not Found. (-43)  on file: dir/my file.txt \r\n"
              "ERROR: Directory not found. (2)  on file:  \r\n");
}

// Real files, so that the loop can make operands canonical where the build
// asks for that.
class ApplyToOperandsTest : public testing::Test {
protected:
    void SetUp() override {
        ResetRecording();
        char pattern[] = "/tmp/vornik-operands-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
        ASSERT_EQ(getcwd(previous, sizeof previous), previous);
        ASSERT_EQ(chdir(directory.c_str()), 0);
        for (const char* name : {"a", "b", "c"})
            fclose(fopen(name, "w"));
    }
    void TearDown() override {
        EXPECT_EQ(chdir(previous), 0);
        std::string command = "rm -rf " + directory;
        EXPECT_EQ(system(command.c_str()), 0);
    }

    // The path that reaches the catalog for an operand.
    std::string Resolved(const char* operand) {
        if (!build::canonicalOperands)
            return operand;
        char canonical[PATH_MAX];
        return realpath(operand, canonical);
    }

    std::string directory;
    char previous[PATH_MAX];
    ChangeRequest request{};
};

TEST_F(ApplyToOperandsTest, AFailingOperandIsReportedAndTheOthersAreStillChanged) {
    Recording().resolveFailures[Resolved("b")] = kFileNotFound;
    char a[] = "a", b[] = "b", c[] = "c";
    char* operands[] = {a, b, c};

    testing::internal::CaptureStdout();
    EXPECT_TRUE(ApplyToOperands(request, 3, operands));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR: File Not Found. (-43)  on file: b \r\n");

    std::vector<std::string> resolved;
    for (const CatalogCall& call : Recording().calls)
        if (call.op == CatalogOp::resolve)
            resolved.push_back(call.path);
    EXPECT_EQ(resolved, (std::vector<std::string>{Resolved("a"), Resolved("b"), Resolved("c")}));
    const std::vector<CatalogOp> ops = RecordedOps();
    EXPECT_EQ(std::count(ops.begin(), ops.end(), CatalogOp::write), 2);
}

TEST_F(ApplyToOperandsTest, EveryFailureGetsALineInOperandOrder) {
    Recording().resolveFailures[Resolved("a")] = 13;
    Recording().resolveFailures[Resolved("c")] = -35;
    char a[] = "a", c[] = "c";
    char* operands[] = {c, a};

    testing::internal::CaptureStdout();
    EXPECT_TRUE(ApplyToOperands(request, 2, operands));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "ERROR: Unexpected Error. (-35)  on file: c \r\n"
              "ERROR: Search permission is denied on a component of the path name. (13)  on file: a \r\n");
}

TEST_F(ApplyToOperandsTest, NoOperandsOrNoFailuresPrintNothing) {
    char a[] = "a";
    char* operands[] = {a};
    testing::internal::CaptureStdout();
    EXPECT_FALSE(ApplyToOperands(request, 0, operands));
    EXPECT_FALSE(ApplyToOperands(request, -1, operands));
    EXPECT_TRUE(Recording().calls.empty());
    EXPECT_FALSE(ApplyToOperands(request, 1, operands));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace
