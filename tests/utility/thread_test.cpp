#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Thread.h"
#include "WinTestUtil.h"

using namespace Veld::Client::Utility;

namespace {

struct Handle {
    HANDLE h;
    ~Handle() { CloseHandle(h); }
};

// One log for caller messages and exit notices, so their order is checked too.
struct Journal : ICallerThread, IThreadEvent {
    std::vector<std::string> entries;
    DWORD owner = GetCurrentThreadId();
    bool wrongThread = false;
    void OnThreadMessage(UINT message, WPARAM wParam, LPARAM) override
    {
        wrongThread |= GetCurrentThreadId() != owner;
        entries.push_back("msg" + std::to_string(message - WM_APP) + ":" + std::to_string(wParam));
    }
    void OnThreadExit() override { entries.push_back("exit"); }
};

// Posts WM_APP + n for each n in posts, then returns, or waits for the stop
// event or for release, or ignores the stop event and sleeps.
struct Work : IWorkThread {
    enum Mode { Return, WaitForStop, IgnoreStop } mode = Return;
    std::vector<UINT> posts;
    Handle posted{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    Handle release{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    Handle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    Handle thread{nullptr}; // the worker's own thread
    volatile LONG sawStop = 0, runs = 0;

    unsigned int Run(HANDLE hStopEvent, HWND hNotifyWindow) override
    {
        InterlockedIncrement(&runs);
        DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread.h, SYNCHRONIZE, FALSE,
                        0);
        WPARAM n = 0;
        for (UINT m : posts)
            PostMessageW(hNotifyWindow, WM_APP + m, n++, 0);
        SetEvent(posted.h);
        if (mode == IgnoreStop)
            Sleep(INFINITE);
        const HANDLE waits[] = {hStopEvent, release.h};
        if (mode == WaitForStop && WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0)
            InterlockedExchange(&sawStop, 1);
        SetEvent(done.h);
        return 7;
    }
    bool Ended() const { return WaitForSingleObject(thread.h, 10000) == WAIT_OBJECT_0; }
};

} // namespace

TEST(Thread, ReportsThenExitNoticesReachTheOwnerInOrder)
{
    Journal journal, second;
    Work work;
    work.posts = {1, 2, 1};
    {
        CThread thread;
        thread.m_events.Add(&journal);
        thread.m_events.Add(&second);
        EXPECT_FALSE(thread.Start(nullptr, &journal));
        ASSERT_TRUE(thread.Start(&work, &journal));
        TestUtil::Pump(10000, [&] { return !thread.IsRunning(); });
        EXPECT_EQ(journal.entries, (std::vector<std::string>{"msg1:0", "msg2:1", "msg1:2", "exit"}));
        EXPECT_EQ(second.entries, std::vector<std::string>{"exit"});
        EXPECT_FALSE(journal.wrongThread);

        // Back to idle: it starts again, and destroying it idle touches nothing.
        journal.entries.clear();
        work.posts.clear();
        ASSERT_TRUE(thread.Start(&work, &journal));
        TestUtil::Pump(10000, [&] { return !thread.IsRunning(); });
        EXPECT_EQ(work.runs, 2);
    }
    EXPECT_EQ(journal.entries, std::vector<std::string>{"exit"});
}

TEST(Thread, StopWaitsForTheWorkAndTellsNobody)
{
    Journal journal;
    Work running, other;
    running.mode = Work::WaitForStop;
    CThread thread;
    thread.m_events.Add(&journal);
    ASSERT_TRUE(thread.Start(&running, &journal));
    EXPECT_FALSE(thread.Start(&other, &journal));
    ASSERT_EQ(WaitForSingleObject(running.posted.h, 10000), WAIT_OBJECT_0);
    thread.Stop(true);
    EXPECT_EQ(running.sawStop, 1) << "the work was not given time to see the stop event";
    EXPECT_FALSE(thread.IsRunning());
    TestUtil::Pump(100);
    EXPECT_TRUE(journal.entries.empty()); // Stop tells no listener and drops WM_CLOSE
    EXPECT_EQ(other.runs, 0);
}

// A body that ignores the stop event is ended (after a grace period) on
// destruction, Terminate ends it at once, and Close lets it run on; none of
// them delivers reports or exit notices.
TEST(Thread, EndingWithoutTheWorksConsent)
{
    for (int way = 0; way < 3; ++way) {
        Journal journal;
        Work work;
        work.posts = {1, 2};
        work.mode = way == 2 ? Work::WaitForStop : Work::IgnoreStop;
        auto thread = std::make_unique<CThread>();
        thread->m_events.Add(&journal);
        ASSERT_TRUE(thread->Start(&work, &journal));
        ASSERT_EQ(WaitForSingleObject(work.posted.h, 10000), WAIT_OBJECT_0); // reports queued, none dispatched
        if (way == 0)
            thread.reset();
        else if (way == 1)
            thread->Terminate(true);
        else
            thread->Close(true);
        EXPECT_TRUE(!thread || !thread->IsRunning()) << way;
        if (way == 2) {
            SetEvent(work.release.h);
            EXPECT_EQ(WaitForSingleObject(work.done.h, 10000), WAIT_OBJECT_0);
            EXPECT_EQ(work.sawStop, 0) << "Close set the stop event";
        }
        EXPECT_TRUE(work.Ended()) << way;
        TestUtil::Pump(100);
        EXPECT_TRUE(journal.entries.empty()) << way;
    }
}
