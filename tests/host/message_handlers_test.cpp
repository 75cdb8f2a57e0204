// The application message-handler map with a counting handler: order, the handled stop, references,
// and handlers that change the map while a message is raised.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "host/message_handlers.h"

namespace {

struct Event {
    int handled = 0;
};

struct CountingHandler {
    CountingHandler(const char* name, std::string* log) : name(name), log(log) {}
    std::string name;
    std::string* log;
    int refs = 1;  // the creator's
    std::function<void(Event&)> action;

    void addRef() { ++refs; }
    void release() { --refs; }
    void invoke(void*, Event& event) {
        *log += name;
        if (action)
            action(event);
    }
};

}  // namespace

TEST(MessageHandlerMap, RaisesInOrderUntilHandledAndOnlyUnderItsId) {
    std::string log;
    CountingHandler a{"a", &log}, b{"b", &log}, c{"c", &log}, other{"x", &log};
    MessageHandlerMap<CountingHandler> map;
    map.add(1024, &a);
    map.add(1024, &b);
    map.add(1024, &c);
    map.add(7, &other);
    b.action = [](Event& e) { e.handled = 1; };

    Event event;
    EXPECT_TRUE(map.raise(1024, static_cast<void*>(nullptr), event));
    EXPECT_EQ(log, "ab");
    Event none;
    EXPECT_FALSE(map.raise(99, static_cast<void*>(nullptr), none));
    EXPECT_EQ(map.count(1024), 3u);
    map.clear();
    EXPECT_TRUE(map.empty());
    EXPECT_EQ(a.refs + b.refs + c.refs + other.refs, 4) << "clear drops exactly the map's references";
}

TEST(MessageHandlerMap, AHandlerRemovingItselfAndAnotherKeepsTheRunningListAlive) {
    std::string log;
    CountingHandler a{"a", &log}, b{"b", &log}, c{"c", &log};
    MessageHandlerMap<CountingHandler> map;
    map.add(1024, &a);
    map.add(1024, &b);
    map.add(1024, &c);
    a.action = [&](Event&) {
        EXPECT_TRUE(map.remove(1024, &a));
        EXPECT_TRUE(map.remove(1024, &c));
        EXPECT_GE(c.refs, 2) << "a handler still to run keeps a reference while the list runs";
    };
    Event event;
    map.raise(1024, static_cast<void*>(nullptr), event);
    EXPECT_EQ(log, "abc") << "the message goes to the list as it was when raised";
    EXPECT_EQ(a.refs, 1);
    EXPECT_EQ(c.refs, 1);
    EXPECT_EQ(map.count(1024), 1u);
    EXPECT_FALSE(map.remove(1024, &a)) << "removed once only";
    EXPECT_EQ(map.find(1024, [](CountingHandler* h) { return h->name == "b"; }), &b);
    map.clear();
    EXPECT_EQ(b.refs, 1);
}
