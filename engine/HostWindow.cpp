#include "HostWindow.h"

#include <initializer_list>

#include "Display.h"
#include "Input.h"

namespace Veld {
namespace Game {

namespace {

const DWORD kFrameCreateStyle = 0x060A0000; // WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX
const DWORD kFrameStyle = 0x020A0000;       // the same without WS_CLIPSIBLINGS: no caption, no border
const DWORD kRenderStyle = 0x46000000;      // WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN

// Reflected control messages: WM_USER + the original message.
const UINT kReflectDrawItem = 0x042B;
const UINT kReflectCtlColorEdit = 0x0533;
const UINT kReflectCtlColorListBox = 0x0534;

HostWindow* RecordOf(HWND hWnd)
{
    return reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
}

// Mouse coordinates are the unsigned 16-bit halves of lParam.
int MouseX(LPARAM lParam)
{
    return static_cast<int>(static_cast<unsigned>(lParam) & 0xFFFF);
}
int MouseY(LPARAM lParam)
{
    return static_cast<int>((static_cast<unsigned>(lParam) >> 16) & 0xFFFF);
}

// Key and text-input messages shared by both windows: the event code, or -1.
int KeyEventOf(UINT message)
{
    switch (message) {
    case WM_KEYDOWN: return 0;
    case WM_KEYUP: return 1;
    case WM_CHAR: return 2;
    case WM_IME_STARTCOMPOSITION: return 3;
    case WM_IME_COMPOSITION: return 4;
    case WM_IME_ENDCOMPOSITION: return 5;
    case WM_IME_CHAR: return 6;
    default: return -1;
    }
}

// Passes a key or text-input message to the input service; false for others.
bool DispatchKey(HostWindow& rec, UINT message, WPARAM wParam, LPARAM lParam)
{
    const int key = KeyEventOf(message);
    if (key < 0)
        return false;
    if (rec.m_pInput)
        rec.m_pInput->OnKey(key, static_cast<unsigned short>(wParam), static_cast<DWORD>(lParam));
    return true;
}

void Paint(HWND hWnd)
{
    PAINTSTRUCT ps;
    BeginPaint(hWnd, &ps);
    EndPaint(hWnd, &ps);
}

void RemoveRect(HRGN region, int left, int top, int right, int bottom)
{
    HRGN piece = CreateRectRgn(left, top, right, bottom);
    if (!piece)
        return;
    CombineRgn(region, region, piece, RGN_XOR);
    DeleteObject(piece);
}

LRESULT RenderProc(HostWindow& rec, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (DispatchKey(rec, message, wParam, lParam))
        return 0;

    const int x = MouseX(lParam);
    const int y = MouseY(lParam);
    switch (message) {
    case WM_DESTROY: PostQuitMessage(0); return 0;
    case WM_PAINT: Paint(hWnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_MOUSEMOVE:
        if (rec.m_bDragging) {
            if (wParam & MK_LBUTTON) {
                POINT cursor;
                GetCursorPos(&cursor);
                SetWindowPos(rec.m_hFrameWindow, nullptr, cursor.x + rec.m_ptDragWindow.x - rec.m_ptDragCursor.x,
                             cursor.y + rec.m_ptDragWindow.y - rec.m_ptDragCursor.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            }
        } else if (rec.m_pInput) {
            rec.m_pInput->OnMouse(0, x, y);
        }
        return 0;
    case WM_LBUTTONDOWN: {
        if (rec.m_pInput)
            rec.m_pInput->OnMouse(1, x, y);
        SetCapture(rec.m_hRenderWindow);
        GetCursorPos(&rec.m_ptDragCursor);
        RECT frame = {0, 0, 0, 0};
        GetWindowRect(rec.m_hFrameWindow, &frame);
        rec.m_ptDragWindow.x = frame.left;
        rec.m_ptDragWindow.y = frame.top;
        if (rec.m_pInput && rec.m_pInput->HitTest(x, y))
            return 0; // a listener owns the point
        if (y < rec.m_nCaptionHeight)
            rec.m_bDragging = true;
        return 0;
    }
    case WM_LBUTTONUP:
        ReleaseCapture();
        if (rec.m_pInput)
            rec.m_pInput->OnMouse(2, x, y);
        rec.m_bDragging = false;
        return 0;
    case WM_LBUTTONDBLCLK:
        if (rec.m_pInput)
            rec.m_pInput->OnMouse(7, x, y);
        SetCapture(rec.m_hRenderWindow);
        return 0;
    case WM_RBUTTONDOWN:
        if (rec.m_pInput)
            rec.m_pInput->OnMouse(4, x, y);
        SetCapture(rec.m_hRenderWindow);
        return 0;
    case WM_RBUTTONUP:
        ReleaseCapture();
        if (rec.m_pInput)
            rec.m_pInput->OnMouse(5, x, y);
        return 0;
    case WM_MOUSELEAVE:
        if (rec.m_pDisplay)
            rec.m_pDisplay->OnWindowMove(-1, -1);
        return 0;
    default: return DefWindowProcW(hWnd, message, wParam, lParam);
    }
}

LRESULT FrameProc(HostWindow& rec, HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (DispatchKey(rec, message, wParam, lParam))
        return 0;

    switch (message) {
    case WM_MOVE:
        if (rec.m_pDisplay)
            rec.m_pDisplay->OnWindowMove(MouseX(lParam), MouseY(lParam));
        return 0;
    case WM_PAINT: Paint(hWnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_DRAWITEM: {
        const DRAWITEMSTRUCT* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        return SendMessageW(item ? item->hwndItem : nullptr, kReflectDrawItem, wParam, lParam);
    }
    case WM_NCHITTEST: return HTCLIENT;
    case WM_COMMAND:
        if (rec.m_pInput)
            rec.m_pInput->OnCommand(HIWORD(wParam) != 0 ? 1 : 0, static_cast<unsigned short>(wParam),
                                    static_cast<DWORD>(lParam));
        return 0;
    case WM_SYSCOMMAND: {
        if (!rec.m_pInput)
            return DefWindowProcW(hWnd, message, wParam, lParam);
        const short high = static_cast<short>(HIWORD(lParam));
        const int source = high < 0 ? 1 : (high == 0 ? 2 : 0);
        rec.m_pInput->OnSysCommand(source, static_cast<DWORD>(wParam), LOWORD(lParam), HIWORD(lParam));
        if (wParam == SC_CLOSE)
            return 0; // closing is the client's decision
        return DefWindowProcW(hWnd, message, wParam, lParam);
    }
    case WM_CTLCOLOREDIT: return SendMessageW(reinterpret_cast<HWND>(lParam), kReflectCtlColorEdit, wParam, 0);
    case WM_CTLCOLORLISTBOX: return SendMessageW(reinterpret_cast<HWND>(lParam), kReflectCtlColorListBox, wParam, 0);
    case WM_CTLCOLORSTATIC:
        // Static controls get the edit control's reflected number.
        return SendMessageW(reinterpret_cast<HWND>(lParam), kReflectCtlColorEdit, wParam, 0);
    default: return DefWindowProcW(hWnd, message, wParam, lParam);
    }
}

} // namespace

ATOM RegisterHostWindowClass(HINSTANCE hInstance, HICON hIcon, const wchar_t* pszClassName)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = &HostWindowProc;
    wc.hInstance = hInstance;
    wc.hIcon = hIcon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_WINDOW + 1));
    wc.lpszClassName = pszClassName;
    return RegisterClassExW(&wc);
}

bool CreateHostWindows(HostWindow& window, HINSTANCE hInstance, const wchar_t* pszClassName, int nCmdShow, int nWidth,
                       int nHeight)
{
    RECT desktop = {0, 0, 0, 0};
    GetWindowRect(GetDesktopWindow(), &desktop);
    const int dw = desktop.right - desktop.left;
    const int dh = desktop.bottom - desktop.top;
    int x = 0;
    int y = 0;
    if (dw > nWidth && dh > nHeight) {
        x = desktop.left + (dw - nWidth) / 2;
        y = desktop.top + (dh - nHeight) / 2;
    }

    window.m_hFrameWindow = CreateWindowExW(0, pszClassName, pszClassName, kFrameCreateStyle, x, y, nWidth, nHeight,
                                            nullptr, nullptr, hInstance, nullptr);
    window.m_hRenderWindow = CreateWindowExW(0, pszClassName, pszClassName, kRenderStyle, x, y, nWidth, nHeight,
                                             window.m_hFrameWindow, nullptr, hInstance, nullptr);
    if (!window.m_hRenderWindow)
        return false;

    SetWindowLongW(window.m_hFrameWindow, GWL_STYLE, static_cast<LONG>(kFrameStyle));
    SetWindowPos(window.m_hFrameWindow, HWND_TOP, x, y, nWidth, nHeight, 0);
    SetWindowPos(window.m_hRenderWindow, HWND_TOP, 0, 0, nWidth, nHeight, 0);

    SetWindowLongPtrW(window.m_hFrameWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&window));
    SetWindowLongPtrW(window.m_hRenderWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&window));

