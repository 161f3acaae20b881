// libFuzzer target: BlitImage-style calls with arbitrary rectangles, scales,
// pivots, flags and alpha. Checks that the fast table matches the reference
// and that nothing outside the target changes.
#include <cstdlib>
#include <cstring>

#include "kernel_test_support.h"

using namespace kt;

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    template <typename T> T Get()
    {
        T v{};
        const size_t k = n < sizeof(T) ? n : sizeof(T);
        std::memcpy(&v, p, k);
        p += k;
        n -= k;
        return v;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader r{data, size};
    const int32_t tw = 1 + r.Get<uint8_t>() % 48, th = 1 + r.Get<uint8_t>() % 24;
    const int32_t sw = 1 + r.Get<uint8_t>() % 48, sh = 1 + r.Get<uint8_t>() % 24;
    // Mostly small coordinates, which reach the kernels; sometimes full-range
    // ones, which exercise the refusals.
    const bool wide = r.Get<uint8_t>() % 4 == 0;
    auto coord = [&] { return wide ? r.Get<int32_t>() : static_cast<int32_t>(r.Get<int8_t>()); };
    Rect dst{coord(), coord(), coord(), coord()};
    Rect src{coord(), coord(), coord(), coord()};
    const uint32_t flags = r.Get<uint16_t>();
    const uint8_t alpha = r.Get<uint8_t>();
    const Transform t{r.Get<float>(), r.Get<float>(), r.Get<int32_t>(), r.Get<int32_t>()};
    const uint64_t seed = r.Get<uint64_t>();

    const MethodChoice m = ChooseMethod(flags, alpha);
    if (m.method != Method::Kernel)
        return 0;
    if (!PrepareBlit(tw, th, dst, src, (flags & kFlagTransform) ? &t : nullptr))
        return 0;

    Rng rng(seed);
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
