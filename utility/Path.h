// Wide-string path value: joining and trailing-backslash normalising only;
// nothing here touches the file system.
#pragma once

#include <string>

namespace Veld {
namespace Client {
namespace Utility {

class CPath {
public:
    CPath() : m_bValid(false) {}
    explicit CPath(const std::wstring& path) : m_strPath(path), m_bValid(false) { Normalize(); }
    explicit CPath(const wchar_t* path) : m_strPath(path ? path : L""), m_bValid(false) { Normalize(); }

    /// base + "\" + relative (no extra separator when relative starts with
    /// one), with one trailing backslash removed. Invalid when base is.
    static CPath Join(const CPath& base, const wchar_t* pszRelative);

    const std::wstring& GetString() const { return m_strPath; }
    const wchar_t* c_str() const { return m_strPath.c_str(); }
    bool IsValid() const { return m_bValid; }

private:
    void Normalize();

    std::wstring m_strPath;
    bool m_bValid;
};

/// Folder of the process's executable (not of this library), computed once.
const CPath& GetModuleDirectory();

} // namespace Utility
} // namespace Client
} // namespace Veld
