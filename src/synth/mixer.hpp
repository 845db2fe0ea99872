// The voice mixer and the render block, the only producer of sound.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace synth {

// Samples left in the current song frame; a tick runs when it reaches 0.
extern uint16_t frame_countdown;
// Advances voices 0..channel_count-1 by `frames` samples and writes that
// many stereo frames (left, right) to dest.
void mix_voices(int16_t* dest, uint16_t frames);

// Returns voices, countdown, flags, play time and the displayed values to
// their start state. The tables and wave slots stay as they are.
void reset_synth_state();

}  // namespace synth
