// The side-by-side mixer compiled for AVX2 (this file alone is built with
// -mavx2); the mixer calls it only on processors that have AVX2.
#include "synth/lane_kernel.hpp"

#if !defined(__AVX2__)
#error "lane_mixer_avx2.cpp must be compiled with -mavx2"
#endif

namespace synth::lane_mix {

void mix_avx2(batch& b) { mix_batch(b); }

}  // namespace synth::lane_mix
