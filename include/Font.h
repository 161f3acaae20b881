// Glyphs: each IDDFont object is one character rendered once into an image,
// or one emoticon picture named by a two- or three-character code. The client
// splits its text into glyphs, gets one object per glyph from
// IGameEngine::CreateDDFont, lays them out by their advance metrics and draws
// them onto a canvas. Rendering needs GDI+ started by the client.
//
// Operations are called by vtable slot: the order below is fixed, and the
// interface has no virtual destructor.
#pragma once

#include <windows.h>

#include <string>

namespace Veld {
namespace Game {

class ICanvas;

// Create takes a std::wstring: clients must use the library's C++ runtime ABI
// (libstdc++ with the C++11 string).
#ifndef _WIN64 // 32-bit layout; 64-bit test builds have wider pointers
static_assert(sizeof(std::wstring) == 24, "client and engine must share the std::wstring layout");
#endif

/// One glyph. Set it up once with Create; call ReleaseImage before giving it
/// back with IGameEngine::DestroyDDFont.
class IDDFont {
public:
    /// nLength 1: renders pszCode[0] with the GDI+ family strFaceName, em size
    /// nSize pixels, GDI+ FontStyle nStyle and colour clr (0x00BBGGRR).
    /// nLength 2 or 3: loads the emoticon <folder>\<code>.png (2) or
    /// <folder>\system\<code>.png (3); the face, style and colour are unused.
    virtual bool Create(const wchar_t* pszCode, int nLength, std::wstring strFaceName, int nSize, int nStyle,
                        COLORREF clr) = 0; // slot 0
    /// Draws the picture with its top-left corner at (pRect->left, pRect->top),
    /// leaving out pixels of value 0, and sets pRect->right and pRect->bottom
    /// to the picture's extent. Does nothing without a picture.
    virtual void Draw(ICanvas* pCanvas, RECT* pRect) = 0; // slot 1
    /// Advance width in pixels.
    virtual int GetWidth() = 0; // slot 2
    /// Line height in pixels.
    virtual int GetHeight() = 0; // slot 3
    /// True for a two- or three-character code.
    virtual bool IsEmotion() = 0; // slot 4
    /// The character, or for an emoticon "/" followed by its first two code characters.
    virtual const wchar_t* GetText() = 0; // slot 5
    /// Gives the picture back to the engine; Draw then does nothing.
    virtual void ReleaseImage() = 0; // slot 6
    /// Emoticon folder for later Create calls (default: ..\Emotions beside the
    /// executable's folder). A null folder is ignored.
    virtual void SetEmotionPath(const wchar_t* pszFolder) = 0; // slot 7
};

} // namespace Game
} // namespace Veld
