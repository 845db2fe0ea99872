// Recording: the renderer's frames into an output, block by block. Record
// mode renders the song once in blocks of 4096 stereo frames, and the block
// in which the tick of the last frame falls is the last one, so the last
// frame sounds to the end of its block; other lengths come from the
// renderer of tuntool.
#pragma once

#include <cstdint>

#include "audio/output.hpp"
#include "synth/render_length.hpp"

namespace audio {

struct recording {
    int error = 0;        // a write that failed: its system error number
    uint64_t frames = 0;  // frames written
    int stop_signal = 0;  // the signal that ended the recording early, or 0
};

// Hears the frames written so far after every block.
struct block_listener {
    void (*heard)(void* context, uint64_t written) = nullptr;
    void* context = nullptr;
};

// Renders `frames` stereo frames of the engine's song (started, at its first
// frame) into the opened output, in blocks of synth::record_block_frames,
// the last one as short as the length asks. A stop signal ends it after the
// current block. The output is left open for the caller to finish or abort.
recording render_into(synth::engine& e, const output& out, uint64_t frames, block_listener listener = {});

}  // namespace audio
