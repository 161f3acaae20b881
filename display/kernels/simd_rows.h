// The row frame shared by the SIMD row files. Each includes this inside its
// own anonymous namespace, after defining V, kStep, Load, Store, Zero, Set16,
// Set32, Select(mask, a, b), AllSet and SkipMask(s, thr32), so the code here
// is compiled separately for each instruction set and never shared between
// them. No includes: the including file provides everything.

// The skip rule "Sa*alpha < limit" as Sa < thr, thr = ceil(limit/alpha)
// (256 when alpha is 0: every pixel skips).
inline uint32_t SkipThreshold(uint32_t alpha, uint32_t limit)
{
    return alpha == 0 ? 256u : (limit - 1) / alpha + 1;
}

// Rows: a step of pixels that all skip is left alone (runs of transparent
// sprite pixels); otherwise Step gives the step's new pixels, keeping d where
// skip is set. A row that does not end on a whole step ends with the last
// kStep pixels, blended from d as it was before the row: where they overlap
// the body they get the same values again. Rows shorter than a step go pixel
// by pixel through Tail, the scalar pixel step. Pre is computed from sv
// first, then Skip (sv, pre, thr32) gives the skip mask; Step sees sv, dv,
// pre, skip, alpha16 and alpha32. ENGINE_ROW skips on the source alpha.
#define ENGINE_ROW(Name, Step, Tail, Limit) ENGINE_ROW_PRE(Name, sv, SkipMask(sv, thr32), Step, Tail, Limit)
#define ENGINE_ROW_PRE(Name, Pre, Skip, Step, Tail, Limit)                                                             \
    void Name(uint32_t* d, const uint32_t* s, int32_t n, uint32_t alpha)                                               \
    {                                                                                                                  \
        const V alpha32 = Set32(alpha);                                                                                \
        const V alpha16 = Set16(static_cast<int>(alpha));                                                              \
        const V thr32 = Set32(SkipThreshold(alpha, Limit));                                                            \
        (void)alpha16;                                                                                                 \
        (void)alpha32;                                                                                                 \
        (void)thr32;                                                                                                   \
        if (n < kStep) {                                                                                               \
            for (int32_t i = 0; i < n; ++i)                                                                            \
                d[i] = Tail;                                                                                           \
            return;                                                                                                    \
        }                                                                                                              \
        const int32_t last = n - kStep;                                                                                \
        V rest = Zero();                                                                                               \
        if (n % kStep != 0) {                                                                                          \
            const V sv = Load(s + last);                                                                               \
            const V dv = Load(d + last);                                                                               \
            const V pre = Pre;                                                                                         \
            const V skip = Skip;                                                                                       \
            (void)pre;                                                                                                 \
            (void)skip;                                                                                                \
            rest = Step;                                                                                               \
        }                                                                                                              \
        int32_t i = 0;                                                                                                 \
        for (; i + kStep <= n; i += kStep) {                                                                           \
            const V sv = Load(s + i);                                                                                  \
            const V pre = Pre;                                                                                         \
            const V skip = Skip;                                                                                       \
            (void)pre;                                                                                                 \
            if (AllSet(skip))                                                                                          \
                continue;                                                                                              \
            const V dv = Load(d + i);                                                                                  \
            Store(d + i, Step);                                                                                        \
        }                                                                                                              \
        if (i < n)                                                                                                     \
            Store(d + last, rest);                                                                                     \
    }

// ConstantAlpha: no skipping; Step(s, d, alpha16) gives kStep pixels.
template <class StepFn>
inline void ConstAlphaFrame(uint32_t* d, const uint32_t* s, int32_t n, uint32_t alpha, StepFn step)
{
    const V alpha16 = Set16(static_cast<int>(alpha));
    if (n < kStep) {
        for (int32_t i = 0; i < n; ++i)
            d[i] = ConstAlphaPixel(s[i], d[i], alpha);
        return;
    }
    const int32_t last = n - kStep;
    const V rest = step(Load(s + last), Load(d + last), alpha16);
    int32_t i = 0;
    for (; i + kStep <= n; i += kStep)
        Store(d + i, step(Load(s + i), Load(d + i), alpha16));
    if (i < n)
        Store(d + last, rest);
}
