// The sound file readers under Wine: wave files over WinMM's multimedia file
// functions (written by the test), MP3 files decoded whole or streamed by a
// worker thread and read as a streaming sound object reads them, and bad input.
#include <gtest/gtest.h>

#include <windows.h>

#include "Mp3File.h"
#include "Mp3Fixture.h"
#include "WaveFile.h"
#include "WinTestUtil.h"

using namespace Veld::Game;

namespace {

std::vector<uint8_t> ReadAll(ISoundFile& f, DWORD chunk = 1 << 20)
{
    std::vector<uint8_t> all, buf(chunk);
    for (DWORD n = chunk; n == chunk && SUCCEEDED(f.Read(buf.data(), chunk, &n));)
        all.insert(all.end(), buf.begin(), buf.begin() + n);
    return all;
}

/// Writes bytes to a file of this process in the temporary folder; its path.
std::wstring Write(const std::vector<uint8_t>& bytes, const char* name = "t.wav")
{
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    const std::string path = tmp + std::to_string(GetCurrentProcessId()) + name;
    EXPECT_TRUE(SoundFiles::WriteFile(path, bytes));
    return SoundFiles::Widen(path);
}

/// The start of the 0.4 s 660 Hz mono tone: a canonical 44-byte header, a
/// 16-byte "fmt " chunk, and 3000 bytes of data.
std::vector<uint8_t> ShortWave()
{
    std::vector<uint8_t> wave = SoundFiles::ReadFile(ENGINE_TONE_WAV);
    wave.resize(3044);
    SoundFiles::Put(wave, 4, 3036), SoundFiles::Put(wave, 40, 3000);
    return wave;
}

TEST(WaveFile, OpensReadsRewindsAndRefusesBadFiles)
{
    const std::vector<uint8_t> good = ShortWave(), data(good.begin() + 44, good.end());
    std::vector<uint8_t> notWave = good, notRiff = good, noFmt = good, noData = good;
    notWave[8] = 'A', notRiff[3] = 'X', noFmt[14] = 'x', noData[38] = 'x';
    // Not WAVE, not RIFF, no "fmt ", no "data", cut in the header, the file
    // ending in the 16-byte "fmt " chunk (18 bytes are read).
    for (const auto& bad : {notWave, notRiff, noFmt, noData, std::vector<uint8_t>(good.begin(), good.begin() + 6),
                            std::vector<uint8_t>(good.begin(), good.begin() + 36)})
        EXPECT_EQ(CWaveFile().Open(Write(bad).c_str(), true), E_FAIL) << bad.size();
    CWaveFile f;
    EXPECT_TRUE(f.Open(nullptr, true) == E_INVALIDARG && f.Open(L"Z:\\no\\such.wav", true) == E_FAIL);
    ASSERT_TRUE(f.Open(Write(good, "a.wav").c_str(), true) == S_OK && f.Open(Write(good).c_str(), true) == S_OK);
    EXPECT_TRUE(DeleteFileW(Write({}, "a.wav").c_str())) << "a second Open leaves the first file open";
    const WAVEFORMATEX& w = *f.GetFormat(); // the last two bytes lent by the data chunk's header, cleared
    EXPECT_TRUE(w.nChannels == 1 && w.nSamplesPerSec == 44100 && w.nBlockAlign == 2 && w.cbSize == 0);
    EXPECT_TRUE(f.GetSize() == 3000 && ReadAll(f, 333) == data && ReadAll(f).empty());
    EXPECT_TRUE(f.ResetFile() == S_OK && ReadAll(f, 4000) == data && f.Close() == S_OK);
    EXPECT_TRUE(f.ResetFile() == CO_E_NOTINITIALIZED && ReadAll(f).empty());
}

// Mutated wave files, sizes and format fields too: failure results or a
// playable format and data, never a crash, a hang or more than the file holds.
TEST(WaveFile, MutatedFilesFailOrReadSafely)
{
    const std::vector<uint8_t> wave = ShortWave();
    int opened = 0;
    for (uint32_t seed = 1; seed <= 2000; ++seed) {
        CWaveFile f;
        if (f.Open(Write(SoundFiles::Mutate(wave, seed, SoundFiles::kWaveFields)).c_str(), true) == S_OK && ++opened) {
            const WAVEFORMATEX& w = *f.GetFormat();
            ASSERT_TRUE(w.wFormatTag == WAVE_FORMAT_PCM && (w.wBitsPerSample == 8 || w.wBitsPerSample == 16) &&
                        (w.nChannels == 1 || w.nChannels == 2) && w.nSamplesPerSec >= 100 &&
                        w.nSamplesPerSec <= 200000 && w.nBlockAlign == w.nChannels * w.wBitsPerSample / 8 &&
                        w.nAvgBytesPerSec == w.nSamplesPerSec * w.nBlockAlign)
                << "seed " << seed;
            ASSERT_LE(ReadAll(f, 65536).size(), wave.size()) << "seed " << seed;
        }
    }
    EXPECT_GT(opened, 100);
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
        out.insert(out.end(), buf.begin(), buf.begin() + n);
        if (sizes)
            sizes->push_back(n);
    }
}

