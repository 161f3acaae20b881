// Input: the engine hands the game window's mouse, keyboard, text-input,
// command and system-command messages to the client's listeners.
//
// Every registered listener of a kind receives every event of that kind, in
// registration order; no listener can consume an event. Listeners may add and
// remove listeners (themselves included) inside OnMouse, OnKey, OnCommand and
// OnSysCommand, but not inside HitTest or IInputListenerVisitor::Visit.
// Listeners are not owned: remove them before destroying them.
//
// Operations are called by vtable slot: the order of every interface below is
// fixed, and no interface has a virtual destructor.
#pragma once

#include <windows.h>

namespace Veld {
namespace Game {

/// Event codes of OnMouse. Mouse coordinates are the message's unsigned 16-bit
/// halves, so points left of or above the window arrive as 32768 or more.
enum MouseEvent {
    MouseMove = 0, ///< not sent while the window is being dragged
    MouseLButtonDown = 1,
    MouseLButtonUp = 2,
    MouseRButtonDown = 4,
    MouseRButtonUp = 5,
    MouseLButtonDblClk = 7
};

/// Event codes of OnKey.
enum KeyEvent {
    KeyDown = 0,              ///< code: virtual-key code; param: the message's lParam
    KeyUp = 1,                ///< as KeyDown
    KeyChar = 2,              ///< code: UTF-16 character; param: lParam
    KeyCompositionStart = 3,  ///< code, param: the message's wParam and lParam (IME)
    KeyCompositionChange = 4, ///< as KeyCompositionStart
    KeyCompositionEnd = 5,    ///< as KeyCompositionStart
    KeyCompositionChar = 6    ///< code: composed character; param: lParam
};

/// Kinds of OnCommand: where the WM_COMMAND came from.
enum CommandKind {
    CommandFromMenu = 0,   ///< high word of wParam is 0
    CommandFromControl = 1 ///< high word of wParam is not 0 (accelerator or control notification)
};

/// Kinds of OnSysCommand, from the high word of the WM_SYSCOMMAND's lParam.
enum SysCommandKind {
    SysCommandByMouse = 0,       ///< positive: x and y are the mouse position
    SysCommandByAccelerator = 1, ///< negative
    SysCommandByMnemonic = 2     ///< 0
};

/// A mouse and keyboard listener, implemented by the client.
///
/// The engine calls exactly these three operations, by slot. A client that
/// needs virtual operations of its own declares them in a class derived from
/// IInputEvent, never in front of or between these.
class IInputEvent {
public:
    /// True when the point (client coordinates of the render window) belongs
    /// to the listener; a claimed left press does not start a window drag.
    virtual bool HitTest(int x, int y) = 0; // slot 0
    /// nEvent is a MouseEvent. The result is ignored.
    virtual bool OnMouse(int nEvent, int x, int y) = 0; // slot 1
    /// nEvent is a KeyEvent. The result is ignored.
    virtual bool OnKey(int nEvent, unsigned short nCode, DWORD dwParam) = 0; // slot 2
};

/// A command listener, implemented by the client.
class ICommandEvent {
public:
    /// WM_COMMAND: nKind is a CommandKind, nId the low word of wParam, dwParam
    /// the lParam. The result is ignored.
    virtual bool OnCommand(int nKind, unsigned short nId, DWORD dwParam) = 0; // slot 0
    /// WM_SYSCOMMAND: nKind is a SysCommandKind, dwCommand the wParam, x and y
    /// the low and high words of lParam. SC_CLOSE is left to the listeners:
    /// the window does not close by itself. The result is ignored.
    virtual bool OnSysCommand(int nKind, DWORD dwCommand, unsigned short x, unsigned short y) = 0; // slot 1
};

/// Walks the input listeners (IInput::EnumInputListeners), implemented by the client.
class IInputListenerVisitor {
public:
    virtual void Begin() = 0; // slot 0
    /// pContext is the same 8-byte zeroed area on every call. False stops the walk.
    virtual bool Visit(IInputEvent* pListener, void* pContext) = 0; // slot 1
    /// Called after the walk, also when Visit stopped it.
    virtual void End() = 0; // slot 2
};

/// The engine's input service (one per engine; owned by the engine).
class IInput {
public:
    /// Registers pListener (null is ignored). Adding a listener twice delivers
    /// each event to it once but gives it two places in HitTest and EnumInputListeners.
    virtual void AddInputListener(IInputEvent* pListener) = 0; // slot 0
    /// Removes one place of pListener and stops its events.
    virtual void RemoveInputListener(IInputEvent* pListener) = 0;     // slot 1
    virtual void AddCommandListener(ICommandEvent* pListener) = 0;    // slot 2
    virtual void RemoveCommandListener(ICommandEvent* pListener) = 0; // slot 3
    /// Begin, Visit for each input listener in order of addition, End. Null is ignored.
    virtual void EnumInputListeners(IInputListenerVisitor* pVisitor) = 0; // slot 4
    /// True at the first input listener whose HitTest claims the point.
    virtual bool HitTest(int x, int y) = 0; // slot 5
    /// Event entry points, called by the engine's window procedure.
    virtual void OnMouse(int nEvent, int x, int y) = 0;                                            // slot 6
    virtual void OnKey(int nEvent, unsigned short nCode, DWORD dwParam) = 0;                       // slot 7
    virtual void OnCommand(int nKind, unsigned short nId, DWORD dwParam) = 0;                      // slot 8
    virtual void OnSysCommand(int nKind, DWORD dwCommand, unsigned short x, unsigned short y) = 0; // slot 9
};

} // namespace Game
} // namespace Veld
