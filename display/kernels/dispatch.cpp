// Kernel table selection. Compiled at the baseline: nothing here may use
// instructions the CPU has not been checked for.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "kernel_table.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define ENGINE_X86 1
#endif

namespace Veld::Game::Kernels {

namespace {

struct CpuFeatures {
    bool sse2 = false;
    bool avx2 = false;
};

CpuFeatures DetectCpu()
{
    CpuFeatures f;
#ifdef ENGINE_X86
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return f;
    f.sse2 = (d & bit_SSE2) != 0;
    const bool osxsave = (c & bit_OSXSAVE) != 0;
    const bool avx = (c & bit_AVX) != 0;
    if (!osxsave || !avx)
        return f;
    // The OS must save XMM and YMM state (XCR0 bits 1 and 2).
    unsigned xcr0Lo = 0, xcr0Hi = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0Lo), "=d"(xcr0Hi) : "c"(0));
    if ((xcr0Lo & 6u) != 6u)
        return f;
    if (__get_cpuid_max(0, nullptr) < 7)
        return f;
    __cpuid_count(7, 0, a, b, c, d);
    f.avx2 = (b & bit_AVX2) != 0;
#endif
    return f;
}

const CpuFeatures& Cpu()
{
    static const CpuFeatures f = DetectCpu();
    return f;
}

void Apply(KernelTable& t, const RowOverrides& o)
{
    for (int i = 0; i < kRowOpCount; ++i)
        if (o.rows[i])
            t.rows[i] = o.rows[i];
}

struct Tables {
    KernelTable scalar;
    KernelTable sse2;
    KernelTable avx2;
    Tables()
    {
        scalar = ScalarTable();
        sse2 = scalar;
        Apply(sse2, Sse2Overrides());
        avx2 = sse2;
        Apply(avx2, Avx2Overrides());
    }
};

const Tables& AllTables()
{
    static const Tables t;
    return t;
}

Isa BestIsa()
{
    if (Cpu().avx2)
        return Isa::Avx2;
    if (Cpu().sse2)
        return Isa::Sse2;
    return Isa::Scalar;
}

Isa InitialIsa()
{
    const char* env = std::getenv("ENGINE_KERNELS");
    if (env) {
        for (Isa isa : {Isa::Scalar, Isa::Sse2, Isa::Avx2})
            if (std::strcmp(env, IsaName(isa)) == 0 && IsaSupported(isa))
                return isa;
    }
    return BestIsa();
}

std::atomic<int>& ActiveSlot()
{
    static std::atomic<int> slot{static_cast<int>(InitialIsa())};
    return slot;
}

} // namespace

const char* IsaName(Isa isa)
{
    switch (isa) {
    case Isa::Scalar: return "scalar";
    case Isa::Sse2: return "sse2";
    case Isa::Avx2: return "avx2";
    }
    return "?";
}

bool IsaSupported(Isa isa)
{
    switch (isa) {
    case Isa::Scalar: return true;
    case Isa::Sse2: return Cpu().sse2;
    case Isa::Avx2: return Cpu().avx2;
    }
    return false;
}

Isa ActiveIsa()
{
    return static_cast<Isa>(ActiveSlot().load(std::memory_order_relaxed));
}

bool ForceIsa(Isa isa)
{
    if (!IsaSupported(isa))
        return false;
    ActiveSlot().store(static_cast<int>(isa), std::memory_order_relaxed);
    return true;
}

const KernelTable& TableFor(Isa isa)
{
    switch (isa) {
    case Isa::Sse2: return AllTables().sse2;
    case Isa::Avx2: return AllTables().avx2;
    case Isa::Scalar: break;
    }
    return AllTables().scalar;
}

const KernelTable& ActiveTable()
{
    return TableFor(ActiveIsa());
}

bool Blend(BlendOp op, const Surface& target, const Rect& dst, const Surface& source, const Rect& src,
           const BlendParams& params)
{
    return BlendWithTable(ActiveTable(), op, target, dst, source, src, params);
}

} // namespace Veld::Game::Kernels
