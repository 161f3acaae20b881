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
    std::vector<WPARAM> calls; // wParam of each kMsg
    bool wrongThread = false;
    bool passOn = false; // clear handled: default processing decides the result
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM, bool* handled) override
    {
        if (message == kMsg)
            calls.push_back(wParam);
        wrongThread |= GetCurrentThreadId() != owner;
        *handled = !passOn;
        return 1234;
    }
    DWORD owner = GetCurrentThreadId();
};

} // namespace

TEST(MessageWindow, PostsFromAnotherThreadRunOnOwnerInOrder)
{
    Recorder rec;
    CMessageWindow window;
    HWND hWnd = window.Create(&rec);
    ASSERT_NE(hWnd, nullptr);
    std::thread([hWnd] {
        for (WPARAM i = 0; i < 50; ++i)
            PostMessageW(hWnd, kMsg, i, 0);
    }).join();
    TestUtil::Pump(10000, [&] { return rec.calls.size() == 50; });
    std::vector<WPARAM> expected(50);
    for (WPARAM i = 0; i < 50; ++i)
        expected[i] = i;
    EXPECT_EQ(rec.calls, expected);
    EXPECT_FALSE(rec.wrongThread);

    EXPECT_EQ(SendMessageW(hWnd, kMsg, 0, 0), 1234);
    rec.passOn = true;
    EXPECT_EQ(SendMessageW(hWnd, kMsg, 0, 0), 0); // DefWindowProc's answer for a private message
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
        EXPECT_EQ(rec.calls.size(), skip ? 0u : 3u) << "skipPending " << skip;
        EXPECT_FALSE(IsWindow(hWnd));
        EXPECT_EQ(window.GetHandle(), nullptr);
    }
}

TEST(MessageWindow, OneWindowPerObjectAndDestroyOfADeadWindowOnlyForgetsIt)
{
    Recorder first, second;
    CMessageWindow window, other;
    HWND hWnd = window.Create(&first);
    ASSERT_NE(hWnd, nullptr);
    EXPECT_EQ(window.Create(&second), nullptr);
    EXPECT_EQ(window.GetHandle(), hWnd);
    HWND hOther = other.Create(&second);
    ASSERT_NE(hOther, nullptr);
    SendMessageW(hWnd, kMsg, 1, 0);
    SendMessageW(hOther, kMsg, 2, 0);
    EXPECT_EQ(first.calls, std::vector<WPARAM>{1});
    EXPECT_EQ(second.calls, std::vector<WPARAM>{2});

    DestroyWindow(hWnd); // behind the object's back
    window.Destroy(false);
    EXPECT_EQ(window.GetHandle(), nullptr);
    window.Destroy(false); // empty object
    hWnd = window.Create(&first); // usable again
    ASSERT_NE(hWnd, nullptr);
    SendMessageW(hWnd, kMsg, 3, 0);
    EXPECT_EQ(first.calls, (std::vector<WPARAM>{1, 3}));
    window.Destroy(true);
    other.Destroy(true);
}
