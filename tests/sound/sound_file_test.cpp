// The sound file readers under Wine: wave files over WinMM's multimedia file
// functions (written by the test), MP3 files decoded whole or streamed by a
// worker thread and read as a streaming sound object reads them, the file
// type registry, and bad input.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "Mp3File.h"
#include "Mp3Fixture.h"
#include "SoundTestSupport.h"
#include "WaveFile.h"

using namespace Veld::Game;
using SoundFiles::Pattern;
using SoundFiles::ReadFile;
using SoundFiles::Wave;
using SoundTest::Widen;

namespace {

std::string TempPath(const char* name)
{
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    return tmp + std::to_string(GetCurrentProcessId()) + name;
}

std::vector<uint8_t> ReadAll(ISoundFile& f, DWORD chunk = 1 << 20)
{
    std::vector<uint8_t> all, buf(chunk);
    for (DWORD n = chunk; n == chunk && SUCCEEDED(f.Read(buf.data(), chunk, &n));)
        all.insert(all.end(), buf.begin(), buf.begin() + n);
    return all;
}

std::wstring Write(const std::vector<uint8_t>& bytes, const char* name = "t.wav")
{
    SoundFiles::WriteFile(name, bytes);
    return Widen(name);
}

// The log's messages without their time stamps; empties the log.
std::vector<std::string> TakeLog()
{
    std::vector<std::string> lines;
    for (std::ifstream in("Log/GameEngine.log"); std::getline(in, lines.emplace_back());)
        lines.back().erase(0, 22);
    lines.pop_back();
    DeleteFileW(L"Log\\GameEngine.log");
    return lines;
}

// Wave tests run in a folder of their own, whose Log folder receives the
// reader's log lines.
class WaveFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        GetCurrentDirectoryA(MAX_PATH, old_);
        CreateDirectoryA(dir_.c_str(), nullptr);
        SetCurrentDirectoryA(dir_.c_str());
        CreateDirectoryW(L"Log", nullptr);
    }
    void TearDown() override
    {
        for (const wchar_t* f : {L"t.wav", L"a.wav", L"Log\\GameEngine.log"})
            DeleteFileW(f);
        RemoveDirectoryW(L"Log");
        SetCurrentDirectoryA(old_);
        RemoveDirectoryA(dir_.c_str());
    }
    const std::string dir_ = TempPath("wavetest");
    char old_[MAX_PATH] = {};
};

const std::vector<std::string> kOk{"CWaveFile::ResetFile Ok"};

TEST_F(WaveFile, OpensPcmLayoutsAndReadsTheirData)
{
    const auto stereo = Pattern(4000, 1), mono = Pattern(1001, 2);
    const struct {
        std::vector<uint8_t> file;
        WORD channels, bits;
        std::vector<uint8_t> data;
    } cases[] = {
        {Wave().Format(2, 44100, 16).Chunk("data", stereo).Done(), 2, 16, stereo},
        {Wave().Format(1, 22050, 8).Chunk("data", mono).Done(), 1, 8, mono}, // odd data size
        // A 16-byte fmt: 18 bytes are read, the last two from the next chunk
        // header; cbSize is cleared all the same.
        {Wave().Format(2, 44100, 16, 1, -1).Chunk("LIST", Pattern(37, 3)).Chunk("data", stereo).Done(), 2, 16, stereo},
    };
    for (const auto& c : cases) {
        CWaveFile f;
        ASSERT_EQ(f.Open(Write(c.file).c_str(), true), S_OK);
        const WAVEFORMATEX* wfx = f.GetFormat();
        EXPECT_TRUE(wfx->wFormatTag == WAVE_FORMAT_PCM && wfx->nChannels == c.channels &&
                    wfx->nBlockAlign == c.channels * c.bits / 8 && wfx->wBitsPerSample == c.bits && wfx->cbSize == 0);
        EXPECT_EQ(f.GetSize(), c.data.size());
        EXPECT_EQ(ReadAll(f, 333), c.data);
        EXPECT_EQ(TakeLog(), kOk);
    }
    // Reopening closes the first file.
    CWaveFile f;
    ASSERT_EQ(f.Open(Write(cases[1].file, "a.wav").c_str(), true), S_OK);
    ASSERT_EQ(f.Open(Write(cases[0].file).c_str(), true), S_OK);
    EXPECT_EQ(ReadAll(f), stereo);
    EXPECT_TRUE(DeleteFileW(L"a.wav")) << "a.wav still open";
}

