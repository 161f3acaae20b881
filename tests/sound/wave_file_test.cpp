// The wave reader over WinMM's multimedia file functions, on files the test
// writes, and the file type registry.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Mp3File.h"
#include "Mp3TestSupport.h"
#include "SoundFile.h"
#include "WaveFile.h"

using namespace Veld::Game;

namespace {

// RIFF writer: chunks in order, sizes as given (or real) and padded to even.
struct Riff {
    std::vector<uint8_t> bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    std::vector<size_t> sizeFields{4};

    Riff& Chunk(const char* id, const std::vector<uint8_t>& data, uint32_t declared = 0xFFFFFFFFu)
    {
        bytes.insert(bytes.end(), id, id + 4);
        sizeFields.push_back(bytes.size());
        const uint32_t size = declared == 0xFFFFFFFFu ? static_cast<uint32_t>(data.size()) : declared;
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(size >> (8 * i)));
        bytes.insert(bytes.end(), data.begin(), data.end());
        if (data.size() & 1)
            bytes.push_back(0);
        return *this;
    }
    std::vector<uint8_t> Done()
    {
        Mp3Test::Put32(bytes, 4, static_cast<uint32_t>(bytes.size() - 8));
        return bytes;
    }
};

std::vector<uint8_t> Fmt(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, int cbSize = -1,
                         std::vector<uint8_t> extra = {})
{
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    std::vector<uint8_t> f(16);
    auto put16 = [&](size_t at, uint16_t v) {
        f[at] = static_cast<uint8_t>(v);
        f[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    put16(0, tag);
    put16(2, channels);
    Mp3Test::Put32(f, 4, rate);
    Mp3Test::Put32(f, 8, rate * align);
    put16(12, align);
    put16(14, bits);
    if (cbSize >= 0) {
        f.push_back(static_cast<uint8_t>(cbSize));
        f.push_back(static_cast<uint8_t>(cbSize >> 8));
        f.insert(f.end(), extra.begin(), extra.end());
    }
    return f;
}

std::vector<uint8_t> Pattern(size_t n, int salt)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 31 + salt + (i >> 8));
    return v;
}

// Runs each test in a fresh folder with a Log folder, so the engine log of
// the reader's resets can be read back.
class WaveFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t tmp[MAX_PATH];
        GetTempPathW(MAX_PATH, tmp);
        dir_ = std::wstring(tmp) + L"wavetest_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
               std::to_wstring(counter_++);
        CreateDirectoryW(dir_.c_str(), nullptr);
        GetCurrentDirectoryW(MAX_PATH, old_);
        SetCurrentDirectoryW(dir_.c_str());
        CreateDirectoryW(L"Log", nullptr);
    }
    void TearDown() override
    {
        for (const std::wstring& f : files_)
            DeleteFileW(f.c_str());
        DeleteFileW(L"Log\\GameEngine.log");
        RemoveDirectoryW(L"Log");
        SetCurrentDirectoryW(old_);
        RemoveDirectoryW(dir_.c_str());
    }
    std::wstring Write(const std::vector<uint8_t>& bytes, const wchar_t* name = L"t.wav")
    {
        const std::wstring path = dir_ + L"\\" + name;
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
        files_.push_back(path);
        return path;
    }
    // The log's messages, time stamps removed; empties the log.
    static std::vector<std::string> TakeLog()
    {
        std::vector<std::string> lines;
        {
            std::ifstream in("Log/GameEngine.log");
            for (std::string line; std::getline(in, line);)
                lines.push_back(line.size() > 22 ? line.substr(22) : line);
        }
        DeleteFileW(L"Log\\GameEngine.log");
        return lines;
    }
    static std::vector<uint8_t> ReadAll(CWaveFile& f, DWORD chunk = 4096)
    {
        std::vector<uint8_t> all, buf(chunk);
        for (DWORD n = 0; SUCCEEDED(f.Read(buf.data(), chunk, &n)) && n > 0;)
            all.insert(all.end(), buf.begin(), buf.begin() + n);
        return all;
    }

    std::wstring dir_;
    wchar_t old_[MAX_PATH] = {};
    std::vector<std::wstring> files_;
    static int counter_;
};
int WaveFileTest::counter_ = 0;

const char* const kOk = "CWaveFile::ResetFile Ok";

} // namespace

