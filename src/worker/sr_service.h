// The cross-thread dispatcher: carries work items from any thread to the user-interface thread, where
// a WH_GETMESSAGE hook runs one queued item for every null thread message that any message loop of
// that thread removes (its own modal loops, message boxes and folder dialogs included). It also keeps
// the worker threads that shutdown must wait for. One process-wide instance; the service lock is
// taken before the queue lock, never the other way round.
#pragma once

#include <windows.h>
#include <memory>

#include "host/handles.h"

class SRService {
  public:
    // A unit of work for the user-interface thread, shared between its poster and the run queue.
    class IRunable {
      public:
        virtual ~IRunable() = default;
        // Runs once on the user-interface thread, outside every dispatcher lock.
        virtual void run() = 0;
        // Called instead of run when stop drops the item unrun (user-interface thread, under the
        // service lock: must not post or block).
        virtual void discard() {}
    };

    // UI thread. Makes the calling thread the user-interface thread and hooks its message retrieval.
    // False only when the stop event cannot be created; while running, changes nothing and answers true.
    static bool start();
    // Any thread. Queues the item and wakes the user-interface thread: 0 when queued, -1 when the
    // dispatcher is not running (nothing queued, item untouched).
    static int post(std::shared_ptr<IRunable> item);
    // Any thread. stop will wait for the thread to end; the dispatcher owns the handle from now on. A
    // null handle, or a call while not running, is ignored (the handle is then closed).
    static void watchThread(win::unique_handle thread);
    // UI thread. Unhooks, discards every queued item (each gets discard()), then waits without a
    // time limit until every watched thread has ended.
    static void stop();

    // True between start and stop.
    static bool running();
};
