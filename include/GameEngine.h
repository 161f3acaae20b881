// The engine object and its entry points.
//
// A client loads GameEngine.dll, calls CreateGameEngine once, drives the
// engine through IGameEngine on the thread that created it (that thread must
// pump window messages) and gives it back with DestoryGameEngine after
// calling Shutdown.
//
// Clients are built with the same compiler as the library (MinGW-w64 g++,
// i686): operations are called by vtable slot, so the order of every
// interface in include/ is fixed. Interfaces have no virtual destructor.
#pragma once

#include <windows.h>

struct IDirectDrawSurface7;

namespace Veld {
namespace Game {

class IDisplay;
class IInput;
class ISound;
class ISoundEx;
class IImage;
class ICanvas;
class IDDFont;

/// Periodic callback set with IGameEngine::SetTimer; runs on the engine's thread.
class ITimerEvent {
public:
    virtual void OnTimer(int nTimerId) = 0; // slot 0
};

/// Timer id of the engine's own refresh timer (300 ms). A client handler set
/// for this id replaces the engine's refresh step.
const int kRefreshTimerId = 0x7FFFFFFF;

class IGameEngine {
public:
    /// Registers the window class and creates the frame and render windows
    /// and the services. False when already initialised or on any failure.
    virtual bool Initialize(HINSTANCE hInstance, const wchar_t* pszClassName, HICON hIcon, int nWidth, int nHeight,
                            int nCaptionWidth, int nCaptionHeight, int nCmdShow) = 0; // slot 0
    /// Destroys the services and the windows; the thread's quit message (0) follows.
    virtual void Shutdown() = 0;        // slot 1
    virtual IDisplay* GetDisplay() = 0; // slot 2
    virtual IInput* GetInput() = 0;     // slot 3
    virtual ISound* GetSound() = 0;     // slot 4
    virtual ISoundEx* GetSoundEx() = 0; // slot 5
    /// The frame window; null before Initialize and after Shutdown.
    virtual HWND GetWindowHandle() = 0; // slot 6
    /// Sets or restarts timer nTimerId with handler pHandler. Works from construction on.
    virtual bool SetTimer(unsigned int nElapse, int nTimerId, ITimerEvent* pHandler) = 0; // slot 7
    virtual void KillTimer(int nTimerId) = 0;                                             // slot 8
    virtual IImage* CreateImage() = 0;                                                    // slot 9
    virtual void DestroyImage(IImage* pImage) = 0;                                        // slot 10
    virtual ICanvas* CreateCanvas() = 0;                                                  // slot 11
    virtual void DestroyCanvas(ICanvas* pCanvas) = 0;                                     // slot 12
    virtual IDDFont* CreateDDFont() = 0;                                                  // slot 13
    virtual void DestroyDDFont(IDDFont* pFont) = 0;                                       // slot 14
    /// A 32-bit system-memory surface; the client releases it.
    virtual IDirectDrawSurface7* CreateSurface(int nWidth, int nHeight) = 0; // slot 15
};

} // namespace Game
} // namespace Veld

extern "C" {
/// Makes the engine object; null when it cannot be allocated.
Veld::Game::IGameEngine* CreateGameEngine();
/// Destroys an engine made by CreateGameEngine (null or a foreign object is ignored).
/// Call Shutdown first.
void DestoryGameEngine(Veld::Game::IGameEngine* pEngine);
}

/// Function pointer types for clients that load the library at run time.
typedef Veld::Game::IGameEngine* (*PFN_CreateGameEngine)();
typedef void (*PFN_DestoryGameEngine)(Veld::Game::IGameEngine*);
