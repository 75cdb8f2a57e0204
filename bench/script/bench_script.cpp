// Measures, in microseconds per operation: a control event raised natively and answered by a script
// handler (raiseEvent -> invokeControlHandlers -> lua_invokeHandlers -> handler), the bridge delegate
// called directly, and one regQueryString call made from a script.
#include <windows.h>
#include <lua.hpp>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "dui/control.h"
#include "dui/delegate.h"
#include "dui/window_host.h"
#include "stub_window_host.h"
#include "host/handles.h"
#include "dui/context_parts.h"
#include "host/ui_context.h"
#include "script/lua_text.h"
#include "script/script_engine.h"

namespace {

double nowUs() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

std::string glue() {
    std::ifstream in(TARVO_UI_LUA_PATH, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string all = text.str();
    size_t end = all.find("-- end of framework glue");
    return end == std::string::npos ? all : all.substr(0, end);
}

bool run(lua_State* L, const std::string& chunk) {
    if (luaL_loadstring(L, chunk.c_str()) != LUA_OK || lua_pcall(L, 0, 0, 0) != LUA_OK) {
        std::fprintf(stderr, "script failed: %s\n", lua_tostring(L, -1));
        lua_pop(L, 1);
        return false;
    }
    return true;
}

}  // namespace

int main() {
    if (!createUiContextWithParts() || !createScriptEngine(scriptEngine()))
        return 1;
    lua_State* L = scriptEngine().state();
    StubWindowHost window;
    Control* control = new Control;
    control->attach(&window);
    if (!run(L, glue()))
        return 1;
    pushControlObject(L, control);
    lua_setglobal(L, "ctrl");
    // Three handlers, the last answering true: the shape of the installer's click handlers.
    if (!run(L,
             "hits = 0\n"
             "ctrl:addHandler(30, function() end)\n"
             "ctrl:addHandler(30, function() return false end)\n"
             "ctrl:addHandler(30, function(s, id, w, l) hits = hits + 1 return true end)\n"))
        return 1;

    const int rounds = 100000;
    for (int i = 0; i < 1000; ++i) {  // warm-up
        EventRecord e;
        e.id = 30;
        control->raiseEvent(e);
    }
    double t0 = nowUs();
    for (int i = 0; i < rounds; ++i) {
        EventRecord e;
        e.id = 30;
        e.wParam = i;
        control->raiseEvent(e);
        if (!e.handled)
            return 2;
    }
    double raised = (nowUs() - t0) / rounds;

    t0 = nowUs();
    for (int i = 0; i < rounds; ++i) {
        EventRecord e;
        e.id = 30;
        invokeControlHandlers(control, control, e);
    }
    double direct = (nowUs() - t0) / rounds;

    const int queries = 20000;
    if (!run(L,
             "regWriteString(HKEY_CURRENT_USER, 'Software\\\\TarvoBench', 'InstallPath', 'C:\\\\Program "
             "Files\\\\DuvureVEdadiz\\\\')"))
        return 1;
    t0 = nowUs();
    if (!run(
            L,
            "for i = 1, " + std::to_string(queries) +
                " do assert(regQueryString(HKEY_CURRENT_USER, 'Software\\\\TarvoBench', 'InstallPath')) end"))
        return 1;
    double query = (nowUs() - t0) / queries;
    run(L, "regDeleteSubKey(HKEY_CURRENT_USER, 'Software\\\\TarvoBench')");

    std::printf("bench_script: raiseEvent -> 3 script handlers (invokeControlHandlers round trip): %.2f us\n",
                raised);
    std::printf("bench_script: invokeControlHandlers called directly: %.2f us\n", direct);
    std::printf("bench_script: regQueryString from a script: %.2f us\n", query);

    closeScriptEngine(scriptEngine());
    control->detach();
    delete control;
    destroyUiContextWithParts();
    return 0;
}
