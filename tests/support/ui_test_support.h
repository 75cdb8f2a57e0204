// Helpers for tests that drive real windows of the test's own UI thread: message pumping with
// deadlines, real mouse and keyboard input through the system's input queue (SendInput), finding
// windows, reading styles, rectangles and screen pixels. Test code only; call from the thread that
// owns the windows under test, since waiting pumps that thread's messages.
//
// Under Wine without a window manager, hiding or destroying a managed top-level window stalls for about
// two seconds; tarvo_unmanaged_windows (cmake/Testing.cmake) removes the stall for a test executable.
// Wait for states with these deadlines, never with fixed sleeps.
#pragma once

#include <windows.h>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "win_test_support.h"

namespace testsupport {

// ---- Waiting ---------------------------------------------------------------------------------------

// pumpUntil (dispatch until a state holds, with a deadline) is in win_test_support.h.
// Dispatches this thread's messages for the whole duration (for "nothing else happens" checks).
void pumpFor(DWORD durationMs);
// A top-level window of any process with this class and, when title is not null, exactly this title,
// visible or not; null when none appeared within the deadline (messages are pumped meanwhile).
HWND waitForWindow(const wchar_t* className, const wchar_t* title, DWORD timeoutMs);
// Until IsWindowVisible answers `visible`.
bool waitVisible(HWND window, bool visible, DWORD timeoutMs);
// Until the window is gone.
bool waitDestroyed(HWND window, DWORD timeoutMs);

// ---- Window state ----------------------------------------------------------------------------------

DWORD windowStyle(HWND window);
DWORD windowExStyle(HWND window);
RECT windowRect(HWND window);        // screen coordinates
RECT clientScreenRect(HWND window);  // the client area in screen coordinates
POINT clientToScreen(HWND window, POINT client);
// The colour at a screen point, 0x00RRGGBB; 0xFFFFFFFF when it cannot be read.
uint32_t screenPixel(int x, int y);
// Until the screen shows `rgb` (0x00RRGGBB) at the point: what a window paints reaches the screen a
// little later under Wine. Answers the last colour read.
uint32_t waitScreenPixel(int x, int y, uint32_t rgb, DWORD timeoutMs);

// ---- Real input (SendInput) ------------------------------------------------------------------------

enum class Button { Left, Right };

// Puts the cursor on the screen point and sends a mouse move there.
void moveMouse(int x, int y);
void moveMouse(POINT screen);
void mouseDown(Button button = Button::Left);
void mouseUp(Button button = Button::Left);
// Move, press and release at a screen point.
void click(POINT screen, Button button = Button::Left);
// Two clicks well inside the system's double-click time and distance.
void doubleClick(POINT screen, Button button = Button::Left);
// One wheel notch per unit of `notches` (120 each), positive away from the user.
void wheel(int notches);
// Virtual-key press and release.
void keyDown(WORD virtualKey);
void keyUp(WORD virtualKey);
void pressKey(WORD virtualKey);

// Makes the window the foreground window with the keyboard focus; answers whether it is afterwards.
bool bringToFront(HWND window, DWORD timeoutMs = 3000);

// ---- Clipboard (shared by the processes of the prefix) ---------------------------------------------

// Puts the text on the clipboard as CF_UNICODETEXT, as another program copying it would; waits a moment
// while another process holds the clipboard open. False when it could not.
bool setClipboardText(const std::wstring& text);
using ClipboardGuard = decltype(win::open_clipboard(nullptr));
// Opens the clipboard for the caller's scope, waiting up to two seconds while another process holds it
// open; empty when it stayed shut.
std::optional<ClipboardGuard> openClipboard(HWND owner);

}  // namespace testsupport
