// Sound tests under Wine: fixture paths, recordings of what the rig's null
// sink plays (parec, a Unix program that Wine starts directly) and their tones.
#pragma once

#include <windows.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "SoundFiles.h"
#include "WinTestUtil.h"

namespace SoundTest {

inline std::wstring Widen(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

const int kRate = 22050; // recordings: 16-bit stereo

/// Records the null sink's monitor for seconds from when data flows (the
/// sink answers a recorder only at the end of its current block), running
/// play meanwhile; left and right interleaved, empty when nothing came.
inline std::vector<int16_t> Record(const char* name, int seconds, const std::function<void()>& play)
{
    const std::string path = ENGINE_SOUND_RECORDINGS "/" + std::string(name), windowsPath = "Z:" + path;
    DeleteFileA(windowsPath.c_str());
    std::wstring cmd = Widen("/usr/bin/timeout -s INT " + std::to_string(seconds + 4) +
                             " /usr/bin/parec --latency-msec=20 -d null.monitor --raw --format=s16le --rate=" +
                             std::to_string(kRate) + " --channels=2 " + path);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return {};
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    auto size = [&] {
        WIN32_FILE_ATTRIBUTE_DATA data;
        return GetFileAttributesExA(windowsPath.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow & ~3u : 0;
    };
    TestUtil::Pump(4000, [&] { return size() >= 4 * kRate / 10; });
    const size_t start = size(), bytes = size_t(seconds) * kRate * 4;
    play();
    TestUtil::Pump(DWORD(seconds) * 2000, [&] { return size() >= start + bytes; });
    const std::vector<uint8_t> all = SoundFiles::ReadFile(windowsPath);
    std::vector<int16_t> samples(start && all.size() >= start + bytes ? bytes / 2 : 0);
    std::memcpy(samples.data(), all.data() + start, samples.size() * 2);
    return samples;
}

/// A stretch of sound between silences, in seconds of the recording; loud:
/// the time within it that is sound, so a drop-out inside barely counts.
struct Segment {
    double start, end, loud;
};

/// Stretches whose 10 ms level exceeds 1000; gaps under 0.3 s (drop-outs of
/// a loaded machine) are merged.
inline std::vector<Segment> FindSegments(const std::vector<int16_t>& samples)
{
    const size_t window = kRate / 100 * 2;
    std::vector<Segment> segments;
    for (size_t w = 0; (w + 1) * window <= samples.size(); ++w) {
        double sum = 0;
        for (size_t i = w * window; i < (w + 1) * window; ++i)
            sum += double(samples[i]) * samples[i];
        if (std::sqrt(sum / window) <= 1000)
            continue;
        if (segments.empty() || w / 100.0 - segments.back().end > 0.3)
            segments.push_back({w / 100.0, 0, 0});
        segments.back().end = (w + 1) / 100.0;
        segments.back().loud += 0.01;
    }
    return segments;
}

/// Pitch of one channel (0 left, 1 right) over a segment, away from its edges.
inline double Frequency(const std::vector<int16_t>& samples, const Segment& s, unsigned channel = 0)
{
    return SoundFiles::Frequency(samples, 2, channel, kRate, size_t((s.start + 0.02) * kRate),
                                 size_t((s.end - 0.02) * kRate));
}

inline std::string Describe(const std::vector<Segment>& segments)
{
    std::string text;
    for (const Segment& s : segments)
        text += std::to_string(s.start) + ".." + std::to_string(s.end) + " (" + std::to_string(s.loud) + ") ";
    return text;
}

/// Grows with the number of open handles (Wine's GetProcessHandleCount
/// answers 0): the value of a fresh handle, the lowest free one.
inline uintptr_t HandleWatermark()
{
    HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(h);
    return reinterpret_cast<uintptr_t>(h);
}

} // namespace SoundTest
