// The installer as a user meets it: setup.exe opens its shadowed window, the user agrees and installs,
// watches the progress and finishes; afterwards the product's files, registry entries and shortcut are
// in the prefix. Real processes, real windows, real mouse input.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "ui_test_support.h"
#include "win_test_support.h"

using namespace testsupport;

namespace {

constexpr wchar_t kTitle[] = L"veze安装程序";
constexpr wchar_t kProductKey[] = L"Software\\DuvureVEdadiz";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DuvureVEdadiz";

std::wstring windowsPath(const char* unixPath) {
    std::wstring path = L"Z:" + widen(unixPath);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

std::wstring specialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE) ? path : L"";
}

std::wstring installFolder() {
    return specialFolder(CSIDL_PROGRAM_FILES) + L"\\DuvureVEdadiz\\";
}

std::optional<std::wstring> regString(HKEY root, const wchar_t* key, const wchar_t* name) {
    wchar_t data[1024] = {};
    DWORD size = sizeof(data);
    if (RegGetValueW(root, key, name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(data);
}

std::optional<DWORD> regDword(HKEY root, const wchar_t* key, const wchar_t* name) {
    DWORD data = 0, size = sizeof(data);
    if (RegGetValueW(root, key, name, RRF_RT_REG_DWORD, nullptr, &data, &size) != ERROR_SUCCESS)
        return std::nullopt;
    return data;
}

// The product as never installed: no settings, no uninstall entry, no folder, no shortcut.
void forgetProduct() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kProductKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallKey);
    regDeleteValue(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                   L"TarvoVirtualCamera");
    deleteTree(installFolder());
    DeleteFileW((specialFolder(CSIDL_DESKTOPDIRECTORY) + L"\\Vozizavuv.lnk").c_str());
}

// The installer's main window of process pid, once it is visible.
HWND waitInstallerWindow(DWORD pid, DWORD timeoutMs) {
    HWND found = nullptr;
    pumpUntil(
        [&] {
            for (HWND w : topLevelWindows(pid, L"WINDOW:234:000"))
                if (IsWindowVisible(w) && windowText(w) == kTitle)
                    found = w;
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

// A point of the window's client area in screen coordinates.
POINT at(HWND window, int x, int y) {
    return clientToScreen(window, POINT{x, y});
}

// Saves the window with its shadow (the screen around it) when a folder for pictures is set.
void screenshot(HWND window, const wchar_t* name) {
    RECT r = windowRect(window);
    RECT around{r.left - 20, r.top - 14, r.right + 16, r.bottom + 21};
    Image image;
    if (captureScreen(around, &image))
        writePng(windowsPath(TARVO_TEST_SHOT_DIR) + L"\\" + name, image);
}

// The colour of a client pixel, 0x00RRGGBB.
uint32_t pixel(HWND window, int x, int y) {
    POINT p = at(window, x, y);
    return screenPixel(p.x, p.y);
}

}  // namespace

TEST(Installer, AgreeInstallFinishRegistersTheProduct) {
    forgetProduct();
    Process setup = startProcess(windowsPath(TARVO_TEST_SETUP_EXE));
    ASSERT_TRUE(setup);
    HWND window = waitInstallerWindow(setup.pid, 30000);
    ASSERT_NE(window, nullptr) << "no installer window";

    // One shadowed 600 x 400 window, 50 px above the screen's centre.
    RECT r = windowRect(window);
    EXPECT_EQ(r.right - r.left, 600);
    EXPECT_EQ(r.bottom - r.top, 400);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 600) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 400 - 100) / 2);
    bool shadowShown = false;
    for (HWND w : topLevelWindows(setup.pid, L"WINDOW:234:000"))
        if (w != window && IsWindowVisible(w) && (windowExStyle(w) & WS_EX_LAYERED))
            shadowShown = true;
    EXPECT_TRUE(shadowShown) << "the shadow companion is visible";
    pumpFor(500);
    screenshot(window, L"installer-agreement.png");

    // The install button stays disabled until the agreement is ticked: a click does nothing.
    uint32_t disabledFace = pixel(window, 300, 44 + 202);
    click(at(window, 300, 44 + 202));
    pumpFor(800);
    EXPECT_FALSE(fileExists(installFolder() + L"TarvoVirtualCameraUI.exe"));

    click(at(window, 58, 44 + 288));  // the agreement box
    ASSERT_TRUE(pumpUntil([&] { return pixel(window, 300, 44 + 202) != disabledFace; }, 5000))
        << "the install button looks enabled after the agreement";
    click(at(window, 300, 44 + 202));

    // The payload arrives; the finish page's button ends the dialog and registers the product.
    ASSERT_TRUE(pumpUntil([&] { return fileExists(installFolder() + L"TarvoVirtualCameraUI.exe"); }, 120000))
        << "the install did not start";
    screenshot(window, L"installer-progress.png");
    EXPECT_FALSE(regString(HKEY_CURRENT_USER, kProductKey, L"InstallPath")) << "registered before the finish";
    // The finish button appears with the finish page; until then a press there meets an empty page.
    DWORD start = GetTickCount();
    while (processAlive(setup.pid) && GetTickCount() - start < 180000) {
        click(at(window, 306, 44 + 268));
        pumpFor(700);
    }
    EXPECT_EQ(waitExit(setup, 30000), 0);

    EXPECT_EQ(regString(HKEY_CURRENT_USER, kProductKey, L"InstallPath"), installFolder());
    EXPECT_EQ(regString(HKEY_CURRENT_USER, kProductKey, L"Version"), L"9.0.4.6");
    EXPECT_EQ(regDword(HKEY_CURRENT_USER, kProductKey, L"New"), 1u);
    EXPECT_EQ(regString(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                        L"TarvoVirtualCamera"),
              installFolder() + L"TarvoVirtualCameraUI.exe")
        << "the start-with-Windows box is checked on completion";
    EXPECT_EQ(regString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayName"), L"Vozizavuv");
    EXPECT_EQ(regString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString"),
              installFolder() + L"unins000.exe");
    EXPECT_EQ(regString(HKEY_CLASSES_ROOT, L"rozoz\\shell\\open\\command", nullptr),
              L"\"" + installFolder() + L"TarvoVirtualCameraUI.exe\" %1");
    EXPECT_TRUE(fileExists(specialFolder(CSIDL_DESKTOPDIRECTORY) + L"\\Vozizavuv.lnk"));
    forgetProduct();
}
