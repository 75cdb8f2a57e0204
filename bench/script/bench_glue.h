// What the script benchmarks share: the product's framework glue (glue.lua, read from the source
// tree) and running a chunk with the error on stderr.
#pragma once

#include <lua.hpp>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

inline std::string uiGlue() {
    std::ifstream in(TARVO_UI_GLUE_PATH, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool runChunk(lua_State* L, const std::string& chunk) {
    if (luaL_loadstring(L, chunk.c_str()) != LUA_OK || lua_pcall(L, 0, 0, 0) != LUA_OK) {
        std::fprintf(stderr, "script failed: %s\n", lua_tostring(L, -1));
        lua_pop(L, 1);
        return false;
    }
    return true;
}
