#include <gtest/gtest.h>

#include "Path.h"

using Veld::Client::Utility::CPath;

namespace {
void ExpectPath(const CPath& p, const wchar_t* text, bool valid)
{
    EXPECT_EQ(p.GetString(), std::wstring(text));
    EXPECT_EQ(p.IsValid(), valid);
}
} // namespace

TEST(Path, ConstructionNormalisesOneTrailingBackslash)
{
    ExpectPath(CPath(), L"", false);
    ExpectPath(CPath(L""), L"", true);
    ExpectPath(CPath(L"D:\\Games\\App\\"), L"D:\\Games\\App", true);
    ExpectPath(CPath(L"D:\\A\\\\"), L"D:\\A\\", true);
    ExpectPath(CPath(L"\\"), L"", true);
    ExpectPath(CPath(L"a/b/"), L"a/b/", true); // forward slashes are left alone
}

TEST(Path, JoinInsertsOneSeparator)
{
    CPath base(L"D:\\A");
    ExpectPath(CPath::Join(base, L"\\B"), L"D:\\A\\B", true);
    ExpectPath(CPath::Join(base, L"B\\"), L"D:\\A\\B", true);
    ExpectPath(CPath::Join(base, L"B\\\\"), L"D:\\A\\B\\", true);
    ExpectPath(CPath::Join(base, L""), L"D:\\A", true);
    ExpectPath(CPath::Join(CPath(L"D:\\Games\\App"), L"..\\Emotions\\"), L"D:\\Games\\App\\..\\Emotions", true);
}

TEST(Path, JoinOntoInvalidBaseIsInvalid)
{
    ExpectPath(CPath::Join(CPath(), L"B"), L"", false);
    ExpectPath(CPath::Join(CPath(), L"\\B"), L"", false);
    ExpectPath(CPath::Join(CPath::Join(CPath(), L"B"), L"C"), L"", false);
}
