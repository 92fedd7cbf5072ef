#include "show/ShowOptions.h"

#include <array>
#include <cstring>

#include "config/BuildChoices.h"
#include "parse/AttributeLetters.h"

#ifndef VORNIK_VERSION
#error "VORNIK_VERSION must be set by the build (see show/CMakeLists.txt)"
#endif

namespace {

struct FieldOption {
    const char* word;
    ShowField field;
};

constexpr std::array kFieldOptions{
    FieldOption{"-a", ShowField::attributes},   FieldOption{"-c", ShowField::creator},
    FieldOption{"-d", ShowField::creationDate}, FieldOption{"-m", ShowField::modificationDate},
    FieldOption{"-t", ShowField::type},
};

// Indexed by build::Kind.
constexpr const char* kBuildNames[] = {"", "x86", "x86-earlier", "powerpc"};

ShowVerdict GoOn(int32_t firstOperand) {
    return {false, kExitSuccess, firstOperand};
}

ShowVerdict EndRun(ExitStatus status) {
    return {true, status, 0};
}

ShowVerdict RejectCommandLine(const char* problem, const char* word) {
    fprintf(stderr, "VornikShow: %s%s\n", problem, word);
    PrintShowUsage(stderr);
    return EndRun(kExitUsage);
}

const FieldOption* FindFieldOption(const char* word) {
    for (const FieldOption& option : kFieldOptions) {
        if (strcmp(option.word, word) == 0)
            return &option;
    }
    return nullptr;
}

ShowVerdict OperandsFrom(int32_t index, int32_t argc) {
    if (index >= argc)
        return RejectCommandLine("no file given", "");
    return GoOn(index);
}

}  // namespace

ShowVerdict ParseShowOptions(ShowRequest& request, int32_t argc, char** argv) {
    if (argc <= 1) {
        PrintShowUsage(stderr);
        return EndRun(kExitUsage);
    }
    for (int32_t index = 1; index < argc; ++index) {
        const char* word = argv[index];
        if (word[0] != '-' || strcmp(word, "-") == 0)
            return GoOn(index);
        if (strcmp(word, "--") == 0)
            return OperandsFrom(index + 1, argc);
        if (strcmp(word, "-h") == 0 || strcmp(word, "--help") == 0) {
            PrintShowUsage(stdout);
            return EndRun(kExitSuccess);
        }
        if (strcmp(word, "--version") == 0) {
            printf("VornikShow %s (%s build)\n", VORNIK_VERSION, kBuildNames[static_cast<int>(build::kind)]);
            return EndRun(kExitSuccess);
        }
        const FieldOption* option = FindFieldOption(word);
        if (option == nullptr)
            return RejectCommandLine("unknown option ", word);
        if (request.field != ShowField::block && request.field != option->field)
            return RejectCommandLine("only one of -a, -c, -d, -m and -t may be given", "");
        request.field = option->field;
    }
    return OperandsFrom(argc, argc);
}

void PrintShowUsage(FILE* stream) {
    // The letters of this build, from the table that Vornik reads them by.
    char letters[2 * kAttributeLetters.size()] = {};
    size_t length = 0;
    for (const AttributeLetter& entry : kAttributeLetters) {
        if (!InThisBuild(entry))
            continue;
        if (length > 0)
            letters[length++] = ' ';
        letters[length++] = entry.letter;
    }
    fprintf(stream,
            "Usage: VornikShow [-a | -c | -d | -m | -t] file...\n"
            "       VornikShow -h | --version\n"
            "Shows the catalog record of each file, every value as Vornik accepts it.\n"
            "    -a         attributes only: %s, uppercase = set\n"
            "    -c         creator code only\n"
            "    -d         creation date only (mm/dd/yyyy hh:mm:ss AM|PM, local time)\n"
            "    -m         modification date only\n"
            "    -t         type code only\n"
            "    -h         print this text\n"
            "    --version  print the version\n",
            letters);
    fflush(stream);
}
