// Cross-thread posts and their order are covered by the thread tests, which
// report through a message window.
#include <gtest/gtest.h>

#include <vector>

#include "MessageWindow.h"

using Veld::Client::Utility::CMessageWindow;
using Veld::Client::Utility::IMessageWindowCallback;

namespace {

const UINT kMsg = WM_APP + 7;

struct Recorder : IMessageWindowCallback {
    std::vector<WPARAM> calls; // wParam of each kMsg
    bool passOn = false;       // clear handled: default processing decides the result
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM, bool* handled) override
    {
        if (message == kMsg)
            calls.push_back(wParam);
        *handled = !passOn;
        return 1234;
    }
};

} // namespace

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
        EXPECT_EQ(rec.calls, skip ? std::vector<WPARAM>{} : (std::vector<WPARAM>{0, 1, 2}));
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
    EXPECT_EQ(SendMessageW(hWnd, kMsg, 1, 0), 1234);
    second.passOn = true;
    EXPECT_EQ(SendMessageW(hOther, kMsg, 2, 0), 0); // DefWindowProc's answer for a private message
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
