// Sound data for tests: files, seeded mutations of valid files, and the pitch
// of a 16-bit tone. Portable.
#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace SoundFiles {

inline std::wstring Widen(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

inline std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

/// One to four edits of a valid file, the same for the same seed:
/// truncation, flipped bits, a run of 0x00 or 0xFF, a run copied from
/// elsewhere, or four bytes (mostly within the first header bytes, if any)
/// set to 0, 1, a huge or a random value.
inline std::vector<uint8_t> Mutate(const std::vector<uint8_t>& in, uint32_t seed, uint32_t header = 0)
{
    static const uint32_t kValues[] = {0, 1, 0x7FFFFFFF, 0xFFFFFFFF, 0xFFFFFFF0};
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(in);
    for (uint32_t e = 0, edits = 1 + rng() % 4; e < edits && !v.empty(); ++e) {
        const uint32_t size = static_cast<uint32_t>(v.size()), kind = rng() % 6, at = rng() % size, n = rng();
        if (kind == 0)
            v.resize(at);
        for (uint32_t i = 0; kind == 1 && i <= n % 16; ++i)
            v[rng() % size] ^= static_cast<uint8_t>(1u << rng() % 8);
        if (kind == 2)
            std::fill(v.begin() + at, v.begin() + std::min(size, at + 1 + n % 512), n & 1 ? 0x00 : 0xFF);
        for (uint32_t i = 0, from = n % size; kind == 3 && i < n % 2048 && std::max(from, at) + i < size; ++i)
            v[at + i] = v[from + i];
        if (kind >= 4) {
            const uint32_t to = header && n % 4 ? rng() % header : at, value = n % 3 ? kValues[rng() % 5] : rng();
            for (uint32_t i = 0; i < 4 && to + i < size; ++i)
                v[to + i] = static_cast<uint8_t>(value >> 8 * i);
        }
    }
    return v;
}

/// Pitch of one channel of interleaved 16-bit PCM over frames [from, to):
/// the median period between rising zero crossings (each after a dip below
/// -2048, so noise near zero does not count), interpolated between samples.
inline double Frequency(const std::vector<int16_t>& pcm, unsigned channels, unsigned channel, double rate,
                        size_t from = 0, size_t to = SIZE_MAX)
{
    std::vector<double> periods;
    double last = -1;
    bool armed = false;
    for (size_t i = std::max<size_t>(from, 1); i < std::min(to, pcm.size() / channels); ++i) {
        const int a = pcm[(i - 1) * channels + channel], b = pcm[i * channels + channel];
        if (armed && a < 0 && b >= 0) {
            const double at = double(i - 1) + double(a) / (a - b);
            if (last >= 0)
                periods.push_back(at - last);
            last = at;
        }
        armed = b < -2048 || (armed && !(a < 0 && b >= 0));
    }
    if (periods.empty())
        return 0;
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    return rate / periods[periods.size() / 2];
}

} // namespace SoundFiles
