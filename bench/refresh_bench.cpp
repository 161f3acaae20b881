// Refresh step under Wine: a full redraw of the 800 x 600 back image with N
// alpha-blended 64 x 64 sprites, then Present, timed frame by frame.
//
//   refresh_bench.exe [frames]      (run inside the test rig)
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <vector>

#include "Canvas.h"
#include "DDDisplay.h"
#include "DDGameEngine.h"
#include "DDCanvas.h"
#include "DDImage.h"
#include "kernels/kernels.h"

using namespace Veld::Game;
using Clock = std::chrono::steady_clock;

namespace {

struct Sprite : IDisplayObject {
    IImage* image = nullptr;
    int x = 0, y = 0;
    bool Update(DWORD, IDirtyRectManager*) override { return true; }
    bool Render(ICanvas* canvas) override
    {
        DrawStyle s = {};
        s.dwFlags = DrawStyle::AlphaBlend;
        s.byAlpha = 255;
        canvas->DrawImage(image, x, y, &s);
        return true;
    }
    RECT GetRect() override { return RECT{x, y, x + 64, y + 64}; }
};

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 41;
    CDDGameEngine engine;
    if (!engine.Initialize(GetModuleHandleW(nullptr), L"RefreshBench", nullptr, 800, 600, 732, 32, SW_SHOW))
        return 1;
    engine.KillTimer(kRefreshTimerId);
    auto* display = static_cast<CDDDisplay*>(engine.GetDisplay());

    // A round sprite with a soft edge: transparent, opaque and partial pixels.
    IImage* sprite = engine.CreateImage();
    sprite->Create(64, 64);
    ImageLockInfo info = {};
    sprite->Lock(&info);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const int d2 = (x - 32) * (x - 32) + (y - 32) * (y - 32);
            const std::uint32_t a =
                d2 < 784 ? 255 : (d2 < 1024 ? static_cast<std::uint32_t>((1024 - d2) * 255 / 240) : 0);
            reinterpret_cast<std::uint32_t*>(info.bits + y * info.pitch)[x] = (a << 24) | 0x3080F0;
        }
    sprite->Unlock();

    // Reference: memcpy of the back image's pixels, side by side with the frames.
    std::vector<std::uint8_t> a(800 * 600 * 4 + 64), b(800 * 600 * 4 + 64);
    std::vector<double> copy;
    for (int i = 0; i < frames; ++i) {
        auto t0 = Clock::now();
        std::memcpy(b.data() + 64, a.data(), 800 * 600 * 4);
        copy.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    const double memcpyMs = Median(copy);
    std::printf("memcpy of 800x600x4: %.3f ms\n", memcpyMs);
    std::printf("sprites  redraw+present ms (median of %d)  share of 30 ms  x memcpy\n", frames);

    // One sprite drawn through the canvas, to separate drawing from presenting.
    {
        ICanvas* canvas = display->GetCanvas();
        auto* dirty = static_cast<IDirtyRectManager*>(static_cast<CDDCanvas*>(canvas));
        RECT whole = {0, 0, 800, 600};
        dirty->AddDirtyRect(&whole, 0);
        DrawStyle s = {};
        s.dwFlags = DrawStyle::AlphaBlend;
        s.byAlpha = 255;
        std::vector<double> draws;
        for (int r = 0; r < 15; ++r) {
            auto t0 = Clock::now();
            for (int i = 0; i < 200; ++i)
                canvas->DrawImage(sprite, (i * 37) % 736, (i * 53) % 536, &s);
            draws.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / 200);
        }
        dirty->ClearDirtyRects();
        std::printf("one 64x64 AlphaBlend DrawImage: %.2f us (%s kernels)\n", Median(draws),
                    Kernels::IsaName(Kernels::ActiveIsa()));
        // Where a draw's time goes: the surface calls it makes and the kernel alone.
        IDirectDrawSurface7* back = display->GetBackImage()->GetSurface();
        IDirectDrawSurface7* image = static_cast<CDDImage*>(sprite)->GetSurface();
        auto perCall = [](auto&& f) {
            std::vector<double> t;
            for (int r = 0; r < 15; ++r) {
                auto t0 = Clock::now();
                for (int i = 0; i < 200; ++i)
                    f(i);
                t.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / 200);
            }
            return Median(t);
        };
        DDSURFACEDESC2 db = {}, di = {};
        db.dwSize = di.dwSize = sizeof(DDSURFACEDESC2);
        const double lockBack = perCall([&](int) {
            back->Lock(nullptr, &db, DDLOCK_WAIT, nullptr);
            back->Unlock(nullptr);
        });
        const double lockImage = perCall([&](int) {
            image->Lock(nullptr, &di, DDLOCK_WAIT, nullptr);
            image->Unlock(nullptr);
        });
        const double desc = perCall([&](int) { back->GetSurfaceDesc(&db); });
        back->Lock(nullptr, &db, DDLOCK_WAIT, nullptr);
        image->Lock(nullptr, &di, DDLOCK_WAIT, nullptr);
        const Kernels::Surface target = {static_cast<std::uint8_t*>(db.lpSurface), static_cast<std::int32_t>(db.lPitch),
                                         800, 600};
        const Kernels::Surface source = {static_cast<std::uint8_t*>(di.lpSurface), static_cast<std::int32_t>(di.lPitch),
                                         64, 64};
        const double kernel = perCall([&](int i) {
            const std::int32_t x = (i * 37) % 736, y = (i * 53) % 536;
            Kernels::Blend(Kernels::BlendOp::AlphaBlend, target, {x, y, x + 64, y + 64}, source, {0, 0, 64, 64}, {});
        });
        image->Unlock(nullptr);
        back->Unlock(nullptr);
        std::printf("  of which: kernel %.2f us, back Lock+Unlock %.2f us, image Lock+Unlock %.2f us, "
                    "GetSurfaceDesc %.2f us\n",
                    kernel, lockBack, lockImage, desc);
        std::vector<double> presents;
        for (int r = 0; r < 15; ++r) {
            auto t0 = Clock::now();
            display->ShowWindow(1);
            display->Present();
            presents.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        }
        std::printf("full Present (back image to screen to window): %.2f ms\n", Median(presents));
    }

    DWORD tick = 100000;
    for (int count : {50, 200, 1000}) {
        std::vector<Sprite> sprites(static_cast<size_t>(count));
        unsigned seed = 12345;
        for (Sprite& s : sprites) {
            seed = seed * 1103515245u + 12345u;
            s.image = sprite;
            s.x = static_cast<int>((seed >> 8) % 740);
            s.y = static_cast<int>((seed >> 20) % 540);
            display->AddObject(&s, 4);
        }
        std::vector<double> times;
        for (int i = 0; i < frames + 1; ++i) {
            tick += 30;
            auto t0 = Clock::now();
            display->Update(tick);
            display->Present();
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            if (i > 0) // the first frame warms caches and surfaces
                times.push_back(ms);
        }
        const double median = Median(times);
        std::printf("%6d  %10.2f  %14.1f%%  %8.1f\n", count, median, median / 30.0 * 100.0, median / memcpyMs);
        display->RemoveAllObjects();
    }
    engine.DestroyImage(sprite);
    engine.Shutdown();
    return 0;
}
