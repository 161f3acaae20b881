#include "DDFont.h"

#include "Canvas.h"
#include "DDImage.h"
#include "GdiplusText.h"

namespace Veld {
namespace Game {

using Client::Utility::CPath;

namespace {

// Advance width of a two-character emoticon, whatever its picture's width.
const int kEmotionAdvance = 19;
// Largest em size of a rendered character, in pixels.
const int kMaxGlyphSize = 1024;

CPath DefaultEmotionPath()
{
    return CPath::Join(Client::Utility::GetModuleDirectory(), L"..\\Emotions\\");
}

} // namespace

CDDFont::CDDFont()
    : m_szCode{}, m_szText{}, m_pImage(nullptr), m_pFactory(nullptr), m_nWidth(0), m_nHeight(0), m_bEmotion(false),
      m_pathEmotion(DefaultEmotionPath())
{
}

bool CDDFont::Create(const wchar_t* pszCode, int nLength, std::wstring strFaceName, int nSize, int nStyle, COLORREF clr)
{
    if (!pszCode || !m_pFactory || nSize <= 0 || nLength < 1 || nLength > 3)
        return false;
    // A glyph set up again starts afresh: the old picture goes back first.
    ReleaseImage();
    m_bEmotion = false;

    m_nWidth = nSize;
    m_nHeight = nSize;
    int i = 0;
    for (; i < nLength && pszCode[i]; ++i)
        m_szCode[i] = pszCode[i];
    for (; i < 4; ++i)
        m_szCode[i] = L'\0';

    if (nLength == 1)
        return RenderCharacter(strFaceName, nSize, nStyle, clr);
    m_bEmotion = true;
    return LoadEmotion(nLength);
}

CDDImage* CDDFont::NewImage()
{
    m_pImage = m_pFactory->NewImage();
    return m_pImage;
}

bool CDDFont::RenderCharacter(const std::wstring& strFaceName, int nSize, int nStyle, COLORREF clr)
{
    using namespace Gdip;
    // Characters below U+00FF are half as wide as they are high. The cell has
    // one pixel more each way for the antialiased edge.
    if (nSize > kMaxGlyphSize)
        return false;
    int cellWidth = nSize + 1;
    if (m_szCode[0] < 0xFF) {
        m_nWidth = static_cast<int>(nSize * 0.5);
        cellWidth = nSize / 2 + 1;
    }
    const int cellHeight = nSize + 1;

    CDDImage* pImage = NewImage();
    if (!pImage || !pImage->Create(cellWidth, cellHeight))
        return false;
    IDirectDrawSurface7* pSurface = pImage->GetSurface();
    DDBLTFX fx = {};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = 0;
    RECT rcCell = {0, 0, cellWidth, cellHeight};
    pSurface->Blt(&rcCell, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);

    HDC hdc = nullptr;
    if (FAILED(pSurface->GetDC(&hdc)) || !hdc)
        return false;
    GpStringFormat* pFormat = nullptr;
    if (GdipCreateStringFormat(0, LANG_NEUTRAL, &pFormat) == Ok && pFormat) {
        StringFormatPtr format(pFormat);
        GdipSetStringFormatAlign(pFormat, StringAlignmentNear);
        GdipSetStringFormatLineAlign(pFormat, StringAlignmentNear);
        GdipSetStringFormatTrimming(pFormat, StringTrimmingCharacter);
        // A layout box of zero size has no bounds: a character wider than its
        // half-width cell is still placed instead of finding no room, and the
        // surface clips it to the cell. The box starts one sixth of the em to
        // the left, GDI+'s leading margin, so that the character starts at the
        // cell's left edge.
        const RectF layout(-static_cast<float>(nSize) / 6.0f, 0.0f, 0.0f, 0.0f);
        DrawStringOnDC(hdc, m_szCode, 1, strFaceName.c_str(), static_cast<float>(nSize), nStyle, OpaqueArgb(clr),
                       layout, pFormat);
    }
    pSurface->ReleaseDC(hdc);
    return true;
}

bool CDDFont::LoadEmotion(int nLength)
{
    CDDImage* pImage = NewImage();
    if (!pImage)
        return false;
    if (nLength == 2) {
        m_nWidth = kEmotionAdvance;
        wchar_t szFile[7] = {};
        wcsncpy(szFile, m_szCode, 2);
        wcscat(szFile, L".png");
        const CPath path = CPath::Join(m_pathEmotion, szFile);
        return path.IsValid() && pImage->LoadFromFile(path.c_str());
    }
    wchar_t szFile[20] = {};
    wcsncpy(szFile, m_szCode, 3);
    wcscat(szFile, L".png");
    const CPath path = CPath::Join(CPath::Join(m_pathEmotion, L"system"), szFile);
    if (!path.IsValid() || !pImage->LoadFromFile(path.c_str()))
        return false;
    m_nWidth = pImage->GetWidth();
    m_nHeight = pImage->GetHeight();
    return true;
}

void CDDFont::Draw(ICanvas* pCanvas, RECT* pRect)
{
    if (!m_pImage || !pCanvas || !pRect)
        return;
    const int width = m_pImage->GetWidth();
    const int height = m_pImage->GetHeight();
    pRect->right = pRect->left + width;
    pRect->bottom = pRect->top + height;
    pCanvas->DrawImageKeyed(m_pImage, *pRect, RECT{0, 0, width, height}, 0);
}

int CDDFont::GetWidth()
{
    return m_nWidth;
}

int CDDFont::GetHeight()
{
    return m_nHeight;
}

bool CDDFont::IsEmotion()
{
    return m_bEmotion;
}

const wchar_t* CDDFont::GetText()
{
    if (!m_bEmotion)
        return m_szCode;
    m_szText[0] = L'/';
    m_szText[1] = m_szCode[0];
    m_szText[2] = m_szCode[1];
    m_szText[3] = L'\0';
    return m_szText;
}

void CDDFont::ReleaseImage()
{
    if (!m_pImage || !m_pFactory)
        return;
    m_pFactory->FreeImage(m_pImage);
    m_pImage = nullptr;
}

void CDDFont::SetEmotionPath(const wchar_t* pszFolder)
{
    if (pszFolder)
        m_pathEmotion = CPath(pszFolder);
}

} // namespace Game
} // namespace Veld
