// bench_script_ui [click|notify|progress|all] [rounds]: the script bridge on a real window (createWindow, run
// by showDialog) under its modal loop; prints "name=value" lines.
//  click:  median µs from SendInput of a left press and release over a Button to the script's Click
//          handler running, stamped in the handler by bench_now() (and to its LButtonDown handler);
//          again with the button's pressed-state repaints switched off, to show what they cost.
//  notify: median µs of a worker's notifyMessage answered by the window's script message handler, and
//          in the same run between the same two threads the bare event ping-pong (the floor).
//  progress: an install's stream of progress notifications (one range, then one step each) answered by
//          the installer's own handling (the progress bar's position, the label's percentage), with the
//          user-interface thread's CPU time per notification (handler, bar and label repaint, the hop);
//          first with parts of the handling left out, for a breakdown.
#include <windows.h>
#include <lua.hpp>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench_glue.h"
#include "bench_timing.h"
#include "controls/controls.h"
#include "dui/context_parts.h"
#include "dui/control.h"
#include "dui/loader.h"
#include "dui/window_host.h"
#include "host/handles.h"
#include "host/resource_file_system.h"
#include "host/ui_context.h"
#include "render/skin_store.h"
#include "script/script_engine.h"
#include "worker/lua_work.h"
#include "worker/sr_service.h"

