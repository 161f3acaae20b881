// Helpers for tests that run real windows under Wine.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace TestUtil {

/// Dispatches this thread's messages for about ms milliseconds (or until
/// done() is true). A WM_QUIT met on the way is recorded, not obeyed.
struct PumpResult {
    bool quit = false;
    WPARAM quitCode = 0;
};

inline PumpResult Pump(DWORD ms, const std::function<bool()>& done = nullptr)
{
    PumpResult result;
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                result.quit = true;
                result.quitCode = msg.wParam;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done && done())
            break;
        if (GetTickCount() - start >= ms)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return result;
}

/// A window class name not used before in this process.
inline std::wstring UniqueClassName(const wchar_t* stem)
{
    static int counter = 0;
    return std::wstring(stem) + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
}

} // namespace TestUtil
