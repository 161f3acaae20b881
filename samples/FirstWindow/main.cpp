// First window: loads GameEngine.dll, opens an 800 x 600 game window, paints a
// title card with plain GDI and quits after a few seconds or on Escape.
//
//   FirstWindow.exe [seconds]
#include <cstdlib>
#include <cwchar>
#include <windows.h>

#include "GameEngine.h"

using Veld::Game::IGameEngine;
using Veld::Game::ITimerEvent;

namespace {

const int kTickTimer = 1;

class Game : public ITimerEvent {
public:
    Game(IGameEngine* engine, DWORD runMs) : engine_(engine), runMs_(runMs), start_(GetTickCount()) {}

    void OnTimer(int id) override
    {
        if (id != kTickTimer)
            return;
        ++frames_;
        Paint();
        const bool escape = (GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0;
        if (escape || GetTickCount() - start_ >= runMs_) {
            engine_->KillTimer(kTickTimer);
            engine_->Shutdown(); // posts the quit message that ends the loop
        }
    }

private:
    void Paint()
    {
        HWND frame = engine_->GetWindowHandle();
        HWND render = frame ? GetWindow(frame, GW_CHILD) : nullptr;
        if (!render)
            return;
        RECT rc;
        GetClientRect(render, &rc);
        HDC dc = GetDC(render);
        // A vertical gradient with a darker caption strip the user drags by.
        for (int y = 0; y < rc.bottom; y += 4) {
            const int t = y * 255 / (rc.bottom ? rc.bottom : 1);
            HBRUSH brush = CreateSolidBrush(RGB(20 + t / 4, 40 + t / 3, 90 + t / 2));
            RECT band = {0, y, rc.right, y + 4};
            FillRect(dc, &band, brush);
            DeleteObject(brush);
        }
        HBRUSH caption = CreateSolidBrush(RGB(15, 20, 35));
        RECT strip = {0, 0, rc.right, 32};
        FillRect(dc, &strip, caption);
        DeleteObject(caption);

        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(240, 220, 120));
        RECT title = {12, 0, rc.right, 32};
        DrawTextW(dc, L"Veld engine - first window (drag me by this strip)", -1, &title,
                  DT_SINGLELINE | DT_VCENTER | DT_LEFT);
        wchar_t status[96];
        std::swprintf(status, 96, L"timer ticks: %d   Esc quits", frames_);
        SetTextColor(dc, RGB(255, 255, 255));
        RECT body = {0, 0, rc.right, rc.bottom};
        DrawTextW(dc, status, -1, &body, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
        ReleaseDC(render, dc);
    }

    IGameEngine* engine_;
    DWORD runMs_;
    DWORD start_;
    int frames_ = 0;
};

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR cmdLine, int show)
{
    const int seconds = cmdLine && *cmdLine ? std::wcstol(cmdLine, nullptr, 10) : 5;

    HMODULE dll = LoadLibraryW(L"GameEngine.dll");
    if (!dll)
        return 2;
    auto create =
        reinterpret_cast<PFN_CreateGameEngine>(reinterpret_cast<void*>(GetProcAddress(dll, "CreateGameEngine")));
    auto destroy =
        reinterpret_cast<PFN_DestoryGameEngine>(reinterpret_cast<void*>(GetProcAddress(dll, "DestoryGameEngine")));
    IGameEngine* engine = create && destroy ? create() : nullptr;
    if (!engine)
        return 3;

    int rc = 4;
    if (engine->Initialize(instance, L"VeldFirstWindow", nullptr, 800, 600, 732, 32, show)) {
        Game game(engine, static_cast<DWORD>(seconds > 0 ? seconds : 5) * 1000);
        engine->SetTimer(100, kTickTimer, &game);
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        rc = static_cast<int>(msg.wParam);
        engine->Shutdown();
    }
    destroy(engine);
    FreeLibrary(dll);
    return rc;
}