TEST_F(WaveFile, ReadsAreBoundedByTheDataAndRewound)
{
    const auto data = Pattern(5000, 5);
    CWaveFile f;
    ASSERT_EQ(f.Open(Write(Wave().Format(2, 44100, 16).Chunk("data", data).Done()).c_str(), true), S_OK);
    std::vector<uint8_t> buf(8000);
    DWORD n = 77;
    EXPECT_EQ(f.Read(buf.data(), 0, &n), E_INVALIDARG);
    EXPECT_EQ(f.Read(nullptr, 10, &n), E_INVALIDARG);
    EXPECT_EQ(n, 77u);
    EXPECT_EQ(ReadAll(f, 8000), data);
    EXPECT_TRUE(f.Read(buf.data(), 8000, &n) == S_OK && n == 0);
    TakeLog();
    EXPECT_EQ(f.ResetFile(), S_OK);
    EXPECT_TRUE(f.Read(buf.data(), 10, nullptr) == S_OK && std::equal(data.begin(), data.begin() + 10, buf.begin()));
    EXPECT_EQ(TakeLog(), kOk);
    EXPECT_EQ(f.Close(), S_OK);
    EXPECT_EQ(f.Read(buf.data(), 10, &n), CO_E_NOTINITIALIZED);
    EXPECT_EQ(f.ResetFile(), CO_E_NOTINITIALIZED);
    EXPECT_NE(f.GetFormat(), nullptr); // the format outlives Close
    EXPECT_EQ(TakeLog(), std::vector<std::string>{"CWaveFile::ResetFile notinitialized - NULL == m_hMMIO"});

    // A data chunk longer than the file fails at the premature end, after
    // copying what there was.
    ASSERT_EQ(f.Open(Write(Wave().Format(2, 44100, 16).Chunk("data", data, 100000).Done()).c_str(), true), S_OK);
    EXPECT_EQ(f.GetSize(), 100000u);
    EXPECT_EQ(f.Read(buf.data(), 4000, &n), S_OK);
    EXPECT_TRUE(f.Read(buf.data(), 4000, &n) == E_FAIL && n == 0);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 1000, data.begin() + 4000));
}

TEST_F(WaveFile, BadFilesFailAndLogTheMissingData)
{
    CWaveFile f;
    EXPECT_EQ(f.Open(nullptr, true), E_INVALIDARG);
    EXPECT_EQ(f.Open(L"missing.wav", true), E_FAIL);
    const std::vector<uint8_t> good = Wave().Format(2, 44100, 16).Chunk("data", Pattern(10, 0)).Done();
    std::vector<uint8_t> notWave = good, notRiff = good;
    std::memcpy(&notWave[8], "AVI ", 4);
    std::memcpy(&notRiff[0], "RIFX", 4);
    const std::vector<uint8_t> cases[] = {
        notWave, notRiff,
        Wave().Chunk("data", Pattern(10, 0)).Done(),         // no "fmt "
        Wave().Format(2, 44100, 16).Done(),                   // no "data"
        std::vector<uint8_t>(good.begin(), good.begin() + 6), // cut in the header
        Wave().Format(1, 8000, 8, 3, 200, {1, 2}).Done(),     // extra bytes missing
        Wave().Chunk("fmt ", {1, 0, 2, 0}).Done(),            // fmt shorter than 18 bytes at the end
    };
    for (const auto& file : cases)
        EXPECT_EQ(f.Open(Write(file).c_str(), true), E_FAIL) << &file - cases;
    EXPECT_EQ(TakeLog(), std::vector<std::string>{
                             "CWaveFile::ResetFile failed - mmioDescend(m_hMMIO, &m_ck, &m_ckRiff, MMIO_FINDCHUNK)"});
}

// Mutated wave files, sizes and format fields too: failure results or data,
// never a crash, a hang or more data than the file holds.
TEST_F(WaveFile, MutatedFilesFailOrReadSafely)
{
    RemoveDirectoryW(L"Log"); // no log for thousands of resets
    const Wave wave = Wave().Format(2, 44100, 16).Chunk("LIST", Pattern(12, 9)).Chunk("data", Pattern(3000, 10));
    int opened = 0;
    for (uint32_t seed = 1; seed <= 2000; ++seed) {
        CWaveFile f;
        if (f.Open(Write(SoundFiles::Mutate(wave.Done(), seed, wave.fields)).c_str(), true) == S_OK && ++opened) {
            ASSERT_LE(ReadAll(f, 65536).size(), wave.bytes.size()) << "seed " << seed;
        }
    }
    EXPECT_GT(opened, 100);
}

// The engine may have registered wav and mp3 already: the registry is the
// process's.
TEST(SoundFileTypes, RegistryFoldsOnRegistrationAndLooksUpExactly)
{
    RegisterSoundFileType(L"mp3", &CMp3File::Create);
    EXPECT_FALSE(RegisterSoundFileType(L"MP3", &CWaveFile::Create)); // the first entry stays
    EXPECT_TRUE(RegisterSoundFileType(L"XyZ", &CWaveFile::Create));
    std::unique_ptr<ISoundFile> wave(CreateSoundFile(L"xyz")), mp3(CreateSoundFile(L"mp3"));
    EXPECT_TRUE(dynamic_cast<CWaveFile*>(wave.get()) && dynamic_cast<CMp3File*>(mp3.get()));
    EXPECT_EQ(CreateSoundFile(L"XYZ"), nullptr);
}

