// The display: nine layers of client objects drawn into a 32-bit back image
// and presented to the render window through DirectDraw.
#pragma once

#include <cstdint>
#include <set>
#include <windows.h>
#include <ddraw.h>

#include "Display.h"

namespace Veld {
namespace Game {

class CDDImage;
class CDDCanvas;

class CDDDisplay final : public IDisplay {
public:
    CDDDisplay();
    ~CDDDisplay();

    CDDDisplay(const CDDDisplay&) = delete;
    CDDDisplay& operator=(const CDDDisplay&) = delete;

    bool Initialize(HWND hRenderWnd, HWND hFrameWnd) override;
    void ShowWindow(int nShow) override;
    void OnWindowMove(int x, int y) override;
    void OnWindowResize(int nWidth, int nHeight) override;
    bool Update(DWORD dwTick) override;
    HRESULT Present() override;
    ICanvas* GetCanvas() override;
    bool AddObject(IDisplayObject* pObject, unsigned int nLayer) override;
    void RemoveAllObjects() override;
    void XorWindowRegion(int left, int top, int right, int bottom) override;

    /// The DirectDraw object that images made for this display use.
    IDirectDraw7* GetDirectDraw() const { return m_pDirectDraw; }
    CDDImage* GetBackImage() const { return m_pBackImage; }
    IDirectDrawSurface7* GetScreenSurface() const { return m_pScreenSurface; }
    IDirectDrawSurface7* GetConversionSurface() const { return m_pConversionSurface; }
    int GetDesktopDepth() const { return m_nDesktopDepth; }
    /// True while objects are being updated or drawn.
    bool IsUpdating() const { return m_nUpdateDepth > 0; }

private:
    struct PointerOrder {
        bool operator()(IDisplayObject* a, IDisplayObject* b) const
        {
            return reinterpret_cast<std::uintptr_t>(a) < reinterpret_cast<std::uintptr_t>(b);
        }
    };
    using Layer = std::set<IDisplayObject*, PointerOrder>;

    void ReadWindowRects();
    void ConvertBackImage();

    DWORD m_dwLastUpdateTick;
    IDirectDraw7* m_pDirectDraw;
    IDirectDrawSurface7* m_pPrimarySurface;
    IDirectDrawSurface7* m_pScreenSurface;
    IDirectDrawSurface7* m_pConversionSurface;
    int m_nDesktopDepth;
    CDDImage* m_pBackImage;
    CDDCanvas* m_pCanvas;
    RECT m_rcClient;
    RECT m_rcScreen;
    HWND m_hRenderWnd;
    HWND m_hFrameWnd;
    bool m_bHasLastMove;
    POINT m_ptLastMove;
    bool m_bHasLastSize;
    SIZE m_szLastSize;
    Layer m_layers[kDisplayLayerCount];
    bool m_bAllDirty;
    int m_nUpdateDepth = 0;
};

} // namespace Game
} // namespace Veld
