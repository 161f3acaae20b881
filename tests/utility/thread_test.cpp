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
        if (mode == WaitForStop && WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0) {
            Sleep(20); // clean-up that Stop must wait for
            InterlockedExchange(&sawStop, 1);
        }
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
        EXPECT_FALSE(thread.IsRunning());
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

// Stop waits for a work that watches the stop event; a body that ignores it
// is ended (after a grace period) on destruction; Terminate ends it at once;
// Close lets it run on. None of them delivers reports or exit notices.
TEST(Thread, EndingFromTheOwnerTellsNobody)
{
    enum Way { Stop, Destroy, Terminate, Close };
    for (Way way : {Stop, Destroy, Terminate, Close}) {
        Journal journal;
        Work work, other;
        work.posts = {1, 2};
        work.mode = way == Stop || way == Close ? Work::WaitForStop : Work::IgnoreStop;
        auto thread = std::make_unique<CThread>();
        thread->m_events.Add(&journal);
        ASSERT_TRUE(thread->Start(&work, &journal));
        EXPECT_FALSE(thread->Start(&other, &journal));
        ASSERT_EQ(WaitForSingleObject(work.posted.h, 10000), WAIT_OBJECT_0); // reports queued, none dispatched
        if (way == Stop)
            thread->Stop(true);
        else if (way == Destroy)
            thread.reset();
        else if (way == Terminate)
            thread->Terminate(true);
        else
            thread->Close(true);
        EXPECT_TRUE(!thread || !thread->IsRunning()) << way;
        if (way == Close)
            SetEvent(work.release.h);
        EXPECT_TRUE(work.Ended()) << way;
        EXPECT_EQ(work.sawStop, way == Stop ? 1 : 0) << way; // Stop waits for the work; Close sets no stop event
        TestUtil::Pump(100);
        EXPECT_TRUE(journal.entries.empty()) << way;
        EXPECT_EQ(other.runs, 0);
    }
}
