// Record mode: renders a whole song offline into a 16-bit stereo PCM WAV file
// at the engine's sample rate. Never touches SDL.
#pragma once

#include <cstdint>
#include <string>

#include "song/song.hpp"

namespace audio {

// Bytes per render buffer: 4096 stereo frames of two 16-bit samples.
constexpr uint32_t record_block_bytes = 16384;

// Records song_file into wav_file and ends the program: status 0 after
// "Recording Done", status 1 after a song error, the failure code after a
// file error. Never returns.
[[noreturn]] void record(const std::string& song_file, const std::string& wav_file);

}  // namespace audio
