// The voice mixer, the only producer of sound.
#pragma once

#include <cstdint>

namespace synth {

struct engine;

// How the mixer runs the voices. Every kernel gives the same samples; they
// differ in speed only.
enum class mixer_kernel : uint8_t {
    // One voice at a time through a run of frames, in plain C++.
    one_at_a_time,
    // Up to eight voices side by side in the lanes of the compiler's
    // vectors for the build's target (SSE2 on x86-64, SIMD128 on
    // WebAssembly); songs of fewer than four voices, which would leave most
    // lanes empty, run one voice at a time.
    side_by_side,
    // The same with AVX2, on x86-64 processors that have it.
    side_by_side_avx2,
};

// Whether this build and this processor can run the kernel.
bool kernel_available(mixer_kernel kernel);
// The fastest kernel available; each new engine instance starts with it.
mixer_kernel fastest_kernel();

// Advances voices 0..channel_count-1 by `frames` samples and writes that
// many stereo frames (left, right) to dest.
void mix_voices(engine& e, int16_t* dest, uint16_t frames);

}  // namespace synth
