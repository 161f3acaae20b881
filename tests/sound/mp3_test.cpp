// The portable MP3 path, natively under the sanitizers as well as for
// Windows: the 16-bit dither and decoding through the bundled libmad. (The
// stream block is read end to end by the Windows stream tests.)
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "Mp3Fixture.h"

using namespace Veld::Game;
using SoundFiles::ReadFile;

namespace {

constexpr int32_t kOne = 1 << 28; // 1.0 in libmad's fixed point

struct VectorSink : IMp3DecodeSink {
    unsigned channels = 0, sampleRate = 0, formats = 0;
    std::vector<uint8_t> out;
    uint8_t frame[kMp3MaxFrameBytes];

    void OnFormat(unsigned c, unsigned rate) override { channels = c, sampleRate = rate, ++formats; }
    uint8_t* NextOutput() override { return frame; }
    bool OnFrame(uint32_t bytes) override { return out.insert(out.end(), frame, frame + bytes), true; }
    /// Decodes from an exactly sized copy: the sanitizers see any read past it.
    uint32_t Decode(const std::vector<uint8_t>& file, bool loop = false)
    {
        const std::vector<uint8_t> exact(file);
        return Mp3Decode(exact.data(), exact.size(), *this, loop);
    }
    const int16_t* Samples() const { return reinterpret_cast<const int16_t*>(out.data()); }
};

TEST(Mp3Dither, RoundsClipsAndShapesNoise)
{
    // From the zero state the generator adds (0x3C6EF35F & 0x1FFF) = 4959 of
    // noise and rounding 4096: the output is (sample + 9055) with its low 13
    // bits cleared, and error[0] the (clipped) sample minus that.
    struct Case {
        Mp3DitherState state;
        int32_t sample;
        int result;
        int32_t error;
    } cases[] = {
        {{}, -863, 1, -863 - 8192},
        {{}, -864, 0, -864},
        {{}, kOne - 1 - 9055, 32767, -864}, // lands on the largest value
        {{}, kOne - 1 - 9054, 32767, -863}, // the output clips, the sample is in range
        {{}, kOne, 32767, 8191},            // the sample clips too
        {{}, -kOne - 9055, -32768, -9055},
        {{}, -kOne - 9056, -32768, 0},
        {{{1, 0, 0}, 0}, INT32_MAX, -32768, 0}, // wraps to INT32_MIN in 32 bits
        {{{-7, 5, 7}, 0}, 0, 1, -5 - 8192},     // 0 + (-7) - 5 + 7 = -5
    };
    for (Case& c : cases) {
        // The writer (both channels at once, SSE2) gives the per-sample results.
        Mp3DitherState w[2] = {c.state, c.state}, r = c.state;
        const std::vector<int32_t> in(9, c.sample);
        std::vector<int16_t> out(19, 0x5555);
        ASSERT_EQ(Mp3WritePcm16(reinterpret_cast<uint8_t*>(out.data()), in.data(), in.data(), 9, w[0], w[1]), 36u);
        for (int i = 0; i < 9; ++i)
            EXPECT_TRUE(out[2 * i] == out[2 * i + 1] && out[2 * i] == Mp3DitherSample(c.sample, r)) << c.sample;
        EXPECT_TRUE(out[18] == 0x5555 && std::memcmp(&w[1], &r, sizeof(r)) == 0) << c.sample;
        EXPECT_TRUE(Mp3DitherSample(c.sample, c.state) == c.result && c.state.error[0] == c.error) << c.sample;
    }
    EXPECT_TRUE(cases[8].state.error[1] == -3 && cases[8].state.error[2] == 5); // -7 / 2 rounds toward zero
    Mp3DitherState s{};
    for (int silence : {1, -1, 1, -1, 0, 0, 0, 1})
        EXPECT_EQ(Mp3DitherSample(0, s), silence);
}

// Every format as the reference decode gives it, the last frame included.
// Tagged: exactly the source's samples, in place: the first channel
// correlates with the source best at offset 0, not one sample either side.
// Untagged: whole frames.
TEST(Mp3Decode, FormatsGiveTheirSourceExactly)
{
    for (const Mp3Fixture::Tone& tone : Mp3Fixture::kFormats) {
        const std::vector<uint8_t> expected = Mp3Fixture::Expected(tone).bytes;
        VectorSink sink;
        sink.Decode(ReadFile(tone.path));
        const size_t n = sink.out.size() / 2 / tone.channels, ch = tone.channels;
        EXPECT_TRUE(sink.formats == 1 && sink.channels == ch && sink.sampleRate == tone.rate && sink.out == expected &&
                    (tone.tagged ? n == tone.samples : n % 576 == 0))
            << tone.path << ": " << n << " samples";
        const std::vector<uint8_t> wav = ReadFile(std::string(tone.path) + ".wav");
        const auto *source = reinterpret_cast<const int16_t*>(wav.data() + 44), *decoded = sink.Samples();
        double c[3] = {}; // at offsets -1, 0, 1
        for (int lag = -1; tone.tagged && n == tone.samples && lag <= 1; ++lag) {
            double ab = 0, aa = 0, bb = 0;
            for (size_t i = 1; i + 1 < n; ++i)
                ab += double(source[i * ch]) * decoded[(i + lag) * ch], aa += double(source[i * ch]) * source[i * ch],
                    bb += double(decoded[(i + lag) * ch]) * decoded[(i + lag) * ch];
            c[lag + 1] = ab / std::sqrt(aa * bb);
        }
        EXPECT_TRUE(!tone.tagged || (c[1] > 0.99 && c[1] > c[0] && c[1] > c[2])) << tone.path;
    }
}

// Edits of a tagged file (0.3 s, 13 frames of 128 kbit/s joint stereo: "Info"
// at 36, the frame count at 44, the LAME version at 156, delay and padding at
// 177) decode as the reference with their first frame dropped (info) or not,
// samples [from, from + count) kept. Tags that lie or break are ignored.
TEST(Mp3Decode, HostileTagsAreIgnored)
{
    const uint64_t kAll = UINT64_MAX;
    const struct {
        size_t at, size; // size: cut to it; 1: bytes inserted with 139 zero bytes
        std::vector<uint8_t> bytes;
        bool info;
        uint64_t from, count;
    } rows[] = {
        {44, 0, {0, 0, 0, 1}, false, 0, kAll},         // delay and padding exceed one frame
        {44, 0, {0x7F, 0, 0, 0}, false, 0, kAll},      // more frames than the file holds
        {0, 300, {}, false, 0, kAll},                  // cut inside the Info frame
        {1, 0, {0xFD}, false, 0, kAll},                // layer II
        {36, 0, {'I', 'n', 'f', 'x'}, false, 0, kAll}, // no tag
        {156, 0, {0, 0, 0, 0}, true, 0, kAll},         // no LAME extension: only the Info frame goes
        {177, 0, {0x12, 0x34, 0x56}, true, 0x123 + 529, 13 * 1152 - 0x123 - 0x456},             // 12 bits each
        {0, 1, {'I', 'D', '3', 4, 0, 0x10, 0, 0, 1, 1}, true, Mp3Fixture::kSourceStart, 13230}, // 10 + 129 + 10
    };
    for (const auto& row : rows) {
        std::vector<uint8_t> file = ReadFile(ENGINE_TONE_SHORT);
        if (row.size == 1)
            file.insert(file.begin(), 139, 0), file.insert(file.begin(), row.bytes.begin(), row.bytes.end());
        else
            std::copy(row.bytes.begin(), row.bytes.end(), file.begin() + row.at);
        file.resize(row.size > 1 ? row.size : file.size());
        const std::vector<uint8_t> expected = Mp3Fixture::Expected(file, row.info, row.from, row.count).bytes;
        VectorSink sink;
        sink.Decode(file);
        EXPECT_TRUE(sink.out == expected) << "at " << row.at;
    }
}

// Mutated files, the Info frame of every other one mostly, through the tag,
// the decode and the dither: frames or nothing, never a crash or a read out
// of bounds (natively under AddressSanitizer). Joined files: every frame in
// the first frame's layout; nothing from no frame, looped or not.
TEST(Mp3Decode, MutatedAndJoinedFiles)
{
    const auto file = ReadFile(ENGINE_TONE_SHORT);
    int decoded = 0;
    for (uint32_t seed = 1; seed <= 2500; ++seed) {
        VectorSink sink;
        const uint32_t frames = sink.Decode(SoundFiles::Mutate(file, seed, seed % 2 ? 417 : 0));
        decoded += frames > 0;
        ASSERT_TRUE(sink.out.size() <= size_t{frames} * kMp3MaxFrameBytes &&
                    sink.out.size() % (2 * std::max(sink.channels, 1u)) == 0)
            << "seed " << seed;
    }
    EXPECT_GT(decoded, 500);
    std::vector<uint8_t> joined = ReadFile(ENGINE_TONE_MONO_22_NOTAG), stereo = ReadFile(ENGINE_TONE_ODD_STEREO_NOTAG);
    VectorSink sink, none, parts[2];
    EXPECT_TRUE(parts[0].Decode(joined) > 70 && parts[1].Decode(stereo) > 10);
    joined.insert(joined.end(), stereo.begin(), stereo.end());
    sink.Decode(joined);
    EXPECT_TRUE(sink.channels == 1 && sink.out.size() == parts[0].out.size() + parts[1].out.size() / 2);
    EXPECT_EQ(Mp3Decode(nullptr, 0, none, true) + none.Decode(std::vector<uint8_t>(5000, 'x'), true) + none.formats,
              0u);
}

// A loop runs on from the first kept sample with the dither carried on, as
// decodes one after another would, until the sink stops it.
TEST(Mp3Decode, LoopRunsOnUntilStopped)
{
    constexpr size_t kStop = 3 * 13230 * 4 + 9; // three passes and a little
    struct Stopping : VectorSink {
        bool OnFrame(uint32_t bytes) override { return VectorSink::OnFrame(bytes), out.size() < kStop; }
    } loop;
    VectorSink plays;
    Mp3SharedDither& dither = Mp3ProcessDither();
    const Mp3DitherState start[2] = {dither.left, dither.right};
    loop.Decode(ReadFile(ENGINE_TONE_SHORT), true);
    dither.left = start[0], dither.right = start[1];
    for (int i = 0; i < 4; ++i)
        plays.Decode(ReadFile(ENGINE_TONE_SHORT));
    EXPECT_TRUE(loop.formats == 1 && loop.out.size() >= kStop && loop.out.size() < kStop + kMp3MaxFrameBytes &&
                std::equal(loop.out.begin(), loop.out.end(), plays.out.begin()));
}

} // namespace
