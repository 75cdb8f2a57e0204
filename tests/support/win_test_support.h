// Helpers for Windows tests that drive real processes, dialogs, windows, files and the registry of
// the Wine prefix. Test code only; every call may be made from any thread unless it says otherwise.
// Paths are Windows paths (the test runs inside the prefix); failures are reported by results.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/handles.h"
#include "host/text_conv.h"

namespace testsupport {

// ---- Processes -------------------------------------------------------------------------------------

constexpr int kNotStarted = -1;  // the process could not be created
constexpr int kTimedOut = -2;    // still running when the wait ended; it was terminated

struct Process {
    win::unique_handle handle;  // process handle (null when the start failed)
    DWORD pid = 0;
    explicit operator bool() const { return static_cast<bool>(handle); }
};

// Starts exe with the given argument tail (may be empty); the working folder is the exe's folder.
Process startProcess(const std::wstring& exe, const std::wstring& args = L"");
// Waits for the process; its exit code, or kTimedOut after terminating it when timeoutMs passed.
int waitExit(const Process& process, DWORD timeoutMs);
// startProcess + waitExit; kNotStarted when it could not be started.
int runAndWait(const std::wstring& exe, const std::wstring& args, DWORD timeoutMs);
// True while the process with this id exists and has not exited.
bool processAlive(DWORD pid);
// Ids of running processes whose image file name equals name (ignoring case).
std::vector<DWORD> processesByName(const std::wstring& name);
// Threads of process pid that exist now (Tool Help snapshot); -1 when no snapshot can be taken.
int threadCount(DWORD pid);
// Bytes of the C runtime heap in use (malloc'd and not freed).
size_t heapInUse();
// Full path of the running test executable, and its folder (without a trailing backslash).
std::wstring selfPath();
std::wstring selfFolder();

// ---- Windows and dialogs ---------------------------------------------------------------------------

// Visible or hidden top-level windows owned by process pid (0: any process), optionally of one class.
std::vector<HWND> topLevelWindows(DWORD pid, const wchar_t* className = nullptr);
// Polls until a top-level dialog (class "#32770") of pid (0: any) with exactly this title exists;
// null when none appeared within timeoutMs.
HWND findDialog(DWORD pid, const std::wstring& title, DWORD timeoutMs);
std::wstring windowText(HWND window);
std::wstring windowClass(HWND window);
// The message text of a message box: its static control 0xFFFF.
std::wstring dialogText(HWND dialog);
// Texts of the dialog's push buttons in child order (mnemonic '&' kept).
std::vector<std::wstring> dialogButtons(HWND dialog);
// Presses a button of a dialog by command id (IDOK, IDCANCEL, ...), as a click would; true if sent.
bool pressButton(HWND dialog, int commandId);
// Polls until the window no longer exists; false on timeout.
bool waitWindowGone(HWND window, DWORD timeoutMs);
// Dispatches this thread's messages until done() holds (true) or timeoutMs passed (false). done() is
// asked after every message, so a queue that another thread keeps filling cannot hold the loop.
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// ---- Pixels and screenshots ------------------------------------------------------------------------

// A 32-bit top-down image; each pixel is 0xAARRGGBB (the layout of a 32-bit DIB).
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};
// Copies the window's client-and-frame area: PrintWindow, falling back to a blit from the screen.
// False when the window has no area or cannot be drawn. Captured pixels are opaque (alpha 0xFF).
bool captureWindow(HWND window, Image* out);
// Copies a screen rectangle (screen coordinates); opaque pixels.
bool captureScreen(const RECT& rect, Image* out);
// Encodes as a 32-bit RGBA PNG (stored deflate, no compression library); empty on a bad image.
std::string encodePng(const Image& image);
bool writePng(const std::wstring& path, const Image& image);

// ---- Files and folders -----------------------------------------------------------------------------

// A new empty folder under the temporary folder, named prefix plus a unique suffix; empty on failure.
std::wstring makeTempFolder(const std::wstring& prefix);
// Creates the folder and its missing parents; true if it exists afterwards.
bool makeFolders(const std::wstring& path);
bool writeFile(const std::wstring& path, const std::string& bytes);  // creates parent folders
std::optional<std::string> readFile(const std::wstring& path);
// The existing file opened with no sharing, as another program holding it would; null on failure.
win::unique_file holdFile(const std::wstring& path);
// The file written with these bytes (parents created), then held as holdFile does; null on failure.
win::unique_file writeAndHoldFile(const std::wstring& path, const std::string& bytes);
bool fileExists(const std::wstring& path);  // a file or a folder
// Deletes a folder tree, clearing read-only attributes; links are removed, never followed.
bool deleteTree(const std::wstring& path);
// A Unix symbolic link at `link` to the folder `target` (Windows paths), made by the system's own
// /bin/ln; Wine shows it as a folder with the reparse-point attribute, and its own calls that remove
// by name act on the target. unixRemoveLink removes such a link itself with /bin/rm.
bool unixFolderLink(const std::wstring& target, const std::wstring& link);
bool unixRemoveLink(const std::wstring& link);
// UTF-16 <-> UTF-8, embedded zeros included.
inline std::wstring widen(const std::string& utf8) {
    return win::utf8ToWide(utf8);
}
inline std::string narrow(const std::wstring& text) {
    return win::wideToUtf8(text);
}

// ---- Registry --------------------------------------------------------------------------------------

bool regWriteBinary(HKEY root, const std::wstring& key, const std::wstring& value, const void* data,
                    DWORD size);  // creates the key
std::optional<std::string> regReadBinary(HKEY root, const std::wstring& key, const std::wstring& value);
bool regWriteString(HKEY root, const std::wstring& key, const std::wstring& value, const std::wstring& data);
bool regDeleteValue(HKEY root, const std::wstring& key, const std::wstring& value);  // true if absent after

}  // namespace testsupport
