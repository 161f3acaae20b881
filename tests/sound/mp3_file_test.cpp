// The MP3 reader under Wine: whole decodes, streamed decodes on a worker
// thread read the way a streaming sound object reads them, and bad input.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Mp3File.h"
#include "Mp3TestSupport.h"
#include "WinTestUtil.h"

using namespace Veld::Game;
using Veld::Client::Utility::ICallerThread;

namespace {

std::wstring WinPath(const char* unixPath)
{
    std::wstring w(L"Z:");
    for (const char* p = unixPath; *p; ++p)
        w += *p == '/' ? L'\\' : static_cast<wchar_t>(*p);
    return w;
}

// Stands in for the streaming sound object: the file's tracer, and the
// receiver of its decoding worker's messages.
struct Reader : IReadTracer, ICallerThread {
    int ready = 0;
    DWORD thread = GetCurrentThreadId();
    bool wrongThread = false;
    void OnThreadMessage(UINT message, WPARAM, LPARAM) override
    {
        wrongThread |= GetCurrentThreadId() != thread;
        ready += message == WM_SOUND_DATA_READY;
    }
};

struct Snapshot {
    Mp3DitherState state[2];
    Snapshot() { Mp3Test::GetDither(state); }
};

// The PCM a decode starting from the given dither state must give.
std::vector<uint8_t> Expected(const char* path, Snapshot& s)
{
    return Mp3Test::ReferenceDecode(Mp3Test::ReadBytes(path), s.state).bytes;
}

std::vector<uint8_t> ReadWhole(ISoundFile& f)
{
    std::vector<uint8_t> v(f.GetSize() + 4096);
    DWORD n = 0;
    EXPECT_EQ(f.Read(v.data(), static_cast<DWORD>(v.size()), &n), S_OK);
    v.resize(n);
    return v;
}

// Reads a started stream as the sound object does (one whole block, then
// halves), each read once the decoder has completed the block; the reads'
// sizes go to sizes. Stops at the first empty read or after timeoutMs.
std::vector<uint8_t> ReadStream(CMp3File& f, std::vector<DWORD>* sizes = nullptr, DWORD timeoutMs = 5000)
{
    std::vector<uint8_t> out, buf(kMp3BlockSize);
    DWORD size = kMp3BlockSize;
    for (;;) {
        TestUtil::Pump(timeoutMs, [&] { return f.IsBlockComplete(); });
        DWORD n = 0;
        if (f.Read(buf.data(), size, &n) != S_OK || n == 0)
            break;
        if (sizes)
            sizes->push_back(n);
        out.insert(out.end(), buf.begin(), buf.begin() + n);
        size = kMp3BlockSize / 2;
    }
    return out;
}

} // namespace

