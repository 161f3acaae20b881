#include "ListenerRegistry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using Veld::Game::CListenerRegistry;

namespace {

using Log = std::vector<std::string>;

// Logs its name (OnEvent, with the arguments) or "<name>.ping" (OnPing) and
// runs a one-shot action inside OnEvent.
struct Probe {
    Probe(std::string n, Log& l) : name(std::move(n)), log(l) {}
    void OnEvent(int32_t code, uint16_t key)
    {
        log.push_back(code == 7 && key == 0xFFFF ? name : name + "(bad arguments)");
        std::function<void()> run;
        run.swap(action);
        if (run)
            run();
    }
    int OnPing() { return log.push_back(name + ".ping"), 1; } // the result is ignored by Fire
    std::string name;
    Log& log;
    std::function<void()> action;
};

} // namespace

// Adding again moves a listener to the end. Changes made by listeners during
// a pass: removed ones are not called afterwards (X destroys D: calling it
// would be a use after free), added ones wait for the next pass, re-added
// ones are called once in their old place, and a nested pass runs on its own.
TEST(ListenerRegistry, OrderAndChangesDuringFire)
{
    Log log;
    CListenerRegistry<Probe> reg;
    Probe x{"X", log}, y{"Y", log}, z{"Z", log}, w{"W", log};
    const auto fire = [&] {
        log.clear();
        reg.Fire(&Probe::OnEvent, 7, static_cast<uint16_t>(0xFFFF));
        return log;
    };
    auto* doomed = new Probe("D", log);
    for (Probe* p : {&x, &y, &x, doomed, &z})
        reg.Add(p);
    reg.Add(nullptr);
    x.action = [&] {
        reg.Remove(doomed);
        delete doomed;
        reg.Add(&w);
    };
    y.action = [&] {
        reg.Remove(&y);
        reg.Add(&y);
    };
    EXPECT_EQ(fire(), (Log{"Y", "X", "Z"}));
    EXPECT_EQ(fire(), (Log{"X", "Z", "Y", "W"}));

    x.action = [&] {
        reg.Remove(&z);
        reg.Fire(&Probe::OnPing); // misses Z
        reg.Add(&z);
    };
    EXPECT_EQ(fire(), (Log{"X", "X.ping", "Y.ping", "W.ping", "Z", "Y", "W"}));
    x.action = [&] { reg.Remove(&x); }; // its own call completes
    EXPECT_EQ(fire(), (Log{"X", "Y", "W", "Z"}));
    EXPECT_EQ(fire(), (Log{"Y", "W", "Z"}));
}
