// The checked build (CMake option TARVO_CHECKED): freed small-object blocks and delegate records are
// filled with a poison pattern and kept out of reuse for a while, and the pattern is checked when they
// are reused, so a use after free faults or fails a check where it happens instead of leaving a
// quietly wrong object. Release builds compile none of it. UI thread only, like the pools it guards.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dui {

// The byte written over freed memory; eight of them read as a non-canonical pointer, so a call through
// a freed object's table or a pointer loaded from it faults.
constexpr unsigned char kPoisonByte = 0xDD;
constexpr std::uint64_t kPoisonWord = 0xDDDDDDDDDDDDDDDDull;

// Whether this program was built with the option.
bool checkedBuild() noexcept;

// The exit code of a process ended by a failed poison check.
constexpr unsigned kPoisonExitCode = 0xDDDD0001u;

// Called with a description when a poison check fails. The default prints it to standard error and the
// debugger output, breaks into a debugger when one is attached, and otherwise ends the process at once
// with kPoisonExitCode.
using PoisonFailureFn = void (*)(const char* what, const void* address);
// Installs fn (null restores the default) and answers the previous handler. For tests.
PoisonFailureFn setPoisonFailureHandler(PoisonFailureFn fn) noexcept;

// Checks that bytes [from, to) of block still hold the poison; reports the first that does not (when
// the report returns, the range is poisoned again so it is reported once) and answers false.
bool checkPoison(void* block, std::size_t from, std::size_t to, const char* what) noexcept;
void reportPoisonFailure(const char* what, const void* address) noexcept;

// Moves every quarantined block and delegate record on to its free list now (checking it). Tests use
// it to reach the reuse check without a quarantine's worth of frees.
void flushSmallQuarantine() noexcept;
void flushDelegateQuarantine() noexcept;

#if defined(TARVO_CHECKED)
constexpr bool kCheckedBuild = true;
#else
constexpr bool kCheckedBuild = false;
#endif

}  // namespace dui
