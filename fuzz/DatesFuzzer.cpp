// Fuzzes the date parser in both its forms: ParseDateTime on an argument
// (this build cuts a private copy) and SplitDateText cutting a text in place,
// as the builds without the copy do. The two must agree, the copy must leave
// the argument alone, and the fields must lie in their ranges.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "config/BuildChoices.h"
#include "parse/DateTime.h"

namespace {

// A broken rule is a crash to the fuzzer; the stack shows which rule.
void Require(bool rule) {
    if (!rule)
        abort();
}

bool InRange(int16_t value, int16_t low, int16_t high) {
    return value >= low && value <= high;
}

void CheckFields(const DateFields& fields) {
    Require(InRange(fields.month, 0, 12) && InRange(fields.day, 0, 31));
    Require(InRange(fields.hour, 0, 23) && InRange(fields.minute, 0, 59) && InRange(fields.second, 0, 59));
    Require(fields.dayOfWeek == 0);
}

// Cutting in place only ever turns a separator into a zero byte.
void CheckCut(const std::string& text, const std::string& cut) {
    Require(cut.size() == text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (cut[i] != text[i])
            Require(cut[i] == '\0' && (text[i] == '/' || text[i] == ' ' || text[i] == ':'));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // "ERROR: invalid date/time" would bury the fuzzer's own report.
    if (freopen("/dev/null", "w", stdout) == nullptr)
        abort();
    // A zone with daylight-saving time, so that its gaps and overlaps are reached.
    setenv("TZ", "America/New_York", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An argument ends at its first zero byte.
    const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));

    std::string argument = text;
    const DateResult result = ParseDateTime(argument.data());
    if constexpr (build::copyDateArgument)
        Require(argument == text);

    std::string cut = text;
    DateFields fields{};
    const bool complete = SplitDateText(cut.data(), &fields);
    CheckCut(text, cut);
    if (text == ".") {  // now: a valid date or out of range, never invalid
        Require(result.verdict != DateVerdict::invalid);
        return 0;
    }
    Require(complete == (result.verdict != DateVerdict::invalid));
    if (!complete)
        return 0;
    CheckFields(fields);
    const std::optional<uint32_t> seconds = DateFieldsToLocalSeconds(fields);
    Require(seconds.has_value() == (result.verdict == DateVerdict::valid));
    if (seconds)
        Require(*seconds == result.localSeconds);
    return 0;
}