    ShowWindow(window.m_hFrameWindow, nCmdShow);
    UpdateWindow(window.m_hFrameWindow);
    ShowWindow(window.m_hRenderWindow, SW_SHOW);
    UpdateWindow(window.m_hRenderWindow);

    SetHostWindowRegions(window);
    return true;
}

void SetHostWindowRegions(HostWindow& window)
{
    RECT rc = {0, 0, 0, 0};
    GetWindowRect(window.m_hFrameWindow, &rc);
    const int w = rc.right - rc.left;
    const int h = rc.bottom - rc.top;

    HRGN region = CreateRectRgn(0, 0, w, h);
    if (region) {
        // Each corner loses its pixel and the two neighbours along the edges.
        RemoveRect(region, 0, 0, 2, 1);
        RemoveRect(region, 0, 1, 1, 2);
        RemoveRect(region, w - 2, 0, w, 1);
        RemoveRect(region, w - 1, 1, w, 2);
        RemoveRect(region, 0, h - 2, 1, h - 1);
        RemoveRect(region, 0, h - 1, 2, h);
        RemoveRect(region, w - 1, h - 2, w, h - 1);
        RemoveRect(region, w - 2, h - 1, w, h);
        if (!SetWindowRgn(window.m_hFrameWindow, region, TRUE))
            DeleteObject(region); // owned by the system only on success
    }

    RECT render = {0, 0, 0, 0};
    GetWindowRect(window.m_hRenderWindow, &render);
    HRGN renderRegion = CreateRectRgn(0, 0, render.right - render.left, render.bottom - render.top);
    if (renderRegion && !SetWindowRgn(window.m_hRenderWindow, renderRegion, TRUE))
        DeleteObject(renderRegion);
}