// A stream shorter than a block, and a longer one.
TEST(Mp3File, StreamsArriveInABlockThenInHalves)
{
    const char* paths[] = {ENGINE_TONE_MONO, ENGINE_TONE_LONG};
    Reader readers[2];
    CMp3File files[2];
    std::vector<uint8_t> expected[2];
    for (int i = 0; i < 2; ++i) {
        files[i].SetReadTracer(&readers[i]);
        ASSERT_EQ(files[i].Open(SoundFiles::Widen(paths[i]).c_str(), false), S_OK);
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
        TestUtil::Pump(100);
        EXPECT_TRUE(readers[i].ready == 1 && !readers[i].wrongThread && files[i].GetFormat()->nChannels == i + 1);
    }
}

// Mutated MP3 files, whole and streamed: failure results or data, never a
// crash or a hang; a stream's worker closes the file when the stream goes.
TEST(Mp3File, MutatedFilesFailOrDecodeSafely)
{
    CMp3File none;
    EXPECT_TRUE(none.Open(nullptr, true) == E_INVALIDARG && none.Open(Write({}, "m.mp3").c_str(), true) == E_FAIL);
    EXPECT_EQ(none.Open(Write(std::vector<uint8_t>(6000, 'x'), "m.mp3").c_str(), true), E_FAIL); // no frame
    const std::vector<uint8_t> valid = SoundFiles::ReadFile(ENGINE_TONE_SHORT);
    int decoded = 0;
    for (uint32_t seed = 1; seed <= 700; ++seed) {
        const std::vector<uint8_t> bad = SoundFiles::Mutate(valid, seed);
        Reader reader;
        auto f = std::make_unique<CMp3File>();
        f->SetReadTracer(&reader);
        if (seed <= 600 && f->Open(Write(bad, "m.mp3").c_str(), true) == S_OK && ++decoded) {
            ASSERT_EQ(ReadAll(*f).size(), f->GetSize()) << "seed " << seed;
            ASSERT_EQ(f->GetSize() % f->GetFormat()->nBlockAlign, 0u) << "seed " << seed;
        } else if (seed > 600 && !bad.empty()) {
            ASSERT_TRUE(f->Open(Write(bad, "m.mp3").c_str(), false) == S_OK && f->ResetFile() == S_OK);
            ASSERT_TRUE(ReadStream(*f, reader).size() <= kMp3BlockSize && reader.ready == 1) << "seed " << seed;
            f.reset();
            ASSERT_TRUE(DeleteFileW(Write({}, "m.mp3").c_str())) << "a worker left the file open, seed " << seed;
        }
    }
    EXPECT_GT(decoded, 150);
}

} // namespace
