#include "MessageWindow.h"

#include <cstdint>
#include <map>

namespace Veld {
namespace Client {
namespace Utility {

namespace {

// Window handle to callback, for every message window of the process. Only
// the thread that runs the engine touches it.
std::map<std::uintptr_t, IMessageWindowCallback*>& CallbackTable()
{
    static std::map<std::uintptr_t, IMessageWindowCallback*> table;
    return table;
}

std::uintptr_t Key(HWND hWnd)
{
    return reinterpret_cast<std::uintptr_t>(hWnd);
}

} // namespace

CMessageWindow::CMessageWindow() : m_hWnd(nullptr), m_pfnPrevProc(nullptr) {}

CMessageWindow::~CMessageWindow() {}

HWND CMessageWindow::Create(IMessageWindowCallback* callback)
{
    if (m_hWnd && IsWindow(m_hWnd))
        return nullptr;

    m_hWnd = CreateWindowExW(0, L"Static", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    if (!m_hWnd || !IsWindow(m_hWnd)) {
        m_hWnd = nullptr;
        return nullptr;
    }

    m_pfnPrevProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CMessageWindow::WindowProc)));
    if (!m_pfnPrevProc) {
        DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
        return nullptr;
    }

    CallbackTable().emplace(Key(m_hWnd), callback); // an existing entry wins
    return m_hWnd;
}

void CMessageWindow::Destroy(bool skipPending)
{
    HWND hWnd = m_hWnd;
    m_hWnd = nullptr;
    if (!hWnd)
        return;
    if (!IsWindow(hWnd)) {
        // Destroyed behind our back: drop the entry so a recycled handle
        // never reaches this callback.
        CallbackTable().erase(Key(hWnd));
        m_pfnPrevProc = nullptr;
        return;
    }

    if (!skipPending) {
        MSG msg;
        while (PeekMessageW(&msg, hWnd, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }

    if (m_pfnPrevProc) {
        SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnPrevProc));
        m_pfnPrevProc = nullptr;
    }

    CallbackTable().erase(Key(hWnd));
    DestroyWindow(hWnd);
}

LRESULT CALLBACK CMessageWindow::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto& table = CallbackTable();
    auto it = table.find(Key(hWnd));
    if (it != table.end() && it->second) {
        bool handled = true;
        LRESULT result = it->second->OnMessage(message, wParam, lParam, &handled);
        if (handled)
            return result;
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

} // namespace Utility
} // namespace Client
} // namespace Veld
