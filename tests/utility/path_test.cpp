#include <gtest/gtest.h>

#include "Path.h"

using Veld::Client::Utility::CPath;

TEST(Path, ConstructionAndJoinKeepOneSeparator)
{
    struct Case {
        CPath path;
        const wchar_t* text;
        bool valid;
    } const cases[] = {
        {CPath(), L"", false},
        {CPath(L"D:\\Games\\App\\"), L"D:\\Games\\App", true}, // one trailing backslash goes
        {CPath(L"\\"), L"", true},
        {CPath::Join(CPath(L"D:\\A"), L"\\B"), L"D:\\A\\B", true},
        {CPath::Join(CPath(L"D:\\A"), L"B\\"), L"D:\\A\\B", true},
        {CPath::Join(CPath(), L"B"), L"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.path.GetString(), std::wstring(c.text));
        EXPECT_EQ(c.path.IsValid(), c.valid) << c.path.GetString().c_str();
    }
}