TEST(Mp3FileWhole, FormatSizeAndDataOfStereoAndMono)
{
    struct Case {
        const char* path;
        WORD channels, align;
    } cases[] = {{ENGINE_TONE_STEREO, 2, 4}, {ENGINE_TONE_MONO, 1, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        Snapshot before;
        CMp3File f;
        ASSERT_EQ(f.Open(WinPath(c.path).c_str(), true), S_OK);
        const WAVEFORMATEX* wfx = f.GetFormat();
        EXPECT_EQ(wfx->wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(wfx->nChannels, c.channels);
        EXPECT_EQ(wfx->nSamplesPerSec, 44100u);
        EXPECT_EQ(wfx->nAvgBytesPerSec, 44100u * c.align);
        EXPECT_EQ(wfx->nBlockAlign, c.align);
        EXPECT_EQ(wfx->wBitsPerSample, 16);
        EXPECT_EQ(wfx->cbSize, 0);

        const std::vector<uint8_t> expected = Expected(c.path, before); // the last frame included
        EXPECT_EQ(f.GetSize(), expected.size());
        EXPECT_TRUE(ReadWhole(f) == expected);
        EXPECT_EQ(f.ResetFile(), S_OK);
        std::vector<uint8_t> head(1000);
        DWORD n = 0;
        EXPECT_EQ(f.Read(head.data(), 1000, &n), S_OK); // every read starts at the beginning
        EXPECT_EQ(n, 1000u);
        EXPECT_TRUE(std::equal(head.begin(), head.end(), expected.begin()));
    }
}

TEST(Mp3FileWhole, DitherContinuesFromOneFileIntoTheNext)
{
    Snapshot before;
    Mp3Test::ReferenceDecode(Mp3Test::ReadBytes(ENGINE_TONE_STEREO), before.state);
    CMp3File a, b;
    ASSERT_EQ(a.Open(WinPath(ENGINE_TONE_STEREO).c_str(), true), S_OK);
    ASSERT_EQ(b.Open(WinPath(ENGINE_TONE_MONO).c_str(), true), S_OK);
    EXPECT_TRUE(ReadWhole(b) == Expected(ENGINE_TONE_MONO, before));
}

TEST(Mp3FileWhole, FailuresAndRepeatedDecodes)
{
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    const std::wstring text = std::wstring(tmp) + L"mp3test_text.mp3", empty = std::wstring(tmp) + L"mp3test_empty.mp3";
    for (const std::wstring* p : {&text, &empty}) {
        HANDLE h = CreateFileW(p->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        const std::string body(p == &text ? 6000 : 0, 'x');
        DWORD w = 0;
        WriteFile(h, body.data(), static_cast<DWORD>(body.size()), &w, nullptr);
        CloseHandle(h);
    }

    CMp3File f;
    EXPECT_EQ(f.Open(nullptr, true), E_INVALIDARG);
    EXPECT_EQ(f.Open(L"Z:\\no\\such\\file.mp3", true), E_FAIL);
    EXPECT_EQ(f.Open(empty.c_str(), true), E_FAIL);
    EXPECT_EQ(f.Open(text.c_str(), true), E_FAIL); // no MPEG frame
    EXPECT_EQ(f.GetSize(), 0u);

    ASSERT_EQ(f.Open(WinPath(ENGINE_TONE_STEREO).c_str(), true), S_OK);
    const DWORD size = f.GetSize();
    ASSERT_EQ(f.Open(WinPath(ENGINE_TONE_STEREO).c_str(), true), S_OK);
    EXPECT_EQ(f.GetSize(), size); // counted from 0 for each decode
    EXPECT_EQ(f.Read(nullptr, 10, nullptr), E_INVALIDARG);
    BYTE b;
    EXPECT_EQ(f.Read(&b, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(f.Close(), S_OK);
    EXPECT_EQ(ReadWhole(f).size(), 0u);
    DeleteFileW(text.c_str());
    DeleteFileW(empty.c_str());
}

TEST(Mp3FileStream, ShortFileArrivesWholeInTheFirstRead)
{
    Reader reader;
    CMp3File f;
    f.SetReadTracer(&reader);
    ASSERT_EQ(f.Open(WinPath(ENGINE_TONE_STEREO).c_str(), false), S_OK);
    EXPECT_EQ(f.GetSize(), kMp3BlockSize);
    Snapshot before;
    ASSERT_EQ(f.ResetFile(), S_OK);
    TestUtil::Pump(5000, [&] { return reader.ready > 0 && f.IsBlockComplete(); });
    EXPECT_EQ(reader.ready, 1);

    const std::vector<uint8_t> expected = Expected(ENGINE_TONE_STEREO, before);
    std::vector<DWORD> sizes;
    EXPECT_TRUE(ReadStream(f, &sizes) == expected);
    EXPECT_EQ(sizes, std::vector<DWORD>{static_cast<DWORD>(expected.size())});
    EXPECT_EQ(f.GetFormat()->nChannels, 2);
    TestUtil::Pump(100);
    EXPECT_EQ(reader.ready, 1);
    EXPECT_FALSE(reader.wrongThread);
}

TEST(Mp3FileStream, LongFileReadInHalvesMatchesTheWholeDecode)
{
    Reader reader;
    CMp3File f;
    f.SetReadTracer(&reader);
    ASSERT_EQ(f.Open(WinPath(ENGINE_TONE_LONG).c_str(), false), S_OK);
    Snapshot before;
    ASSERT_EQ(f.ResetFile(), S_OK);
    TestUtil::Pump(5000, [&] { return reader.ready > 0; });
    std::vector<DWORD> sizes;
    const std::vector<uint8_t> got = ReadStream(f, &sizes);
    const std::vector<uint8_t> expected = Expected(ENGINE_TONE_LONG, before);
    ASSERT_GT(expected.size(), 3u * kMp3BlockSize);
    EXPECT_TRUE(got == expected) << got.size() << " of " << expected.size() << " bytes";

    // 737280, then 368640 each, the partial last block without overlap.
    ASSERT_GE(sizes.size(), 6u);
    EXPECT_EQ(sizes[0], kMp3BlockSize);
    for (size_t i = 1; i < 5; ++i)
        EXPECT_EQ(sizes[i], kMp3BlockSize / 2);
    EXPECT_EQ(reader.ready, 1);
}

TEST(Mp3FileStream, ResetAndDestructionEndAWaitingWorkerThroughItsStopEvent)
{
    Reader reader;
    auto* f = new CMp3File;
    f->SetReadTracer(&reader);
    ASSERT_EQ(f->Open(WinPath(ENGINE_TONE_LONG).c_str(), false), S_OK);
    ASSERT_EQ(f->ResetFile(), S_OK);
    TestUtil::Pump(5000, [&] { return f->IsBlockComplete(); }); // the worker now waits for the reader

    const DWORD handles = [] {
        DWORD n = 0;
        GetProcessHandleCount(GetCurrentProcess(), &n);
        return n;
    }();
    DWORD start = GetTickCount();
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(f->ResetFile(), S_OK);
        TestUtil::Pump(5000, [&] { return f->IsBlockComplete(); });
    }
    EXPECT_LT(GetTickCount() - start, 3000u); // no 1000 ms timeouts
    DWORD after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &after);
    EXPECT_LE(after, handles + 2); // events are not leaked

    // The restarted decode begins at the start of the file.
    Snapshot before;
    ASSERT_EQ(f->ResetFile(), S_OK);
    std::vector<uint8_t> first(kMp3BlockSize);
    TestUtil::Pump(5000, [&] { return f->IsBlockComplete(); });
    DWORD n = 0;
    ASSERT_EQ(f->Read(first.data(), kMp3BlockSize, &n), S_OK);
    ASSERT_EQ(n, kMp3BlockSize);
    const std::vector<uint8_t> expected = Expected(ENGINE_TONE_LONG, before);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), expected.begin()));

    TestUtil::Pump(5000, [&] { return f->IsBlockComplete(); });
    start = GetTickCount();
    delete static_cast<ISoundFile*>(f);
    EXPECT_LT(GetTickCount() - start, 500u);
}

