// Windows paths of the build's files for the host tests (the build passes Unix paths; Wine maps / to Z:).
#pragma once

#include <windows.h>

#include <algorithm>
#include <optional>
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

inline const wchar_t kWindowsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Windows";

// The restart marker the installer checks: "tarvovirtualcamera_restart" in the temporary folder.
inline std::wstring markerPath() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring path = temp;
    if (path.back() != L'\\')
        path += L'\\';
    return path + L"tarvovirtualcamera_restart";
}

inline std::string bytes8(unsigned long long v) {
    return std::string(reinterpret_cast<const char*>(&v), 8);
}

// Saves "ShutdownTime" and puts it back (or removes it) when the test ends, deleting the restart
// marker too; arm() sets up a marker matching a ShutdownTime of the test's choosing.
class PendingRestart {
  public:
    PendingRestart() : saved_(testsupport::regReadBinary(HKEY_LOCAL_MACHINE, kWindowsKey, L"ShutdownTime")) {}
    PendingRestart(const PendingRestart&) = delete;
    PendingRestart& operator=(const PendingRestart&) = delete;
    ~PendingRestart() {
        if (saved_)
            testsupport::regWriteBinary(HKEY_LOCAL_MACHINE, kWindowsKey, L"ShutdownTime", saved_->data(),
                                        static_cast<DWORD>(saved_->size()));
        else
            testsupport::regDeleteValue(HKEY_LOCAL_MACHINE, kWindowsKey, L"ShutdownTime");
        DeleteFileW(markerPath().c_str());
    }
    // Sets ShutdownTime to `now` and writes a marker of the given bytes.
    bool arm(unsigned long long now, const std::string& marker) {
        return testsupport::regWriteBinary(HKEY_LOCAL_MACHINE, kWindowsKey, L"ShutdownTime", &now, 8) &&
               testsupport::writeFile(markerPath(), marker);
    }

  private:
    std::optional<std::string> saved_;
};
