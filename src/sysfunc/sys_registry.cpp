// Registry functions. Roots are the scripts' numbers, sign-extended and used as predefined keys;
// keys are opened with full access in the process's own (64-bit) view.
#include <windows.h>
#include <shlwapi.h>

#include <string>

#include "host/handles.h"
#include "sysfunc/lua_text.h"
#include "sysfunc/sys_internal.h"

namespace script::sys {

namespace {

constexpr DWORD kMaxStringUnits = 260;  // including the terminator

HKEY argRoot(lua_State* L, int index) {
    return reinterpret_cast<HKEY>(static_cast<intptr_t>(argInteger(L, index)));
}

win::unique_hkey openExisting(lua_State* L) {
    std::wstring subKey = argText(L, 2);
    win::unique_hkey key;
    if (RegOpenKeyExW(argRoot(L, 1), subKey.c_str(), 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
        return {};
    return key;
}

win::unique_hkey createOrOpen(lua_State* L) {
    std::wstring subKey = argText(L, 2);
    win::unique_hkey key;
    if (RegCreateKeyExW(argRoot(L, 1), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return {};
    return key;
}

}  // namespace

// regQueryString(root, subKey, name) -> string or nothing; REG_SZ of at most 260 units only.
int regQueryString(lua_State* L) {
    win::unique_hkey key = openExisting(L);
    if (!key)
        return 0;
    std::wstring name = argText(L, 3);
    wchar_t value[kMaxStringUnits + 1] = {};  // one spare unit keeps the text terminated
    DWORD type = 0, bytes = kMaxStringUnits * sizeof(wchar_t);
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return 0;
    pushText(L, value);
    return 1;
}

// regQueryInteger(root, subKey, name) -> non-negative number or nothing; REG_DWORD only.
int regQueryInteger(lua_State* L) {
    win::unique_hkey key = openExisting(L);
    if (!key)
        return 0;
    std::wstring name = argText(L, 3);
    DWORD value = 0, type = 0, bytes = sizeof(value);
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || bytes != sizeof(value))
        return 0;
    pushInteger(L, value);
    return 1;
}

// regWriteString(root, subKey, name, text) -> nothing; stored with its terminator.
int regWriteString(lua_State* L) {
    win::unique_hkey key = createOrOpen(L);
    if (!key)
        return 0;
    std::wstring name = argText(L, 3), text = argText(L, 4);
    RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    return 0;
}

// regWriteInteger(root, subKey, name, number) -> nothing; the low 32 bits as REG_DWORD.
int regWriteInteger(lua_State* L) {
    win::unique_hkey key = createOrOpen(L);
    if (!key)
        return 0;
    std::wstring name = argText(L, 3);
    DWORD value = static_cast<DWORD>(static_cast<uint64_t>(argInteger(L, 4)));
    RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof(value));
    return 0;
}

// regDeleteValue(root, subKey, name) -> nothing
int regDeleteValue(lua_State* L) {
    win::unique_hkey key = openExisting(L);
    if (!key)
        return 0;
    std::wstring name = argText(L, 3);
    RegDeleteValueW(key.get(), name.c_str());
    return 0;
}

// regDeleteSubKey(root, subKey) -> nothing. An empty sub-key would name the whole root, so it is
// refused instead of deleting everything below the root.
int regDeleteSubKey(lua_State* L) {
    std::wstring subKey = argText(L, 2);
    if (subKey.find_first_not_of(L"\\") == std::wstring::npos)
        return 0;
    SHDeleteKeyW(argRoot(L, 1), subKey.c_str());
    return 0;
}

}  // namespace script::sys
