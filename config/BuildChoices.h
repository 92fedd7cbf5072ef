// The choices that tell Vornik's three deliverables apart, in one place.
//
// The build selects one of them with the compile definition VORNIK_BUILD_KIND
// (set by CMake from the cache variable VORNIK_BUILD). Everything else reads
// the named constants below; no choice is made at run time.
#pragma once

#include <cstdint>

#ifndef VORNIK_BUILD_KIND
#error "VORNIK_BUILD_KIND must be set by the build (see CMakeLists.txt)"
#endif

// Numeric values so that the preprocessor can test them where a record's
// layout depends on a choice.
#define VORNIK_BUILD_X86 1
#define VORNIK_BUILD_X86_EARLIER 2
#define VORNIK_BUILD_POWERPC 3

// The option "-P" and the busy letters exist in the two x86 builds only.
#define VORNIK_HAS_PATH_OPTIONS (VORNIK_BUILD_KIND != VORNIK_BUILD_POWERPC)
#define VORNIK_HAS_BUSY (VORNIK_BUILD_KIND != VORNIK_BUILD_POWERPC)

namespace build {

enum class Kind : uint8_t { x86 = 1, x86Earlier = 2, powerPC = 3 };

enum class UsageText : uint8_t { x86, x86Earlier, powerPC };

inline constexpr Kind kind = static_cast<Kind>(VORNIK_BUILD_KIND);
static_assert(kind == Kind::x86 || kind == Kind::x86Earlier || kind == Kind::powerPC,
              "VORNIK_BUILD_KIND names no known build");

// "-P" and ChangeRequest::pathOptions.
inline constexpr bool hasPathOptions = VORNIK_HAS_PATH_OPTIONS;

// Letters Z and z, ChangeRequest::busyRequested and busyValue, and the
// extended presentation information in the catalog masks.
inline constexpr bool hasBusy = VORNIK_HAS_BUSY;

// Each operand is made canonical with realpath before the catalog update.
inline constexpr bool canonicalOperands = kind == Kind::powerPC;

// The date parser cuts a private copy of its argument (true) or the
// argument's own characters (false).
inline constexpr bool copyDateArgument = kind == Kind::x86;

inline constexpr UsageText usageText = kind == Kind::x86          ? UsageText::x86
                                       : kind == Kind::x86Earlier ? UsageText::x86Earlier
                                                                  : UsageText::powerPC;

}  // namespace build
