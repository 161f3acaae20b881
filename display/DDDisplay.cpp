#include "DDDisplay.h"

#include <cstdarg>
#include <cwchar>
#include <vector>
#include <new>

#include "DDCanvas.h"
#include "DDImage.h"
#include "DDSurface.h"
#include "Rgb565.h"

namespace Veld {
namespace Game {

namespace {

const int kFrameInterval = 30; // ms between accepted updates

template <class T> void ReleaseAndNull(T*& p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

// Debugger lines cost about 12 us each even when nobody listens (200
// changing objects would spend 5 ms a frame on them), so they are written
// only while a debugger is attached.
void DebugText(const wchar_t* text)
{
    if (IsDebuggerPresent())
        OutputDebugStringW(text);
}

void DebugLine(const wchar_t* format, ...)
{
    if (!IsDebuggerPresent())
        return;
    wchar_t line[128];
    va_list args;
    va_start(args, format);
    std::vswprintf(line, 128, format, args); // truncates at 127 characters
    va_end(args);
    line[127] = L'\0';
    OutputDebugStringW(line);
}

int ScreenDepth()
{
    HDC dc = GetDC(nullptr);
    const int depth = dc ? GetDeviceCaps(dc, BITSPIXEL) : 0;
    if (dc)
        ReleaseDC(nullptr, dc);
    return depth;
}

} // namespace

CDDDisplay::CDDDisplay()
    : m_dwLastUpdateTick(0), m_pDirectDraw(nullptr), m_pPrimarySurface(nullptr), m_pScreenSurface(nullptr),
      m_pConversionSurface(nullptr), m_nDesktopDepth(ScreenDepth()), m_pBackImage(nullptr),
      m_pCanvas(nullptr), m_rcClient{0, 0, 0, 0}, m_rcScreen{0, 0, 0, 0}, m_hRenderWnd(nullptr), m_hFrameWnd(nullptr),
      m_bHasLastMove(false), m_ptLastMove{0, 0}, m_bHasLastSize(false), m_szLastSize{0, 0}, m_bAllDirty(false)
{
}

CDDDisplay::~CDDDisplay()
{
    if (m_pDirectDraw) {
        if (m_pCanvas) {
            m_pCanvas->ResetTarget();
            delete m_pCanvas;
            m_pCanvas = nullptr;
        }
        delete m_pBackImage;
        m_pBackImage = nullptr;
        ReleaseAndNull(m_pConversionSurface);
        ReleaseAndNull(m_pScreenSurface);
        ReleaseAndNull(m_pPrimarySurface);
        ReleaseAndNull(m_pDirectDraw);
    }
    RemoveAllObjects();
}

void CDDDisplay::ReadWindowRects()
{
    GetClientRect(m_hRenderWnd, &m_rcClient);
    GetClientRect(m_hRenderWnd, &m_rcScreen);
    POINT tl = {m_rcScreen.left, m_rcScreen.top};
    POINT br = {m_rcScreen.right, m_rcScreen.bottom};
    ClientToScreen(m_hRenderWnd, &tl);
    ClientToScreen(m_hRenderWnd, &br);
    m_rcScreen = {tl.x, tl.y, br.x, br.y};
}

bool CDDDisplay::Initialize(HWND hRenderWnd, HWND hFrameWnd)
{
    if (!hRenderWnd || !hFrameWnd || !IsWindow(hRenderWnd) || !IsWindow(hFrameWnd))
        return false;
    m_hRenderWnd = hRenderWnd;
    m_hFrameWnd = hFrameWnd;

    if (DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&m_pDirectDraw), IID_IDirectDraw7, nullptr) != DD_OK)
        return false;
    if (m_pDirectDraw->SetCooperativeLevel(m_hRenderWnd, DDSCL_NORMAL) != DD_OK)
        return false;
    ReadWindowRects();

    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (m_pDirectDraw->CreateSurface(&desc, &m_pPrimarySurface, nullptr) != DD_OK)
        return false;

    IDirectDrawClipper* clipper = nullptr;
    if (m_pDirectDraw->CreateClipper(0, &clipper, nullptr) != DD_OK)
        return false;
    clipper->SetHWnd(0, m_hRenderWnd);
    m_pPrimarySurface->SetClipper(clipper);
    clipper->Release(); // the primary surface keeps it

