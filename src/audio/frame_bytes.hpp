// Stereo frames as WAV files and the audio device take them: two signed
// 16-bit samples, little-endian, left first.
#pragma once

#include <cstdint>

#include "synth/renderer.hpp"

namespace audio {

constexpr uint32_t bytes_per_frame = 4;

inline void put_frame(uint8_t* at, const synth::stereo_frame& frame) {
    const auto left = static_cast<uint16_t>(frame.left);
    const auto right = static_cast<uint16_t>(frame.right);
    at[0] = static_cast<uint8_t>(left);
    at[1] = static_cast<uint8_t>(left >> 8);
    at[2] = static_cast<uint8_t>(right);
    at[3] = static_cast<uint8_t>(right >> 8);
}

}  // namespace audio
