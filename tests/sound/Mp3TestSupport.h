// Reference decoding and input mutation shared by the MP3 tests, native and
// under Wine.
#pragma once

#include <mad.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Mp3Decoder.h"

namespace Mp3Test {

inline std::vector<uint8_t> ReadBytes(const char* path)
{
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

struct Pcm {
    unsigned channels = 0, sampleRate = 0, frames = 0;
    std::vector<uint8_t> bytes;
};

// Plain libmad over a copy of the file followed by MAD_BUFFER_GUARD zero
// bytes, through the 16-bit writer with the caller's dither states. Frames
// are written in the first frame's channel count.
inline Pcm ReferenceDecode(std::vector<uint8_t> file, Veld::Game::Mp3DitherState state[2])
{
    struct Context {
        std::vector<uint8_t>* file;
        bool fed;
        Pcm pcm;
        Veld::Game::Mp3DitherState* state;
    } c{&file, false, {}, state};
    file.resize(file.size() + MAD_BUFFER_GUARD, 0);
    auto input = [](void* data, mad_stream* stream) {
        auto* c = static_cast<Context*>(data);
        if (c->fed)
            return MAD_FLOW_STOP;
        c->fed = true;
        mad_stream_buffer(stream, c->file->data(), c->file->size());
        return MAD_FLOW_CONTINUE;
    };
    auto output = [](void* data, const mad_header* header, mad_pcm* pcm) {
        auto* c = static_cast<Context*>(data);
        if (!c->pcm.channels) {
            c->pcm.channels = pcm->channels;
            c->pcm.sampleRate = header->samplerate;
        }
        ++c->pcm.frames;
        const size_t at = c->pcm.bytes.size();
        c->pcm.bytes.resize(at + pcm->length * 2u * c->pcm.channels);
        const int32_t* right = nullptr;
        if (c->pcm.channels == 2)
            right = reinterpret_cast<const int32_t*>(pcm->samples[pcm->channels == 2 ? 1 : 0]);
        Veld::Game::Mp3WritePcm16(c->pcm.bytes.data() + at, reinterpret_cast<const int32_t*>(pcm->samples[0]), right,
                                  pcm->length, c->state[0], c->state[1]);
        return MAD_FLOW_CONTINUE;
    };
    mad_decoder decoder;
    mad_decoder_init(&decoder, &c, input, nullptr, nullptr, output, nullptr, nullptr);
    mad_decoder_run(&decoder, MAD_DECODER_MODE_SYNC);
    mad_decoder_finish(&decoder);
    return c.pcm;
}

// The process-wide dither state, read or replaced under its lock.
inline void GetDither(Veld::Game::Mp3DitherState state[2])
{
    auto& d = Veld::Game::Mp3ProcessDither();
    std::lock_guard<std::mutex> guard(d.lock);
    state[0] = d.left;
    state[1] = d.right;
}

inline void SetDither(const Veld::Game::Mp3DitherState state[2])
{
    auto& d = Veld::Game::Mp3ProcessDither();
    std::lock_guard<std::mutex> guard(d.lock);
    d.left = state[0];
    d.right = state[1];
}

// Deterministic generator: case n of a run always mutates the same way.
struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t Next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return static_cast<uint32_t>(s >> 11);
    }
    uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
};

inline void Put32(std::vector<uint8_t>& v, size_t at, uint32_t value)
{
    for (int i = 0; i < 4 && at + i < v.size(); ++i)
        v[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// One mutation of a valid file: truncation, flipped bytes, a zeroed or
// 0xFF-filled run, a copied run, or a 32-bit size field (at one of the given
// offsets, else anywhere) set to 0, 1, a huge or a random value.
inline std::vector<uint8_t> Mutate(const std::vector<uint8_t>& in, uint64_t seed,
                                   const std::vector<size_t>& sizeFields = {})
{
    Rng rng(seed);
    std::vector<uint8_t> v(in);
    const int edits = 1 + static_cast<int>(rng.Below(4));
    for (int e = 0; e < edits && !v.empty(); ++e) {
        const uint32_t size = static_cast<uint32_t>(v.size());
        switch (rng.Below(6)) {
        case 0: v.resize(rng.Below(size)); break;
        case 1:
            for (uint32_t i = 0, n = 1 + rng.Below(16); i < n; ++i)
                v[rng.Below(size)] ^= static_cast<uint8_t>(1u << rng.Below(8));
            break;
        case 2: {
            const uint32_t at = rng.Below(size), n = 1 + rng.Below(512);
            for (uint32_t i = at; i < size && i < at + n; ++i)
                v[i] = rng.Below(2) ? 0x00 : 0xFF;
            break;
        }
        case 3: {
            const uint32_t from = rng.Below(size), to = rng.Below(size), n = 1 + rng.Below(2048);
            for (uint32_t i = 0; i < n && from + i < size && to + i < size; ++i)
                v[to + i] = v[from + i];
            break;
        }
        default: {
            const size_t at =
                !sizeFields.empty() && rng.Below(4) ? sizeFields[rng.Below(sizeFields.size())] : rng.Below(size);
            static const uint32_t kValues[] = {0, 1, 0x7FFFFFFF, 0xFFFFFFFF, 0xFFFFFFF0};
            Put32(v, at, rng.Below(3) ? kValues[rng.Below(5)] : rng.Next());
            break;
        }
        }
    }
    return v;
}

} // namespace Mp3Test
