// Helpers for tests that run real windows under Wine.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace TestUtil {

struct PumpResult {
    bool quit = false;
};

/// Dispatches this thread's messages until done() is true (or a WM_QUIT came,
/// with untilQuit), for ms milliseconds at most. A WM_QUIT met on the way is
/// recorded, not obeyed.
inline PumpResult Pump(DWORD ms, const std::function<bool()>& done = nullptr, bool untilQuit = false)
{
    PumpResult result;
    for (const DWORD start = GetTickCount();;) {
        for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);)
            if (msg.message == WM_QUIT)
                result.quit = true;
            else
                DispatchMessageW(&msg);
        if ((done && done()) || (untilQuit && result.quit) || GetTickCount() - start >= ms)
            return result;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

/// The window's screen rectangle: left, top, right, bottom.
inline std::vector<long> WindowRect(HWND hWnd)
{
    RECT rc = {};
    GetWindowRect(hWnd, &rc);
    return {rc.left, rc.top, rc.right, rc.bottom};
}

/// A window class name not used before in this process.
inline std::wstring UniqueClassName(const wchar_t* stem)
{
    static int counter = 0;
    return std::wstring(stem) + L"_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
}

/// Initializes an engine, shown, with a window class not used before.
template <class Engine> bool InitializeEngine(Engine& engine, const wchar_t* stem, int width, int height)
{
    return engine.Initialize(GetModuleHandleW(nullptr), UniqueClassName(stem).c_str(), nullptr, width, height, 732, 32,
                             SW_SHOW);
}

/// A new folder below the temporary folder (or the given one, made if
/// missing). The files and folders it made or handed out through File are
/// removed with the object.
class TempFolder {
public:
    explicit TempFolder(const wchar_t* stem, std::wstring path = {}) : m_path(std::move(path))
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        if (m_path.empty())
            m_path = temp + UniqueClassName(stem);
        if (CreateDirectoryW(m_path.c_str(), nullptr))
            m_names.push_back(m_path);
    }
    ~TempFolder()
    {
        for (auto it = m_names.rbegin(); it != m_names.rend(); ++it)
            if (!DeleteFileW(it->c_str()))
                RemoveDirectoryW(it->c_str());
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) { return m_names.emplace_back(m_path + L"\\" + name); }

private:
    std::wstring m_path;
    std::vector<std::wstring> m_names;
};

} // namespace TestUtil
