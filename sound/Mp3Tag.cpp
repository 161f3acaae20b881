#include "Mp3Tag.h"

namespace Veld::Game {

namespace {

uint32_t BigEndian(const uint8_t* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

bool IsAlnum(uint8_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Skips an ID3v2 tag: "ID3", version, flags, a 28-bit size in 7-bit bytes,
// and a 10-byte footer when flag 0x10 says so. 0 when there is none.
size_t Id3v2Size(const uint8_t* data, size_t size)
{
    if (size < 10 || data[0] != 'I' || data[1] != 'D' || data[2] != '3' || data[3] == 0xFF || data[4] == 0xFF)
        return 0;
    size_t body = 0;
    for (int i = 6; i < 10; ++i) {
        if (data[i] & 0x80)
            return 0;
        body = body << 7 | data[i];
    }
    return 10 + body + (data[5] & 0x10 ? 10 : 0);
}

} // namespace

Mp3Tag Mp3ReadTag(const uint8_t* data, size_t size)
{
    static const uint16_t kBitrates[2][15] = {
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}, // MPEG-1
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};    // MPEG-2 and 2.5
    static const uint32_t kRates[3] = {44100, 48000, 32000};                // MPEG-1; halved per version
    static const uint32_t kMinFrameBytes[2] = {96, 24};                     // 8 or 32 kbit/s at 48 or 24 kHz

    const Mp3Tag none;
    if (!data)
        return none;
    const size_t at = Id3v2Size(data, size);
    if (at >= size || size - at < 4)
        return none;
    const uint32_t h = BigEndian(data + at);
    const uint32_t version = h >> 19 & 3, layer = h >> 17 & 3, bitrate = h >> 12 & 15, rate = h >> 10 & 3;
    // Sync, layer III, no reserved version, bit rate or sample rate, not free format.
    if ((h & 0xFFE00000u) != 0xFFE00000u || version == 1 || layer != 1 || bitrate == 0 || bitrate == 15 || rate == 3)
        return none;
    const bool mpeg1 = version == 3, mono = (h >> 6 & 3) == 3;
    const uint32_t sampleRate = kRates[rate] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const size_t frameBytes =
        (mpeg1 ? 144000u : 72000u) * kBitrates[mpeg1 ? 0 : 1][bitrate] / sampleRate + (h >> 9 & 1);
    // Header, CRC when the protection bit is clear, side information.
    const size_t tag = 4 + (h >> 16 & 1 ? 0 : 2) + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (frameBytes > size - at || tag + 8 > frameBytes)
        return none;
    const uint8_t* frame = data + at;
    const uint32_t id = BigEndian(frame + tag);
    if (id != 0x58696E67u && id != 0x496E666Fu) // "Xing", "Info"
        return none;

    // The flags say which of frames, bytes, table of contents and quality follow.
    const uint32_t flags = BigEndian(frame + tag + 4);
    size_t field = tag + 8;
    uint32_t frames = 0;
    if (flags & 1) {
        if (field + 4 > frameBytes)
            return none;
        frames = BigEndian(frame + field);
        field += 4;
    }
    field += (flags & 2 ? 4 : 0) + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);

    Mp3Tag info;
    info.audio = at + frameBytes;
    info.frames = frames;
    info.samplesPerFrame = mpeg1 ? 1152 : 576;
    // The LAME extension: a 9-character version, then 12 bytes, then delay and
    // padding in 12 bits each.
    // Without it the Info frame is still not audio, but nothing is trimmed.
    if (!(flags & 1) || field + 36 > frameBytes)
        return info;
    const uint8_t* ext = frame + field;
    if (!IsAlnum(ext[0]) || !IsAlnum(ext[1]) || !IsAlnum(ext[2]) || !IsAlnum(ext[3]))
        return info;
    info.delay = uint32_t{ext[21]} << 4 | ext[22] >> 4;
    info.padding = (uint32_t{ext[22]} & 15) << 8 | ext[23];
    // Delay and padding within the audio, and no more frames than the rest of
    // the file could hold: otherwise the tag lies and is ignored.
    if (uint64_t{info.delay} + info.padding >= uint64_t{frames} * info.samplesPerFrame ||
        frames > (size - info.audio) / kMinFrameBytes[mpeg1 ? 0 : 1])
        return none;
    info.exact = true;
    return info;
}

} // namespace Veld::Game
