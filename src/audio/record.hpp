// Recording: the renderer's frames into an output, for as long as the song
// plays once. The song is rendered in blocks of 4096 stereo frames, and the
// block in which the tick of the last frame falls is the last one, so the
// last frame sounds to the end of its block.
#pragma once

#include <cstdint>

#include "audio/output.hpp"

namespace audio {

constexpr uint32_t record_block_frames = 4096;

// The frames a recording of frame_total frames of samples_per_frame samples
// holds: known before rendering starts, so that a stream's header can carry
// them.
uint64_t recording_frames(uint32_t frame_total, uint32_t samples_per_frame);

struct recording {
    int error = 0;        // a write that failed: its system error number
    uint64_t frames = 0;  // frames written
    int stop_signal = 0;  // the signal that ended the recording early, or 0
};

// Renders the current song (opened, at frame 0, song_ended clear) into the
// opened output until the song ends. A stop signal ends it after the
// current block. The output is left open for the caller to finish or abort.
recording record_song(const output& out);

}  // namespace audio