TEST(Mp3FileStream, TwoStreamsAndAWholeLoadDecodeSideBySide)
{
    Reader readerA, readerB;
    CMp3File a, b, whole;
    a.SetReadTracer(&readerA);
    b.SetReadTracer(&readerB);
    ASSERT_EQ(a.Open(WinPath(ENGINE_TONE_LONG).c_str(), false), S_OK);
    ASSERT_EQ(b.Open(WinPath(ENGINE_TONE_MONO).c_str(), false), S_OK);
    ASSERT_EQ(a.ResetFile(), S_OK);
    ASSERT_EQ(b.ResetFile(), S_OK);
    // While both workers run, a whole-mode load is not turned away.
    ASSERT_EQ(whole.Open(WinPath(ENGINE_TONE_STEREO).c_str(), true), S_OK);
    TestUtil::Pump(5000, [&] { return readerA.ready && readerB.ready; });

    Mp3DitherState zero[2] = {};
    const size_t longSize = Mp3Test::ReferenceDecode(Mp3Test::ReadBytes(ENGINE_TONE_LONG), zero).bytes.size();
    const size_t monoSize = Mp3Test::ReferenceDecode(Mp3Test::ReadBytes(ENGINE_TONE_MONO), zero).bytes.size();
    EXPECT_EQ(ReadStream(b).size(), monoSize);
    EXPECT_EQ(ReadStream(a).size(), longSize);
    EXPECT_EQ(a.GetFormat()->nChannels, 2);
    EXPECT_EQ(b.GetFormat()->nChannels, 1);
    EXPECT_EQ(readerA.ready, 1);
    EXPECT_EQ(readerB.ready, 1);
}

// Mutated MP3 files, whole and streamed: failure results or data, never a
// crash or a hang.
TEST(Mp3FileMutations, FailOrDecodeSafely)
{
    const std::vector<uint8_t> valid = Mp3Test::ReadBytes(ENGINE_TONE_SHORT);
    ASSERT_FALSE(valid.empty());
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    const std::wstring path =
        std::wstring(tmp) + L"mp3test_mutated_" + std::to_wstring(GetCurrentProcessId()) + L".mp3";
    int decoded = 0;
    for (uint64_t seed = 1; seed <= 2200; ++seed) {
        const std::vector<uint8_t> bad = Mp3Test::Mutate(valid, seed);
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD w = 0;
        WriteFile(h, bad.data(), static_cast<DWORD>(bad.size()), &w, nullptr);
        CloseHandle(h);

        if (seed <= 2000) {
            CMp3File f;
            if (f.Open(path.c_str(), true) == S_OK) {
                ++decoded;
                ASSERT_EQ(ReadWhole(f).size(), f.GetSize()) << "seed " << seed;
                ASSERT_EQ(f.GetSize() % f.GetFormat()->nBlockAlign, 0u) << "seed " << seed;
            }
        } else if (!bad.empty()) {
            Reader reader;
            CMp3File f;
            f.SetReadTracer(&reader);
            ASSERT_EQ(f.Open(path.c_str(), false), S_OK);
            ASSERT_EQ(f.ResetFile(), S_OK);
            TestUtil::Pump(5000, [&] { return reader.ready > 0; });
            ASSERT_EQ(reader.ready, 1) << "seed " << seed;
            ASSERT_LE(ReadStream(f, nullptr, 2000).size(), kMp3BlockSize) << "seed " << seed;
        }
    }
    DeleteFileW(path.c_str());
    EXPECT_GT(decoded, 500);
}
