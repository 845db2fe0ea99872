// Eight 32-bit lanes side by side, and the few operations the voice mixer
// needs on them beyond plain vector arithmetic: table reads by lane (gather),
// products of values that fit in 16 bits, lane selection, sums of 16-bit
// halves and the fixed lane order of voice partners. Every operation gives the same result
// in every lane on every instruction set; only its speed differs.
//
// One source, several instruction sets: each translation unit that includes
// this header compiles it for its own flags (the x86-64 baseline SSE2, AVX2
// with -mavx2, WebAssembly SIMD with -msimd128, or whatever vectors the
// target has). Everything here is local to that translation unit, so no
// function compiled for a wider instruction set can stand in for another.
//
// Needs GCC or clang (vector extensions); LANES_AVAILABLE says whether
// the compiler has them.
#pragma once

#include <cstdint>

#if defined(__GNUC__) || defined(__clang__)
#define LANES_AVAILABLE 1
#else
#define LANES_AVAILABLE 0
#endif

#if LANES_AVAILABLE

#if defined(__AVX2__) || defined(__SSE2__)
#include <immintrin.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

namespace synth::lanes {
namespace {

constexpr int width = 8;

using i32 = int32_t __attribute__((vector_size(4 * width)));
using u32 = uint32_t __attribute__((vector_size(4 * width)));

#define LANES_INLINE [[gnu::always_inline]] inline

LANES_INLINE i32 load(const int32_t* p) {
    i32 v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

LANES_INLINE u32 load(const uint32_t* p) {
    u32 v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

LANES_INLINE void store(int32_t* p, i32 v) { __builtin_memcpy(p, &v, sizeof v); }
LANES_INLINE void store(uint32_t* p, u32 v) { __builtin_memcpy(p, &v, sizeof v); }

LANES_INLINE i32 splat(int32_t x) { return i32{x, x, x, x, x, x, x, x}; }

// a where the mask m is all ones, b where it is zero.
LANES_INLINE i32 select(i32 m, i32 a, i32 b) { return (a & m) | (b & ~m); }
LANES_INLINE u32 select(i32 m, u32 a, u32 b) { return (a & u32(m)) | (b & ~u32(m)); }

// table[index] in every lane; entries are 32 bits.
LANES_INLINE i32 gather(const int32_t* table, i32 index) {
#if defined(__AVX2__)
    return i32(_mm256_i32gather_epi32(table, __m256i(index), 4));
#else
    i32 r;
    for (int l = 0; l < width; ++l) r[l] = table[index[l]];
    return r;
#endif
}

// table[index] in every lane; entries are 16 bits, and the table must be
// followed by 2 readable bytes (they are read and dropped).
LANES_INLINE i32 gather(const uint16_t* table, i32 index) {
#if defined(__AVX2__)
    return i32(_mm256_i32gather_epi32(reinterpret_cast<const int*>(table), __m256i(index), 2)) & 0xFFFF;
#else
    i32 r;
    for (int l = 0; l < width; ++l) r[l] = table[index[l]];
    return r;
#endif
}

// table[index] in every lane; entries are 8 bits, and the table must be
// followed by 3 readable bytes (they are read and dropped).
LANES_INLINE i32 gather(const uint8_t* table, i32 index) {
#if defined(__AVX2__)
    return i32(_mm256_i32gather_epi32(reinterpret_cast<const int*>(table), __m256i(index), 1)) & 0xFF;
#else
    i32 r;
    for (int l = 0; l < width; ++l) r[l] = table[index[l]];
    return r;
#endif
}

// The sum of the products of the lanes' low and high 16-bit halves, each
// half taken as signed: one multiply-add where the processor has it.
LANES_INLINE i32 madd_halves(i32 a, i32 b) {
#if defined(__AVX2__)
    return i32(_mm256_madd_epi16(__m256i(a), __m256i(b)));
#elif defined(__SSE2__)
    using half = int32_t __attribute__((vector_size(16)));
    const half lo = half(_mm_madd_epi16(__m128i(half(__builtin_shufflevector(a, a, 0, 1, 2, 3))),
                                        __m128i(half(__builtin_shufflevector(b, b, 0, 1, 2, 3)))));
    const half hi = half(_mm_madd_epi16(__m128i(half(__builtin_shufflevector(a, a, 4, 5, 6, 7))),
                                        __m128i(half(__builtin_shufflevector(b, b, 4, 5, 6, 7)))));
    return __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7);
#elif defined(__wasm_simd128__)
    using half = int32_t __attribute__((vector_size(16)));
    const half lo = half(wasm_i32x4_dot_i16x8(v128_t(half(__builtin_shufflevector(a, a, 0, 1, 2, 3))),
                                              v128_t(half(__builtin_shufflevector(b, b, 0, 1, 2, 3)))));
    const half hi = half(wasm_i32x4_dot_i16x8(v128_t(half(__builtin_shufflevector(a, a, 4, 5, 6, 7))),
                                              v128_t(half(__builtin_shufflevector(b, b, 4, 5, 6, 7)))));
    return __builtin_shufflevector(lo, hi, 0, 1, 2, 3, 4, 5, 6, 7);
#else
    return ((a << 16) >> 16) * ((b << 16) >> 16) + (a >> 16) * (b >> 16);
#endif
}

// a * b for lanes whose values both lie in -32768..32767 (and b >= 0).
LANES_INLINE i32 mul16(i32 a, i32 b) {
#if defined(__SSE2__)
    return madd_halves(a, b);
#else
    return a * b;
#endif
}

// Lane i takes lane partner(i): voices form groups of three (0-2, 3-5,
// 6-7), each voice taking the previous voice of its group and the first
// voice the last one. Voice 6's partner lies beyond the lanes; its lane
// takes its own value, which the caller replaces.
LANES_INLINE i32 partners(i32 v) { return __builtin_shufflevector(v, v, 2, 0, 1, 5, 3, 4, 6, 6); }

// The sums of the eight lanes of each of eight vectors, in one vector; the
// low and high 16-bit halves of the lanes are summed apart, modulo 2^16.
LANES_INLINE i32 half_sums(i32 r0, i32 r1, i32 r2, i32 r3, i32 r4, i32 r5, i32 r6, i32 r7) {
    // Unsigned halves: their sums wrap modulo 2^16 by definition.
    using u16 = uint16_t __attribute__((vector_size(4 * width)));
    const auto add = [](i32 a, i32 b) { return i32(u16(a) + u16(b)); };
    const auto pairs = [add](i32 a, i32 b) {
        return add(__builtin_shufflevector(a, b, 0, 8, 2, 10, 4, 12, 6, 14),
                   __builtin_shufflevector(a, b, 1, 9, 3, 11, 5, 13, 7, 15));
    };
    const auto quads = [add](i32 a, i32 b) {
        return add(__builtin_shufflevector(a, b, 0, 1, 8, 9, 4, 5, 12, 13),
                   __builtin_shufflevector(a, b, 2, 3, 10, 11, 6, 7, 14, 15));
    };
    const i32 a = quads(pairs(r0, r1), pairs(r2, r3));
    const i32 b = quads(pairs(r4, r5), pairs(r6, r7));
    return add(__builtin_shufflevector(a, b, 0, 1, 2, 3, 8, 9, 10, 11),
               __builtin_shufflevector(a, b, 4, 5, 6, 7, 12, 13, 14, 15));
}

// a >> s lane by lane, for counts s of 0..31.
LANES_INLINE i32 shift_each(i32 a, i32 s) {
#if defined(__AVX2__)
    return i32(_mm256_srav_epi32(__m256i(a), __m256i(s)));
#else
    return a >> s;
#endif
}

#undef LANES_INLINE

}  // namespace
}  // namespace synth::lanes

#endif
