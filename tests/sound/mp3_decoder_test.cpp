// The portable MP3 path: libmad decode with the shared dither, and the block
// hand-over between a decoding worker and a reader. Built natively under the
// sanitizers as well as for Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <cstring>
#include <thread>

#include "Mp3Decoder.h"
#include "Mp3TestSupport.h"

using namespace Veld::Game;

namespace {

struct VectorSink : IMp3DecodeSink {
    unsigned channels = 0, sampleRate = 0, formats = 0;
    std::vector<uint8_t> out;
    uint8_t frame[kMp3MaxFrameBytes];

    void OnFormat(unsigned c, unsigned rate) override
    {
        channels = c;
        sampleRate = rate;
        ++formats;
    }
    uint8_t* NextOutput() override { return frame; }
    bool OnFrame(uint32_t bytes) override
    {
        EXPECT_LE(bytes, kMp3MaxFrameBytes);
        out.insert(out.end(), frame, frame + bytes);
        return true;
    }
};

// Decodes into a CMp3Block and reads it as a streaming sound object does:
// one whole-block read, then half-block reads, each once the block is
// complete. Records every read's size.
struct StreamingSink : IMp3DecodeSink {
    CMp3Block block;
    std::vector<uint8_t> out;
    std::vector<uint32_t> reads;
    unsigned channels = 0;
    bool firstRead = true;

    StreamingSink() { EXPECT_TRUE(block.Allocate()); }
    void Reset()
    {
        block.Restart();
        out.clear();
        reads.clear();
        channels = 0;
        firstRead = true;
    }
    void OnFormat(unsigned c, unsigned) override { channels = c; }
    uint8_t* NextOutput() override { return block.WritePointer(); }
    bool OnFrame(uint32_t bytes) override
    {
        if (!block.Commit(bytes))
            return true;
        // Full: the reader takes it all before the decoder goes on.
        bool released = false;
        while (!released) {
            const uint32_t n = ReadOnce(&released);
            if (n == 0 && !released) {
                ADD_FAILURE() << "a full block read returned nothing";
                return false;
            }
        }
        block.Recycle();
        return true;
    }
    uint32_t ReadOnce(bool* released)
    {
        const uint32_t size = firstRead ? kMp3BlockSize : kMp3BlockSize / 2;
        firstRead = false;
        const size_t at = out.size();
        out.resize(at + size);
        const uint32_t n = block.Take(out.data() + at, size, released);
        out.resize(at + n);
        reads.push_back(n);
        return n;
    }
    void Drain()
    {
        block.Finish();
        bool released = false;
        while (ReadOnce(&released) != 0) {
        }
    }
};

const Mp3DitherState kZero[2] = {};

std::vector<uint8_t> Concat(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    std::vector<uint8_t> v(a);
    v.insert(v.end(), b.begin(), b.end());
    return v;
}

} // namespace

TEST(Mp3Decode, WritesEveryFrameIncludingTheLastLikeLibmadWithGuard)
{
    for (const char* path : {ENGINE_TONE_STEREO, ENGINE_TONE_MONO}) {
        SCOPED_TRACE(path);
        const auto file = Mp3Test::ReadBytes(path);
        Mp3DitherState state[2] = {};
        const Mp3Test::Pcm expected = Mp3Test::ReferenceDecode(file, state);

        Mp3Test::SetDither(kZero);
        VectorSink sink;
        EXPECT_EQ(Mp3Decode(file.data(), file.size(), sink), expected.frames);
        EXPECT_EQ(sink.formats, 1u);
        EXPECT_EQ(sink.channels, expected.channels);
        EXPECT_EQ(sink.sampleRate, 44100u);
        EXPECT_EQ(sink.out.size(), expected.frames * 1152u * 2u * expected.channels);
        EXPECT_TRUE(sink.out == expected.bytes);
    }
}

