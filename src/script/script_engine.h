// The UI thread's script engine and the bridge between native windows and controls and their script
// tables. One engine per process, used on the UI thread only. The tables are linked to native objects
// through the registry fields `__window`, `__timer` and `__control`, which only the UI script's lua_
// functions read and write; native code calls those functions by global name, always protected: a
// script error is shown under "错误" and the call counts as answering nil, never unwinding native frames.
// Handles: a control's is its Control address, a window's is its WindowHost address.
#pragma once

#include <cstdint>
#include <string>

struct lua_State;
class Control;
class FileSystem;
class WindowHost;
struct EventRecord;

class ScriptEngine {
  public:
    // The interpreter; null before createScriptEngine and after runUiScript.
    lua_State* state() const { return state_; }

  private:
    friend bool createScriptEngine(ScriptEngine& engine);
    friend void closeScriptEngine(ScriptEngine& engine);
    lua_State* state_ = nullptr;
};

// The process's engine (owned by start-up).
ScriptEngine& scriptEngine();

// Builds the interpreter: standard libraries, system functions, registry roots, the window-level
// globals (startWork), empty registry tables. False (and no state) when the state cannot be created.
bool createScriptEngine(ScriptEngine& engine);
// Runs the named script read through `files` (default: the current file system) with the text itself
// as chunk name, shows a load or run error under "错误", then closes the interpreter in every case.
void runUiScript(ScriptEngine& engine, const wchar_t* name);
void runUiScript(ScriptEngine& engine, const wchar_t* name, FileSystem& files);
// Closes the interpreter (no-op without one).
void closeScriptEngine(ScriptEngine& engine);

// ---- Bridge (UI thread; `L` is the calling script's state) ----------------------------------------

// The native object whose registered table is argument 1 of the running native function, or null.
WindowHost* windowFromSelf(lua_State* L);
Control* controlFromSelf(lua_State* L);
// Pushes the control's table, creating and registering it on first use; nil for null. Pushes one value.
void pushControlObject(lua_State* L, Control* control);
// Drops the control's table (the control is being destroyed). Harmless without an interpreter.
void removeControlObject(Control* control);
// Drops the window, its timers and its notification delegate (the window got WM_DESTROY).
void removeWindowObject(WindowHost* window);

// Event delegate attached by addHandler, context = the control: runs the control's script handlers
// for event.id and marks the event handled when one answered true.
void invokeControlHandlers(void* context, Control* sender, EventRecord& event);
// Delegate under message id 1024, context = the window: event.wParam carries the notification text
// (const char*, UTF-8, zero-terminated, owned by the caller); the script's integer answer is stored
// in event.lParam (0 when the window has no handler or the script fails).
void invokeWindowMessageHandler(void* context, Control* sender, EventRecord& event);
// Adds invokeWindowMessageHandler for `window` under id 1024 to the UI context's message-handler
// map (each call adds one more). False without a context or a free delegate.
bool addWindowMessageHandler(WindowHost* window);

// Protected call of the function below `nargs` arguments on top of the stack. Leaves exactly
// `nresults` values (nils after an error, which is shown under "错误"). Keeps the thread's last error.
bool callScript(lua_State* L, int nargs, int nresults);
// The same without the box: a failure's message goes to *error for the caller to report.
bool callScriptSilently(lua_State* L, int nargs, int nresults, std::string* error);
// Shows a script error message (UTF-8) in a box without owner, title "错误", OK.
void showScriptError(const char* message);
