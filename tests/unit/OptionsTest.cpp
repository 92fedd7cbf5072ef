// The command line: where the operands start, when the run ends and with
// which status and output, what the options leave in the request, and the
// four-character codes of "-t" and "-c".

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <ostream>
#include <string>
#include <vector>

#include "cli/ChangeRequest.h"
#include "cli/Options.h"
#include "config/BuildChoices.h"
#include "tests/support/ScopedTimeZone.h"

namespace {

constexpr bool kPath = build::hasPathOptions;

const std::string kUsageFirstLine = "Usage: Vornik [option...] file...\r\n";
const std::string kUsageLastLine = build::usageText == build::UsageText::x86
                                       ? "    Note: [yy]yy < 100 assumes 21st century, e.g. 20yy\n\r"
                                       : "    Note: [yy]yy < 100 assumes 21th century, e.g. 20yy\n\r";
const std::string kInvalidDate = "ERROR: invalid date/time\n";
const std::string kInvalidLetter = "Invalid File Attribute Specified.";

struct Parsed {
    ChangeRequest request;
    ParseVerdict verdict;
    std::string output;  // standard output, byte for byte
    std::string errors;  // standard error
};

// Runs ParseOptions on "Vornik" and the arguments, in writable copies (some
// builds cut date arguments in place), with the vector's null entry.
Parsed Parse(const std::vector<std::string>& arguments) {
    std::vector<std::string> storage{"Vornik"};
    storage.insert(storage.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    Parsed parsed{};
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    parsed.verdict = ParseOptions(parsed.request, static_cast<int32_t>(storage.size()), argv.data());
    parsed.errors = testing::internal::GetCapturedStderr();
    parsed.output = testing::internal::GetCapturedStdout();
    return parsed;
}

constexpr ParseVerdict Operands(int32_t firstOperand) {
    return {false, kExitSuccess, firstOperand};
}

constexpr ParseVerdict Ends(ExitStatus status) {
    return {true, status, 0};
}

std::string Describe(const ParseVerdict& verdict) {
    if (!verdict.endRun)
        return "go on, first operand " + std::to_string(verdict.firstOperand);
    return "end the run with status " + std::to_string(static_cast<int>(verdict.exitStatus));
}

std::string Joined(const std::vector<std::string>& arguments) {
    std::string text;
    for (const std::string& argument : arguments)
        text += " [" + argument + "]";
    return text;
}

bool StartsWith(const std::string& text, const std::string& lead) {
    return text.compare(0, lead.size(), lead) == 0;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// ---------------------------------------------------------------------------
// Verdicts and what is printed on the way.

struct VerdictRow {
    std::vector<std::string> arguments;
    ParseVerdict verdict;
    std::string lead;   // standard output before the usage text, or all of it
    bool usageFollows;  // the usage text follows the lead
    bool mktimeError;   // standard error holds the "mktime error" line
    const char* comment;
};

const VerdictRow kVerdictRows[] = {
    {{"a.txt"}, Operands(1), "", false, false, "an operand alone"},
    {{"", "b"}, Operands(1), "", false, false, "an empty argument is an operand"},
    {{"-t", "TEXT", "a", "b"}, Operands(3), "", false, false, "the operands start after the value"},
    {{"-t", "TEXT"}, Operands(0), "", false, false, "no operand: the caller prints the usage"},
    {{"a", "-h"}, Operands(1), "", false, false, "-h after the first operand is an operand"},
    {{"a", "-x"}, Operands(1), "", false, false, "anything after the first operand is an operand"},
    {{"-t", "-x", "a"}, Operands(3), "", false, false, "a value is taken whatever it looks like"},
    {{"-tTEXT", "a", "b"}, Operands(3), "", false, false, "the value is always the next argument"},

    {{"-h"}, Ends(kExitSuccess), "", true, false, "-h prints the usage"},
    {{"-help", "a"}, Ends(kExitSuccess), "", true, false, "an option word counts by its second character"},
    {{"-t", "TEXT", "-h", "a"}, Ends(kExitSuccess), "", true, false, "-h after other options"},

    {{"-x", "foo"}, Ends(kExitUsage), "Invalid Argument -x foo\n\r", true, false, "an unrecognised option"},
    {{"-x"}, Ends(kExitUsage), "Invalid Argument -x \n\r", true, false, "an unrecognised option standing last"},
    {{"-", "a"}, Ends(kExitUsage), "Invalid Argument - a\n\r", true, false, "a lone dash"},
    {{"--", "a"}, Ends(kExitUsage), "Invalid Argument -- a\n\r", true, false, "there is no end-of-options marker"},
    {{"-p", "a"}, Ends(kExitUsage), "Invalid Argument -p a\n\r", true, false, "letters are case-sensitive: -p"},
    {{"-A", "V", "a"}, Ends(kExitUsage), "Invalid Argument -A V\n\r", true, false, "-A is not -a"},
    {{"-T", "TEXT", "a"}, Ends(kExitUsage), "Invalid Argument -T TEXT\n\r", true, false, "-T is not -t"},
    {{"-H"}, Ends(kExitUsage), "Invalid Argument -H \n\r", true, false, "-H is not -h"},
    {{"-t", "TEXT", "-x", "a"}, Ends(kExitUsage), "Invalid Argument -x a\n\r", true, false,
     "an unrecognised option after a good one"},
    {{"-x", "a", "-h"}, Ends(kExitUsage), "Invalid Argument -x a\n\r", true, false, "options act left to right"},

    {{"-d", "12/25", "-h"}, Ends(kExitOperandFailed), kInvalidDate, false, false,
     "a bad date ends the run before a later -h"},
    {{"-m", "", "a"}, Ends(kExitOperandFailed), kInvalidDate, false, false, "an empty date"},
    {{"-d"}, Ends(kExitOperandFailed), kInvalidDate, false, false, "-d standing last"},
    {{"-m"}, Ends(kExitOperandFailed), kInvalidDate, false, false, "-m standing last"},
    {{"-d", "1/1/2039", "a"}, Ends(kExitOperandFailed), "", false, true, "a date past the 32-bit count"},
    {{"-m", "12/31/1903 11:59 PM", "a"}, Ends(kExitOperandFailed), "", false, true, "a date before 1904"},
    {{"-m", "12/31/1969 11:59:59 PM", "a"}, Operands(3), "", false, false, "the instant -1 is a good date"},
    {{"-m", ".", "a"}, Operands(3), "", false, false, "a lone period is now"},

    {{"-a"}, Operands(0), "", false, false, "-a standing last ends the options"},
    {{"-c"}, Operands(0), "", false, false, "-c standing last ends the options"},
    {{"-t"}, Operands(0), "", false, false, "-t standing last ends the options"},
    {{"-a", "V", "-t"}, Operands(0), "", false, false, "a valueless -t after other options"},

    {{"-a", "VxD", "a"}, Operands(3), kInvalidLetter, false, false, "a bad letter does not stop the run"},
    {{"-a", "x", "-x"}, Ends(kExitUsage), kInvalidLetter + "Invalid Argument -x \n\r", true, false,
     "the letter message has no line end"},

    {{"-P", "a"}, kPath ? Operands(2) : Ends(kExitUsage), kPath ? "" : "Invalid Argument -P a\n\r", !kPath, false,
     "-P takes no value (where the build has it)"},
    {{"-P"}, kPath ? Operands(0) : Ends(kExitUsage), kPath ? "" : "Invalid Argument -P \n\r", !kPath, false,
     "-P alone"},
    {{"-Pq", "-P", "a"}, kPath ? Operands(3) : Ends(kExitUsage), kPath ? "" : "Invalid Argument -Pq -P\n\r", !kPath,
     false, "-Pq is -P; twice is as once"},
};

TEST(ParseOptions, VerdictsAndOutput) {
    ScopedTimeZone zone("UTC");
    for (const VerdictRow& row : kVerdictRows) {
        SCOPED_TRACE(Joined(row.arguments) + ": " + row.comment);
        const Parsed parsed = Parse(row.arguments);

        EXPECT_EQ(Describe(parsed.verdict), Describe(row.verdict));
        if (row.usageFollows) {
            EXPECT_TRUE(StartsWith(parsed.output, row.lead + kUsageFirstLine)) << parsed.output;
            EXPECT_TRUE(EndsWith(parsed.output, kUsageLastLine)) << parsed.output;
        } else {
            EXPECT_EQ(parsed.output, row.lead);
        }
        if (row.mktimeError) {
            EXPECT_TRUE(StartsWith(parsed.errors, "mktime error: ")) << parsed.errors;
        } else {
            EXPECT_EQ(parsed.errors, "");
        }
    }
}

// "-a", "-c" and "-t" standing last have no value: the null entry ends the
// vector, and whatever lies beyond it must not be taken as the value. "-d"
// and "-m" take the missing value as an invalid date.
TEST(ParseOptions, OptionStandingLastReadsNothingPastTheVector) {
    struct Row {
        const char* option;
        ParseVerdict verdict;
        std::string output;
    };
    const Row rows[] = {
        {"-a", Operands(0), ""},
        {"-c", Operands(0), ""},
        {"-t", Operands(0), ""},
        {"-d", Ends(kExitOperandFailed), kInvalidDate},
        {"-m", Ends(kExitOperandFailed), kInvalidDate},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.option);
        std::string program = "Vornik";
        std::string option = row.option;
        std::string beyond = "1/2/2003";  // would be a good value for every one of them
        char* argv[] = {program.data(), option.data(), nullptr, beyond.data(), nullptr};

        ChangeRequest request{};
        testing::internal::CaptureStdout();
        const ParseVerdict verdict = ParseOptions(request, 2, argv);
        const std::string output = testing::internal::GetCapturedStdout();

        EXPECT_EQ(Describe(verdict), Describe(row.verdict));
        EXPECT_EQ(output, row.output);
        EXPECT_EQ(request.attributesRequested, 0);
        EXPECT_EQ(request.setMask, 0);
        EXPECT_EQ(request.creatorRequested, 0);
        EXPECT_EQ(request.typeRequested, 0);
        EXPECT_EQ(request.createdDateRequested, 0);
        EXPECT_EQ(request.modDateRequested, 0);
    }
}

// ---------------------------------------------------------------------------
// What the options leave in the request.

struct RequestView {
    uint8_t typeRequested = 0;
    uint32_t typeCode = 0;
    uint8_t creatorRequested = 0;
    uint32_t creatorCode = 0;
    uint8_t attributesRequested = 0;
    uint16_t setMask = 0;
    uint16_t clearMask = 0;
    uint8_t lockedRequested = 0;
    uint8_t lockedValue = 0;
    uint8_t createdDateRequested = 0;
    uint32_t createdDate = 0;  // low seconds; the rest of the date stays 0
    uint8_t modDateRequested = 0;
    uint32_t modDate = 0;
    uint32_t pathOptions = 0;

    bool operator==(const RequestView&) const = default;
};

void PrintTo(const RequestView& v, std::ostream* out) {
    char text[320];
    snprintf(text, sizeof text,
             "type %u:0x%08X creator %u:0x%08X attributes %u set 0x%04X clear 0x%04X locked %u:%u "
             "created %u:%u modified %u:%u pathOptions %u",
             v.typeRequested, v.typeCode, v.creatorRequested, v.creatorCode, v.attributesRequested, v.setMask,
             v.clearMask, v.lockedRequested, v.lockedValue, v.createdDateRequested, v.createdDate,
             v.modDateRequested, v.modDate, v.pathOptions);
    *out << text;
}

RequestView View(const ChangeRequest& r) {
    return {r.typeRequested,
            r.typeCode,
            r.creatorRequested,
            r.creatorCode,
            r.attributesRequested,
            r.setMask,
            r.clearMask,
            r.lockedRequested,
            r.lockedValue,
            r.createdDateRequested,
            r.createdDate.lowSeconds,
            r.modDateRequested,
            r.modDate.lowSeconds,
            PathOptions(r)};
}

struct RequestRow {
    std::vector<std::string> arguments;
    RequestView expected;
    const char* comment;
};

constexpr uint32_t kText = 0x54455854;  // "TEXT"

const RequestRow kRequestRows[] = {
    {{"f"}, {}, "no option: the request stays all zero"},
    {{"-t", "TEXT", "f"}, {.typeRequested = 1, .typeCode = kText}, "a type code"},
    {{"-type", "TEXT", "f"}, {.typeRequested = 1, .typeCode = kText}, "-type is -t"},
    {{"-tTEXT", "ABCD", "f"}, {.typeRequested = 1, .typeCode = 0x41424344}, "letters on the option word are no value"},
    {{"-t", "-abc", "f"}, {.typeRequested = 1, .typeCode = 0x2d616263}, "a value that looks like an option"},
    {{"-t", "AAAA", "-t", "BBBB", "f"}, {.typeRequested = 1, .typeCode = 0x42424242}, "the last -t wins"},
    {{"-c", "ttxt", "f"}, {.creatorRequested = 1, .creatorCode = 0x74747874}, "a creator code"},
    {{"-c", "AAAA", "-c", "BBB", "f"}, {.creatorRequested = 1, .creatorCode = 0x42424200}, "the last -c wins"},
    {{"-creator", "R*ch", "-t", "TEXT", "f"},
     {.typeRequested = 1, .typeCode = kText, .creatorRequested = 1, .creatorCode = 0x522a6368},
     "type and creator, each in its own field"},
    {{"-t", "TEXT", "f", "-c", "MSWD"}, {.typeRequested = 1, .typeCode = kText}, "options after an operand"},
    {{"-a", "", "f"}, {.attributesRequested = 1}, "an empty -a still asks for the attributes"},
    {{"-a", "x", "f"}, {.attributesRequested = 1}, "bad letters do not withdraw -a"},
    {{"-a", "V", "-a", "d", "f"}, {.attributesRequested = 1, .setMask = 0x4000, .clearMask = 0x0001},
     "the masks of several -a accumulate"},
    {{"-a", "L", "-a", "l", "f"}, {.attributesRequested = 1, .lockedRequested = 1, .lockedValue = 0},
     "the last of L and l wins across options"},
    {{"-d", "12/25/2007 10:30 PM", "f"}, {.createdDateRequested = 1, .createdDate = 3281466600u},
     "a creation date, local seconds since 1904"},
    {{"-m", "1/2/03", "f"}, {.modDateRequested = 1, .modDate = 3124310400u}, "a modification date"},
    {{"-d", "1/1/2000", "-d", "1/1/2001", "f"}, {.createdDateRequested = 1, .createdDate = 3061152000u},
     "the last -d wins"},
    {{"-m", "1/1/2001", "-m", "1/1/2000", "f"}, {.modDateRequested = 1, .modDate = 3029529600u}, "the last -m wins"},
    {{"-d", "1/1/2000", "-m", "1/1/2001", "f"},
     {.createdDateRequested = 1, .createdDate = 3029529600u, .modDateRequested = 1, .modDate = 3061152000u},
     "each date in its own field"},
    {{"-m", "12/31/1969 11:59:59 PM", "f"}, {.modDateRequested = 1, .modDate = 2082844799u},
     "the second before 1970"},
    {{"-P", "f"}, {.pathOptions = kPath ? 1u : 0u}, "-P asks for the link itself where the build has it"},
    {{"-P", "-P", "f"}, {.pathOptions = kPath ? 1u : 0u}, "-P twice is as once"},
};

TEST(ParseOptions, FillTheRequest) {
    ScopedTimeZone zone("UTC");
    for (const RequestRow& row : kRequestRows) {
        SCOPED_TRACE(Joined(row.arguments) + ": " + row.comment);
        const Parsed parsed = Parse(row.arguments);
        EXPECT_EQ(View(parsed.request), row.expected);
        for (const WideDateTime& date : {parsed.request.createdDate, parsed.request.modDate}) {
            EXPECT_EQ(date.highSeconds, 0);
            EXPECT_EQ(date.fraction, 0);
        }
    }
}

// ---------------------------------------------------------------------------
// Four-character codes.

template <size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

struct CodeRow {
    std::string value;  // may hold a zero byte; the code ends at the first
    uint32_t code;
    const char* comment;
};

TEST(FourCharCode, FirstFourBytesFirstMostSignificant) {
    const CodeRow rows[] = {
        {"TEXT", 0x54455854, "four letters"},
        {"TEXTfile", 0x54455854, "bytes after the fourth are ignored"},
        {"ABC", 0x41424300, "three characters: the terminating zero is the last byte"},
        {"AB", 0x41420000, "two characters: zero-filled"},
        {"A", 0x41000000, "one character: zero-filled"},
        {"", 0, "empty: zero"},
        {Bytes("A\0ZZ"), 0x41000000, "nothing after the terminating zero is taken"},
        {"-abc", 0x2d616263, "a leading dash counts like a letter"},
        {"a b!", 0x61206221, "blanks and punctuation"},
        {"1234", 0x31323334, "digits"},
        {"\xFF\xFE\x80\x7F", 0xFFFE807F, "high bytes are taken unsigned"},
        {"\xC3\xA9t", 0xC3A97400, "a two-byte character is two bytes"},
    };
    for (const CodeRow& row : rows) {
        SCOPED_TRACE(row.comment);
        EXPECT_EQ(FourCharCode(row.value.c_str()), row.code);
    }
}

}  // namespace
