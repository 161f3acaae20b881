#include "Path.h"

namespace Veld {
namespace Client {
namespace Utility {

void CPath::Normalize()
{
    if (!m_strPath.empty() && m_strPath.back() == L'\\')
        m_strPath.pop_back();
    m_bValid = true;
}

CPath CPath::Join(const CPath& base, const wchar_t* pszRelative)
{
    if (!base.m_bValid)
        return CPath();
    std::wstring text = base.m_strPath;
    const wchar_t* relative = pszRelative ? pszRelative : L"";
    if (relative[0] != L'\\')
        text += L'\\';
    text += relative;
    return CPath(text);
}

} // namespace Utility
} // namespace Client
} // namespace Veld
