// libFuzzer target: BlitImage-style calls with arbitrary rectangles, scales,
// pivots, flags and alpha. Checks that the fast table matches the reference
// and that nothing outside the target changes.
#include <cstdlib>

#include <fuzzer/FuzzedDataProvider.h>

#include "kernel_test_support.h"

using namespace kt;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int32_t tw = in.ConsumeIntegralInRange(1, 48), th = in.ConsumeIntegralInRange(1, 24);
    const int32_t sw = in.ConsumeIntegralInRange(1, 48), sh = in.ConsumeIntegralInRange(1, 24);
    // Mostly small coordinates, which reach the kernels; sometimes full-range
    // ones, which exercise the refusals.
    const bool wide = in.ConsumeIntegralInRange(0, 3) == 0;
    auto coord = [&] { return wide ? in.ConsumeIntegral<int32_t>() : in.ConsumeIntegral<int8_t>(); };
    Rect dst{coord(), coord(), coord(), coord()};
    Rect src{coord(), coord(), coord(), coord()};
    const uint32_t flags = in.ConsumeIntegral<uint16_t>();
    const uint8_t alpha = in.ConsumeIntegral<uint8_t>();
    const Transform t{in.ConsumeFloatingPoint<float>(), in.ConsumeFloatingPoint<float>(), in.ConsumeIntegral<int32_t>(),
                      in.ConsumeIntegral<int32_t>()};
    Rng rng(in.ConsumeIntegral<uint64_t>());

    const MethodChoice m = ChooseMethod(flags, alpha);
    if (m.method != Method::Kernel || !PrepareBlit(tw, th, dst, src, (flags & kFlagTransform) ? &t : nullptr))
        return 0;
    GuardedSurface a(tw, th, 1), b(tw, th, 1), source(sw, sh, 2);
    a.Fill(rng);
    b.words = a.words;
    source.Fill(rng);
    const BlendParams p{m.alpha, 0x00123456, (flags & 1) != 0};
    const bool ok1 = BlendReference(m.op, a.View(), dst, source.View(), src, p);
    const bool ok2 = Blend(m.op, b.View(), dst, source.View(), src, p);
    if (ok1 != ok2 || a.words != b.words || !a.GuardIntact())
        std::abort();
    return 0;
}
