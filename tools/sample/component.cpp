// The sample product's COM-style components (TarvoVCam.ax, rirezirudaru.dll): registration writes
// the module's path under HKCU\Software\TarvoSample\Components as a value named after the module file
// and counts the calls, so tests can see every regsvr32 run.
#include <windows.h>

#include <string>

#include "host/handles.h"

namespace {

constexpr wchar_t kKey[] = L"Software\\TarvoSample\\Components";

HMODULE thisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&thisModule), &module);
    return module;
}

std::wstring modulePath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(thisModule(), path, MAX_PATH);
    return path;
}

std::wstring fileName(const std::wstring& path) {
    auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

void count(HKEY key, const std::wstring& name) {
    DWORD value = 0, size = sizeof(value), type = 0;
    if (RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD)
        value = 0;
    ++value;
    RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

HRESULT update(bool registering) {
    win::unique_hkey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
        return E_FAIL;
    std::wstring path = modulePath();
    std::wstring name = fileName(path);
    if (registering) {
        RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                       static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
        count(key.get(), name + L".registered");
    } else {
        RegDeleteValueW(key.get(), name.c_str());
        count(key.get(), name + L".unregistered");
    }
    return S_OK;
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
    return update(true);
}
extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
    return update(false);
}
