// What the main thread controls while the audio thread plays a song: the
// key commands act through these, and the frame tick and the mixer pick the
// changes up at their next frame or sample. None of them makes the audio
// thread wait.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "synth/published.hpp"

namespace synth {

// When set, the song repeats from its loop frame instead of ending.
extern std::atomic<bool> loop_enabled;

// A muted voice keeps running (its partners still follow it) but is
// silent: the tick gives it volume 0.
extern std::array<std::atomic<bool>, max_voices> voice_muted;

// Folds mirrored pulse widths onto one value in the frame tick.
extern std::atomic<bool> pulse_fold;

// Moves the song position; a tick that runs at the same moment may win.
void seek_to_frame(uint32_t frame);

// Ends playback at the next pass of the screen loop (the quit key).
void end_song();

// Wave editing on the slot selected for it; none of these rebuilds the
// wavetable: build_wavetable (waves.hpp) does, and the mixer may play a
// mixture of the old and the new table for at most one buffer.
enum class wave_base : uint8_t { sine, shifted_sine };

// The slot that the editing operations act on (main thread only).
extern uint8_t selected_slot;

void apply_preset(uint8_t preset);  // presets 0..5
void set_wave_base(uint8_t half, wave_base source);
void randomise_wave_half(uint8_t half);
void clear_wave_half(uint8_t half);
void swap_wave_halves();
void step_partial(uint8_t index, int direction);  // index 0..15, direction +1 or -1

}  // namespace synth
