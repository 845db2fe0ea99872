#include "synth/fade_curve.hpp"

#include <algorithm>

namespace synth {

uint32_t fade_gain_at(uint32_t x) {
    const uint64_t t = std::min(x, full_gain);
    // 3t^2 - 2t^3 in 16-bit fixed point: t^2 (3 - 2t), exact in 64 bits.
    const uint64_t rise = (t * t * (3 * uint64_t{full_gain} - 2 * t)) >> 32;
    return full_gain - static_cast<uint32_t>(rise);
}

fade_curve start_fade(uint64_t length) {
    fade_curve curve;
    curve.length = length;
    if (length != 0) {
        curve.step = static_cast<uint32_t>(full_gain / length);
        curve.remainder = full_gain % length;
    }
    return curve;
}

fade_window fade_window_of(uint64_t length, uint64_t fade_frames) {
    const uint64_t frames = length == UINT64_MAX ? 0 : std::min(fade_frames, length);
    return {length - frames, frames};
}

uint32_t next_fade_gain(fade_curve& curve) {
    curve.x += curve.step;
    curve.carry += curve.remainder;
    if (curve.carry >= curve.length) {
        curve.carry -= curve.length;
        ++curve.x;
    }
    return fade_gain_at(curve.x);
}

int16_t apply_gain(int16_t sample, uint32_t gain) {
    const int64_t scaled = static_cast<int64_t>(sample) * gain + (full_gain / 2);
    return static_cast<int16_t>(scaled >> 16);
}

}  // namespace synth
