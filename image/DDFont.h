// A glyph: one character rendered with GDI+ into an image, or one emoticon
// picture named by a two- or three-character code.
#pragma once

#include <windows.h>

#include <string>

#include "Font.h"
#include "Path.h"

namespace Veld {
namespace Game {

class IGameEngine;
class IImage;
class CDDImage;

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
    void SetEngine(IGameEngine* pEngine) { m_pEngine = pEngine; }
    /// The picture (null before Create and after ReleaseImage).
    IImage* GetImage() const { return m_pImage; }
    const Client::Utility::CPath& GetEmotionPath() const { return m_pathEmotion; }

private:
    // A new image from the engine, held as the glyph's image; null when the
    // engine gives none of its own kind.
    CDDImage* NewImage();
    bool RenderCharacter(const std::wstring& strFaceName, int nSize, int nStyle, COLORREF clr);
    bool LoadEmotion(int nLength);

    wchar_t m_szCode[4];
    wchar_t m_szText[4];
    IImage* m_pImage;
    IGameEngine* m_pEngine;
    int m_nWidth;
    int m_nHeight;
    bool m_bEmotion;
    Client::Utility::CPath m_pathEmotion;
};

} // namespace Game
} // namespace Veld
