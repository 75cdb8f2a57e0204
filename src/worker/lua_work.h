// The install worker: a background thread that runs the install script in its own interpreter over
// the payload archive (read in place from the executable, entries decoded ahead on a second thread), and the
// notification exchange through which the script asks the user-interface thread (application message 1024)
// and waits for the answer.
#pragma once

#include <windows.h>
#include <cstdint>
#include <string>

#include "host/handles.h"
#include "worker/sr_service.h"

struct lua_State;

class LuaWork {
  public:
    // One notification, shared by the waiting worker and the dispatcher queue.
    class NotifyRunable : public SRService::IRunable {
      public:
        // text stays owned by the caller and must outlive the exchange; construct on the asking thread.
        explicit NotifyRunable(const char* text) : text_(text) {}
        // UI thread: delivers the text to the handlers of message 1024 and sets the answer.
        void run() override;
        // The dispatcher dropped the item unrun: the answer is 2 (Cancel), so the script stops at
        // its next question instead of waiting for a user interface that is gone.
        void discard() override;
        // Worker thread: blocks until run or discard has answered.
        int32_t waitAnswer() const;

      private:
        // Stores the answer and wakes the asker (a futex-style wake in-process, no kernel object).
        void setAnswer(int32_t answer);

        const char* text_;
        mutable win::critical_section lock_;
        mutable CONDITION_VARIABLE answered_ = CONDITION_VARIABLE_INIT;
        bool done_ = false;  // guarded by lock_
        int32_t answer_ = 0;
    };

    // Script functions of the worker's interpreter (worker thread).
    // notifyMessage(text) -> number: the UI's answer; 2 at once when the dispatcher refuses the item.
    static int notifyMessage(lua_State* L);
    // extractFile(entry, target) -> boolean: writes one payload entry ('\' read as '/') to target,
    // replacing a read-only file; false when the entry is missing, does not decode to its full size or
    // the file cannot be written.
    static int extractFile(lua_State* L);
};

// UI thread: delivers one notification text as message 1024 to the application message handlers and
// returns the answer (0 without a handler or without a user-interface context).
int32_t deliverNotification(const char* text);

// UI thread. Starts the worker thread on the two resource names and the configuration text (a table
// constructor for `config`, may be empty) and hands it to SRService::watchThread. Ignored while an
// earlier worker still runs (one worker at a time) or when the thread cannot be created.
void startWork(const std::wstring& scriptName, const std::wstring& payloadName, const std::string& config);

// True from startWork until that worker has cleaned up. Any thread.
bool isWorkRunning();
