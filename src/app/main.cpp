// The installer's process entry: start-up steps 1-12 on the main thread, then shutdown 13-17.
// Takes no arguments and exits with 0 on every path.
#include <windows.h>
#include <ole2.h>

#include <utility>

#include "host/cleanup.h"
#include "host/handles.h"
#include "host/resource_file_system.h"
#include "app/startup.h"
#include "host/ui_context.h"

namespace {
int refuse(const wchar_t* text) {
    MessageBoxW(nullptr, text, L"提示", MB_OK);
    return 0;
}
}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    restrictDllSearchPath();  // before anything can load a library by name

    // 1-2. A second installer refuses; without a mutex start-up goes on unguarded.
    win::unique_handle mutex(CreateMutexW(nullptr, TRUE, L"Global\\TARVOINSTALLER"));
    if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
        mutex.reset();  // before the refusal: once the first installer ends, a new one may start
        return refuse(L"检测到Tarvo安装或卸载程序正在运行，请结束后重试。");
    }
    instanceMutex() = std::move(mutex);

    // 3. The mutex stays held until the process ends.
    if (isRestartPending())
        return refuse(L"检测到Tarvo安装或卸载操作尚未完成，需要重启电脑。");

    cleanUpEarlierInstallation();

    {
        // Lives until the very end: every loader reaches it through currentFileSystem().
        ResourceFileSystem files;
        registerInstallerResources(files);

        {
            auto ole = win::ole_initialize();  // without OLE only the shell objects fail
            startDispatcher();
            if (createUiContextStep()) {
                loadSkinStep();
                loadLayoutsStep();
                createScriptEngineStep();
                runUiScriptStep();  // the whole interactive life of the installer
                destroyUiContextStep();
            }
            stopDispatcher();  // waits for a worker still running
        }

        instanceMutex().reset();
    }  // the catalogue goes last
    return 0;
}
