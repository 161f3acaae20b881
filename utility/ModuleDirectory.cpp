#include "Path.h"

#include <stdlib.h>
#include <windows.h>

namespace Veld {
namespace Client {
namespace Utility {

const CPath& GetModuleDirectory()
{
    static CPath folder;
    if (folder.IsValid())
        return folder;

    HMODULE exe = GetModuleHandleW(nullptr);
    if (!exe)
        return folder;

    wchar_t buffer[1024] = {};
    DWORD n = GetModuleFileNameW(exe, buffer, 1024);
    if (n == 0 || n >= 1024)
        return folder;

    wchar_t drive[3] = {};
    wchar_t dir[256] = {};
    if (_wsplitpath_s(buffer, drive, 3, dir, 256, nullptr, 0, nullptr, 0) != 0)
        return folder; // directory longer than the buffer: stays invalid
    if (_wmakepath_s(buffer, 1024, drive, dir, nullptr, nullptr) != 0)
        return folder;

    folder = CPath(buffer);
    return folder;
}

} // namespace Utility
} // namespace Client
} // namespace Veld
