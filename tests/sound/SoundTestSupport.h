// Sound tests under Wine: recording what the null sink plays (parec, from
// the rig's PulseAudio) and looking at the recording's tones.
#pragma once

#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "WinTestUtil.h"

namespace SoundTest {

/// A fixture path given to the build as 8-bit text.
inline std::wstring Widen(const char* text)
{
    std::string s(text);
    return std::wstring(s.begin(), s.end());
}

const int kRate = 22050; // the recording: 16-bit stereo

/// Records the null sink's monitor through parec, a Unix program that Wine
/// starts directly. The null sink answers a recorder's latency only at the
/// end of its current block: Start waits until data flows.
class Recorder {
public:
    /// unixPath: where parec writes raw PCM; the same file as Z:<unixPath>.
    explicit Recorder(const std::string& unixPath) : m_path(unixPath) {}

    /// Records at least seconds from when Start returns true.
    bool Start(int seconds)
    {
        m_seconds = seconds;
        DeleteFileA(WindowsPath().c_str());
        // Wine cannot wait for a Unix process: timeout ends it.
        std::string cmd =
            "/usr/bin/timeout -s INT " + std::to_string(seconds + 4) +
            " /usr/bin/parec --latency-msec=20 -d null.monitor --raw --format=s16le --rate=" + std::to_string(kRate) +
            " --channels=2 " + m_path;
        std::wstring wcmd(cmd.begin(), cmd.end());
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessW(nullptr, &wcmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
            return false;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        TestUtil::Pump(4000, [this] { return Size() >= 4 * kRate / 10; });
        m_startSize = Size();
        return m_startSize > 0;
    }

    /// Waits until the time is recorded; the samples from Start on, left and
    /// right interleaved.
    std::vector<int16_t> Wait()
    {
        const DWORD bytes = DWORD(m_seconds) * kRate * 4;
        TestUtil::Pump(DWORD(m_seconds) * 2000, [&] { return Size() >= m_startSize + bytes; });
        std::vector<int16_t> samples;
        if (FILE* f = std::fopen(WindowsPath().c_str(), "rb")) {
            std::vector<int16_t> all(m_startSize / 2 + bytes / 2);
            const size_t n = std::fread(all.data(), sizeof(int16_t), all.size(), f);
            std::fclose(f);
            if (n > m_startSize / 2)
                samples.assign(all.begin() + m_startSize / 2, all.begin() + n);
        }
        return samples;
    }

private:
    std::string WindowsPath() const { return "Z:" + m_path; }
    DWORD Size() const
    {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExA(WindowsPath().c_str(), GetFileExInfoStandard, &data))
            return 0;
        return data.nFileSizeLow & ~3u;
    }

    std::string m_path;
    int m_seconds = 0;
    DWORD m_startSize = 0;
};

/// A stretch of sound between silences, in seconds of the recording.
struct Segment {
    double start;
    double end;
    double Duration() const { return end - start; }
};

/// Stretches whose 10 ms level exceeds threshold, gaps under minGap merged.
inline std::vector<Segment> FindSegments(const std::vector<int16_t>& samples, double threshold = 1000,
                                         double minGap = 0.08)
{
    const size_t window = kRate / 100;
    std::vector<Segment> segments;
    bool inside = false;
    for (size_t w = 0; (w + 1) * window * 2 <= samples.size(); ++w) {
        double sum = 0;
        for (size_t i = w * window * 2; i < (w + 1) * window * 2; ++i)
            sum += double(samples[i]) * samples[i];
        const bool loud = std::sqrt(sum / (window * 2)) > threshold;
        const double t = double(w) / 100;
        if (loud && !inside) {
            if (!segments.empty() && t - segments.back().end < minGap)
                segments.back().end = t + 0.01;
            else
                segments.push_back({t, t + 0.01});
            inside = true;
        } else if (loud) {
            segments.back().end = t + 0.01;
        } else {
            inside = false;
        }
    }
    return segments;
}

/// Dominant frequency of one channel (0 left, 1 right) between two times,
/// from the rate of rising zero crossings (the tests play pure tones).
inline double Frequency(const std::vector<int16_t>& samples, int channel, double from, double to)
{
    const size_t frames = samples.size() / 2;
    size_t a = size_t(from * kRate), b = size_t(to * kRate);
    if (b > frames)
        b = frames;
    int crossings = 0;
    size_t first = 0, last = 0;
    for (size_t i = a + 1; i < b; ++i) {
        if (samples[(i - 1) * 2 + channel] < 0 && samples[i * 2 + channel] >= 0) {
            if (crossings == 0)
                first = i;
            last = i;
            ++crossings;
        }
    }
    if (crossings < 2)
        return 0;
    return double(crossings - 1) * kRate / double(last - first);
}

/// Frequency over the middle of a segment, away from its edges.
inline double SegmentFrequency(const std::vector<int16_t>& samples, const Segment& s, int channel = 0)
{
    const double margin = s.Duration() > 0.2 ? 0.05 : 0.01;
    return Frequency(samples, channel, s.start + margin, s.end - margin);
}

inline std::string Describe(const std::vector<Segment>& segments)
{
    std::string text;
    char line[64];
    for (const Segment& s : segments) {
        std::snprintf(line, sizeof(line), "[%.2f..%.2f] ", s.start, s.end);
        text += line;
    }
    return text;
}

/// A value that grows with the number of open handles (Wine's
/// GetProcessHandleCount answers 0): the value of a fresh handle.
inline uintptr_t HandleWatermark()
{
    HANDLE h = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const uintptr_t value = reinterpret_cast<uintptr_t>(h);
    CloseHandle(h);
    return value;
}

} // namespace SoundTest
