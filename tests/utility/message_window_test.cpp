#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "MessageWindow.h"
#include "WinTestUtil.h"

using Veld::Client::Utility::CMessageWindow;
using Veld::Client::Utility::IMessageWindowCallback;

namespace {

const UINT kMsg = WM_APP + 7;

struct Recorder : IMessageWindowCallback {
    struct Call {
        UINT message;
        WPARAM wParam;
        DWORD thread;
    };
    std::vector<Call> calls;
    bool passOn = false; // clear handled: default processing decides the result
    LRESULT result = 0;

    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM, bool* handled) override
    {
        calls.push_back({message, wParam, GetCurrentThreadId()});
        if (passOn)
            *handled = false;
        return result;
    }

    size_t CountOf(UINT message) const
    {
        size_t n = 0;
        for (const Call& c : calls)
            n += c.message == message;
        return n;
    }
};

} // namespace

TEST(MessageWindow, PostsFromAnotherThreadRunOnOwnerInOrder)
{
    Recorder rec;
    CMessageWindow window;
    HWND hWnd = window.Create(&rec);
    ASSERT_NE(hWnd, nullptr);

    std::thread worker([hWnd] {
        for (WPARAM i = 0; i < 50; ++i)
            PostMessageW(hWnd, kMsg, i, 0);
    });
    worker.join();
    TestUtil::Pump(2000, [&] { return rec.CountOf(kMsg) == 50; });

    std::vector<WPARAM> order;
    for (const auto& c : rec.calls) {
        if (c.message != kMsg)
            continue;
        EXPECT_EQ(c.thread, GetCurrentThreadId());
        order.push_back(c.wParam);
    }
    ASSERT_EQ(order.size(), 50u);
    for (WPARAM i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
    window.Destroy(false);
}

TEST(MessageWindow, DestroyDispatchesOrDiscardsPending)
{
    for (bool skip : {false, true}) {
        Recorder rec;
        CMessageWindow window;
        HWND hWnd = window.Create(&rec);
        ASSERT_NE(hWnd, nullptr);
        for (int i = 0; i < 3; ++i)
            PostMessageW(hWnd, kMsg, i, 0);
        window.Destroy(skip);
        EXPECT_EQ(rec.CountOf(kMsg), skip ? 0u : 3u) << "skipPending " << skip;
        EXPECT_FALSE(IsWindow(hWnd));
        EXPECT_EQ(window.GetHandle(), nullptr);
    }
}

TEST(MessageWindow, ClearedHandledGivesDefaultResult)
{
    Recorder rec;
    rec.result = 1234;
    CMessageWindow window;
    HWND hWnd = window.Create(&rec);
    ASSERT_NE(hWnd, nullptr);

    EXPECT_EQ(SendMessageW(hWnd, kMsg, 0, 0), 1234);
    rec.passOn = true;
    EXPECT_EQ(SendMessageW(hWnd, kMsg, 0, 0), 0); // DefWindowProc's answer for a private message
    window.Destroy(true);
}

TEST(MessageWindow, SecondCreateFailsAndKeepsFirst)
{
    Recorder first, second;
    CMessageWindow window;
    HWND hWnd = window.Create(&first);
    ASSERT_NE(hWnd, nullptr);
    EXPECT_EQ(window.Create(&second), nullptr);
    EXPECT_EQ(window.GetHandle(), hWnd);

    SendMessageW(hWnd, kMsg, 1, 0);
    EXPECT_EQ(first.CountOf(kMsg), 1u);
    EXPECT_EQ(second.CountOf(kMsg), 0u);
    window.Destroy(true);

    // Usable again after Destroy.
    EXPECT_NE(window.Create(&second), nullptr);
    window.Destroy(true);
}

TEST(MessageWindow, WindowsAreIndependentAndDestroyOfDeadWindowIsSafe)
{
    Recorder a, b;
    CMessageWindow wa, wb;
    HWND ha = wa.Create(&a);
    HWND hb = wb.Create(&b);
    ASSERT_NE(ha, nullptr);
    ASSERT_NE(hb, nullptr);
    SendMessageW(ha, kMsg, 0, 0);
    SendMessageW(hb, kMsg, 0, 0);
    SendMessageW(hb, kMsg, 0, 0);
    EXPECT_EQ(a.CountOf(kMsg), 1u);
    EXPECT_EQ(b.CountOf(kMsg), 2u);

    // A window destroyed behind the object's back: Destroy only forgets it.
    DestroyWindow(ha);
    wa.Destroy(false);
    EXPECT_EQ(wa.GetHandle(), nullptr);
    wa.Destroy(false); // empty object
    wb.Destroy(true);
}
