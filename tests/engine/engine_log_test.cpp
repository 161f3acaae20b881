#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <windows.h>

#include "EngineLog.h"

using Veld::Game::FormatLogLine;
using Veld::Game::kLogLineSize;
using Veld::Game::WriteEngineLog;

namespace {

// Runs a test body in a fresh current directory.
class LogFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        dir_ = std::wstring(tmp) + L"enginelog_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
               std::to_wstring(GetTickCount());
        ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr));
        GetCurrentDirectoryW(MAX_PATH, old_);
        SetCurrentDirectoryW(dir_.c_str());
    }
    void TearDown() override
    {
        DeleteFileW(L"Log\\GameEngine.log");
        RemoveDirectoryW(L"Log");
        SetCurrentDirectoryW(old_);
        RemoveDirectoryW(dir_.c_str());
    }
    static std::string ReadLog()
    {
        std::ifstream in("Log/GameEngine.log"); // text mode: line ends read as "\n"
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::wstring dir_;
    wchar_t old_[MAX_PATH] = {};
};

const std::regex kLine(R"(\[(\d{4})-(\d{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2})\] (.*)\n)");

} // namespace

TEST_F(LogFolder, AppendsTimestampedLinesInOrder)
{
    ASSERT_TRUE(CreateDirectoryW(L"Log", nullptr));
    SYSTEMTIME before;
    GetLocalTime(&before);
    WriteEngineLog("CWaveFile::ResetFile Ok");
    WriteEngineLog("second");
    WriteEngineLog("");

    std::string text = ReadLog();
    std::sregex_iterator it(text.begin(), text.end(), kLine), end;
    std::vector<std::smatch> lines(it, end);
    ASSERT_EQ(lines.size(), 3u) << text;
    EXPECT_EQ(lines[0][7], "CWaveFile::ResetFile Ok");
    EXPECT_EQ(lines[1][7], "second");
    EXPECT_EQ(lines[2][7], "");
    EXPECT_EQ(std::stoi(lines[0][1]), before.wYear);
    EXPECT_EQ(std::stoi(lines[0][2]), before.wMonth);
    // The whole file is exactly the three lines: nothing else is written.
    EXPECT_EQ(lines[0].length() + lines[1].length() + lines[2].length(), text.size());
    EXPECT_EQ(text.substr(text.size() - 3), "] \n"); // empty text: "] " then the line end
}

TEST_F(LogFolder, MissingFolderIsNotCreated)
{
    WriteEngineLog("lost");
    EXPECT_EQ(GetFileAttributesW(L"Log"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LogFolder, OverlongTextIsTruncatedToTheLineBuffer)
{
    ASSERT_TRUE(CreateDirectoryW(L"Log", nullptr));
    std::string huge(10000, 'x');
    WriteEngineLog(huge.c_str());
    std::string text = ReadLog();
    // "[YYYY-MM-DD hh:mm:ss] " is 22 characters; text, "\n" and NUL fill the rest of 4096.
    ASSERT_EQ(text.size(), kLogLineSize - 1);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find_first_not_of('x', 22), kLogLineSize - 2);
}

TEST(LogFormat, ZeroPadsFields)
{
    char line[kLogLineSize];
    FormatLogLine(line, 2026, 12, 5, 10, 1, 3, "CWaveFile::ResetFile Ok");
    EXPECT_STREQ(line, "[2026-12-05 10:01:03] CWaveFile::ResetFile Ok\n");
    FormatLogLine(line, 999, 1, 2, 0, 0, 0, nullptr);
    EXPECT_STREQ(line, "[0999-01-02 00:00:00] \n");
}
