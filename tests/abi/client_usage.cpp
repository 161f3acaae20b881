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
// to the forward-declared Gdiplus::Image.
bool Use(ISoundEx* pSound, ICanvas* pCanvas, IImage* pImage, Gdiplus::Bitmap* pBitmap, HDC hdc, RECT* pRect)
{
    return PlaySoundW(L"x.wav", nullptr, SND_FILENAME) && DrawTextW(hdc, L"x", -1, pRect, DT_CENTER) &&
           pSound->PlaySound(L"x", true) >= 0 && pCanvas->DrawText(L"x", pRect, nullptr) &&
           pImage->LoadFromImage(pBitmap) && pImage->LoadFromImageBits(pBitmap);
}

} // namespace client