TEST_F(WaveFileTest, OpensPcmLayoutsAndReadsTheirData)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        WORD channels, bits, align;
        std::vector<uint8_t> data;
    };
    const auto stereo = Pattern(4000, 1), mono = Pattern(1001, 2);
    Case cases[] = {
        {"16-bit stereo, 18-byte fmt", Riff().Chunk("fmt ", Fmt(1, 2, 44100, 16, 0)).Chunk("data", stereo).Done(), 2,
         16, 4, stereo},
        {"8-bit mono, odd data size", Riff().Chunk("fmt ", Fmt(1, 1, 22050, 8, 0)).Chunk("data", mono).Done(), 1, 8, 1,
         mono},
        // 16-byte fmt: 18 bytes are read, the last two from the next chunk
        // header; cbSize is cleared all the same.
        {"16-byte fmt, LIST before data",
         Riff().Chunk("fmt ", Fmt(1, 2, 44100, 16)).Chunk("LIST", Pattern(37, 3)).Chunk("data", stereo).Done(), 2, 16,
         4, stereo},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        CWaveFile f;
        ASSERT_EQ(f.Open(Write(c.file).c_str(), true), S_OK);
        const WAVEFORMATEX* wfx = f.GetFormat();
        ASSERT_NE(wfx, nullptr);
        EXPECT_EQ(wfx->wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(wfx->nChannels, c.channels);
        EXPECT_EQ(wfx->wBitsPerSample, c.bits);
        EXPECT_EQ(wfx->nBlockAlign, c.align);
        EXPECT_EQ(wfx->cbSize, 0);
        EXPECT_EQ(f.GetSize(), c.data.size());
        EXPECT_EQ(ReadAll(f, 333), c.data);
        EXPECT_EQ(TakeLog(), std::vector<std::string>{kOk});
    }
}

TEST_F(WaveFileTest, NonPcmFormatKeepsItsExtraBytes)
{
    const std::vector<uint8_t> extra{9, 8, 7, 6, 5};
    CWaveFile f;
    ASSERT_EQ(
        f.Open(Write(Riff().Chunk("fmt ", Fmt(2, 1, 8000, 4, 5, extra)).Chunk("data", Pattern(64, 4)).Done()).c_str(),
               false),
        S_OK);
    const WAVEFORMATEX* wfx = f.GetFormat();
    EXPECT_EQ(wfx->wFormatTag, 2);
    ASSERT_EQ(wfx->cbSize, 5);
    EXPECT_EQ(std::memcmp(reinterpret_cast<const uint8_t*>(wfx) + sizeof(WAVEFORMATEX), extra.data(), 5), 0);
    EXPECT_EQ(f.GetSize(), 64u);
}

TEST_F(WaveFileTest, ReadsAreBoundedByTheDataAndRewound)
{
    const auto data = Pattern(5000, 5);
    CWaveFile f;
    ASSERT_EQ(f.Open(Write(Riff().Chunk("fmt ", Fmt(1, 2, 44100, 16, 0)).Chunk("data", data).Done()).c_str(), true),
              S_OK);
    std::vector<uint8_t> buf(8000, 0xEE);
    DWORD n = 77;
    EXPECT_EQ(f.Read(buf.data(), 0, &n), E_INVALIDARG);
    EXPECT_EQ(n, 77u); // untouched
    EXPECT_EQ(f.Read(nullptr, 10, &n), E_INVALIDARG);

    EXPECT_EQ(f.Read(buf.data(), 8000, &n), S_OK);
    EXPECT_EQ(n, 5000u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), buf.begin()));
    EXPECT_EQ(f.Read(buf.data(), 8000, &n), S_OK);
    EXPECT_EQ(n, 0u);

    TakeLog();
    EXPECT_EQ(f.ResetFile(), S_OK);
    EXPECT_EQ(f.Read(buf.data(), 10, nullptr), S_OK);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 10, data.begin()));
    EXPECT_EQ(f.GetSize(), 5000u);
    EXPECT_EQ(TakeLog(), std::vector<std::string>{kOk});

    EXPECT_EQ(f.Close(), S_OK);
    EXPECT_EQ(f.Read(buf.data(), 10, &n), CO_E_NOTINITIALIZED);
    EXPECT_EQ(f.ResetFile(), CO_E_NOTINITIALIZED);
    EXPECT_NE(f.GetFormat(), nullptr); // the format outlives Close
    EXPECT_EQ(TakeLog(), std::vector<std::string>{"CWaveFile::ResetFile notinitialized - NULL == m_hMMIO"});
}

