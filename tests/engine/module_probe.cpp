// A DLL in a folder of its own that reports the program folder it computes.
#include "Path.h"

extern "C" __declspec(dllexport) const wchar_t* ProbeModuleDirectory()
{
    const auto& folder = Veld::Client::Utility::GetModuleDirectory();
    return folder.IsValid() ? folder.c_str() : L"<invalid>";
}