TEST(Mp3Decode, DitherContinuesFromOneFileIntoTheNext)
{
    const auto stereo = Mp3Test::ReadBytes(ENGINE_TONE_STEREO);
    const auto mono = Mp3Test::ReadBytes(ENGINE_TONE_MONO);
    Mp3DitherState state[2] = {};
    Mp3Test::ReferenceDecode(stereo, state);
    const Mp3Test::Pcm expected = Mp3Test::ReferenceDecode(mono, state);

    Mp3Test::SetDither(kZero);
    VectorSink first, second;
    Mp3Decode(stereo.data(), stereo.size(), first);
    Mp3Decode(mono.data(), mono.size(), second);
    EXPECT_TRUE(second.out == expected.bytes);
    Mp3DitherState after[2];
    Mp3Test::GetDither(after);
    EXPECT_EQ(std::memcmp(after, state, sizeof(after)), 0);
}

TEST(Mp3Decode, FramesKeepTheFirstFramesChannelCount)
{
    const auto stereo = Mp3Test::ReadBytes(ENGINE_TONE_STEREO);
    const auto mono = Mp3Test::ReadBytes(ENGINE_TONE_MONO);
    for (unsigned first : {1u, 2u}) {
        const auto joined = first == 1 ? Concat(mono, stereo) : Concat(stereo, mono);
        VectorSink sink;
        const uint32_t frames = Mp3Decode(joined.data(), joined.size(), sink);
        EXPECT_EQ(sink.channels, first);
        EXPECT_GT(frames, 80u);
        EXPECT_EQ(sink.out.size(), frames * 1152u * 2u * first); // no slipped interleave
    }
}

TEST(Mp3Decode, EmptyAndFramelessInputWriteNothing)
{
    VectorSink sink;
    EXPECT_EQ(Mp3Decode(nullptr, 0, sink), 0u);
    const std::vector<uint8_t> text(5000, 'x');
    EXPECT_EQ(Mp3Decode(text.data(), text.size(), sink), 0u);
    EXPECT_EQ(sink.formats, 0u);
    EXPECT_TRUE(sink.out.empty());
}

TEST(Mp3Block, ReaderTakesOnlyWhatIsThereAndReleasesOnlyCompleteBlocks)
{
    CMp3Block block;
    ASSERT_TRUE(block.Allocate());
    std::vector<uint8_t> out(kMp3BlockSize);
    bool released = true;

    // A block still being written: bytes in order, no release.
    std::memset(block.WritePointer(), 1, 1000);
    EXPECT_FALSE(block.Commit(1000));
    EXPECT_EQ(block.Take(out.data(), 600, &released), 600u);
    EXPECT_FALSE(released);
    EXPECT_EQ(block.Take(out.data(), 600, &released), 400u);
    EXPECT_FALSE(released);
    EXPECT_EQ(block.Take(out.data(), 600, &released), 0u);

    // The last, partial block: the second half-read continues where the
    // first stopped and returns only what remains.
    const uint32_t rest = 500000 - 1000;
    for (uint32_t i = 0; i < rest; ++i)
        block.WritePointer()[i] = static_cast<uint8_t>(i * 7);
    block.Commit(rest);
    block.Finish();
    std::vector<uint8_t> got;
    std::vector<bool> releases;
    for (uint32_t n; (n = block.Take(out.data(), kMp3BlockSize / 2, &released)) != 0;) {
        got.insert(got.end(), out.begin(), out.begin() + n);
        releases.push_back(released);
    }
    EXPECT_EQ(releases, (std::vector<bool>{false, true}));
    ASSERT_EQ(got.size(), rest);
    for (uint32_t i = 0; i < rest; ++i)
        ASSERT_EQ(got[i], static_cast<uint8_t>(i * 7)) << i;
    EXPECT_EQ(block.Fill(), 0u);
}

