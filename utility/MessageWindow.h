// A hidden message-only window that hands each of its messages to one
// callback on the thread that created it.
#pragma once

#include <windows.h>

namespace Veld {
namespace Client {
namespace Utility {

class IMessageWindowCallback {
public:
    /// *handled is true on entry; leave it true to return the result,
    /// clear it to send the message on to default processing.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) = 0;
};

class CMessageWindow {
public:
    CMessageWindow();
    virtual ~CMessageWindow();

    CMessageWindow(const CMessageWindow&) = delete;
    CMessageWindow& operator=(const CMessageWindow&) = delete;

    /// Makes the window; null on failure or when a live window is held already.
    HWND Create(IMessageWindowCallback* callback);
    /// Unregisters and destroys the window; unless skipPending, queued
    /// messages are dispatched to the callback first.
    void Destroy(bool skipPending);

    HWND GetHandle() const { return m_hWnd; }

    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
    HWND m_hWnd;
    WNDPROC m_pfnPrevProc;
};

} // namespace Utility
} // namespace Client
} // namespace Veld
