// The voice mixer, the only producer of sound.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace synth {

struct engine;

// How the mixer runs the voices. Every kernel gives the same samples; they
// differ in speed only.
enum class mixer_kernel : uint8_t {
    // One voice at a time through a run of frames, in plain C++.
    one_at_a_time,
    // Up to eight voices side by side in the lanes of the compiler's
    // vectors for the build's target (SSE2 on x86-64, SIMD128 on
    // WebAssembly).
    side_by_side,
    // The same with AVX2, on x86-64 processors that have it.
    side_by_side_avx2,
};

// Whether this build and this processor can run the kernel.
bool kernel_available(mixer_kernel kernel);

// The kernel a name stands for: "plain" (one voice at a time), "vector"
// (side by side) or "avx2"; nothing for any other name.
std::optional<mixer_kernel> kernel_named(std::string_view name);

// The fastest kernel for songs of `voices` voices in the given variant, as
// measured in this process: the first call for a voice count and variant
// times every available kernel on a short block of such voices (well under
// a millisecond) and keeps the winner; later calls, from any thread, answer
// at once. A kernel wins only if it beats one voice at a time clearly, so
// the choice is never slower than that. Threads that ask at the same time
// may each measure; any answer is right, since every kernel gives the same
// samples.
mixer_kernel measured_kernel(int voices, bool chip_variant);

// The kernel an engine playing such a song uses: the one the environment
// variable TONERA_KERNEL names if this processor can run it, otherwise the
// measured one.
mixer_kernel kernel_for(int voices, bool chip_variant);

// Advances voices 0..channel_count-1 by `frames` samples and writes that
// many stereo frames (left, right) to dest.
void mix_voices(engine& e, int16_t* dest, uint16_t frames);

}  // namespace synth
