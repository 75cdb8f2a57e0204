// Windows paths of the build's files for the host tests (the build passes Unix paths; Wine maps / to Z:).
#pragma once

#include <algorithm>
#include <string>

#include "win_test_support.h"

inline std::wstring buildPath(const char* unixPath) {
    std::wstring path = L"Z:" + testsupport::widen(unixPath);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

inline std::wstring setupExe() {
    return buildPath(TARVO_TEST_SETUP_EXE);
}
inline std::wstring setupNoScriptExe() {
    return buildPath(TARVO_TEST_SETUP_NOSCRIPT_EXE);
}
inline std::wstring setupProbeExe() {
    return buildPath(TARVO_TEST_SETUP_PROBE_EXE);
}
inline std::wstring sleeperExe() {
    return buildPath(TARVO_TEST_SLEEPER_EXE);
}
inline std::wstring plantedDll() {
    return buildPath(TARVO_TEST_PLANTED_DLL);
}
