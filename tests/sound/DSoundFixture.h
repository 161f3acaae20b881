// The DirectSound test fixture: an engine with its device and two loaded
// sounds, events collected in order, and recordings of the rig's null sink.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <numeric>
#include <vector>

#include "DDGameEngine.h"
#include "DSound7.h"
#include "SoundFiles.h"
#include "WinTestUtil.h"

namespace SoundTest {

using namespace Veld::Game;
using SoundFiles::Widen;
using TestUtil::Pump;

inline const int kRate = 22050; // recordings: 16-bit stereo

/// Records the null sink's monitor for seconds from when data flows (the
/// sink answers a recorder only at the end of its current block), running
/// play meanwhile; left and right interleaved, empty when nothing came.
inline std::vector<int16_t> Record(const char* name, int seconds, const std::function<void()>& play)
{
    const std::string path = ENGINE_SOUND_RECORDINGS "/" + std::string(name), windowsPath = "Z:" + path;
    DeleteFileA(windowsPath.c_str());
    WinExec(("/usr/bin/timeout -s INT " + std::to_string(seconds + 4) +
             " /usr/bin/parec --latency-msec=20 -d null.monitor --raw --format=s16le --rate=22050 --channels=2 " + path)
                .c_str(),
            SW_HIDE); // nothing recorded when it fails
    auto size = [&] { return SoundFiles::ReadFile(windowsPath).size() & ~size_t{3}; };
    Pump(4000, [&] { return size() >= 4 * kRate / 10; });
    const size_t start = size(), bytes = size_t(seconds) * kRate * 4;
    play();
    Pump(DWORD(seconds) * 2000, [&] { return size() >= start + bytes; });
    const std::vector<uint8_t> all = SoundFiles::ReadFile(windowsPath);
    const auto* from = reinterpret_cast<const int16_t*>(all.data() + start);
    return std::vector<int16_t>(from, from + (start && all.size() >= start + bytes ? bytes / 2 : 0));
}

/// A stretch of sound between silences, in seconds of the recording; loud:
/// the time within it that is sound, so a drop-out inside barely counts;
/// the pitch of each channel away from its edges.
struct Segment {
    double start, end, loud, pitch[2];
};

/// Stretches whose 10 ms level exceeds 1000; gaps under 0.3 s (drop-outs of
/// a loaded machine) are merged.
inline std::vector<Segment> FindSegments(const std::vector<int16_t>& samples)
{
    const size_t window = kRate / 100 * 2;
    std::vector<Segment> segments;
    for (size_t w = 0; (w + 1) * window <= samples.size(); ++w) {
        const int16_t* at = &samples[w * window];
        if (std::sqrt(std::inner_product(at, at + window, at, 0.0) / window) <= 1000)
            continue;
        if (segments.empty() || w / 100.0 - segments.back().end > 0.3)
            segments.push_back({w / 100.0, 0, 0, {}});
        segments.back().end = (w + 1) / 100.0;
        segments.back().loud += 0.01;
    }
    for (Segment& s : segments)
        for (unsigned c = 0; c < 2; ++c)
            s.pitch[c] = SoundFiles::Frequency(samples, 2, c, kRate, size_t((s.start + 0.02) * kRate),
                                               size_t((s.end - 0.02) * kRate));
    return segments;
}

inline const std::wstring kBeep = Widen(ENGINE_TONE_WAV);      // 0.4 s, 660 Hz mono
inline const std::wstring kJingle = Widen(ENGINE_TONE_JINGLE); // 0.3 s, 440/880 Hz
inline const std::wstring kShort = Widen(ENGINE_TONE_SHORT);   // 0.3 s MP3, 440/880 Hz

inline bool WaitFor(const std::function<bool()>& done, DWORD ms = 15000)
{
    return Pump(ms, done), done();
}

struct DSound : ::testing::Test, ISoundExEvent {
    using Event = std::pair<int, int>;

    void SetUp() override
    {
        ASSERT_TRUE(engine_->Initialize(GetModuleHandleW(nullptr), TestUtil::UniqueClassName(L"DSound").c_str(),
                                        nullptr, 320, 240, 300, 24, SW_SHOW));
        sound_ = engine_->GetSoundEx();
        ASSERT_TRUE(sound_ && static_cast<CDSound7*>(sound_)->GetDirectSound()) << "no sound card in the rig";
        sound_->SetSoundEvent(this);
        ASSERT_TRUE(sound_->LoadSound(kBeep, L"beep", true, 2) && sound_->LoadSound(kShort, L"short", false, 1));
    }
    void TearDown() override { engine_->Shutdown(); }
    void OnSoundEvent(int id, int event) override
    {
        events_.push_back({id, event});
        if (react_)
            react_(id, event);
    }
    int Count(int id, int event) const { return int(std::count(events_.begin(), events_.end(), Event{id, event})); }
    CDSoundObject* Sound(const wchar_t* name) { return static_cast<CDSound7*>(sound_)->FindSound(name); }

    std::unique_ptr<CDDGameEngine> engine_ = std::make_unique<CDDGameEngine>();
    ISoundEx* sound_ = nullptr;
    std::vector<Event> events_;
    std::function<void(int, int)> react_;
};

} // namespace SoundTest
