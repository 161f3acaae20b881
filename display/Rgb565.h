// Conversion of 32-bit ARGB rows to 16-bit RGB565 for 16-bit desktops.
#pragma once

#include <cstdint>

namespace Veld {
namespace Game {

/// Top 5 bits of red in bits 15-11, top 6 of green in 10-5, top 5 of blue
/// in 4-0; alpha is dropped.
inline std::uint16_t PackRgb565(std::uint32_t p)
{
    return static_cast<std::uint16_t>(((p >> 8) & 0xF800u) | ((p >> 5) & 0x07E0u) | ((p >> 3) & 0x001Fu));
}

/// Converts width x height pixels; pitches are in bytes.
void ConvertToRgb565(const std::uint8_t* src, int srcPitch, std::uint8_t* dst, int dstPitch, int width, int height);

} // namespace Game
} // namespace Veld
