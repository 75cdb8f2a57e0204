#include "dui/checked.h"

#include <windows.h>
#include <cstdio>
#include <cstring>

namespace dui {
namespace {

void defaultFailure(const char* what, const void* address) {
    char line[256];
    std::snprintf(line, sizeof line, "poison check failed: %s (at %p)\n", what, address);
    std::fputs(line, stderr);
    std::fflush(stderr);
    OutputDebugStringA(line);
    if (IsDebuggerPresent())
        DebugBreak();
    // Ended here rather than by a fault, which under Wine would start a debugger and hold the process.
    TerminateProcess(GetCurrentProcess(), kPoisonExitCode);
}

PoisonFailureFn failureHandler = defaultFailure;

}  // namespace

bool checkedBuild() noexcept {
    return kCheckedBuild;
}

PoisonFailureFn setPoisonFailureHandler(PoisonFailureFn fn) noexcept {
    PoisonFailureFn previous = failureHandler;
    failureHandler = fn ? fn : defaultFailure;
    return previous;
}

void reportPoisonFailure(const char* what, const void* address) noexcept {
    failureHandler(what, address);
}

bool checkPoison(void* block, std::size_t from, std::size_t to, const char* what) noexcept {
    auto* bytes = static_cast<unsigned char*>(block);
    for (std::size_t i = from; i < to; ++i) {
        if (bytes[i] != kPoisonByte) {
            reportPoisonFailure(what, bytes + i);
            std::memset(bytes + from, kPoisonByte, to - from);  // reported once, not again on reuse
            return false;
        }
    }
    return true;
}

}  // namespace dui
