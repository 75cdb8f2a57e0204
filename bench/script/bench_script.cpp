// Measures, in microseconds per operation: a control event raised natively and answered by a script
// handler (raiseEvent -> invokeControlHandlers -> lua_invokeHandlers -> handler), the bridge delegate
// called directly, and one regQueryString call made from a script.
#include <windows.h>
#include <lua.hpp>

#include <cstdio>
#include <string>

#include "bench_glue.h"
#include "bench_timing.h"
#include "dui/control.h"
#include "dui/delegate.h"
#include "dui/window_host.h"
#include "stub_window_host.h"
#include "host/handles.h"
#include "dui/context_parts.h"
#include "host/ui_context.h"
#include "sysfunc/lua_text.h"
#include "script/script_engine.h"

int main() {
    if (!createUiContextWithParts() || !createScriptEngine(scriptEngine()))
        return 1;
    lua_State* L = scriptEngine().state();
    StubWindowHost window;
    Control* control = new Control;
    control->attach(&window);
    if (!runChunk(L, uiGlue()))
        return 1;
    pushControlObject(L, control);
    lua_setglobal(L, "ctrl");
    // Three handlers, the last answering true: the shape of the installer's click handlers.
    if (!runChunk(L,
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
    double t0 = bench::nowMicros();
    for (int i = 0; i < rounds; ++i) {
        EventRecord e;
        e.id = 30;
        e.wParam = i;
        control->raiseEvent(e);
        if (!e.handled)
            return 2;
    }
    double raised = (bench::nowMicros() - t0) / rounds;

    t0 = bench::nowMicros();
    for (int i = 0; i < rounds; ++i) {
        EventRecord e;
        e.id = 30;
        invokeControlHandlers(control, control, e);
    }
    double direct = (bench::nowMicros() - t0) / rounds;

    const int queries = 20000;
    if (!runChunk(L,
                  "regWriteString(HKEY_CURRENT_USER, 'Software\\\\TarvoBench', 'InstallPath', 'C:\\\\Program "
                  "Files\\\\DuvureVEdadiz\\\\')"))
        return 1;
    t0 = bench::nowMicros();
    if (!runChunk(
            L,
            "for i = 1, " + std::to_string(queries) +
                " do assert(regQueryString(HKEY_CURRENT_USER, 'Software\\\\TarvoBench', 'InstallPath')) end"))
        return 1;
    double query = (bench::nowMicros() - t0) / queries;
    runChunk(L, "regDeleteSubKey(HKEY_CURRENT_USER, 'Software\\\\TarvoBench')");

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
