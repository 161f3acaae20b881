// Decoding speed of the MP3 reader against a bare libmad decode of the same
// file, in times realtime. Usage: mp3_bench FILE.mp3... (Windows paths).
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "Mp3File.h"

using namespace Veld::Game;

namespace {

double Now()
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

std::vector<uint8_t> ReadFileBytes(const wchar_t* path)
{
    std::vector<uint8_t> v;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return v;
    v.resize(GetFileSize(h, nullptr));
    DWORD n = 0;
    ReadFile(h, v.data(), static_cast<DWORD>(v.size()), &n, nullptr);
    CloseHandle(h);
    v.resize(n);
    return v;
}

// libmad alone: the decode loop with its output discarded.
double BareLibmad(const std::vector<uint8_t>& file, double* audioSeconds)
{
    struct Count {
        unsigned long samples = 0, rate = 0;
    } c;
    const double start = Now();
    Mp3DecodeFrames(
        file.data(), file.size(),
        [](void* user, unsigned, unsigned rate, const int32_t*, const int32_t*, unsigned length) {
            auto* c = static_cast<Count*>(user);
            c->samples += length;
            c->rate = rate;
            return true;
        },
        &c);
    const double elapsed = Now() - start;
    *audioSeconds = c.rate ? static_cast<double>(c.samples) / c.rate : 0;
    return elapsed;
}

// The engine's decode and dither from memory, PCM written to one frame buffer.
double Core(const std::vector<uint8_t>& file)
{
    struct Sink : IMp3DecodeSink {
        uint8_t frame[kMp3MaxFrameBytes];
        void OnFormat(unsigned, unsigned) override {}
        uint8_t* NextOutput() override { return frame; }
        bool OnFrame(uint32_t) override { return true; }
    } sink;
    const double start = Now();
    Mp3Decode(file.data(), file.size(), sink);
    return Now() - start;
}

double Whole(const wchar_t* path)
{
    CMp3File f;
    const double start = Now();
    if (f.Open(path, true) != S_OK)
        return -1;
    return Now() - start;
}

// Streamed: a reader thread takes each block as soon as it is complete (one
// whole block, then halves), as fast as it can.
double Streamed(const wchar_t* path)
{
    CMp3File f;
    if (f.Open(path, false) != S_OK)
        return -1;
    std::vector<BYTE> buf(kMp3BlockSize);
    const double start = Now();
    f.ResetFile();
    std::thread reader([&] {
        DWORD size = kMp3BlockSize;
        for (;;) {
            while (!f.IsBlockComplete())
                Sleep(0);
            DWORD n = 0;
            f.Read(buf.data(), size, &n);
            if (n == 0)
                break;
            size = kMp3BlockSize / 2;
        }
    });
    reader.join();
    const double elapsed = Now() - start;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    return elapsed;
}

// The median run: runs of the four kinds are interleaved, so a busy moment
// of the machine weighs on all of them alike.
double Median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int runs = 21;
    std::printf("%-40s %10s %10s %10s %12s %12s\n", "file", "libmad x", "whole x", "stream x", "whole/bare",
                "stream/bare");
    for (int i = 1; i < argc; ++i) {
        const std::vector<uint8_t> file = ReadFileBytes(argv[i]);
        if (file.empty()) {
            std::printf("%ls: cannot read\n", argv[i]);
            return 1;
        }
        double seconds = 0;
        std::vector<double> bare, core, whole, stream;
        for (int r = 0; r < runs; ++r) {
            bare.push_back(BareLibmad(file, &seconds));
            core.push_back(Core(file));
            whole.push_back(Whole(argv[i]));
            stream.push_back(Streamed(argv[i]));
        }
        const double b = seconds / Median(bare), w = seconds / Median(whole), s = seconds / Median(stream);
        const wchar_t* name = argv[i];
        for (const wchar_t* p = argv[i]; *p; ++p)
            if (*p == L'\\' || *p == L'/')
                name = p + 1;
        std::printf("%-40ls %10.0f %10.0f %10.0f %12.2f %12.2f   (decode+dither from memory %.0fx)\n", name, b, w, s,
                    w / b, s / b, seconds / Median(core));
    }
    return 0;
}
