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

TEST(MessageWindow, CallbacksByWindowAndDestroyOfPendingOrDeadWindows)
{
    Recorder first, second;
    CMessageWindow window, other;
    const HWND hWnd = window.Create(&first), hOther = other.Create(&second);
    EXPECT_EQ(window.Create(&second), nullptr); // one window per object
    EXPECT_EQ(SendMessageW(hWnd, kMsg, 1, 0), 1234);
    second.passOn = true;
    EXPECT_EQ(SendMessageW(hOther, kMsg, 2, 0), 0); // DefWindowProc's answer for a private message

    // Destroy dispatches the pending messages, or discards them when asked.
    PostMessageW(hWnd, kMsg, 3, 0);
    PostMessageW(hOther, kMsg, 3, 0);
    window.Destroy(false);
    other.Destroy(true);
    EXPECT_FALSE(IsWindow(hWnd) || IsWindow(hOther));
    EXPECT_EQ(first.calls, (std::vector<WPARAM>{1, 3}));
    EXPECT_EQ(second.calls, std::vector<WPARAM>{2});

    // A window destroyed behind the object's back is only forgotten; the
    // object is usable again.
    DestroyWindow(window.Create(&first));
    window.Destroy(false);
    window.Destroy(false); // empty object
    second.passOn = false;
    EXPECT_EQ(SendMessageW(window.Create(&second), kMsg, 4, 0), 1234);
    EXPECT_EQ(second.calls, (std::vector<WPARAM>{2, 4}));
    window.Destroy(true);
}
