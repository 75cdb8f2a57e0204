// What both script test executables share: paths of their source files, the UI script's framework
// glue, and loading a chunk into an interpreter. Test code only.
#pragma once

#include <lua.hpp>

#include <string>

#include "win_test_support.h"

// Windows path of a source file of these tests (the sources are reachable through drive Z:).
inline std::wstring sourcePath(const char* relative) {
    std::wstring path =
        L"Z:" + testsupport::widen(TARVO_SCRIPT_TEST_SOURCE_DIR) + L"/" + testsupport::widen(relative);
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

inline std::string readText(const std::wstring& path) {
    auto bytes = testsupport::readFile(path);
    return bytes ? *bytes : std::string();
}

// The framework glue of the UI script: its text up to the end-of-glue marker.
inline std::string uiGlue() {
    std::string text = readText(sourcePath(TARVO_UI_LUA_RELATIVE));
    size_t end = text.find("-- end of framework glue");
    return end == std::string::npos ? text : text.substr(0, end);
}

// Loads and runs `text` in L; false with the message on failure.
inline bool runChunk(lua_State* L, const std::string& text, const std::string& name, std::string* error) {
    if (luaL_loadbuffer(L, text.data(), text.size(), name.c_str()) != LUA_OK ||
        lua_pcall(L, 0, 0, 0) != LUA_OK) {
        *error = lua_tostring(L, -1) ? lua_tostring(L, -1) : "(non-string error)";
        lua_pop(L, 1);
        return false;
    }
    return true;
}
