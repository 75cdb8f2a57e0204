// installer_bench SETUP_EXE: the real installer on its own payload, driven from outside as a user does.
// It decodes the payload of SETUP_EXE once on this thread (the bare decode), then starts SETUP_EXE,
// ticks the agreement and clicks install with real mouse input, and times the click to the finish page
// as it appears on the screen. Prints "name=value" lines: the install throughput against the bare
// decode, and the CPU time of the installer's user-interface thread per notification (progress repaint
// included), read from outside through the thread's times. Leaves the prefix without the product.
#include <windows.h>
#include <oleacc.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "acc_client.h"
#include "host/handles.h"
#include "host/owned_archive.h"
#include "ui_test_support.h"
#include "win_test_support.h"

using namespace testsupport;

namespace {

constexpr wchar_t kTitle[] = L"veze安装程序";
constexpr wchar_t kWindowClass[] = L"WINDOW:234:000";
constexpr wchar_t kResourceType[] = L"_TarvoResc";
constexpr int kPayloadId = 115;
constexpr int kInstallScriptId = 114;
// Client points inside controls of product/layouts/mainframe.xml (pages start 44 px down, under the title
// bar): the agreement box 1001, the install button 1003, the finish button 4002, the progress bar 3001.
constexpr POINT kAgreement{58, 44 + 288};
constexpr POINT kInstall{300, 44 + 202};
constexpr POINT kFinish{306, 44 + 268};
// Inside the finish page's primary button 4003, clear of its caption: its face is coloured, unlike the
// page behind it (the finish button itself is white on white).
constexpr POINT kFinishShown{400, 44 + 268};
constexpr POINT kProgressBar{300, 44 + 123};  // page background until the progress page shows

double seconds(LONGLONG ticks) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(ticks) / static_cast<double>(f.QuadPart);
}

LONGLONG now() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

std::wstring specialFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE) ? path : L"";
}

std::wstring installFolder() {
    return specialFolder(CSIDL_PROGRAM_FILES) + L"\\DuvureVEdadiz\\";
}

