// Seams of the `reboot` system function. Tests replace the two platform steps that can fail so that
// no test ever asks the system to restart. Not thread-safe: set before scripts run.
#pragma once

#include <windows.h>

namespace script {

struct RebootSteps {
    BOOL(WINAPI* openProcessToken)(HANDLE process, DWORD access, PHANDLE token);
    BOOL(WINAPI* exitWindows)(UINT flags, DWORD reason);
};

// Installs `steps`; null restores OpenProcessToken and ExitWindowsEx.
void setRebootSteps(const RebootSteps* steps);

}  // namespace script