TEST_F(WaveFileTest, BadFilesFailOpenAndLogTheMissingData)
{
    const auto fmt = Fmt(1, 2, 44100, 16, 0);
    CWaveFile f;
    EXPECT_EQ(f.Open(nullptr, true), E_INVALIDARG);
    EXPECT_EQ(f.Open((dir_ + L"\\missing.wav").c_str(), true), E_FAIL);

    std::vector<uint8_t> notWave = Riff().Chunk("fmt ", fmt).Chunk("data", Pattern(10, 0)).Done();
    std::memcpy(notWave.data() + 8, "AVI ", 4);
    std::vector<uint8_t> notRiff = Riff().Chunk("fmt ", fmt).Chunk("data", Pattern(10, 0)).Done();
    std::memcpy(notRiff.data(), "RIFX", 4);
    const std::vector<uint8_t> header = Riff().bytes;
    const std::vector<uint8_t> cases[] = {
        notWave,
        notRiff,
        Riff().Chunk("data", Pattern(10, 0)).Done(),                  // no "fmt "
        Riff().Chunk("fmt ", Fmt(1, 2, 44100, 16, 0)).Done(),         // no "data"
        std::vector<uint8_t>(header.begin(), header.begin() + 6),     // cut in the header
        Riff().Chunk("fmt ", Fmt(3, 1, 8000, 8, 200, {1, 2})).Done(), // extra bytes missing
        Riff().Chunk("fmt ", {1, 0, 2, 0}).Done(),                    // fmt shorter than 18 bytes at EOF
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(f.Open(Write(cases[i]).c_str(), true), E_FAIL);
    }
    EXPECT_EQ(TakeLog(),
              std::vector<std::string>{"CWaveFile::ResetFile failed - mmioDescend(m_hMMIO, &m_ck, &m_ckRiff, "
                                       "MMIO_FINDCHUNK)"});
}

TEST_F(WaveFileTest, DataChunkLongerThanTheFileFailsAtThePrematureEnd)
{
    const auto data = Pattern(3000, 6);
    CWaveFile f;
    ASSERT_EQ(
        f.Open(Write(Riff().Chunk("fmt ", Fmt(1, 2, 44100, 16, 0)).Chunk("data", data, 100000).Done()).c_str(), true),
        S_OK);
    EXPECT_EQ(f.GetSize(), 100000u);
    std::vector<uint8_t> buf(2000);
    DWORD n = 0;
    EXPECT_EQ(f.Read(buf.data(), 2000, &n), S_OK);
    EXPECT_EQ(n, 2000u);
    EXPECT_EQ(f.Read(buf.data(), 2000, &n), E_FAIL);
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 1000, data.begin() + 2000)); // copied before the end
}

TEST_F(WaveFileTest, ReopeningClosesTheFirstFile)
{
    const auto a = Pattern(100, 7), b = Pattern(200, 8);
    const std::wstring pathA = Write(Riff().Chunk("fmt ", Fmt(1, 1, 8000, 8, 0)).Chunk("data", a).Done(), L"a.wav");
    const std::wstring pathB = Write(Riff().Chunk("fmt ", Fmt(1, 2, 8000, 8, 0)).Chunk("data", b).Done(), L"b.wav");
    CWaveFile f;
    ASSERT_EQ(f.Open(pathA.c_str(), true), S_OK);
    ASSERT_EQ(f.Open(pathB.c_str(), true), S_OK);
    EXPECT_EQ(f.GetFormat()->nChannels, 2);
    EXPECT_EQ(ReadAll(f), b);
    EXPECT_TRUE(DeleteFileW(pathA.c_str())) << "a.wav still open";
}

TEST(SoundFileTypes, RegistryFoldsOnRegistrationAndLooksUpExactly)
{
    EXPECT_TRUE(RegisterSoundFileType(L"WaV", &CWaveFile::Create));
    EXPECT_FALSE(RegisterSoundFileType(L"wav", nullptr)); // the first entry stays
    ISoundFile* file = CreateSoundFile(L"wav");
    EXPECT_NE(dynamic_cast<CWaveFile*>(file), nullptr);
    delete file;
    EXPECT_EQ(CreateSoundFile(L"WAV"), nullptr);
    EXPECT_EQ(CreateSoundFile(L"ogg"), nullptr);

    EXPECT_TRUE(RegisterSoundFileType(L"MP3", &CMp3File::Create));
    file = CreateSoundFile(L"mp3");
    EXPECT_NE(dynamic_cast<CMp3File*>(file), nullptr);
    delete file;
}

// Mutated wave files: failure results or data, never a crash or a hang.
TEST_F(WaveFileTest, MutatedFilesFailOrReadSafely)
{
    RemoveDirectoryW(L"Log"); // no log for thousands of resets
    Riff riff;
    riff.Chunk("fmt ", Fmt(1, 2, 44100, 16, 0)).Chunk("LIST", Pattern(12, 9)).Chunk("data", Pattern(3000, 10));
    const std::vector<size_t> sizeFields = riff.sizeFields;
    const std::vector<uint8_t> valid = riff.Done();
    std::vector<uint8_t> buf(65536);
    int opened = 0;
    for (uint64_t seed = 1; seed <= 2000; ++seed) {
        const std::wstring path = Write(Mp3Test::Mutate(valid, seed, sizeFields));
        CWaveFile f;
        if (f.Open(path.c_str(), true) != S_OK)
            continue;
        ++opened;
        DWORD n = 0, total = 0;
        while (SUCCEEDED(f.Read(buf.data(), static_cast<DWORD>(buf.size()), &n)) && n > 0)
            total += n;
        ASSERT_LE(total, valid.size()) << "seed " << seed;
        files_.pop_back();
    }
    EXPECT_GT(opened, 100);
}
