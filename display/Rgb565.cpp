#include "Rgb565.h"

#include <cstring>

namespace Veld {
namespace Game {

void ConvertToRgb565(const std::uint8_t* src, int srcPitch, std::uint8_t* dst, int dstPitch, int width, int height)
{
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* s = src + static_cast<std::ptrdiff_t>(y) * srcPitch;
        std::uint8_t* d = dst + static_cast<std::ptrdiff_t>(y) * dstPitch;
        for (int x = 0; x < width; ++x) {
            std::uint32_t p;
            std::memcpy(&p, s + 4 * x, 4);
            const std::uint16_t v = PackRgb565(p);
            std::memcpy(d + 2 * x, &v, 2);
        }
    }
}

} // namespace Game
} // namespace Veld
