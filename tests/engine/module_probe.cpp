// A DLL in a folder of its own that reports the program folder it computes.
#include <cwchar>

#include "Path.h"

extern "C" __declspec(dllexport) void ProbeModuleDirectory(wchar_t* out, int size)
{
    const auto& folder = Veld::Client::Utility::GetModuleDirectory();
    std::swprintf(out, size, L"%ls", folder.IsValid() ? folder.c_str() : L"<invalid>");
}
