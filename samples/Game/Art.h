// Procedural art for the sample game: every picture is computed here.
#pragma once

#include <windows.h>

#include <cmath>
#include <cstdint>

#include "Image.h"

namespace Art {

inline std::uint32_t Argb(int a, int r, int g, int b)
{
    auto c = [](int v) { return static_cast<std::uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); };
    return (c(a) << 24) | (c(r) << 16) | (c(g) << 8) | c(b);
}

/// Fills an image by calling pixel(x, y) for every pixel; false when the image cannot be made.
template <class Fn> bool Paint(Veld::Game::IImage* image, int w, int h, Fn pixel)
{
    if (!image || !image->Create(w, h))
        return false;
    Veld::Game::ImageLockInfo info = {};
    if (!image->Lock(&info))
        return false;
    for (int y = 0; y < info.height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(info.bits + y * info.pitch);
        for (int x = 0; x < info.width; ++x)
            row[x] = pixel(x, y);
    }
    image->Unlock();
    return true;
}

/// Dusk sky: deep blue at the top to warm orange at the horizon, with stars.
inline std::uint32_t Sky(int x, int y, int h)
{
    const float t = static_cast<float>(y) / static_cast<float>(h);
    const int r = static_cast<int>(20 + 220 * t * t);
    const int g = static_cast<int>(24 + 110 * t * t);
    const int b = static_cast<int>(70 + 40 * t);
    const unsigned hash = static_cast<unsigned>(x * 73856093) ^ static_cast<unsigned>(y * 19349663);
    if (t < 0.5f && hash % 997 == 0)
        return Argb(255, 255, 255, 230);
    return Argb(255, r, g, b);
}

/// Rolling hills; above the ridge the pixel is 0, the colour key.
inline std::uint32_t Hills(int x, int y, int h)
{
    const double ridge = h * 0.35 + 28 * std::sin(x * 0.013) + 14 * std::sin(x * 0.041 + 1.3);
    if (y < ridge)
        return 0; // keyed out: black with alpha 0 matches a key of 0 everywhere
    const int shade = static_cast<int>((y - ridge) * 0.6);
    return Argb(255, 30 + shade / 3, 90 + shade / 2, 40 + shade / 4);
}

/// A glowing orb with a soft alpha edge (straight alpha).
inline std::uint32_t Orb(int x, int y, int size, int r, int g, int b)
{
    const double c = (size - 1) / 2.0;
    const double d = std::sqrt((x - c) * (x - c) + (y - c) * (y - c)) / c;
    if (d >= 1.0)
        return 0;
    const double light = 1.0 - 0.6 * std::sqrt(((x - c * 0.6) * (x - c * 0.6) + (y - c * 0.6) * (y - c * 0.6))) / size;
    const int a = static_cast<int>(255 * (d < 0.8 ? 1.0 : (1.0 - d) / 0.2));
    return Argb(a, static_cast<int>(r * light), static_cast<int>(g * light), static_cast<int>(b * light));
}

/// The same orb with its colour premultiplied by alpha.
inline std::uint32_t PremultipliedOrb(int x, int y, int size, int r, int g, int b)
{
    const std::uint32_t p = Orb(x, y, size, r, g, b);
    const std::uint32_t a = p >> 24;
    auto mul = [a](std::uint32_t v) { return (v * a + 127) / 255; };
    return (a << 24) | (mul((p >> 16) & 0xFF) << 16) | (mul((p >> 8) & 0xFF) << 8) | mul(p & 0xFF);
}

/// A five-pointed star on black (black, alpha 0, is the colour key).
inline std::uint32_t Star(int x, int y, int size)
{
    const double c = (size - 1) / 2.0;
    const double dx = x - c, dy = y - c;
    const double angle = std::atan2(dy, dx) + 3.14159265358979 / 2;
    const double radius = std::sqrt(dx * dx + dy * dy) / c;
    const double edge = 0.55 + 0.45 * std::fabs(std::cos(angle * 2.5));
    return radius < edge ? Argb(255, 255, 210, 60) : 0;
}

/// A striped test card used by the blend modes.
inline std::uint32_t Card(int x, int y, int size)
{
    const int band = (x * 4) / size;
    static const int colors[4][3] = {{230, 60, 60}, {60, 200, 90}, {70, 110, 240}, {240, 240, 240}};
    const int shade = 80 + (y * 175) / size;
    return Argb(255, colors[band][0] * shade / 255, colors[band][1] * shade / 255, colors[band][2] * shade / 255);
}

/// An arrow pointing right, for the rotating sprite.
inline std::uint32_t Arrow(int x, int y, int size)
{
    const int c = size / 2;
    const bool shaft = x > size / 6 && x < size * 2 / 3 && y > c - size / 10 && y < c + size / 10;
    const bool head =
        x >= size * 2 / 3 - 2 && x < size - 4 && (y - c) * (y - c) * 9 < (size - 4 - x) * (size - 4 - x) * 4;
    return shaft || head ? Argb(255, 250, 250, 255) : 0;
}

} // namespace Art
