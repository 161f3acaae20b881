#pragma once

#include <cstdint>

namespace Veld::Game {

// Noise-shaping state of one channel: the last quantisation errors and the
// linear congruential generator. All zero at start; carried from frame to
// frame and from file to file.
struct Mp3DitherState {
    int32_t error[3];
    int32_t random;
};

// Converts one libmad sample (signed, 28 fraction bits: 1.0 == 1 << 28) to
// 16 bits with rounding, triangular dither and second-order noise shaping,
// clipping to [-1.0, 1.0). The result lies in -32768..32767.
int16_t Mp3DitherSample(int32_t sample, Mp3DitherState& state);

// Writes count sample frames as 16-bit little-endian PCM to out: interleaved
// left, right when right is given, mono from left otherwise. Each channel
// uses its own state. Returns the bytes written: count * 4 in stereo,
// count * 2 in mono.
uint32_t Mp3WritePcm16(uint8_t* out, const int32_t* left, const int32_t* right, uint32_t count,
                       Mp3DitherState& leftState, Mp3DitherState& rightState);

} // namespace Veld::Game
