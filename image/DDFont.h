// A glyph: one character rendered with GDI+ into an image, or one emoticon
// picture named by a two- or three-character code.
#pragma once

#include <windows.h>

#include <string>

#include "DDImage.h"
#include "Font.h"
#include "Path.h"

namespace Veld {
namespace Game {

/// Where a glyph gets its images and gives them back (the engine, so that a
/// glyph makes no image once the display is gone).
class IImageFactory {
public:
    /// A new image ready to load or render into, or null.
    virtual CDDImage* NewImage() = 0;
    virtual void FreeImage(CDDImage* pImage) = 0;

protected:
    ~IImageFactory() = default;
};

class CDDFont final : public IDDFont {
public:
    CDDFont();
    ~CDDFont() = default;

    CDDFont(const CDDFont&) = delete;
    CDDFont& operator=(const CDDFont&) = delete;

    // IDDFont
    bool Create(const wchar_t* pszCode, int nLength, std::wstring strFaceName, int nSize, int nStyle,
                COLORREF clr) override;
    void Draw(ICanvas* pCanvas, RECT* pRect) override;
    int GetWidth() override;
    int GetHeight() override;
    bool IsEmotion() override;
    const wchar_t* GetText() override;
    void ReleaseImage() override;
    void SetEmotionPath(const wchar_t* pszFolder) override;

    /// Set by the engine's factory: the glyph makes and gives back its image through it.
    void SetImageFactory(IImageFactory* pFactory) { m_pFactory = pFactory; }
    /// The picture (null before Create and after ReleaseImage).
    IImage* GetImage() const { return m_pImage; }
    const Client::Utility::CPath& GetEmotionPath() const { return m_pathEmotion; }

private:
    // A new image from the factory, held as the glyph's image, or null.
    CDDImage* NewImage();
    bool RenderCharacter(const std::wstring& strFaceName, int nSize, int nStyle, COLORREF clr);
    bool LoadEmotion(int nLength);

    wchar_t m_szCode[4];
    wchar_t m_szText[4];
    CDDImage* m_pImage;
    IImageFactory* m_pFactory;
    int m_nWidth;
    int m_nHeight;
    bool m_bEmotion;
    Client::Utility::CPath m_pathEmotion;
};

} // namespace Game
} // namespace Veld
