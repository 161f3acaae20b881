// The engine object: owns the host windows, the timer table, the message
// window its timers run on, and the services.
#pragma once

#include <map>
#include <string>

#include "DDFont.h"
#include "GameEngine.h"
#include "HostWindow.h"
#include "MessageWindow.h"

namespace Veld {
namespace Game {

class CDDDisplay;
class CInput;
class CSound;
class CDSound7;

class CDDGameEngine final : public IGameEngine,
                            public IImageFactory,
                            public Client::Utility::IMessageWindowCallback,
                            public ITimerEvent {
public:
    CDDGameEngine();
    ~CDDGameEngine();

    CDDGameEngine(const CDDGameEngine&) = delete;
    CDDGameEngine& operator=(const CDDGameEngine&) = delete;

    // IGameEngine
    bool Initialize(HINSTANCE hInstance, const wchar_t* pszClassName, HICON hIcon, int nWidth, int nHeight,
                    int nCaptionWidth, int nCaptionHeight, int nCmdShow) override;
    void Shutdown() override;
    IDisplay* GetDisplay() override;
    IInput* GetInput() override;
    ISound* GetSound() override;
    ISoundEx* GetSoundEx() override;
    HWND GetWindowHandle() override;
    bool SetTimer(unsigned int nElapse, int nTimerId, ITimerEvent* pHandler) override;
    void KillTimer(int nTimerId) override;
    IImage* CreateImage() override;
    void DestroyImage(IImage* pImage) override;
    // IImageFactory: the glyphs' images.
    CDDImage* NewImage() override;
    void FreeImage(CDDImage* pImage) override;
    ICanvas* CreateCanvas() override;
    void DestroyCanvas(ICanvas* pCanvas) override;
    IDDFont* CreateDDFont() override;
    void DestroyDDFont(IDDFont* pFont) override;
    IDirectDrawSurface7* CreateSurface(int nWidth, int nHeight) override;

    // IMessageWindowCallback: timer messages of the message window.
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override;

    // ITimerEvent: the refresh step.
    void OnTimer(int nTimerId) override;

    /// The host window record (the window procedures' view of the engine).
    HostWindow& GetHostWindow() { return m_window; }
    HWND GetMessageWindowHandle() const { return m_messageWindow.GetHandle(); }

private:
    bool CreateServices();
    void DestroyServices();
    void DeleteRetired();
    // Deletes service now, or keeps it in retired until its call-out unwinds.
    template <class T> void RetireOrDelete(T*& service, T*& retired);
    void UnregisterWindowClass();

    std::map<int, ITimerEvent*> m_timers;
    bool m_bInitialized;
    CDDDisplay* m_pDisplay;
    CInput* m_pInput;
    CSound* m_pSound;
    CDSound7* m_pSoundEx;
    Client::Utility::CMessageWindow m_messageWindow;
    HostWindow m_window;
    // The window class registered by Initialize; it lives as long as the engine.
    std::wstring m_strClassName;
    HINSTANCE m_hClassInstance = nullptr;
    bool m_bClassRegistered = false;
    // Services shut down from inside their own callbacks live until the
    // callback has returned.
    CInput* m_pRetiredInput = nullptr;
    CDDDisplay* m_pRetiredDisplay = nullptr;
    CDSound7* m_pRetiredSoundEx = nullptr;
};

} // namespace Game
} // namespace Veld