namespace {

// The end of each benchmark window's chunk: it signals that the window is up, ends it after two minutes
// at the latest, and runs it modally.
constexpr char kShowWindow[] =
    "local id\n"
    "id = w:setTimer(100, function() w:killTimer(id) bench_ready() end)\n"
    "w:setTimer(120000, function() w:endDialog(-1) end)\n"
    "bench_result = w:showDialog()\n";

// What the natives of the bench script share with the driving thread.
struct BenchState {
    win::unique_handle ready{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    win::unique_handle handled{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    POINT target{};                     // screen point of the button, set by bench_ready
    std::atomic<double> stamp{0};       // bench_now() of the last Click handler run
    std::atomic<double> pressStamp{0};  // bench_now() of the last LButtonDown handler run
    std::atomic<bool> stop{false};
};
BenchState* g_state = nullptr;

int luaNow(lua_State* L) {
    lua_pushnumber(L, bench::nowMicros());
    return 1;
}

// bench_ready([controlTable]): the window is up; with a control, the driver aims at its centre.
int luaReady(lua_State* L) {
    if (Control* c = lua_istable(L, 1) ? controlFromSelf(L) : nullptr) {
        RECT r{};
        if (c->window() && c->windowRect(&r)) {
            POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
            ClientToScreen(c->window()->windowHandle(), &p);
            g_state->target = p;
        }
    }
    SetEvent(g_state->ready.get());
    return 0;
}

// bench_handled(stamp) -> whether the driver has finished and the window should end.
int luaHandled(lua_State* L) {
    g_state->stamp = luaL_checknumber(L, 1);
    SetEvent(g_state->handled.get());
    lua_pushboolean(L, g_state->stop.load());
    return 1;
}

// bench_pressed(stamp): the LButtonDown handler ran.
int luaPressed(lua_State* L) {
    g_state->pressStamp = luaL_checknumber(L, 1);
    return 0;
}

void sendButton(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    SendInput(1, &input, sizeof(input));
}

bool waitHandled() {
    return WaitForSingleObject(g_state->handled.get(), 5000) == WAIT_OBJECT_0;
}

// The window shows, then every round presses and releases the left button over it and waits for the
// script's Click handler; one last click ends the dialog. `label` names the figures; without
// `stateRepaint` the button's repaint-on-state flag is cleared, so press and release paint nothing.
void benchClick(lua_State* L, int rounds, const char* label, bool stateRepaint) {
    g_state->stop = false;
    ResetEvent(g_state->handled.get());
    std::vector<double> samples, presses;
    bool lost = false;
    std::thread driver([&] {
        if (WaitForSingleObject(g_state->ready.get(), 10000) != WAIT_OBJECT_0)
            return;
        SetCursorPos(g_state->target.x, g_state->target.y);
        sendButton(MOUSEEVENTF_MOVE);
        for (int i = 0; i < rounds + 10 && !lost; ++i) {  // the first ten warm up
            double t0 = bench::nowMicros();
            sendButton(MOUSEEVENTF_LEFTDOWN);
            sendButton(MOUSEEVENTF_LEFTUP);
            lost = !waitHandled();
            if (i >= 10) {
                samples.push_back(g_state->stamp - t0);
                presses.push_back(g_state->pressStamp - t0);
            }
            // Each click on its own: the repaints of the previous one have settled.
            Sleep(30);
        }
        g_state->stop = true;
        sendButton(MOUSEEVENTF_LEFTDOWN);
        sendButton(MOUSEEVENTF_LEFTUP);
        waitHandled();
    });
    lua_pushboolean(L, stateRepaint);
    lua_setglobal(L, "bench_stateRepaint");
    bool ok = runChunk(L,
                       "local w = createWindow('bench.xml')\n"
                       "local button = w:getChild(10)\n"
                       "button:writeFlag(5, bench_stateRepaint)\n"
                       "button:addHandler(13, function() bench_pressed(bench_now()) end)\n"
                       "button:addHandler(30, function()\n"
                       "  if bench_handled(bench_now()) then w:endDialog(1) end\n"
                       "  return true\n"
                       "end)\n"
                       "local id\n"
                       "id = w:setTimer(100, function() w:killTimer(id) bench_ready(button) end)\n"
                       "w:setTimer(60000, function() w:endDialog(-1) end)\n"
                       "bench_result = w:showDialog()\n");
    if (!ok)
        g_state->stop = true;
    driver.join();
    if (lost || samples.size() != static_cast<size_t>(rounds)) {
        std::printf("%s_error=a click did not reach the handler\n", label);
        return;
    }
    std::printf(
        "%s_rounds=%d\n%s_to_script_click_handler_median_us=%.1f\n"
        "%s_press_to_script_lbuttondown_median_us=%.1f\n",
        label, rounds, label, bench::median(samples), label, bench::median(presses));
}

// A worker thread asks the window's message handler (a createWindow window running showDialog) and
// waits for each answer; the text {code=2} ends the dialog, then the same two threads bounce events.
// Blocks of both alternate, so a change of load on the shared machine falls on both figures alike.
void benchNotify(lua_State* L, int rounds) {
    constexpr int kBlocks = 10;
    constexpr int kWarmUp = 20;
    const int perBlock = std::max(1, rounds / kBlocks);
    std::vector<double> notify, pingpong;
    int unanswered = 0;
    bench::EventPingPong pingPong;
    std::atomic<bool> abandoned{false};
    std::thread worker([&] {
        lua_State* W = luaL_newstate();
        lua_pushcfunction(W, LuaWork::notifyMessage);
        lua_setglobal(W, "notifyMessage");
        auto ask = [W](const char* text) {
            lua_getglobal(W, "notifyMessage");
            lua_pushstring(W, text);
            lua_call(W, 1, 1);
            lua_Integer answer = lua_tointeger(W, -1);
            lua_pop(W, 1);
            return answer;
        };
        for (int b = 0; b < kBlocks; ++b) {
            if (WaitForSingleObject(g_state->ready.get(), 10000) != WAIT_OBJECT_0 || abandoned)
                break;
            for (int i = 0; i < perBlock + kWarmUp; ++i) {
                double t0 = bench::nowMicros();
                lua_Integer answer = ask("{code=4,position=1,text=[[C:\\Program Files\\Tarvo\\a.dll]]}");
                double t = bench::nowMicros() - t0;
                if (answer != 1)
                    ++unanswered;
                else if (i >= kWarmUp)
                    notify.push_back(t);
            }
            ask("{code=2}");
            std::vector<double> block = pingPong.measure(perBlock);
            pingpong.insert(pingpong.end(), block.begin(), block.end());
        }
        lua_close(W);
    });
    // The handler reads the text as the installer's does, as a table constructor.
    for (int b = 0; b < kBlocks; ++b) {
        bool ok = runChunk(L,
                           "local w = createWindow('bench.xml')\n"
                           "w:setMessageHandler(function(text)\n"
                           "  local message = load('return ' .. text)()\n"
                           "  if message.code == 2 then w:endDialog(1) end\n"
                           "  return 1\n"
                           "end)\n" +
                               std::string(kShowWindow));
        if (!ok) {
            abandoned = true;
            SetEvent(g_state->ready.get());
            break;
        }
        pingPong.serve(perBlock);
    }
    worker.join();
    if (unanswered || notify.size() != pingpong.size() || notify.empty()) {
        std::printf("notify_error=a notification went unanswered\n");
        return;
    }
    double n = bench::median(notify), p = bench::median(pingpong);
    std::printf(
        "notify_rounds=%zu\nscript_notify_median_us=%.1f\nevent_pingpong_median_us=%.1f\n"
        "script_notify_vs_pingpong=%.2f\n",
        notify.size(), n, p, p > 0 ? n / p : 0.0);
}

// The worker sends what an install of `steps` files sends (a range, a step for each, the end) as fast
// as the answers come; the window's handler treats them as the installer's UI script does.
// `level` builds the handling up, for a breakdown: 0 answers at once (the hop alone), 1 also evaluates the
// text, 2 also moves the progress bar, 3 also sets the label (the installer's whole handling). `label`
// names the figures.
void benchProgress(lua_State* L, int steps, int level, const char* label) {
    std::vector<double> notify;
    std::atomic<bool> abandoned{false};
    int unanswered = 0;
    std::thread worker([&] {
        lua_State* W = luaL_newstate();
        lua_pushcfunction(W, LuaWork::notifyMessage);
        lua_setglobal(W, "notifyMessage");
        auto ask = [W](const std::string& text) {
            lua_getglobal(W, "notifyMessage");
            lua_pushstring(W, text.c_str());
            lua_call(W, 1, 1);
            lua_Integer answer = lua_tointeger(W, -1);
            lua_pop(W, 1);
            return answer;
        };
        if (WaitForSingleObject(g_state->ready.get(), 10000) != WAIT_OBJECT_0 || abandoned) {
            lua_close(W);
            return;
        }
        unanswered += ask("{code=3,range=" + std::to_string(steps + 2) + "}") != 1;
        for (int i = 1; i <= steps; ++i) {
            const std::string text = "{code=4,position=" + std::to_string(i) +
                                     ",text=[[C:\\Program Files\\Tarvo\\file" + std::to_string(i) + ".dll]]}";
            double t0 = bench::nowMicros();
            unanswered += ask(text) != 1;
            notify.push_back(bench::nowMicros() - t0);
        }
        ask("{code=2}");
        lua_close(W);
    });
    FILETIME created, exited, kernel0, user0, kernel1, user1;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel0, &user0);
    const double t0 = bench::nowMicros();
    lua_pushinteger(L, level);
    lua_setglobal(L, "bench_level");
    bool ok = runChunk(L,
                       "local w = createWindow('bench.xml')\n"
                       "local progressRange\n"
                       "w:setMessageHandler(function(text)\n"
                       "  if bench_level == 0 then\n"
                       "    if text == '{code=2}' then w:endDialog(1) end\n"
                       "    return 1\n"
                       "  end\n"
                       "  local chunk = load('return ' .. text)\n"
                       "  local ok, msg = false, nil\n"
                       "  if chunk then ok, msg = pcall(chunk) end\n"
                       "  if not ok or type(msg) ~= 'table' then return 1 end\n"
                       "  if msg.code == 2 then w:endDialog(1)\n"
                       "  elseif msg.code == 3 and bench_level >= 2 then\n"
                       "    progressRange = msg.range\n"
                       "    w:getChild(20):setRange(msg.range)\n"
                       "  elseif msg.code == 4 and bench_level >= 2 then\n"
                       "    w:getChild(20):setPosition(msg.position)\n"
                       "    if bench_level >= 3 and progressRange and progressRange > 0 then\n"
                       "      w:getChild(21):setText(string.format('正在安装%2d%%...', msg.position * 100 / "
                       "progressRange))\n"
                       "    end\n"
                       "  end\n"
                       "  return 1\n"
                       "end)\n" +
                           std::string(kShowWindow));
    const double wall = bench::nowMicros() - t0;
    GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel1, &user1);
    if (!ok) {
        abandoned = true;
        SetEvent(g_state->ready.get());
    }
    worker.join();
    if (!ok || unanswered || notify.size() != static_cast<size_t>(steps)) {
        std::printf("%s_error=a notification went unanswered\n", label);
        return;
    }
    auto ticks = [](const FILETIME& f) {
        return static_cast<double>((static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
    };
    // 100 ns ticks; the window's opening and closing (about 100 ms of timer wait) fall in the span too.
    const double cpuUs = (ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 10.0;
    std::printf(
        "%s_notifications=%d\n%s_notify_median_us=%.1f\n%s_ui_thread_cpu_ms=%.1f\n"
        "%s_ui_thread_us_per_notification=%.1f\n%s_wall_ms=%.1f\n",
        label, steps + 2, label, bench::median(notify), label, cpuUs / 1000.0, label, cpuUs / (steps + 2),
        label, wall / 1000.0);
}

}  // namespace

int main(int argc, char** argv) {
    std::string what = argc > 1 ? argv[1] : "all";
    int rounds = argc > 2 ? std::atoi(argv[2]) : 0;
    ResourceFileSystem files;
    files.registerName(L"frame.lz", 401);
    files.registerName(L"style.lz", 402);
    BenchState state;
    g_state = &state;
    if (!SRService::start() || !createUiContextWithParts())
        return 1;
    registerControlCreators(*uiParts()->controlCreators);
    if (!uiParts()->skin->loadSkin(L"style.lz") || !loadLayouts(L"frame.lz") ||
        !createScriptEngine(scriptEngine())) {
        std::fprintf(stderr, "the skin, the layouts or the script engine did not load\n");
        return 1;
    }
    lua_State* L = scriptEngine().state();
    lua_register(L, "bench_now", luaNow);
    lua_register(L, "bench_ready", luaReady);
    lua_register(L, "bench_handled", luaHandled);
    lua_register(L, "bench_pressed", luaPressed);
    if (!runChunk(L, uiGlue()))
        return 1;
    if (what == "click" || what == "all") {
        benchClick(L, rounds > 0 ? rounds : bench::rounds(200), "click", true);
        benchClick(L, rounds > 0 ? rounds : bench::rounds(200), "click_without_state_repaint", false);
    }
    if (what == "notify" || what == "all")
        benchNotify(L, rounds > 0 ? rounds : bench::rounds(5000));
    if (what == "progress" || what == "all") {
        const int steps = rounds > 0 ? rounds : bench::rounds(1676);
        benchProgress(L, steps, 0, "progress_hop_only");
        benchProgress(L, steps, 1, "progress_hop_and_evaluation");
        benchProgress(L, steps, 2, "progress_without_label");
        benchProgress(L, steps, 3, "progress");
    }
    closeScriptEngine(scriptEngine());
    destroyUiContextWithParts();
    SRService::stop();
    return 0;
}