// The product as never installed, so the install button installs afresh into the default folder.
void forgetProduct() {
    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\DuvureVEdadiz");
    RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                   L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\DuvureVEdadiz");
    regDeleteValue(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                   L"TarvoVirtualCamera");
    deleteTree(installFolder());
    DeleteFileW((specialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\Vozizavuv.lnk").c_str());
}

// One resource of the executable, copied out (with four zero bytes after it, as the installer reads it).
struct ResourceCopy {
    unique_file_buffer bytes;
    size_t size = 0;
};

bool copyResource(HMODULE image, int id, ResourceCopy* out) {
    HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(id), kResourceType);
    HGLOBAL loaded = found ? LoadResource(image, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        return false;
    out->size = SizeofResource(image, found);
    out->bytes.reset(std::malloc(out->size + 4));
    if (!out->bytes)
        return false;
    std::memcpy(out->bytes.get(), data, out->size);
    std::memset(static_cast<char*>(out->bytes.get()) + out->size, 0, 4);
    return true;
}

// Occurrences of needle in the text.
int count(const char* text, const char* needle) {
    int n = 0;
    for (const char* at = std::strstr(text, needle); at; at = std::strstr(at + 1, needle)) ++n;
    return n;
}

struct Payload {
    size_t entries = 0;
    uint64_t unpacked = 0;
    double decodeSeconds = 0;
    int manifestEntries = 0;  // files and folders of the install script's list
};

// Every payload entry decoded into memory and dropped, on this thread, as the worker decodes them.
bool decodePayload(const std::wstring& exe, Payload* out) {
    win::unique_hmodule image(
        LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ResourceCopy script, payload;
    if (!image || !copyResource(image.get(), kInstallScriptId, &script) ||
        !copyResource(image.get(), kPayloadId, &payload))
        return false;
    const char* text = static_cast<const char*>(script.bytes.get());
    out->manifestEntries = count(text, "{1, [[") + count(text, "{0, [[");
    OwnedArchive archive;
    if (!archive.adopt(payload.bytes.release(), payload.size, nullptr))
        return false;
    LONGLONG t0 = now();
    for (const auto& [name, entry] : archive.get()->entries()) {
        size_t got = 0;
        if (unique_entry(extractEntry(*archive.get(), entry, &got)))
            out->unpacked += got;
    }
    out->decodeSeconds = seconds(now() - t0);
    out->entries = archive.get()->entries().size();
    return true;
}

HWND waitInstallerWindow(DWORD pid, DWORD timeoutMs) {
    HWND found = nullptr;
    pumpUntil(
        [&] {
            for (HWND w : topLevelWindows(pid, kWindowClass))
                if (IsWindowVisible(w) && windowText(w) == kTitle)
                    found = w;
            return found != nullptr;
        },
        timeoutMs);
    return found;
}

uint32_t pixel(HWND window, POINT client) {
    POINT p = clientToScreen(window, client);
    return screenPixel(p.x, p.y);
}

// Waits until the pixel has held one value for quietMs (the window has painted and settled).
bool waitSteady(HWND window, POINT client, DWORD quietMs, DWORD timeoutMs) {
    uint32_t last = pixel(window, client);
    DWORD since = GetTickCount();
    return pumpUntil(
        [&] {
            uint32_t seen = pixel(window, client);
            if (seen != last) {
                last = seen;
                since = GetTickCount();
            }
            return GetTickCount() - since >= quietMs;
        },
        timeoutMs);
}

// Kernel and user time of a thread; Wine reads them from the thread's /proc entry, also for a thread
// of another process (its process times are not reliable there).
uint64_t threadCpu100ns(HANDLE thread) {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(thread, &created, &exited, &kernel, &user))
        return 0;
    auto value = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return value(kernel) + value(user);
}

// The accessible element with this layout id under element, depth first; false when there is none.
bool findById(const acc::Element& element, const std::wstring& id, acc::Element* out) {
    for (acc::Element& child : acc::children(element)) {
        if (acc::describe(child).layoutId == id) {
            *out = child.share();
            return true;
        }
        if (findById(child, id, out))
            return true;
    }
    return false;
}

// What a screen reader sees of the finish button: visible once the finish page is shown.
bool finishButtonShown(HWND window) {
    auto com = win::co_initialize();
    acc::Element root, button;
    if (!acc::clientElement(window, &root) || !findById(root, L"4002", &button))
        return false;
    return !(acc::describe(button).state & STATE_SYSTEM_INVISIBLE);
}

// Ends the installer if the run stops early, so no process outlives the benchmark.
struct EndOnExit {
    Process& process;
    ~EndOnExit() {
        if (processAlive(process.pid)) {
            TerminateProcess(process.handle.get(), 1);
            WaitForSingleObject(process.handle.get(), 10000);
        }
    }
};

int fail(const char* what) {
    std::printf("error=%s\n", what);
    std::fflush(stdout);
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2)
        return fail("usage: installer_bench SETUP_EXE");
    const std::wstring exe = argv[1];
    Payload payload;
    if (!decodePayload(exe, &payload))
        return fail("no payload in the executable");
    const double mb = static_cast<double>(payload.unpacked) / 1e6;
    std::printf("entries=%zu\nunpacked_MB=%.1f\nbare_decode_s=%.2f\nbare_decode_MBps=%.1f\n", payload.entries,
                mb, payload.decodeSeconds, mb / payload.decodeSeconds);
    std::fflush(stdout);

    forgetProduct();
    Process setup = startProcess(exe);
    if (!setup)
        return fail("setup did not start");
    EndOnExit end{setup};
    HWND window = waitInstallerWindow(setup.pid, 60000);
    if (!window)
        return fail("no installer window");
    bringToFront(window);
    waitSteady(window, kInstall, 300, 10000);

    // The install button turns enabled once the agreement is ticked (a lost first click is repeated).
    const uint32_t disabledFace = pixel(window, kInstall);
    bool enabled = false;
    for (int attempt = 0; attempt < 2 && !enabled; ++attempt) {
        click(clientToScreen(window, kAgreement));
        enabled = pumpUntil([&] { return pixel(window, kInstall) != disabledFace; }, 10000);
    }
    if (!enabled)
        return fail("the install button stayed disabled");
    const uint32_t emptyAtFinish = pixel(window, kFinishShown);

    DWORD uiThreadId = GetWindowThreadProcessId(window, nullptr);
    win::unique_handle uiThread(OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, uiThreadId));
    // A click that the installer did not take (seen on a loaded machine) is repeated once the progress
    // bar has not appeared, and the install is timed from the click it took.
    const uint32_t emptyAtBar = pixel(window, kProgressBar);
    uint64_t uiCpu0 = 0;
    LONGLONG t0 = 0;
    int clicks = 0;
    bool started = false;
    while (clicks < 3 && !started) {
        uiCpu0 = threadCpu100ns(uiThread.get());
        t0 = now();
        click(clientToScreen(window, kInstall));
        ++clicks;
        started = pumpUntil([&] { return pixel(window, kProgressBar) != emptyAtBar; }, 15000);
    }
    if (!started)
        return fail("the progress page did not appear");
    // The finish page paints its buttons where the progress page has only its background; the
    // change must hold for a few polls (no passing erase of the page counts), and is timed from its start.
    LONGLONG changed = 0;
    bool finished = pumpUntil(
        [&] {
            if (!processAlive(setup.pid))
                return true;
            if (pixel(window, kFinishShown) == emptyAtFinish) {
                changed = 0;
                return false;
            }
            if (!changed)
                changed = now();
            return seconds(now() - changed) >= 0.03;
        },
        30 * 60 * 1000);
    const LONGLONG t1 = changed;
    const uint64_t uiCpu1 = threadCpu100ns(uiThread.get());
    if (!finished || !processAlive(setup.pid))
        return fail("the finish page did not appear");
    const bool confirmed = finishButtonShown(window);

    const double installSeconds = seconds(t1 - t0);
    // Notifications of a complete run: code 1, code 3, one code 4 per manifest entry and for the
    // unregister and register steps, and code 2.
    const int notifications = payload.manifestEntries + 5;
    const double uiCpuSeconds = static_cast<double>(uiCpu1 - uiCpu0) / 1e7;
    std::printf("install_s=%.2f\ninstall_MBps=%.1f\ninstall_vs_bare=%.2f\n", installSeconds,
                mb / installSeconds, payload.decodeSeconds / installSeconds);
    std::printf("notifications=%d\nui_thread_cpu_s=%.2f\nui_thread_us_per_notification=%.1f\n", notifications,
                uiCpuSeconds, uiCpuSeconds * 1e6 / notifications);
    std::printf("install_clicks=%d\n", clicks);
    std::printf("wall_us_per_notification=%.1f\nfinish_page_confirmed=%d\n",
                installSeconds * 1e6 / notifications, confirmed);
    std::fflush(stdout);

    // The finish button ends the installer, which then registers the product.
    click(clientToScreen(window, kFinish));
    const int code = waitExit(setup, 60000);
    std::printf("setup_exit=%d\ninstalled=%d\n", code,
                fileExists(installFolder() + L"TarvoVirtualCameraUI.exe"));
    std::fflush(stdout);
    forgetProduct();
    return confirmed && code == 0 ? 0 : 1;
}