TEST(Mp3Block, StreamReadsOfALongFileMatchTheWholeDecode)
{
    const auto file = Mp3Test::ReadBytes(ENGINE_TONE_LONG);
    Mp3DitherState state[2] = {};
    const Mp3Test::Pcm expected = Mp3Test::ReferenceDecode(file, state);
    ASSERT_GT(expected.bytes.size(), 3u * kMp3BlockSize);

    Mp3Test::SetDither(kZero);
    StreamingSink sink;
    Mp3Decode(file.data(), file.size(), sink);
    sink.Drain();
    EXPECT_TRUE(sink.out == expected.bytes);

    // One whole block, then halves; the partial last block in at most two
    // reads without overlap; then nothing.
    const size_t fullBlocks = expected.bytes.size() / kMp3BlockSize;
    const size_t tailAt = 1 + 2 * (fullBlocks - 1);
    ASSERT_GT(sink.reads.size(), tailAt);
    EXPECT_EQ(sink.reads[0], kMp3BlockSize);
    for (size_t i = 1; i < tailAt; ++i)
        EXPECT_EQ(sink.reads[i], kMp3BlockSize / 2) << i;
    const uint32_t tail = static_cast<uint32_t>(expected.bytes.size() % kMp3BlockSize);
    std::vector<uint32_t> last(sink.reads.begin() + tailAt, sink.reads.end());
    if (tail > kMp3BlockSize / 2)
        EXPECT_EQ(last, (std::vector<uint32_t>{kMp3BlockSize / 2, tail - kMp3BlockSize / 2, 0}));
    else
        EXPECT_EQ(last, (std::vector<uint32_t>{tail, 0}));
}

// A writer thread and a reader thread that never waits for it: whatever the
// timing, the reader sees every byte once, in order.
TEST(Mp3Block, ConcurrentReaderNeverSeesStaleOrRepeatedBytes)
{
    CMp3Block block;
    ASSERT_TRUE(block.Allocate());
    const uint32_t total = 3 * kMp3BlockSize + 123456;
    std::atomic<bool> consumed{false};
    std::thread writer([&] {
        uint32_t written = 0;
        while (written < total) {
            const uint32_t n = std::min<uint32_t>(4608, total - written);
            uint8_t* out = block.WritePointer();
            for (uint32_t i = 0; i < n; ++i)
                out[i] = static_cast<uint8_t>((written + i) * 13 + ((written + i) >> 16));
            written += n;
            if (block.Commit(n)) {
                while (!consumed.exchange(false))
                    std::this_thread::yield();
                block.Recycle();
            }
        }
        block.Finish();
    });

    std::vector<uint8_t> out(kMp3BlockSize);
    uint32_t seen = 0;
    Mp3Test::Rng rng(5);
    bool ok = true;
    while (seen < total && ok) {
        bool released = false;
        const uint32_t n = block.Take(out.data(), 1 + rng.Below(kMp3BlockSize / 2), &released);
        for (uint32_t i = 0; i < n && ok; ++i)
            ok = out[i] == static_cast<uint8_t>((seen + i) * 13 + ((seen + i) >> 16));
        seen += n;
        if (released)
            consumed = true;
    }
    writer.join();
    EXPECT_TRUE(ok) << "wrong byte near offset " << seen;
    EXPECT_EQ(seen, total);
}

// Mutated files through the decode, the dither and the block hand-over:
// failure or data, never a crash (run under AddressSanitizer natively).
TEST(Mp3Decode, MutatedFilesNeverCrash)
{
    const auto file = Mp3Test::ReadBytes(ENGINE_TONE_SHORT);
    ASSERT_FALSE(file.empty());
    StreamingSink sink;
    int decoded = 0;
    for (uint64_t seed = 1; seed <= 2500; ++seed) {
        const auto bad = Mp3Test::Mutate(file, seed);
        // Exactly sized input: reads past its end are caught by the sanitizer.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[bad.empty() ? 1 : bad.size()]);
        if (!bad.empty())
            std::memcpy(exact.get(), bad.data(), bad.size());
        sink.Reset();
        const uint32_t frames = Mp3Decode(exact.get(), bad.size(), sink);
        decoded += frames > 0;
        sink.Drain();
        ASSERT_LE(sink.out.size(), size_t{frames} * kMp3MaxFrameBytes) << "seed " << seed;
        ASSERT_EQ(sink.out.size() % (2 * (sink.channels ? sink.channels : 1)), 0u) << "seed " << seed;
    }
    EXPECT_GT(decoded, 500);
}