void DestroyHostWindows(HostWindow& window)
{
    if (!window.m_hFrameWindow || !IsWindow(window.m_hFrameWindow))
        return;
    MSG msg;
    while (PeekMessageW(&msg, window.m_hFrameWindow, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    SetWindowLongPtrW(window.m_hFrameWindow, GWLP_USERDATA, 0);
    DestroyWindow(window.m_hFrameWindow); // takes the render window, whose WM_DESTROY posts the quit message
    window.m_hRenderWindow = nullptr;
    window.m_hFrameWindow = nullptr;
}

void AbandonHostWindows(HostWindow& window)
{
    for (HWND hWnd : {window.m_hRenderWindow, window.m_hFrameWindow}) {
        if (hWnd && IsWindow(hWnd))
            SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
    }
    if (window.m_hFrameWindow && IsWindow(window.m_hFrameWindow))
        DestroyWindow(window.m_hFrameWindow);
    else if (window.m_hRenderWindow && IsWindow(window.m_hRenderWindow))
        DestroyWindow(window.m_hRenderWindow);
    window.m_hRenderWindow = nullptr;
    window.m_hFrameWindow = nullptr;
}

LRESULT CALLBACK HostWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    HostWindow* rec = RecordOf(hWnd);
    if (rec) {
        if (hWnd == rec->m_hFrameWindow)
            return FrameProc(*rec, hWnd, message, wParam, lParam);
        if (hWnd == rec->m_hRenderWindow)
            return RenderProc(*rec, hWnd, message, wParam, lParam);
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

} // namespace Game
} // namespace Veld
