// The header of a 16-bit stereo PCM WAV file. A file whose sizes fit the
// 32-bit RIFF fields gets the classic 44-byte header; a longer one is
// written as RF64 (the 64-bit extension of WAV): "RF64", a ds64 chunk with
// the real sizes and 0xFFFFFFFF in the 32-bit fields, 80 bytes in all.
// Sizes are never written wrapped. Other chunks (the tags' LIST chunk) may
// come between the format chunk and the samples, so that the whole header
// still goes out before them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "audio/frame_bytes.hpp"
#include "audio/output.hpp"

namespace audio {

// The largest data size the 32-bit fields hold: RIFF size = 36 + data.
constexpr uint64_t max_classic_data_bytes = 0xFFFFFFFFull - 36;

// Whether `frames` stereo frames, after other chunks of chunk_bytes, need
// the RF64 form.
bool needs_rf64(uint64_t frames, uint64_t chunk_bytes = 0);

// The header for `frames` stereo frames at sample_rate, in the form chosen,
// with `chunks` (whole chunks, each of an even size) before the samples.
std::vector<uint8_t> wav_header(uint32_t sample_rate, uint64_t frames, bool rf64, std::span<const uint8_t> chunks = {});

// The header in the form the length needs.
std::vector<uint8_t> wav_header(uint32_t sample_rate, uint64_t frames, std::span<const uint8_t> chunks = {});

// The tags as a LIST chunk of type INFO: INAM (title), IART (artist), ICRD
// (date) and ICMT (comment) for the tags that are not empty, each text
// ending in a NUL byte and padded to an even size. No bytes without tags.
std::vector<uint8_t> info_chunk(const stream_tags& tags);

}  // namespace audio
