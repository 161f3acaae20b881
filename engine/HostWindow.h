// The frame and render windows of the game and their window procedure.
#pragma once

#include <windows.h>

namespace Veld {
namespace Game {

class IInput;
class IDisplay;

struct HostWindow {
    HWND m_hRenderWindow = nullptr;
    HWND m_hFrameWindow = nullptr;
    IInput* m_pInput = nullptr;     // receives mouse, keyboard and command messages
    IDisplay* m_pDisplay = nullptr; // receives window moves
    int m_nCaptionWidth = 732;      // stored, not read: the whole strip's width drags
    int m_nCaptionHeight = 32;      // a left press above this starts a drag
    POINT m_ptDragCursor = {0, 0};
    POINT m_ptDragWindow = {0, 0};
    bool m_bDragging = false;
};

ATOM RegisterHostWindowClass(HINSTANCE hInstance, HICON hIcon, const wchar_t* pszClassName);
bool CreateHostWindows(HostWindow& window, HINSTANCE hInstance, const wchar_t* pszClassName, int nCmdShow, int nWidth,
                       int nHeight);
void SetHostWindowRegions(HostWindow& window);
void DestroyHostWindows(HostWindow& window);
/// Detaches the record from both windows and destroys them without posting
/// the quit message; used when the record itself is about to go away.
void AbandonHostWindows(HostWindow& window);

LRESULT CALLBACK HostWindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace Game
} // namespace Veld
