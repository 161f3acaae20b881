#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Thread.h"
#include "WinTestUtil.h"

using Veld::Client::Utility::CThread;
using Veld::Client::Utility::ICallerThread;
using Veld::Client::Utility::IThreadEvent;
using Veld::Client::Utility::IWorkThread;

namespace {

const UINT kMsgA = WM_APP + 1;
const UINT kMsgB = WM_APP + 2;

// One log for caller messages and exit notices, so their order is checked too.
struct Journal : ICallerThread {
    std::vector<std::string> entries;
    DWORD ownerThread = GetCurrentThreadId();
    bool wrongThread = false;

    void OnThreadMessage(UINT message, WPARAM wParam, LPARAM) override
    {
        wrongThread |= GetCurrentThreadId() != ownerThread;
        entries.push_back("msg" + std::to_string(message - WM_APP) + ":" + std::to_string(wParam));
    }
};

struct ExitListener : IThreadEvent {
    Journal* journal;
    std::string name;
    ExitListener(Journal* j, const char* n) : journal(j), name(n) {}
    void OnThreadExit() override { journal->entries.push_back("exit:" + name); }
};

// Posts the given messages, then returns or, when waitForStop, waits for
// the stop event (or ignores it and sleeps when ignoreStop).
struct Work : IWorkThread {
    std::vector<UINT> posts;
    bool waitForStop = false;
    bool ignoreStop = false;
    DWORD stopWaitMs = 10000;
    HANDLE posted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    volatile LONG sawStop = 0;
    volatile LONG runs = 0;

    ~Work()
    {
        CloseHandle(posted);
        CloseHandle(done);
    }

    unsigned int Run(HANDLE hStopEvent, HWND hNotifyWindow) override
    {
        InterlockedIncrement(&runs);
        WPARAM n = 0;
        for (UINT m : posts)
            PostMessageW(hNotifyWindow, m, n++, 0);
        SetEvent(posted);
        if (ignoreStop)
            Sleep(INFINITE);
        if (waitForStop && WaitForSingleObject(hStopEvent, stopWaitMs) == WAIT_OBJECT_0)
            InterlockedExchange(&sawStop, 1);
        SetEvent(done);
        return 7;
    }
};

} // namespace

TEST(Thread, BodyReturningAtOnceTellsListenersOnceAndCallerNothing)
{
    Journal journal;
    ExitListener first(&journal, "first"), second(&journal, "second");
    Work work;
    {
        CThread thread;
        thread.m_events.Add(&first);
        thread.m_events.Add(&second);
        ASSERT_TRUE(thread.Start(&work, &journal));
        TestUtil::Pump(3000, [&] { return !thread.IsRunning(); });
        TestUtil::Pump(50);
        EXPECT_FALSE(thread.IsRunning());
        EXPECT_EQ(journal.entries, (std::vector<std::string>{"exit:first", "exit:second"}));

        // Back to idle: it starts again, and destroying it idle touches nothing.
        journal.entries.clear();
        ASSERT_TRUE(thread.Start(&work, &journal));
        TestUtil::Pump(3000, [&] { return !thread.IsRunning(); });
        EXPECT_EQ(work.runs, 2);
    }
    EXPECT_EQ(journal.entries, (std::vector<std::string>{"exit:first", "exit:second"}));
}

TEST(Thread, ReportsReachCallerOnOwnerThreadInOrderBeforeExit)
{
    Journal journal;
    ExitListener listener(&journal, "l");
    Work work;
    work.posts = {kMsgA, kMsgB, kMsgA};
    CThread thread;
    thread.m_events.Add(&listener);
    ASSERT_TRUE(thread.Start(&work, &journal));
    TestUtil::Pump(3000, [&] { return !thread.IsRunning(); });
    EXPECT_EQ(journal.entries, (std::vector<std::string>{"msg1:0", "msg2:1", "msg1:2", "exit:l"}));
    EXPECT_FALSE(journal.wrongThread);
}

TEST(Thread, StartRefusesNullWorkAndSecondStart)
{
    CThread thread;
    EXPECT_FALSE(thread.Start(nullptr, nullptr));
    EXPECT_FALSE(thread.IsRunning());

    Journal journal;
    Work running, other;
    running.waitForStop = true;
    ASSERT_TRUE(thread.Start(&running, &journal));
    EXPECT_FALSE(thread.Start(&other, &journal));
    WaitForSingleObject(running.posted, 3000);
    EXPECT_EQ(other.runs, 0);

    // Stop: the work sees the stop event and ends well within the wait.
    const DWORD start = GetTickCount();
    thread.Stop(true);
    EXPECT_LT(GetTickCount() - start, 900u);
    EXPECT_EQ(running.sawStop, 1);
    EXPECT_FALSE(thread.IsRunning());
    TestUtil::Pump(100);
    EXPECT_TRUE(journal.entries.empty()); // Stop tells no listener and drops WM_CLOSE
}

TEST(Thread, BodyIgnoringStopIsKilledAfterOneSecondWithoutExitOrQueuedReports)
{
    Journal journal;
    ExitListener listener(&journal, "l");
    Work work;
    work.posts = {kMsgA, kMsgB};
    work.ignoreStop = true;
    auto* thread = new CThread;
    thread->m_events.Add(&listener);
    ASSERT_TRUE(thread->Start(&work, &journal));
    ASSERT_EQ(WaitForSingleObject(work.posted, 3000), WAIT_OBJECT_0); // both reports queued, none dispatched

    const DWORD start = GetTickCount();
    delete thread;
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_GE(elapsed, 950u);
    EXPECT_LT(elapsed, 3000u);
    TestUtil::Pump(100);
    EXPECT_TRUE(journal.entries.empty());
}

TEST(Thread, TerminateAndCloseEndWithoutExitNotice)
{
    Journal journal;
    ExitListener listener(&journal, "l");
    CThread thread;
    thread.m_events.Add(&listener);

    Work stuck;
    stuck.ignoreStop = true;
    ASSERT_TRUE(thread.Start(&stuck, &journal));
    WaitForSingleObject(stuck.posted, 3000);
    const DWORD start = GetTickCount();
    thread.Terminate(true);
    EXPECT_LT(GetTickCount() - start, 500u);
    EXPECT_FALSE(thread.IsRunning());

    // Close lets a running work go on; its end reaches nobody.
    Work waiting;
    waiting.waitForStop = true;
    waiting.stopWaitMs = 200;
    ASSERT_TRUE(thread.Start(&waiting, &journal));
    WaitForSingleObject(waiting.posted, 3000);
    thread.Close(true);
    EXPECT_FALSE(thread.IsRunning());
    ASSERT_EQ(WaitForSingleObject(waiting.done, 3000), WAIT_OBJECT_0);
    TestUtil::Pump(100);
    EXPECT_EQ(waiting.sawStop, 0);
    EXPECT_TRUE(journal.entries.empty());
}
