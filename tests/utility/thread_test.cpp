// The worker thread and the message window it reports through.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Thread.h"
#include "WinTestUtil.h"

using namespace Veld::Client::Utility;

namespace {

using Handle = std::unique_ptr<void, decltype(&CloseHandle)>;

// One log for caller messages and exit notices, so their order is checked too.
struct Journal : ICallerThread, IThreadEvent {
    std::vector<std::string> entries;
    const DWORD owner = GetCurrentThreadId();
    void OnThreadMessage(UINT message, WPARAM wParam, LPARAM) override
    {
        const char* where = GetCurrentThreadId() == owner ? "msg" : "elsewhere";
        entries.push_back(where + std::to_string(message - WM_APP) + ":" + std::to_string(wParam));
    }
    void OnThreadExit() override { entries.push_back("exit"); }
};

// Posts WM_APP + n for each n in posts, then returns once the stop event or
// release is set, or ignores the stop event and sleeps.
struct Work : IWorkThread {
    bool ignoreStop = false;
    std::vector<UINT> posts = {1, 2, 1};
    Handle posted{CreateEventW(nullptr, TRUE, FALSE, nullptr), &CloseHandle};
    Handle release{CreateEventW(nullptr, TRUE, FALSE, nullptr), &CloseHandle};
    Handle thread{nullptr, &CloseHandle}; // the worker's own thread
    volatile LONG sawStop = 0;

    unsigned int Run(HANDLE hStopEvent, HWND hNotifyWindow) override
    {
        if (!thread)
            thread.reset(OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId()));
        WPARAM n = 0;
        for (UINT m : posts)
            PostMessageW(hNotifyWindow, WM_APP + m, n++, 0);
        SetEvent(posted.get());
        if (ignoreStop)
            Sleep(INFINITE);
        const HANDLE waits[] = {hStopEvent, release.get()};
        if (WaitForMultipleObjects(2, waits, FALSE, 30000) == WAIT_OBJECT_0) {
            Sleep(20); // clean-up that Stop must wait for
            InterlockedExchange(&sawStop, 1);
        }
        return 7;
    }
};

} // namespace

// A work that returns by itself reports to the owner, then every listener
// hears of its exit. Stop waits for a work that watches the stop event; a
// body that ignores it is ended (after a grace period) on destruction;
// Terminate ends it at once; Close lets it run on without a stop event. None
// of these delivers reports or exit notices. A running thread takes no
// second Start.
TEST(Thread, OnlyAWorkEndingByItselfReportsAndTellsItsExit)
{
    using Thread = std::unique_ptr<CThread>;
    const struct {
        void (*end)(Thread&);
        bool ignoresStop, sawStop;
    } ways[] = {{[](Thread&) {}, false, false},
                {[](Thread& t) { t->Stop(true); }, false, true},
                {[](Thread& t) { t.reset(); }, true, false},
                {[](Thread& t) { t->Terminate(true); }, true, false},
                {[](Thread& t) { t->Close(true); }, false, false}};
    for (const auto& way : ways) {
        SCOPED_TRACE(&way - ways);
        const bool byItself = &way == ways;
        Journal journal, second;
        Work work, other;
        work.ignoreStop = way.ignoresStop;
        auto thread = std::make_unique<CThread>();
        thread->m_events.Add(&journal);
        thread->m_events.Add(&second);
        EXPECT_FALSE(thread->Start(nullptr, &journal));
        ASSERT_TRUE(thread->Start(&work, &journal));
        EXPECT_FALSE(thread->Start(&other, &journal));
        ASSERT_EQ(WaitForSingleObject(work.posted.get(), 10000), WAIT_OBJECT_0); // reports queued, none dispatched
        way.end(thread);
        EXPECT_TRUE(byItself || !thread || !thread->IsRunning());
        SetEvent(work.release.get());
        EXPECT_EQ(WaitForSingleObject(work.thread.get(), 10000), WAIT_OBJECT_0);
        TestUtil::Pump(10000, [&] { return !thread || !thread->IsRunning(); });
        using Log = std::vector<std::string>;
        EXPECT_EQ(journal.entries, (byItself ? Log{"msg1:0", "msg2:1", "msg1:2", "exit"} : Log{}));
        EXPECT_EQ(second.entries, byItself ? Log{"exit"} : Log{});
        EXPECT_EQ(work.sawStop, way.sawStop);
        if (!byItself)
            continue;
        // Back to idle: it starts again, and destroying it idle tells nobody.
        work.posts.clear();
        ASSERT_TRUE(thread->Start(&work, &journal));
        TestUtil::Pump(10000, [&] { return !thread->IsRunning(); });
        thread.reset();
        EXPECT_EQ(second.entries, (Log{"exit", "exit"}));
    }
}