// Stands in for the streaming sound object: the file's tracer, and the
// receiver of its decoding worker's messages.
struct Reader : IReadTracer, Veld::Client::Utility::ICallerThread {
    int ready = 0;
    bool wrongThread = false;
    const DWORD thread = GetCurrentThreadId();
    void OnThreadMessage(UINT message, WPARAM, LPARAM) override
    {
        wrongThread |= GetCurrentThreadId() != thread;
        ready += message == WM_SOUND_DATA_READY;
    }
};

// Reads a started stream as the sound object does, once its data is ready:
// one whole block, then halves, each once the decoder has completed the
// block, until a read is empty. The reads' sizes go to sizes.
std::vector<uint8_t> ReadStream(CMp3File& f, Reader& reader, std::vector<DWORD>* sizes = nullptr)
{
    TestUtil::Pump(10000, [&] { return reader.ready > 0; });
    std::vector<uint8_t> out, buf(kMp3BlockSize);
    for (DWORD size = kMp3BlockSize, n = 0;; size = kMp3BlockSize / 2) {
        TestUtil::Pump(10000, [&] { return f.IsBlockComplete(); });
        if (f.Read(buf.data(), size, &n) != S_OK || n == 0)
            return out;
        if (sizes)
            sizes->push_back(n);
        out.insert(out.end(), buf.begin(), buf.begin() + n);
    }
}

