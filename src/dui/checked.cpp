#include "dui/checked.h"

#include <windows.h>
#include <cstdio>

namespace dui {
namespace {

void defaultFailure(const char* what, const void* address) {
    char line[256];
    std::snprintf(line, sizeof line, "poison check failed: %s (at %p)\n", what, address);
    std::fputs(line, stderr);
    std::fflush(stderr);
    OutputDebugStringA(line);
    __builtin_trap();
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

void checkPoison(const void* block, std::size_t from, std::size_t to, const char* what) noexcept {
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (std::size_t i = from; i < to; ++i) {
        if (bytes[i] != kPoisonByte) {
            reportPoisonFailure(what, bytes + i);
            return;
        }
    }
}

}  // namespace dui
