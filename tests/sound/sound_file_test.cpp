// The sound file readers under Wine: wave files over WinMM's multimedia file
// functions (written by the test), MP3 files decoded whole or streamed by a
// worker thread and read as a streaming sound object reads them, and bad input.
#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>

#include "Mp3File.h"
#include "Mp3Fixture.h"
#include "WaveFile.h"
#include "WinTestUtil.h"

using namespace Veld::Game;
using SoundFiles::Widen;

namespace {

/// Reads in chunks into a buffer with room for an overrun: a read past its
/// size shows as wrong data rather than a corrupt heap.
std::vector<uint8_t> ReadAll(ISoundFile& f, DWORD chunk = 1 << 20)
{
    std::vector<uint8_t> all, buf(chunk + 65536);
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
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return Widen(path);
}

// The 0.4 s 660 Hz mono tone (a canonical 44-byte header, a 16-byte "fmt "
// chunk): read, rewound and refused when broken; mutated, its header mostly,
// it fails or gives a playable format and data, never a crash, a hang or more
// than the file holds.
TEST(WaveFile, ReadsRewindsAndFailsSafelyOnBadFiles)
{
    const std::vector<uint8_t> good = SoundFiles::ReadFile(ENGINE_TONE_WAV), data(good.begin() + 44, good.end());
    std::vector<uint8_t> notWave = good, noFmt = good, noData = good;
    notWave[8] = 'A', noFmt[14] = 'x', noData[38] = 'x';
    // Cut in the header, or ending in the 16-byte "fmt " chunk (18 bytes are read).
    for (const auto& bad : {notWave, noFmt, noData, std::vector<uint8_t>(good.begin(), good.begin() + 6),
                            std::vector<uint8_t>(good.begin(), good.begin() + 36)})
        EXPECT_EQ(CWaveFile().Open(Write(bad).c_str(), true), E_FAIL) << bad.size();
    CWaveFile f;
    EXPECT_TRUE(f.Open(nullptr, true) == E_INVALIDARG && f.Open(L"Z:\\no\\such.wav", true) == E_FAIL);
    ASSERT_TRUE(f.Open(Write(good, "a.wav").c_str(), true) == S_OK && f.Open(Write(good).c_str(), true) == S_OK);
    EXPECT_TRUE(DeleteFileW(Write({}, "a.wav").c_str())) << "a second Open leaves the first file open";
    EXPECT_TRUE(f.GetFormat()->nChannels == 1 && f.GetFormat()->cbSize == 0); // cbSize lent by the next chunk
    EXPECT_TRUE(f.GetSize() == data.size() && ReadAll(f, 333) == data && f.ResetFile() == S_OK && ReadAll(f) == data);
    EXPECT_TRUE(f.Close() == S_OK && f.ResetFile() == CO_E_NOTINITIALIZED && ReadAll(f).empty());
    int opened = 0;
    for (uint32_t seed = 1; seed <= 2000; ++seed) {
        CWaveFile m;
        if (m.Open(Write(SoundFiles::Mutate(good, seed, 44)).c_str(), true) == S_OK && ++opened) {
            ASSERT_TRUE(IsPlayableWaveFormat(*m.GetFormat()) && ReadAll(m, 65536).size() <= good.size())
                << "seed " << seed;
        }
    }
    EXPECT_GT(opened, 100);
}

// Stands in for the streaming sound object: the file's tracer, and the
// receiver of its decoding worker's messages; one on another thread counts 100.
struct Reader : IReadTracer, Veld::Client::Utility::ICallerThread {
    int ready = 0;
    const DWORD thread = GetCurrentThreadId();
    void OnThreadMessage(UINT m, WPARAM, LPARAM) override
    {
        ready += GetCurrentThreadId() == thread ? m == WM_SOUND_DATA_READY : 100;
    }
};

/// Opens path for streaming and starts its worker.
bool Start(CMp3File& f, Reader& reader, const std::wstring& path)
{
    f.SetReadTracer(&reader);
    return f.Open(path.c_str(), false) == S_OK && f.GetSize() == kMp3BlockSize && f.ResetFile() == S_OK;
}

// Reads a started stream as the sound object does, once its data is ready:
// one whole block, then halves, each once the decoder has completed the
// block, until a read is empty.
std::vector<uint8_t> ReadStream(CMp3File& f, Reader& reader)
{
    TestUtil::Pump(10000, [&] { return reader.ready > 0; });
    std::vector<uint8_t> out, buf(kMp3BlockSize);
    for (DWORD size = kMp3BlockSize, n = 0;; size = kMp3BlockSize / 2) {
        TestUtil::Pump(10000, [&] { return f.IsBlockComplete(); });
        if (f.Read(buf.data(), size, &n) != S_OK || n == 0)
            return out;
        out.insert(out.end(), buf.begin(), buf.begin() + n);
    }
}

const Mp3Fixture::Tone kStreams[] = {{ENGINE_TONE_MONO, 1}, {ENGINE_TONE_LONG, 2, 44100, 14 * 44100}};

// A stream shorter than a block, and one of several blocks, the last partial:
// all of the data, once, in order. Mutated files, the Info frame mostly in
// every other one (the native MP3 tests decode thousands whole, through the
// same decoder): at most a block, never a crash or a hang; the worker closes
// the file when the stream goes.
TEST(Mp3File, StreamsArriveWholeAndMutatedOnesSafely)
{
    for (const Mp3Fixture::Tone& tone : kStreams) {
        Reader reader;
        CMp3File f;
        const std::vector<uint8_t> expected = Mp3Fixture::Expected(tone).bytes;
        ASSERT_TRUE(Start(f, reader, Widen(tone.path)));
        EXPECT_TRUE(ReadStream(f, reader) == expected) << tone.path;
        TestUtil::Pump(100);
        EXPECT_TRUE(reader.ready == 1 && f.GetFormat()->nChannels == tone.channels);
    }
    const std::vector<uint8_t> valid = SoundFiles::ReadFile(ENGINE_TONE_SHORT);
    for (uint32_t seed = 1; seed <= 30; ++seed) {
        Reader reader;
        auto f = std::make_unique<CMp3File>();
        ASSERT_TRUE(Start(*f, reader, Write(SoundFiles::Mutate(valid, seed, seed % 2 ? 417 : 0), "m.mp3")));
        ASSERT_TRUE(ReadStream(*f, reader).size() <= kMp3BlockSize && reader.ready == 1) << "seed " << seed;
        f.reset();
        ASSERT_TRUE(DeleteFileW(Write({}, "m.mp3").c_str())) << "a worker left the file open, seed " << seed;
    }
}

// A whole file loaded while two streams decode (the longer one waiting to
// hand over its next block), read into a smaller buffer: that many bytes of
// the decode, nothing written past them; the streams go on whole.
TEST(Mp3File, WholeReadStopsAtTheBuffer)
{
    Reader readers[2];
    CMp3File streams[2], f;
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(Start(streams[i], readers[i], Widen(kStreams[i].path)));
    TestUtil::Pump(10000, [&] { return streams[0].IsBlockComplete() && streams[1].IsBlockComplete(); });
    const std::vector<uint8_t> expected = Mp3Fixture::Expected(Mp3Fixture::kFormats[0]).bytes;
    ASSERT_EQ(f.Open(Widen(ENGINE_TONE_STEREO).c_str(), true), S_OK);
    // Room for the whole decode: a read past 5 000 bytes fails here, without
    // corrupting the heap.
    std::vector<uint8_t> buf(expected.size(), 0xAB);
    DWORD n = 0;
    ASSERT_TRUE(f.Read(buf.data(), 5000, &n) == S_OK && n == 5000 && expected.size() > 9000);
    EXPECT_TRUE(std::equal(buf.begin(), buf.begin() + 5000, expected.begin()) &&
                std::count(buf.begin() + 5000, buf.end(), 0xAB) == std::ptrdiff_t(buf.size() - 5000));
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(ReadStream(streams[i], readers[i]).size(), Mp3Fixture::Expected(kStreams[i]).bytes.size());
}

} // namespace
