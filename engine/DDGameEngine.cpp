#include "DDGameEngine.h"

#include <new>

#include "CInput.h"

namespace Veld {
namespace Game {

namespace {
const UINT kRefreshElapse = 300;
const UINT kDeleteRetiredMessage = WM_APP + 0x100; // posted to the engine's message window
} // namespace

CDDGameEngine::CDDGameEngine()
    : m_bInitialized(false), m_pDisplay(nullptr), m_pInput(nullptr), m_pSound(nullptr), m_pSoundEx(nullptr)
{
    // Without the window the engine still exists, but no timer ever fires.
    m_messageWindow.Create(static_cast<Client::Utility::IMessageWindowCallback*>(this));
}

CDDGameEngine::~CDDGameEngine()
{
    m_messageWindow.Destroy(false);
    DeleteRetired();
    // Windows still holding the record (no Shutdown, or a failed Initialize)
    // must not reach it after it is freed.
    AbandonHostWindows(m_window);
}

bool CDDGameEngine::Initialize(HINSTANCE hInstance, const wchar_t* pszClassName, HICON hIcon, int nWidth, int nHeight,
                               int nCaptionWidth, int nCaptionHeight, int nCmdShow)
{
    if (m_bInitialized || m_window.m_hRenderWindow)
        return false;
    if (!RegisterHostWindowClass(hInstance, hIcon, pszClassName))
        return false;
    m_window.m_nCaptionWidth = nCaptionWidth;
    m_window.m_nCaptionHeight = nCaptionHeight;
    if (!CreateHostWindows(m_window, hInstance, pszClassName, nCmdShow, nWidth, nHeight) || !m_window.m_hRenderWindow)
        return false;
    if (!CreateServices())
        return false;
    m_bInitialized = true;
    SetTimer(kRefreshElapse, kRefreshTimerId, static_cast<ITimerEvent*>(this));
    return true;
}

void CDDGameEngine::Shutdown()
{
    if (!m_bInitialized)
        return;
    DestroyServices();
    DestroyHostWindows(m_window);
    m_bInitialized = false;
}

bool CDDGameEngine::CreateServices()
{
    m_pInput = new (std::nothrow) CInput();
    if (!m_pInput)
        return false;
    m_window.m_pInput = m_pInput;
    return true;
}

void CDDGameEngine::DestroyServices()
{
    m_window.m_pDisplay = nullptr;
    m_window.m_pInput = nullptr;
    if (m_pInput) {
        m_pInput->Clear();
        if (m_pInput->IsDispatching()) {
            // Shut down by one of its own listeners: free it once the event has unwound.
            DeleteRetired();
            m_pRetiredInput = m_pInput;
            PostMessageW(m_messageWindow.GetHandle(), kDeleteRetiredMessage, 0, 0);
        } else {
            delete m_pInput;
        }
        m_pInput = nullptr;
    }
}

void CDDGameEngine::DeleteRetired()
{
    if (m_pRetiredInput && !m_pRetiredInput->IsDispatching()) {
        delete m_pRetiredInput;
        m_pRetiredInput = nullptr;
    }
}

IDisplay* CDDGameEngine::GetDisplay()
{
    return nullptr;
}
IInput* CDDGameEngine::GetInput()
{
    return m_bInitialized ? m_pInput : nullptr;
}
ISound* CDDGameEngine::GetSound()
{
    return nullptr;
}
ISoundEx* CDDGameEngine::GetSoundEx()
{
    return nullptr;
}

HWND CDDGameEngine::GetWindowHandle()
{
    return m_window.m_hFrameWindow;
}

bool CDDGameEngine::SetTimer(unsigned int nElapse, int nTimerId, ITimerEvent* pHandler)
{
    m_timers[nTimerId] = pHandler;
    ::SetTimer(m_messageWindow.GetHandle(), static_cast<UINT_PTR>(static_cast<unsigned int>(nTimerId)), nElapse,
               nullptr);
    return true;
}

void CDDGameEngine::KillTimer(int nTimerId)
{
    m_timers.erase(nTimerId);
    ::KillTimer(m_messageWindow.GetHandle(), static_cast<UINT_PTR>(static_cast<unsigned int>(nTimerId)));
}

LRESULT CDDGameEngine::OnMessage(UINT message, WPARAM wParam, LPARAM, bool* handled)
{
    *handled = false;
    if (message == kDeleteRetiredMessage) {
        DeleteRetired();
        *handled = true;
        return 0;
    }
    if (message == WM_TIMER) {
        const int id = static_cast<int>(static_cast<unsigned int>(wParam));
        auto it = m_timers.find(id);
        if (it != m_timers.end() && it->second) {
            ITimerEvent* handler = it->second; // the handler may change the table
            handler->OnTimer(id);
        }
        *handled = true;
    }
    return 0;
}

void CDDGameEngine::OnTimer(int nTimerId)
{
    if (nTimerId != kRefreshTimerId || !m_pDisplay)
        return;
}

IImage* CDDGameEngine::CreateImage()
{
    return nullptr;
}
void CDDGameEngine::DestroyImage(IImage*) {}
ICanvas* CDDGameEngine::CreateCanvas()
{
    return nullptr;
}
void CDDGameEngine::DestroyCanvas(ICanvas*) {}
IDDFont* CDDGameEngine::CreateDDFont()
{
    return nullptr;
}
void CDDGameEngine::DestroyDDFont(IDDFont*) {}
IDirectDrawSurface7* CDDGameEngine::CreateSurface(int, int)
{
    return nullptr;
}

} // namespace Game
} // namespace Veld
