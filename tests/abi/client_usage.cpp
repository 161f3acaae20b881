// Compiles the way a client uses the headers: all of them together with the
// system headers that define colliding macros and the real GDI+ classes, in
// an order that re-includes mmsystem.h and winuser.h after the interfaces.
#include "Sound.h"
#include "Canvas.h"
#include "Display.h"
#include "Font.h"
#include "GameEngine.h"
#include "Image.h"
#include "Input.h"

#include <windows.h>
#include <mmsystem.h>
#include <gdiplus.h>

#include <string>

#if defined(PlaySound) || defined(DrawText)
#error "a Win32 macro would rename an interface operation in client code"
#endif

namespace client {

using namespace Veld::Game;

// The interface operations keep their names next to the Win32 functions that
// share them, which stay reachable under their W names.
int PlayNamed(ISoundEx* pSound, const std::wstring& strName)
{
    if (pSound == nullptr) {
        PlaySoundW(L"fallback.wav", nullptr, SND_ASYNC | SND_FILENAME);
        return -1;
    }
    return pSound->PlaySound(strName, true);
}

bool Label(ICanvas* pCanvas, HDC hdc, RECT* pRect)
{
    TextStyle style = {TextStyle::Measure | TextStyle::UseColors, RGB(255, 255, 255), RGB(0, 0, 0), 0, nullptr};
    if (pCanvas == nullptr)
        return DrawTextW(hdc, L"x", -1, pRect, DT_CENTER) != 0;
    return pCanvas->DrawText(L"x", pRect, &style);
}

// The forward declaration of Gdiplus::Image names the real GDI+ class: a
// bitmap converts to it.
bool LoadBitmap(IImage* pImage, Gdiplus::Bitmap* pBitmap)
{
    return pImage->LoadFromImage(pBitmap) && pImage->LoadFromImageBits(pBitmap);
}

// Style records initialise field by field in declaration order.
bool DrawFaded(ICanvas* pCanvas, IImage* pImage)
{
    DrawStyle style = {DrawStyle::AlphaBlend | DrawStyle::ConstantAlpha, 0, 0, 0, 1.0f, 1.0f, 0, 0, 128, RGB(0, 0, 0)};
    RECT rc = {0, 0, 16, 16};
    return pCanvas->DrawImage(pImage, rc, rc, &style);
}

} // namespace client
