// The voice mixer and the render block, the only producer of sound.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace synth {

constexpr uint32_t scope_length = 65536;

// Samples left in the current song frame; a tick runs when it reaches 0.
extern uint16_t frame_countdown;
// Stereo frames requested by the latest render_block call (2048 at start).
extern std::atomic<uint32_t> block_frames;
// Left sample of frame i of the latest render_block call.
extern std::array<std::atomic<int16_t>, scope_length> scope_history;

// Advances voices 0..channel_count-1 by `frames` samples and writes that
// many stereo frames (left, right) to dest.
void mix_voices(int16_t* dest, uint16_t frames);

// Fills len / 4 stereo frames of little-endian signed 16-bit samples, left
// first, running a frame tick whenever a song frame's samples are used up.
// Also the audio device callback; userdata is ignored.
void render_block(void* userdata, uint8_t* stream, int len);

// Returns voices, countdown, flags, play time and the displayed values to
// their start state. The tables and wave slots stay as they are.
void reset_synth_state();

}  // namespace synth
