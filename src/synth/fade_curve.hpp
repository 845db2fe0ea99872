// A fade to silence: the gain falls from full to zero along a smoothstep
// curve, 1 - (3x^2 - 2x^3) for x running from 0 to 1 across the fade, so
// it leaves the full level and arrives at silence without a bend. Gains
// are 16-bit fixed point (65536 is full level), worked out with integers
// only, so a fade gives the same samples on every machine; the last frame
// of a fade has gain 0 and is silent.
#pragma once

#include <cstdint>

namespace synth {

constexpr uint32_t full_gain = 65536;

// The gain at position x of the curve, x in 16-bit fixed point (0..65536).
uint32_t fade_gain_at(uint32_t x);

// Walks the curve across a fade of `length` frames: frame i (0-based) has
// x = floor((i + 1) x 65536 / length), so the last frame has x = 1. The
// position advances without a division per frame.
struct fade_curve {
    uint64_t length = 0;
    uint32_t step = 0;       // 65536 / length
    uint64_t remainder = 0;  // 65536 % length
    uint32_t x = 0;
    uint64_t carry = 0;
};

fade_curve start_fade(uint64_t length);

// Where a fade of `fade_frames` lies in a rendering of `length` frames: its
// last fade_frames frames, or all of them when it is shorter. A rendering
// of UINT64_MAX frames has no end and nothing to fade: the window starts
// at its end and holds no frames.
struct fade_window {
    uint64_t start = 0;
    uint64_t frames = 0;
};
fade_window fade_window_of(uint64_t length, uint64_t fade_frames);

// The gain of the next frame of the fade.
uint32_t next_fade_gain(fade_curve& curve);

// A sample at a gain, rounded to the nearest value: never louder than the
// sample, 0 at gain 0.
int16_t apply_gain(int16_t sample, uint32_t gain);

}  // namespace synth
