// The header of a 16-bit stereo PCM WAV file. A file whose sizes fit the
// 32-bit RIFF fields gets the classic 44-byte header; a longer one is
// written as RF64 (the 64-bit extension of WAV): "RF64", a ds64 chunk with
// the real sizes and 0xFFFFFFFF in the 32-bit fields, 80 bytes in all.
// Sizes are never written wrapped.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/frame_bytes.hpp"

namespace audio {

// The largest data size the 32-bit fields hold: RIFF size = 36 + data.
constexpr uint64_t max_classic_data_bytes = 0xFFFFFFFFull - 36;

// Whether `frames` stereo frames need the RF64 form.
bool needs_rf64(uint64_t frames);

// The header for `frames` stereo frames at sample_rate, in the form chosen.
std::vector<uint8_t> wav_header(uint32_t sample_rate, uint64_t frames, bool rf64);

// The header in the form the length needs.
std::vector<uint8_t> wav_header(uint32_t sample_rate, uint64_t frames);

}  // namespace audio