TEST(Mp3File, WholeDecodesFailuresAndRepeats)
{
    const std::string text = TempPath("text.mp3"), empty = TempPath("empty.mp3");
    ASSERT_TRUE(SoundFiles::WriteFile(text, std::vector<uint8_t>(6000, 'x')) && SoundFiles::WriteFile(empty, {}));
    CMp3File f;
    EXPECT_EQ(f.Open(nullptr, true), E_INVALIDARG);
    for (const std::string& path : {std::string("Z:\\no\\such.mp3"), empty, text}) // the text has no MPEG frame
        EXPECT_EQ(f.Open(Widen(path).c_str(), true), E_FAIL) << path;
    EXPECT_EQ(f.GetSize(), 0u);
    for (const Mp3Fixture::Tone& tone : Mp3Fixture::kFormats) { // twice each: counted from 0 for each decode
        ASSERT_EQ(f.Open(Widen(tone.path).c_str(), true), S_OK);
        const std::vector<uint8_t> expected = Mp3Fixture::Expected(tone.path).bytes;
        ASSERT_EQ(f.Open(Widen(tone.path).c_str(), true), S_OK);
        const WORD align = static_cast<WORD>(2 * tone.channels);
        const WAVEFORMATEX format{WAVE_FORMAT_PCM, static_cast<WORD>(tone.channels), 44100, 44100u * align, align, 16, 0};
        EXPECT_EQ(std::memcmp(f.GetFormat(), &format, sizeof(format)), 0) << tone.path;
        EXPECT_EQ(f.GetSize(), expected.size()) << tone.path;
        EXPECT_TRUE(ReadAll(f) == expected) << tone.path; // the last frame included
        std::vector<uint8_t> head(1000);
        DWORD n = 0;
        EXPECT_TRUE(f.ResetFile() == S_OK && f.Read(head.data(), 1000, &n) == S_OK && n == 1000) << tone.path;
        EXPECT_TRUE(std::equal(head.begin(), head.end(), expected.begin())) << "every read starts at the beginning";
    }
    BYTE b;
    EXPECT_EQ(f.Read(nullptr, 10, nullptr), E_INVALIDARG);
    EXPECT_EQ(f.Read(&b, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(f.Close(), S_OK);
    EXPECT_EQ(ReadAll(f).size(), 0u);
    DeleteFileA(text.c_str());
    DeleteFileA(empty.c_str());
}

// A stream shorter than a block, and a longer one; then both side by side
// with a whole load meanwhile (the dither then depends on the timing).
TEST(Mp3File, StreamsArriveInABlockThenInHalves)
{
    const char* paths[] = {ENGINE_TONE_MONO, ENGINE_TONE_LONG};
    Reader readers[2];
    CMp3File files[2], whole;
    std::vector<uint8_t> expected[2];
    for (int i = 0; i < 2; ++i) {
        files[i].SetReadTracer(&readers[i]);
        ASSERT_EQ(files[i].Open(Widen(paths[i]).c_str(), false), S_OK);
        EXPECT_EQ(files[i].GetSize(), kMp3BlockSize);
        expected[i] = Mp3Fixture::Expected(paths[i]).bytes;
        ASSERT_EQ(files[i].ResetFile(), S_OK);
        std::vector<DWORD> sizes, want;
        EXPECT_TRUE(ReadStream(files[i], readers[i], &sizes) == expected[i]) << i;
        // A block, then halves; the partial last block without overlap.
        for (size_t at = 0, block, step; at < expected[i].size(); at += block) {
            block = std::min<size_t>(kMp3BlockSize, expected[i].size() - at);
            step = at ? kMp3BlockSize / 2 : block;
            for (size_t h = 0; h < block; h += step)
                want.push_back(static_cast<DWORD>(std::min(step, block - h)));
        }
        EXPECT_EQ(sizes, want);
        EXPECT_EQ(files[i].GetFormat()->nChannels, i + 1);
        TestUtil::Pump(100);
        EXPECT_EQ(readers[i].ready, 1);
        EXPECT_FALSE(readers[i].wrongThread);
    }
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(files[i].ResetFile(), S_OK);
    ASSERT_EQ(whole.Open(Widen(ENGINE_TONE_STEREO).c_str(), true), S_OK);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(ReadStream(files[i], readers[i]).size(), expected[i].size());
}

TEST(Mp3File, ResetAndDestructionEndTheWorkerThroughItsStopEvent)
{
    // A copy that can be deleted only when no worker holds it open.
    const std::string copy = TempPath("long.mp3");
    ASSERT_TRUE(SoundFiles::WriteFile(copy, ReadFile(ENGINE_TONE_LONG)));
    Reader reader;
    auto* f = new CMp3File;
    f->SetReadTracer(&reader);
    ASSERT_EQ(f->Open(Widen(copy).c_str(), false), S_OK);
    uintptr_t handles = 0;
    for (int i = 0; i < 12; ++i) {
        handles = i == 2 ? SoundTest::HandleWatermark() : handles;
        ASSERT_EQ(f->ResetFile(), S_OK);
        TestUtil::Pump(10000, [&] { return f->IsBlockComplete(); }); // the worker now waits for the reader
    }
    EXPECT_LE(SoundTest::HandleWatermark(), handles + 4 * 2) << "events, files or workers left behind";
    // The restarted decode begins at the start of the file.
    const std::vector<uint8_t> expected = Mp3Fixture::Expected(ENGINE_TONE_LONG).bytes;
    ASSERT_EQ(f->ResetFile(), S_OK);
    TestUtil::Pump(10000, [&] { return f->IsBlockComplete(); });
    std::vector<uint8_t> first(kMp3BlockSize);
    DWORD n = 0;
    ASSERT_EQ(f->Read(first.data(), kMp3BlockSize, &n), S_OK);
    EXPECT_TRUE(n == kMp3BlockSize && std::equal(first.begin(), first.end(), expected.begin()));
    TestUtil::Pump(10000, [&] { return f->IsBlockComplete(); });
    delete static_cast<ISoundFile*>(f);
    EXPECT_TRUE(DeleteFileA(copy.c_str())) << "a killed worker left the file open";
}

// Mutated MP3 files, whole and streamed: failure results or data, never a
// crash or a hang.
TEST(Mp3File, MutatedFilesFailOrDecodeSafely)
{
    const std::vector<uint8_t> valid = ReadFile(ENGINE_TONE_SHORT);
    const std::string path = TempPath("mutated.mp3");
    int decoded = 0;
    for (uint32_t seed = 1; seed <= 700; ++seed) {
        const std::vector<uint8_t> bad = SoundFiles::Mutate(valid, seed);
        ASSERT_TRUE(SoundFiles::WriteFile(path, bad));
        Reader reader;
        CMp3File f;
        f.SetReadTracer(&reader);
        if (seed <= 600 && f.Open(Widen(path).c_str(), true) == S_OK && ++decoded) {
            ASSERT_EQ(ReadAll(f).size(), f.GetSize()) << "seed " << seed;
            ASSERT_EQ(f.GetSize() % f.GetFormat()->nBlockAlign, 0u) << "seed " << seed;
        } else if (seed > 600 && !bad.empty()) {
            ASSERT_EQ(f.Open(Widen(path).c_str(), false), S_OK);
            ASSERT_EQ(f.ResetFile(), S_OK);
            ASSERT_LE(ReadStream(f, reader).size(), kMp3BlockSize) << "seed " << seed;
            ASSERT_EQ(reader.ready, 1) << "seed " << seed;
        }
    }
    DeleteFileA(path.c_str());
    EXPECT_GT(decoded, 150);
}

} // namespace