    // The back image must fit the image limits; so must the screen surface.
    if (!IsArgbSurfaceSizeAllowed(m_rcClient.right - m_rcClient.left, m_rcClient.bottom - m_rcClient.top))
        return false;
    desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    desc.dwWidth = static_cast<DWORD>(m_rcClient.right - m_rcClient.left);
    desc.dwHeight = static_cast<DWORD>(m_rcClient.bottom - m_rcClient.top);
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    if (m_pDirectDraw->CreateSurface(&desc, &m_pScreenSurface, nullptr) != DD_OK)
        return false;
    DDSURFACEDESC2 screen = {};
    screen.dwSize = sizeof(screen);
    m_pScreenSurface->GetSurfaceDesc(&screen);

    if (m_nDesktopDepth != 32) {
        desc = {};
        desc.dwSize = sizeof(desc);
        desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
        desc.dwWidth = screen.dwWidth;
        desc.dwHeight = screen.dwHeight;
        desc.ddpfPixelFormat = screen.ddpfPixelFormat;
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        if (m_pDirectDraw->CreateSurface(&desc, &m_pConversionSurface, nullptr) != DD_OK)
            m_pConversionSurface = nullptr; // Present then skips the conversion
    }

    m_pBackImage = new (std::nothrow) CDDImage();
    if (m_pBackImage) {
        m_pBackImage->SetDirectDraw(m_pDirectDraw);
        m_pBackImage->Create(static_cast<int>(screen.dwWidth), static_cast<int>(screen.dwHeight));
    }
    m_pCanvas = new (std::nothrow) CDDCanvas();
    if (m_pCanvas)
        m_pCanvas->SetTarget(m_pBackImage);
    return true;
}

void CDDDisplay::ShowWindow(int nShow)
{
    if (!m_pDirectDraw)
        return;
    if (nShow == 0) {
        ::ShowWindow(m_hFrameWnd, SW_HIDE);
    } else if (nShow == 1) {
        DebugText(L"ShowWindow AllDirty\n");
        m_bAllDirty = true;
        ::ShowWindow(m_hFrameWnd, SW_SHOW);
    }
}

void CDDDisplay::OnWindowMove(int x, int y)
{
    if (m_bHasLastMove && m_ptLastMove.x == x && m_ptLastMove.y == y)
        return;
    DebugText(L"OnWindowMove AllDirty\n");
    m_bHasLastMove = true;
    m_ptLastMove = {x, y};
    ReadWindowRects();
    m_bAllDirty = true;
}

void CDDDisplay::OnWindowResize(int nWidth, int nHeight)
{
    if (m_bHasLastSize && m_szLastSize.cx == nWidth && m_szLastSize.cy == nHeight)
        return;
    DebugText(L"OnWindowResize AllDirty\n");
    m_bHasLastSize = true;
    m_szLastSize = {nWidth, nHeight};
    ReadWindowRects();
    m_bAllDirty = true;
}

bool CDDDisplay::Update(DWORD dwTick)
{
    // Signed difference: a tick counter that wrapped still moves forward.
    if (static_cast<std::int32_t>(dwTick - m_dwLastUpdateTick) < kFrameInterval)
        return false;
    m_dwLastUpdateTick = dwTick;
    if (!m_pDirectDraw)
        return false;

    struct Depth {
        explicit Depth(int& d) : m_d(d) { ++m_d; }
        ~Depth() { --m_d; }
        int& m_d;
    } depth(m_nUpdateDepth);
    IDirtyRectManager* dirty = m_pCanvas ? static_cast<IDirtyRectManager*>(m_pCanvas) : nullptr;
    bool changed = false;
    int counter = 0;
    for (Layer& layer : m_layers) {
        // Objects may empty the layers from their own Update: walk a copy and
        // skip what is gone.
        const std::vector<IDisplayObject*> objects(layer.begin(), layer.end());
        for (IDisplayObject* object : objects) {
            if (!layer.count(object))
                continue;
            if (object->Update(dwTick, dirty)) {
                const RECT rc = object->GetRect();
                if (rc.right - rc.left > 0 && rc.bottom - rc.top > 0) {
                    changed = true;
                    DebugLine(L"RECT(left:%d, right:%d, top:%d, bottom:%d)\n", rc.left, rc.right, rc.top, rc.bottom);
                    DebugLine(L"%d to render\n", counter);
                }
            }
            ++counter;
        }
    }

    if (changed) {
        DebugText(L"Update AllDirty\n");
        if (m_pCanvas) {
            RECT whole = {0, 0, m_pBackImage ? m_pBackImage->GetWidth() : 0,
                          m_pBackImage ? m_pBackImage->GetHeight() : 0};
            m_pCanvas->AddDirtyRect(&whole, 0);
        }
        for (Layer& layer : m_layers) {
            const std::vector<IDisplayObject*> objects(layer.begin(), layer.end());
            for (IDisplayObject* object : objects) {
                if (layer.count(object))
                    object->Render(m_pCanvas);
            }
        }
        if (m_pCanvas)
            m_pCanvas->ClearDirtyRects();
        m_bAllDirty = true;
    }
    return true;
}

void CDDDisplay::ConvertBackImage()
{
    // Both surfaces must exist and the target must really be 16 bits deep.
    IDirectDrawSurface7* back = m_pBackImage ? m_pBackImage->GetSurface() : nullptr;
    if (!back || !m_pConversionSurface)
        return;
    DDSURFACEDESC2 src = {};
    src.dwSize = sizeof(src);
    DDSURFACEDESC2 dst = {};
    dst.dwSize = sizeof(dst);
    if (back->Lock(nullptr, &src, DDLOCK_WAIT, nullptr) != DD_OK)
        return;
    if (m_pConversionSurface->Lock(nullptr, &dst, DDLOCK_WAIT, nullptr) != DD_OK) {
        back->Unlock(nullptr);
        return;
    }
    if (dst.ddpfPixelFormat.dwRGBBitCount == 16) {
        const int width = static_cast<int>(src.dwWidth < dst.dwWidth ? src.dwWidth : dst.dwWidth);
        const int height = static_cast<int>(src.dwHeight < dst.dwHeight ? src.dwHeight : dst.dwHeight);
        ConvertToRgb565(static_cast<const std::uint8_t*>(src.lpSurface), src.lPitch,
                        static_cast<std::uint8_t*>(dst.lpSurface), dst.lPitch, width, height);
    }
    m_pConversionSurface->Unlock(nullptr);
    back->Unlock(nullptr);
}

HRESULT CDDDisplay::Present()
{
    if (!m_pPrimarySurface || !m_pScreenSurface)
        return DDERR_NOTINITIALIZED;

    if (m_bAllDirty) {
        m_bAllDirty = false;
        IDirectDrawSurface7* source = nullptr;
        if (m_nDesktopDepth == 32) {
            source = m_pBackImage ? m_pBackImage->GetSurface() : nullptr;
        } else {
            ConvertBackImage();
            source = m_pConversionSurface;
        }
        if (source)
            m_pScreenSurface->Blt(&m_rcClient, source, &m_rcClient, DDBLT_WAIT, nullptr);
    }

    for (;;) {
        HRESULT hr = m_pPrimarySurface->Blt(&m_rcScreen, m_pScreenSurface, &m_rcClient, DDBLT_WAIT, nullptr);
        if (hr == DDERR_WASSTILLDRAWING)
            continue;
        if (hr == DDERR_SURFACELOST) {
            HRESULT restored = m_pPrimarySurface->Restore();
            if (FAILED(restored))
                return restored;
            return m_pScreenSurface->Restore();
        }
        return hr;
    }
}

ICanvas* CDDDisplay::GetCanvas()
{
    return m_pCanvas;
}

bool CDDDisplay::AddObject(IDisplayObject* pObject, unsigned int nLayer)
{
    if (nLayer >= kDisplayLayerCount || !pObject)
        return false;
    return m_layers[nLayer].insert(pObject).second;
}

void CDDDisplay::RemoveAllObjects()
{
    for (Layer& layer : m_layers)
        layer.clear();
}

void CDDDisplay::XorWindowRegion(int left, int top, int right, int bottom)
{
    HRGN rect = CreateRectRgn(left, top, right, bottom);
    HRGN current = CreateRectRgn(0, 0, 0, 0);
    if (!rect || !current) {
        if (rect)
            DeleteObject(rect);
        if (current)
            DeleteObject(current);
        return;
    }
    if (GetWindowRgn(m_hRenderWnd, current) == ERROR)
        SetRectRgn(current, 0, 0, 0, 0); // no region yet: start empty
    CombineRgn(current, current, rect, RGN_XOR);
    if (!SetWindowRgn(m_hRenderWnd, current, TRUE))
        DeleteObject(current);
    DeleteObject(rect);
}

} // namespace Game
} // namespace Veld
