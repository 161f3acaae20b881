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

#if defined(PlaySound) || defined(DrawText)
#error "a Win32 macro would rename an interface operation in client code"
#endif

namespace client {

using namespace Veld::Game;

// The interface operations keep their names next to the Win32 functions that
// share them, which stay reachable under their W names; a GDI+ bitmap converts
// to the forward-declared Gdiplus::Image; style records initialise field by
// field in declaration order.
bool Use(ISoundEx* pSound, ICanvas* pCanvas, IImage* pImage, Gdiplus::Bitmap* pBitmap, HDC hdc, RECT* pRect)
{
    PlaySoundW(L"fallback.wav", nullptr, SND_ASYNC | SND_FILENAME);
    DrawTextW(hdc, L"x", -1, pRect, DT_CENTER);
    TextStyle text = {TextStyle::Measure | TextStyle::UseColors, RGB(255, 255, 255), RGB(0, 0, 0), 0, nullptr};
    DrawStyle draw = {DrawStyle::AlphaBlend | DrawStyle::ConstantAlpha, 0, 0, 0, 1.0f, 1.0f, 0, 0, 128, RGB(0, 0, 0)};
    return pSound->PlaySound(L"x", true) >= 0 && pCanvas->DrawText(L"x", pRect, &text) &&
           pImage->LoadFromImage(pBitmap) && pImage->LoadFromImageBits(pBitmap) &&
           pCanvas->DrawImage(pImage, *pRect, *pRect, &draw);
}

} // namespace client
