// What every Windows test needs from Wine: a display driver that makes and draws windows. A wineserver
// started without a display loads none, and then every window creation fails.
#include <gtest/gtest.h>
#include <windows.h>

#include "host/handles.h"

TEST(Smoke, WineCreatesAWindowAndHandsOutItsDeviceContext) {
    win::unique_hwnd window(CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"smoke", WS_POPUP, 0, 0, 8, 8,
                                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
    DWORD error = GetLastError();
    ASSERT_TRUE(window) << "CreateWindowExW failed with error " << error;
    auto dc = win::get_dc(window.get());
    ASSERT_TRUE(dc);
    EXPECT_GE(GetDeviceCaps(dc.get(), BITSPIXEL), 24) << "the test display has 24-bit colour";
}
