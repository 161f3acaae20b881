// The display: layered client objects drawn into a back image and presented
// to the engine's render window, plus the dirty rectangle interface through
// which objects announce what must be redrawn.
//
// Operations are called by vtable slot: the order below is fixed, and no
// interface has a virtual destructor.
#pragma once

#include <windows.h>

namespace Veld {
namespace Game {

class ICanvas;

/// Dirty rectangle list of a canvas. While the list is not empty, the canvas's
/// DrawImage operations draw only inside the bounding box of the request's
/// intersections with the listed rectangles; with an empty list they draw nothing.
class IDirtyRectManager {
public:
    /// Appends a copy of *pRect (stored as given: not merged, clipped or sorted).
    /// nReserved has no effect; pass 0. Always true.
    virtual bool AddDirtyRect(const RECT* pRect, int nReserved) = 0; // slot 0
    /// Always true.
    virtual bool IsRectDirty(const RECT* pRect) = 0; // slot 1
    /// Empties the list. Always true.
    virtual bool ClearDirtyRects() = 0; // slot 2
};

/// A drawable object of the client, kept by the display in one or more layers.
///
/// The display calls exactly these three operations, by slot. A client that
/// needs virtual operations of its own declares them in a class derived from
/// IDisplayObject, never in front of or between these.
class IDisplayObject {
public:
    /// Called at most every 30 ms with the tick count and the display canvas's
    /// dirty list (null when the display has no canvas). True when the object
    /// changed visibly; the display then redraws every object.
    virtual bool Update(DWORD dwTick, IDirtyRectManager* pDirty) = 0; // slot 0
    /// Draws the object through pCanvas. The display ignores the result.
    virtual bool Render(ICanvas* pCanvas) = 0; // slot 1
    /// The object's area in back-image coordinates. An empty rectangle makes
    /// a change reported by Update count as invisible.
    virtual RECT GetRect() = 0; // slot 2
};

/// Number of display layers; layer 0 is drawn first, layer kDisplayLayerCount - 1 on top.
const unsigned int kDisplayLayerCount = 9;

/// The engine's display (one per engine; owned by the engine).
class IDisplay {
public:
    /// Used by the engine only. Creates the DirectDraw objects for the two windows.
    virtual bool Initialize(HWND hRenderWnd, HWND hFrameWnd) = 0; // slot 0
    /// 0 hides the game window, 1 shows it and forces a full present; other values do nothing.
    virtual void ShowWindow(int nShow) = 0;                   // slot 1
    virtual void OnWindowMove(int x, int y) = 0;              // slot 2
    virtual void OnWindowResize(int nWidth, int nHeight) = 0; // slot 3
    /// One frame: updates every object and redraws all of them when one changed.
    /// False when called less than 30 ms after the last accepted frame.
    virtual bool Update(DWORD dwTick) = 0; // slot 4
    /// Shows the back image in the render window; the last DirectDraw result.
    virtual HRESULT Present() = 0; // slot 5
    /// The canvas whose target is the back image; null before Initialize.
    virtual ICanvas* GetCanvas() = 0; // slot 6
    /// Inserts pObject into layer nLayer (0 to 8). False for a higher layer or
    /// when the object is already in that layer. The display does not own it.
    virtual bool AddObject(IDisplayObject* pObject, unsigned int nLayer) = 0; // slot 7
    /// Empties every layer; the objects themselves are not touched.
    virtual void RemoveAllObjects() = 0; // slot 8
    /// Toggles the rectangle in the render window's visible region (exclusive or).
    virtual void XorWindowRegion(int left, int top, int right, int bottom) = 0; // slot 9
};

} // namespace Game
} // namespace Veld
