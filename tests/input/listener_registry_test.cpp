#include "ListenerRegistry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using Veld::Game::CListenerRegistry;

namespace {

struct IProbe {
    virtual void OnEvent(int32_t code, uint16_t key) = 0;
    virtual int OnPing() = 0;

protected:
    ~IProbe() = default;
};

using Log = std::vector<std::string>;

// Logs its name (OnEvent, with the arguments) or "<name>.ping" (OnPing) and
// runs a one-shot action inside OnEvent.
struct Probe final : IProbe {
    Probe(std::string n, Log& l) : name(std::move(n)), log(l) {}
    void OnEvent(int32_t code, uint16_t key) override
    {
        log.push_back(code == 7 && key == 0xFFFF ? name : name + "(bad arguments)");
        std::function<void()> run;
        run.swap(action);
        if (run)
            run();
    }
    int OnPing() override { return log.push_back(name + ".ping"), 1; } // the result is ignored by Fire
    std::string name;
    Log& log;
    std::function<void()> action;
};

class ListenerRegistry : public ::testing::Test {
protected:
    Log Fire()
    {
        log.clear();
        reg.Fire(&IProbe::OnEvent, 7, static_cast<uint16_t>(0xFFFF));
        return log;
    }
    Log log;
    CListenerRegistry<IProbe> reg;
    Probe x{"X", log}, y{"Y", log}, z{"Z", log}, w{"W", log};
};

} // namespace

TEST_F(ListenerRegistry, AddKeepsOneEntryAtTheEnd)
{
    EXPECT_TRUE(Fire().empty());
    reg.Add(&x);
    reg.Add(&y);
    reg.Add(&x);
    EXPECT_EQ(Fire(), (Log{"Y", "X"}));
    reg.Remove(&x);
    reg.Remove(&z); // never added
    reg.Add(nullptr);
    EXPECT_FALSE(reg.Contains(&x));
    EXPECT_FALSE(reg.Contains(nullptr));
    EXPECT_EQ(Fire(), (Log{"Y"}));
}

// Changes made by listeners during a pass: removed ones are not called
// afterwards (X destroys Y: calling it would be a use after free), added ones
// wait for the next pass, re-added ones are called once in their old place,
// and a nested pass runs on its own.
TEST_F(ListenerRegistry, ChangesDuringFire)
{
    auto* doomed = new Probe("D", log);
    reg.Add(&x);
    reg.Add(doomed);
    reg.Add(&y);
    reg.Add(&z);
    x.action = [&] {
        reg.Remove(doomed);
        delete doomed;
        reg.Add(&w);
    };
    y.action = [&] {
        reg.Remove(&y);
        reg.Add(&y);
    };
    EXPECT_EQ(Fire(), (Log{"X", "Y", "Z"}));
    EXPECT_EQ(Fire(), (Log{"X", "Z", "W", "Y"}));

    x.action = [&] {
        reg.Remove(&z);
        reg.Fire(&IProbe::OnPing); // misses Z
        reg.Add(&z);
    };
    EXPECT_EQ(Fire(), (Log{"X", "X.ping", "W.ping", "Y.ping", "Z", "W", "Y"}));
    x.action = [&] { reg.Remove(&x); }; // its own call completes
    EXPECT_EQ(Fire(), (Log{"X", "W", "Y", "Z"}));
    EXPECT_EQ(Fire(), (Log{"W", "Y", "Z"}));
}
