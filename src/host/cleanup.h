// Process guard, restart check, clean-up of an earlier installation and safe library loading.
// Main thread unless stated; every operation is silent on failure and reports by its result.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <string>
#include <vector>

#include "host/handles.h"

// The instance mutex "Global\TARVOINSTALLER" held by this process; null when it was not created or has
// been released. Main thread only.
win::unique_handle& instanceMutex();

// Restricts the DLL search path of the process to the system folder. Call first in the entry.
// False when the system offers no way to do so (the loader keeps its default order).
bool restrictDllSearchPath();
// Loads a DLL by name from the system folder only, freed when the owner ends; empty when it is not there.
win::unique_hmodule loadSystemLibrary(const wchar_t* name);

// The restart marker: "tarvovirtualcamera_restart" in the temporary folder, holding the 8 bytes of
// "ShutdownTime" as they were when an install asked for a restart. Empty when there is no temporary folder.
std::wstring restartMarkerPath();
// Writes the marker with the current "ShutdownTime" (zeros when it cannot be read) and asks for its
// deletion at the next restart.
void writeRestartMarker();
// True when the restart marker matches the current "ShutdownTime", i.e. the machine has not been
// restarted since an install asked for it. Deletes a stale or unreadable marker.
bool isRestartPending();

// Calls visit(entry) for every process of a fresh snapshot, in snapshot order, until it answers false.
// False when no snapshot could be taken. Any thread.
bool forEachProcess(const std::function<bool(const PROCESSENTRY32W&)>& visit);

// Terminates (exit code 0xFFFFFFF8) every process whose image file name equals name, ignoring case,
// and waits up to 10 s for each. False only when the process list cannot be taken. Any thread.
bool killProcessesByImageName(const std::wstring& name);

// Full paths of the non-folder entries of folder matching pattern, in file-system order. Any thread.
std::vector<std::wstring> listFiles(const std::wstring& folder, const std::wstring& pattern);

// Delete the folder path with its contents and answer whether it is gone. Links (reparse points) are
// removed as links and never entered, so nothing outside path is touched. removeTreeForced turns '/'
// into '\' and clears read-only attributes first; removeTree does neither, so read-only files stay
// together with their folders. Any thread.
bool removeTreeForced(const std::wstring& path);
bool removeTree(const std::wstring& path);

// Run at start-up, before anything is loaded: ends the helper processes of an earlier installation and
// deletes its folders.
void cleanUpEarlierInstallation();
