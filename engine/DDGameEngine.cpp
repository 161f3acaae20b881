#include "DDGameEngine.h"

#include <exception>
#include <new>

#include "CInput.h"
#include "DDCanvas.h"
#include "DDDisplay.h"
#include "DDFont.h"
#include "DDImage.h"
#include "DDSurface.h"
#include "DSound7.h"
#include "MciSound.h"

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
    // Destroyed without Shutdown: the services go first, as Shutdown does it
    // (their threads and sounds must not outlive the engine).
    DestroyServices();
    m_messageWindow.Destroy(false);
    DeleteRetired();
    // Windows still holding the record (no Shutdown, or a failed Initialize)
    // must not reach it after it is freed.
    AbandonHostWindows(m_window);
    UnregisterWindowClass();
}

void CDDGameEngine::UnregisterWindowClass()
{
    if (!m_bClassRegistered)
        return;
    UnregisterClassW(m_strClassName.c_str(), m_hClassInstance);
    m_bClassRegistered = false;
    m_strClassName.clear();
    m_hClassInstance = nullptr;
}

bool CDDGameEngine::Initialize(HINSTANCE hInstance, const wchar_t* pszClassName, HICON hIcon, int nWidth, int nHeight,
                               int nCaptionWidth, int nCaptionHeight, int nCmdShow)
{
    // An engine initialises once: its class stays registered after Shutdown.
    if (m_bInitialized || m_bClassRegistered || m_window.m_hRenderWindow)
        return false;
    if (!pszClassName || nWidth <= 0 || nHeight <= 0)
        return false;
    try {
        m_strClassName = pszClassName;
    } catch (const std::exception&) {
        return false;
    }
    if (!RegisterHostWindowClass(hInstance, hIcon, pszClassName))
        return false;
    m_hClassInstance = hInstance;
    m_bClassRegistered = true;
    m_window.m_nCaptionWidth = nCaptionWidth;
    m_window.m_nCaptionHeight = nCaptionHeight;
    if (!CreateHostWindows(m_window, hInstance, pszClassName, nCmdShow, nWidth, nHeight) || !m_window.m_hRenderWindow ||
        !CreateServices()) {
        // Undone without the quit message: the engine is as before the call.
        AbandonHostWindows(m_window);
        UnregisterWindowClass();
        return false;
    }
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
    m_pDisplay = new (std::nothrow) CDDDisplay();
    if (!m_pDisplay || !m_pDisplay->Initialize(m_window.m_hRenderWindow, m_window.m_hFrameWindow)) {
        delete m_pDisplay;
        m_pDisplay = nullptr;
        return false;
    }
    m_window.m_pDisplay = m_pDisplay;

    m_pInput = new (std::nothrow) CInput();
    if (!m_pInput) {
        m_window.m_pDisplay = nullptr;
        delete m_pDisplay;
        m_pDisplay = nullptr;
        return false;
    }
    m_window.m_pInput = m_pInput;

    m_pSound = new (std::nothrow) CSound();
    if (!m_pSound) {
        m_window.m_pInput = nullptr;
        delete m_pInput;
        m_pInput = nullptr;
        m_window.m_pDisplay = nullptr;
        delete m_pDisplay;
        m_pDisplay = nullptr;
        return false;
    }

    // Without a sound card the device stays, without a DirectSound object.
    m_pSoundEx = new (std::nothrow) CDSound7();
    if (m_pSoundEx)
        m_pSoundEx->CreateDirectSound(m_window.m_hFrameWindow);
    return true;
}

namespace {

// A service is busy while one of its own call-outs (an object's update, a
// listener, a sound event) is on the stack; it must not be freed under it.
bool IsBusy(const CDDDisplay* p)
{
    return p->IsUpdating();
}
bool IsBusy(const CInput* p)
{
    return p->IsDispatching();
}
bool IsBusy(const CDSound7* p)
{
    return p->IsDispatching();
}

template <class T> void DeleteIfIdle(T*& retired)
{
    if (retired && !IsBusy(retired)) {
        delete retired;
        retired = nullptr;
    }
}

} // namespace

