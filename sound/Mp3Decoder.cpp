#include "Mp3Decoder.h"

#include <mad.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>
#include <vector>

#include "Mp3Tag.h"

namespace Veld::Game {

static_assert(sizeof(mad_fixed_t) == sizeof(int32_t) && std::is_signed<mad_fixed_t>::value,
              "libmad samples are 32-bit signed");

Mp3SharedDither& Mp3ProcessDither()
{
    static Mp3SharedDither dither;
    return dither;
}

namespace {

// One run of libmad: its callback data, so decodes never share anything but
// the dither.
struct DecodeContext {
    const uint8_t* data;
    size_t size;
    int stage = 0; // 0: hand over data, 1: hand over its tail with the guard, 2: done
    std::vector<uint8_t> tail;
    Mp3FrameFn onFrame;
    void* user;
    uint32_t frames = 0;
};

mad_flow OnInput(void* data, mad_stream* stream)
{
    auto& c = *static_cast<DecodeContext*>(data);
    if (c.stage == 0) {
        c.stage = 1;
        if (c.size == 0)
            return MAD_FLOW_STOP;
        mad_stream_buffer(stream, c.data, c.size);
        return MAD_FLOW_CONTINUE;
    }
    if (c.stage == 1) {
        // libmad decodes a frame only when MAD_BUFFER_GUARD bytes follow it,
        // so it stops short of the last one: hand over what it left, a frame
        // at most, followed by zero bytes.
        c.stage = 2;
        const uint8_t* next = stream->next_frame;
        if (!next || next < c.data || next >= c.data + c.size)
            return MAD_FLOW_STOP;
        const size_t rest = static_cast<size_t>(c.data + c.size - next);
        c.tail.assign(next, next + rest);
        c.tail.resize(rest + MAD_BUFFER_GUARD, 0);
        mad_stream_buffer(stream, c.tail.data(), c.tail.size());
        return MAD_FLOW_CONTINUE;
    }
    return MAD_FLOW_STOP;
}

mad_flow OnOutput(void* data, const mad_header* header, mad_pcm* pcm)
{
    auto& c = *static_cast<DecodeContext*>(data);
    const int32_t* left = reinterpret_cast<const int32_t*>(pcm->samples[0]);
    const int32_t* right = pcm->channels == 2 ? reinterpret_cast<const int32_t*>(pcm->samples[1]) : nullptr;
    if (!c.onFrame(c.user, pcm->channels == 2 ? 2 : 1, header->samplerate, left, right, pcm->length))
        return MAD_FLOW_STOP;
    ++c.frames;
    return MAD_FLOW_CONTINUE;
}

// libmad's synthesis delays its output by this many samples.
constexpr uint64_t kDecoderDelay = 529;

// Mp3Decode's frame step: dither into the sink's memory, keep the samples of
// a pass in [skip, end).
struct SinkContext {
    IMp3DecodeSink* sink;
    unsigned channels = 0; // 0 until the first frame
    uint64_t skip = 0, end = UINT64_MAX;
    uint64_t position = 0; // samples decoded in this pass
    uint32_t frames = 0;   // frames that gave the sink samples
    bool stopped = false;  // by the sink
};

bool WriteFrame(void* user, unsigned channels, unsigned sampleRate, const int32_t* left, const int32_t* right,
                unsigned length)
{
    auto& c = *static_cast<SinkContext*>(user);
    if (c.channels == 0) {
        c.channels = channels;
        c.sink->OnFormat(c.channels, sampleRate);
    }
    uint8_t* out = c.sink->NextOutput();
    if (!out) {
        c.stopped = true;
        return false;
    }
    if (length > kMp3MaxFrameBytes / 4)
        length = kMp3MaxFrameBytes / 4;
    // Frames keep the first frame's channel count: a mono frame in a stereo
    // sound is written to both channels, a stereo frame in a mono sound as
    // its left channel. Otherwise the interleaving would slip.
    if (c.channels == 1)
        right = nullptr;
    else if (!right)
        right = left;

    {
        // Trimmed samples are dithered too: the kept ones do not depend on the trim.
        Mp3SharedDither& dither = Mp3ProcessDither();
        std::lock_guard<std::mutex> guard(dither.lock);
        Mp3WritePcm16(out, left, right, length, dither.left, dither.right);
    }
    const uint64_t from = c.position, to = from + length;
    const uint64_t keepFrom = std::max(from, c.skip), keepTo = std::min(to, c.end);
    c.position = to;
    if (keepFrom >= keepTo)
        return to < c.end;
    const uint32_t sampleBytes = 2 * c.channels, bytes = static_cast<uint32_t>(keepTo - keepFrom) * sampleBytes;
    if (keepFrom > from)
        std::memmove(out, out + (keepFrom - from) * sampleBytes, bytes);
    ++c.frames;
    if (!c.sink->OnFrame(bytes)) {
        c.stopped = true;
        return false;
    }
    return keepTo < c.end; // the pass ends with its last kept sample
}

} // namespace

uint32_t Mp3DecodeFrames(const uint8_t* data, size_t size, Mp3FrameFn onFrame, void* user)
{
    DecodeContext context;
    context.data = data;
    context.size = data ? size : 0;
    context.onFrame = onFrame;
    context.user = user;

    mad_decoder decoder;
    mad_decoder_init(&decoder, &context, OnInput, nullptr, nullptr, OnOutput, nullptr, nullptr);
    mad_decoder_run(&decoder, MAD_DECODER_MODE_SYNC);
    mad_decoder_finish(&decoder);
    return context.frames;
}

uint32_t Mp3Decode(const uint8_t* data, size_t size, IMp3DecodeSink& sink, bool loop)
{
    const Mp3Tag tag = Mp3ReadTag(data, size);
    SinkContext context;
    context.sink = &sink;
    if (tag.exact) {
        context.skip = tag.delay + kDecoderDelay;
        context.end = context.skip + tag.Samples();
    }
    // A loop ends when the sink stops it, or a pass gives it nothing.
    for (uint32_t before = UINT32_MAX; !context.stopped && context.frames != before;) {
        before = context.frames;
        context.position = 0;
        Mp3DecodeFrames(data ? data + tag.audio : nullptr, size - tag.audio, WriteFrame, &context);
        if (!loop)
            break;
    }
    return context.frames;
}

bool CMp3Block::Allocate()
{
    if (!m_pBlock)
        m_pBlock = new (std::nothrow) uint8_t[kMp3BlockAlloc];
    return m_pBlock != nullptr;
}

uint8_t* CMp3Block::Detach()
{
    uint8_t* fresh = new (std::nothrow) uint8_t[kMp3BlockAlloc];
    if (!fresh)
        return nullptr;
    uint8_t* full = m_pBlock;
    ContinueIn(fresh);
    return full;
}

void CMp3Block::Free()
{
    delete[] m_pBlock;
    m_pBlock = nullptr;
    Restart();
}

void CMp3Block::Restart()
{
    m_dwWritten = 0;
    m_dwBlockFill.store(0, std::memory_order_relaxed);
    m_dwBlockReadPos = 0;
    m_bFinished.store(false, std::memory_order_relaxed);
}

bool CMp3Block::Commit(uint32_t bytes)
{
    m_dwWritten += bytes;
    m_dwBlockFill.store(std::min(m_dwWritten, kMp3BlockSize), std::memory_order_release);
    return m_dwWritten >= kMp3BlockSize;
}

void CMp3Block::ContinueIn(uint8_t* block)
{
    const uint32_t over = m_dwWritten > kMp3BlockSize ? m_dwWritten - kMp3BlockSize : 0;
    std::memmove(block, m_pBlock + kMp3BlockSize, over);
    m_pBlock = block;
    m_dwWritten = over;
    m_dwBlockFill.store(over, std::memory_order_release);
}

uint32_t CMp3Block::Take(uint8_t* out, uint32_t size, bool* released)
{
    *released = false;
    if (!m_pBlock)
        return 0;
    // Finished first: once it is seen, the fill read after it is final.
    const bool finished = m_bFinished.load(std::memory_order_acquire);
    const uint32_t fill = m_dwBlockFill.load(std::memory_order_acquire);
    const uint32_t available = fill > m_dwBlockReadPos ? fill - m_dwBlockReadPos : 0;
    const uint32_t n = size < available ? size : available;
    if (n)
        std::memcpy(out, m_pBlock + m_dwBlockReadPos, n);
    m_dwBlockReadPos += n;
    if (fill > 0 && m_dwBlockReadPos == fill && (finished || fill >= kMp3BlockSize)) {
        // The writer is waiting or done: it does not touch the fill now.
        m_dwBlockReadPos = 0;
        m_dwBlockFill.store(0, std::memory_order_release);
        *released = true;
    }
    return n;
}

} // namespace Veld::Game
