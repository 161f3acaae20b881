#include <gtest/gtest.h>

#include <string>
#include <windows.h>

#include "Path.h"

using Veld::Client::Utility::GetModuleDirectory;

namespace {
std::wstring ExeFolder()
{
    wchar_t buffer[1024];
    DWORD n = GetModuleFileNameW(nullptr, buffer, 1024);
    std::wstring s(buffer, n);
    return s.substr(0, s.find_last_of(L'\\'));
}
} // namespace

TEST(ModuleDirectory, IsTheExecutablesFolderEvenFromADll)
{
    const auto& folder = GetModuleDirectory();
    ASSERT_TRUE(folder.IsValid());
    EXPECT_EQ(folder.GetString(), ExeFolder());
    EXPECT_NE(folder.GetString().back(), L'\\');
    EXPECT_EQ(&GetModuleDirectory(), &folder); // computed once

    std::wstring probePath = ExeFolder() + L"\\probe\\module_probe.dll";
    HMODULE probe = LoadLibraryW(probePath.c_str());
    ASSERT_NE(probe, nullptr) << "cannot load the probe library";
    auto fn = reinterpret_cast<void (*)(wchar_t*, int)>(
        reinterpret_cast<void*>(GetProcAddress(probe, "ProbeModuleDirectory")));
    ASSERT_NE(fn, nullptr);
    wchar_t out[1024] = {};
    fn(out, 1024);
    EXPECT_EQ(std::wstring(out), ExeFolder());
    FreeLibrary(probe);
}
