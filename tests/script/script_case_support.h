// What both script test executables share: paths of their source files, the UI script's framework
// glue, loading a chunk into an interpreter, and running a Lua case file. Test code only.
#pragma once

#include <lua.hpp>

#include <functional>
#include <string>

#include <gtest/gtest.h>

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

// The product's framework glue, which the installer runs before its UI script.
inline std::string uiGlue() {
    return readText(sourcePath(TARVO_UI_GLUE_RELATIVE));
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

// Runs the case file `file` (relative to the tests' sources) in L after the UI script's glue, the case
// framework (lua/framework.lua) and, when given, `preamble`; `around` wraps the call of run_cases (for
// example to watch for error boxes meanwhile). Fails the test when a chunk does not load or run, when
// the file has no cases, and once for every failed case.
inline void runLuaCases(lua_State* L, const std::string& file, const char* preamble = nullptr,
                        const std::function<void(const std::function<void()>&)>& around = {}) {
    std::string error;
    ASSERT_TRUE(runChunk(L, uiGlue(), "=UI.lua glue", &error)) << error;
    ASSERT_TRUE(runChunk(L, readText(sourcePath("lua/framework.lua")), "=framework.lua", &error)) << error;
    if (preamble) {
        ASSERT_TRUE(runChunk(L, readText(sourcePath(preamble)), std::string("@") + preamble, &error))
            << error;
    }
    std::string text = readText(sourcePath(file.c_str()));
    ASSERT_FALSE(text.empty()) << file;
    ASSERT_TRUE(runChunk(L, text, "@" + file, &error)) << error;
    int status = LUA_OK;
    auto run = [&] {
        lua_getglobal(L, "run_cases");
        status = lua_pcall(L, 0, 1, 0);
    };
    if (around)
        around(run);
    else
        run();
    ASSERT_EQ(status, LUA_OK) << (lua_tostring(L, -1) ? lua_tostring(L, -1) : "(non-string error)");
    ASSERT_TRUE(lua_istable(L, -1));
    lua_getfield(L, -1, "count");
    EXPECT_GT(lua_tointeger(L, -1), 0) << "no cases in " << file;
    lua_pop(L, 1);
    lua_getfield(L, -1, "failures");
    int n = static_cast<int>(lua_rawlen(L, -1));
    for (int i = 1; i <= n; ++i) {
        lua_rawgeti(L, -1, i);
        ADD_FAILURE() << file << ": " << (lua_tostring(L, -1) ? lua_tostring(L, -1) : "?");
        lua_pop(L, 1);
    }
    lua_pop(L, 2);
}