template <class T> void CDDGameEngine::RetireOrDelete(T*& service, T*& retired)
{
    if (IsBusy(service)) {
        // Freed by the message window once the call-out has unwound.
        DeleteRetired();
        retired = service;
        PostMessageW(m_messageWindow.GetHandle(), kDeleteRetiredMessage, 0, 0);
    } else {
        delete service;
    }
    service = nullptr;
}

void CDDGameEngine::DestroyServices()
{
    m_window.m_pDisplay = nullptr;
    if (m_pDisplay) {
        if (m_pDisplay->IsUpdating())
            m_pDisplay->RemoveAllObjects(); // shut down by one of its objects: no more object calls
        RetireOrDelete(m_pDisplay, m_pRetiredDisplay);
    }
    m_window.m_pInput = nullptr;
    if (m_pInput) {
        m_pInput->Clear();
        RetireOrDelete(m_pInput, m_pRetiredInput);
    }
    if (m_pSound) {
        delete m_pSound;
        m_pSound = nullptr;
    }
    if (m_pSoundEx) {
        if (m_pSoundEx->IsDispatching())
            m_pSoundEx->Retire(); // shut down from a sound event: silent from now on
        RetireOrDelete(m_pSoundEx, m_pRetiredSoundEx);
    }
    m_window.m_pDisplay = nullptr;
    m_window.m_pInput = nullptr;
}

void CDDGameEngine::DeleteRetired()
{
    DeleteIfIdle(m_pRetiredDisplay);
    DeleteIfIdle(m_pRetiredInput);
    DeleteIfIdle(m_pRetiredSoundEx);
}

IDisplay* CDDGameEngine::GetDisplay()
{
    return m_bInitialized ? m_pDisplay : nullptr;
}
IInput* CDDGameEngine::GetInput()
{
    return m_bInitialized ? m_pInput : nullptr;
}
ISound* CDDGameEngine::GetSound()
{
    return m_bInitialized ? m_pSound : nullptr;
}
ISoundEx* CDDGameEngine::GetSoundEx()
{
    return m_bInitialized ? m_pSoundEx : nullptr;
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
    CDDDisplay* display = m_pDisplay;
    if (!display->Update(GetTickCount()))
        Sleep(10);
    else if (m_pDisplay == display) // an object may have shut the engine down
        display->Present();
}

IImage* CDDGameEngine::CreateImage()
{
    if (!m_bInitialized || !m_pDisplay || !m_pDisplay->GetDirectDraw())
        return nullptr;
    CDDImage* image = new (std::nothrow) CDDImage();
    if (image)
        image->SetDirectDraw(m_pDisplay->GetDirectDraw());
    return image;
}

void CDDGameEngine::DestroyImage(IImage* pImage)
{
    delete dynamic_cast<CDDImage*>(pImage); // other classes and null: nothing
}

CDDImage* CDDGameEngine::NewImage()
{
    return static_cast<CDDImage*>(CreateImage());
}

void CDDGameEngine::FreeImage(CDDImage* pImage)
{
    delete pImage;
}

ICanvas* CDDGameEngine::CreateCanvas()
{
    if (!m_bInitialized)
        return nullptr;
    return new (std::nothrow) CDDCanvas();
}

void CDDGameEngine::DestroyCanvas(ICanvas* pCanvas)
{
    // Only the engine's own canvases are freed; anything else is left alone.
    CDDCanvas* canvas = dynamic_cast<CDDCanvas*>(pCanvas);
    if (!canvas)
        return;
    canvas->ResetTarget();
    delete canvas;
}
IDDFont* CDDGameEngine::CreateDDFont()
{
    if (!m_bInitialized)
        return nullptr;
    CDDFont* font = new (std::nothrow) CDDFont();
    if (font)
        font->SetImageFactory(this); // the glyph's images come from CreateImage
    return font;
}

void CDDGameEngine::DestroyDDFont(IDDFont* pFont)
{
    delete dynamic_cast<CDDFont*>(pFont); // other classes and null: nothing
}

IDirectDrawSurface7* CDDGameEngine::CreateSurface(int nWidth, int nHeight)
{
    if (!m_bInitialized || nWidth <= 0 || nHeight <= 0 || !m_pDisplay)
        return nullptr;
    return CreateArgbSurface(m_pDisplay->GetDirectDraw(), nWidth, nHeight);
}

} // namespace Game
} // namespace Veld
