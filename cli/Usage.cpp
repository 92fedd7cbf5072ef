#include <array>
#include <cstdio>
#include <string_view>

#include "cli/Options.h"
#include "config/BuildChoices.h"

namespace {

using namespace std::string_view_literals;

// Each line as it reaches standard output: lines once written with puts end
// in "\r\n", the others in "\n\r" or "\n\n\r".
constexpr std::array kUsageX86{
    "Usage: Vornik [option...] file...\r\n"sv,
    "    -a attributes     # attributes (lowercase = 0, uppercase = 1)*\r\n"sv,
    "    -c creator        # file creator\r\n"sv,
    "    -d date           # creation date (mm/dd/[yy]yy [hh:mm[:ss] [AM | PM]])*\r\n"sv,
    "    -m date           # modification date (mm/dd/[yy]yy [hh:mm[:ss] [AM | PM]])*\r\n"sv,
    "\t-P\t\t\t\t  # perform action on symlink instead of following it\r\n"sv,
    "    -t type           # file type\n\n\r"sv,
    "    Note: The following attributes may be used with the -a option:\r\n"sv,
    "        A   Alias file\n\r"sv,
    "        B   Bundle\n\r"sv,
    "        C   Custom icon*\n\r"sv,
    "        D   Desktop*\n\r"sv,
    "        E   Hidden extension*\n\r"sv,
    "        I   Inited*\n\r"sv,
    "        M   Shared (can run multiple times)\n\r"sv,
    "        N   No INIT resources\n\r"sv,
    "        L   Locked\n\r"sv,
    "        S   System (name locked)\n\r"sv,
    "        T   Stationery\n\r"sv,
    "        V   Invisible*\n\r"sv,
    "        Z   Busy*\n\n\r"sv,
    "    Note: Items marked with an asterisk (*) are allowed with folders\n\r"sv,
    "    Note: Period (.) represents the current date and time.\n\r"sv,
    "    Note: [yy]yy < 100 assumes 21st century, e.g. 20yy\n\r"sv,
};

constexpr std::array kUsageX86Earlier = [] {
    auto lines = kUsageX86;
    lines.back() = "    Note: [yy]yy < 100 assumes 21th century, e.g. 20yy\n\r"sv;
    return lines;
}();

constexpr std::array kUsagePowerPC{
    "Usage: Vornik [option...] file...\r\n"sv,
    "    -a attributes     # attributes (lowercase = 0, uppercase = 1)*\r\n"sv,
    "    -c creator        # file creator\r\n"sv,
    "    -d date           # creation date (mm/dd/[yy]yy [hh:mm[:ss] [AM | PM]])*\r\n"sv,
    "    -m date           # modification date (mm/dd/[yy]yy [hh:mm[:ss] [AM | PM]])*\r\n"sv,
    "    -t type           # file type\n\n\r"sv,
    "    Note: The following attributes may be used with the -a option:\r\n"sv,
    "        A   Alias file\n\r"sv,
    "        B   Bundle\n\r"sv,
    "        C   Custom icon*\n\r"sv,
    "        D   Desktop*\n\r"sv,
    "        E   Hidden extension*\n\r"sv,
    "        I   Inited*\n\r"sv,
    "        M   Shared (can run multiple times)\n\r"sv,
    "        N   No INIT resources\n\r"sv,
    "        L   Locked\n\r"sv,
    "        S   System (name locked)\n\r"sv,
    "        T   Stationary\n\r"sv,
    "        V   Invisible*\n\n\r"sv,
    "    Note: Items marked with an asterisk (*) are allowed with folders\n\r"sv,
    "    Note: Period (.) represents the current date and time.\n\r"sv,
    "    Note: [yy]yy < 100 assumes 21th century, e.g. 20yy\n\r"sv,
};

template <size_t N>
void WriteLines(const std::array<std::string_view, N>& lines) {
    for (std::string_view line : lines)
        fwrite(line.data(), 1, line.size(), stdout);
}

}  // namespace

void PrintUsage() {
    if constexpr (build::usageText == build::UsageText::x86)
        WriteLines(kUsageX86);
    else if constexpr (build::usageText == build::UsageText::x86Earlier)
        WriteLines(kUsageX86Earlier);
    else
        WriteLines(kUsagePowerPC);
    fflush(stdout);
}
