// Application message id -> handlers in the order they were added. The map holds one reference on
// each stored handler and raises a message over a copy of its list, so a handler may add or remove
// handlers (itself included) while it runs. UI thread only.
//
// Handler is the object model's delegate type, kept a parameter so this bottom layer depends on no
// handler type: it needs addRef(), release() and invoke(sender, event), and an event with `handled`.
// The owner calls clear() before the map is destroyed; destruction alone releases nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

template <typename Handler>
class MessageHandlerMap {
  public:
    // Appends `handler` under `id` with a reference of the map's own. False for a null handler.
    bool add(int32_t id, Handler* handler) {
        if (!handler)
            return false;
        handler->addRef();
        handlers_[id].push_back(handler);
        return true;
    }

    // Removes the first entry of `handler` under `id` and drops the map's reference.
    bool remove(int32_t id, Handler* handler) {
        auto it = handlers_.find(id);
        if (it == handlers_.end())
            return false;
        std::vector<Handler*>& list = it->second;
        for (auto entry = list.begin(); entry != list.end(); ++entry) {
            if (*entry == handler) {
                list.erase(entry);
                if (list.empty())
                    handlers_.erase(it);
                handler->release();
                return true;
            }
        }
        return false;
    }

    // The first handler under `id` for which match(handler) is true, or null. The map keeps it.
    template <typename Match>
    Handler* find(int32_t id, Match match) const {
        auto it = handlers_.find(id);
        if (it == handlers_.end())
            return nullptr;
        for (Handler* handler : it->second) {
            if (match(handler))
                return handler;
        }
        return nullptr;
    }

    // Invokes the handlers under `id` in order until one marks the event handled. Each handler is
    // held by an extra reference while the list runs. False when `id` has no handler.
    template <typename Sender, typename Event>
    bool raise(int32_t id, Sender* sender, Event& event) const {
        auto it = handlers_.find(id);
        if (it == handlers_.end() || it->second.empty())
            return false;
        std::vector<Handler*> running(it->second);
        for (Handler* handler : running) handler->addRef();
        for (Handler* handler : running) {
            if (event.handled)
                break;
            handler->invoke(sender, event);
        }
        for (Handler* handler : running) handler->release();
        return true;
    }

    std::size_t count(int32_t id) const {
        auto it = handlers_.find(id);
        return it == handlers_.end() ? 0 : it->second.size();
    }
    bool empty() const { return handlers_.empty(); }

    // Drops every entry and the map's references.
    void clear() {
        std::map<int32_t, std::vector<Handler*>> dropped;
        dropped.swap(handlers_);
        for (auto& [id, list] : dropped) {
            for (Handler* handler : list) handler->release();
        }
    }

  private:
    std::map<int32_t, std::vector<Handler*>> handlers_;
};
