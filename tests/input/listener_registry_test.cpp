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
    int OnPing() override
    {
        log.push_back(name + ".ping");
        return 1; // ignored by Fire
    }
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
    void AddXYZ()
    {
        reg.Add(&x);
        reg.Add(&y);
        reg.Add(&z);
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

TEST_F(ListenerRegistry, RemovedDuringFireIsNotCalledAfterwards)
{
    // X removes and destroys Y: calling Y would be a use after free.
    auto* doomed = new Probe("Y", log);
    reg.Add(&x);
    reg.Add(doomed);
    reg.Add(&z);
    x.action = [&] {
        reg.Remove(doomed);
        delete doomed;
    };
    EXPECT_EQ(Fire(), (Log{"X", "Z"}));

    // Removing itself: its own call completes, the others still run.
    x.action = [&] { reg.Remove(&x); };
    EXPECT_EQ(Fire(), (Log{"X", "Z"}));
    EXPECT_EQ(Fire(), (Log{"Z"}));
}

TEST_F(ListenerRegistry, AddedDuringFireWaitsForTheNextFire)
{
    AddXYZ();
    x.action = [&] { reg.Add(&w); };
    EXPECT_EQ(Fire(), (Log{"X", "Y", "Z"}));
    EXPECT_EQ(Fire(), (Log{"X", "Y", "Z", "W"}));
}

TEST_F(ListenerRegistry, ReAddedDuringFireIsCalledOnceInItsOldPlace)
{
    AddXYZ();
    y.action = [&] {
        reg.Remove(&y);
        reg.Add(&y);
    };
    EXPECT_EQ(Fire(), (Log{"X", "Y", "Z"}));
    EXPECT_EQ(Fire(), (Log{"X", "Z", "Y"}));

    // Done by an earlier listener, before Z's turn.
    x.action = [&] {
        reg.Remove(&z);
        reg.Add(&z);
    };
    EXPECT_EQ(Fire(), (Log{"X", "Z", "Y"}));
    EXPECT_EQ(Fire(), (Log{"X", "Y", "Z"}));
}

TEST_F(ListenerRegistry, NestedFireRunsItsOwnPass)
{
    AddXYZ();
    x.action = [&] {
        reg.Remove(&z);
        reg.Fire(&IProbe::OnPing);
        reg.Add(&z);
    };
    // The inner pass misses Z; the outer one finds Z registered again.
    EXPECT_EQ(Fire(), (Log{"X", "X.ping", "Y.ping", "Y", "Z"}));
}
