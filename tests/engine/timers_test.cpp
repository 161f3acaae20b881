#include <gtest/gtest.h>

#include <vector>

#include "DDGameEngine.h"
#include "WinTestUtil.h"

using Veld::Game::CDDGameEngine;
using Veld::Game::ITimerEvent;
using Veld::Game::kRefreshTimerId;

namespace {

struct Counter : ITimerEvent {
    std::vector<int> ids;
    std::vector<DWORD> ticks;
    CDDGameEngine* killOnFirst = nullptr;
    void OnTimer(int id) override
    {
        ids.push_back(id);
        ticks.push_back(GetTickCount());
        if (killOnFirst)
            killOnFirst->KillTimer(id);
    }
    size_t CountOf(int id) const
    {
        size_t n = 0;
        for (int i : ids)
            n += i == id;
        return n;
    }
};

} // namespace

TEST(Timers, WorkBeforeInitializeAndReplaceHandler)
{
    CDDGameEngine engine;
    Counter first, second;
    EXPECT_TRUE(engine.SetTimer(20, 5, &first));
    TestUtil::Pump(2000, [&] { return first.ids.size() >= 2; });
    EXPECT_GE(first.ids.size(), 2u);

    EXPECT_TRUE(engine.SetTimer(40, 5, &second));
    const size_t before = first.ids.size();
    TestUtil::Pump(2000, [&] { return second.ids.size() >= 3; });
    EXPECT_EQ(first.ids.size(), before) << "the replaced handler was called again";
    ASSERT_GE(second.ids.size(), 3u);
    for (int id : second.ids)
        EXPECT_EQ(id, 5);
    // The new interval holds (the system's timer resolution is coarse).
    EXPECT_GE(second.ticks.back() - second.ticks.front(), 2u * 40u - 25u);
    engine.KillTimer(5);
}

TEST(Timers, KillInsideOwnHandlerStopsIt)
{
    CDDGameEngine engine;
    Counter c;
    c.killOnFirst = &engine;
    engine.SetTimer(10, 9, &c);
    TestUtil::Pump(300);
    EXPECT_EQ(c.ids.size(), 1u);
}

TEST(Timers, IdsAreSigned)
{
    CDDGameEngine engine;
    Counter neg, pos;
    engine.SetTimer(15, -1, &neg);
    engine.SetTimer(15, 1, &pos);
    TestUtil::Pump(2000, [&] { return neg.ids.size() >= 2 && pos.ids.size() >= 2; });
    EXPECT_GE(neg.CountOf(-1), 2u);
    EXPECT_EQ(neg.CountOf(1), 0u);
    EXPECT_GE(pos.CountOf(1), 2u);
    EXPECT_EQ(pos.CountOf(-1), 0u);

    engine.KillTimer(-1);
    TestUtil::Pump(30); // a message already queued may still arrive
    const size_t negAfterKill = neg.ids.size();
    const size_t posBefore = pos.ids.size();
    TestUtil::Pump(200);
    EXPECT_EQ(neg.ids.size(), negAfterKill);
    EXPECT_GT(pos.ids.size(), posBefore);
    engine.KillTimer(1);
    engine.KillTimer(12345); // no entry: nothing happens
}

TEST(Timers, NullHandlerAndUnknownIdAreSwallowed)
{
    CDDGameEngine engine;
    bool handled = false;
    EXPECT_EQ(engine.OnMessage(WM_TIMER, 777, 0, &handled), 0);
    EXPECT_TRUE(handled);
    engine.SetTimer(10, 3, nullptr);
    TestUtil::Pump(60);
    engine.KillTimer(3);
    EXPECT_EQ(engine.OnMessage(WM_APP, 0, 0, &handled), 0);
    EXPECT_FALSE(handled); // other messages get default processing
}
