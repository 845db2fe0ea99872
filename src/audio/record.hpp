// Recording: the renderer's frames into an output, block by block. Record
// mode renders the song once in blocks of 4096 stereo frames, and the block
// in which the tick of the last frame falls is the last one, so the last
// frame sounds to the end of its block; other lengths come from the
// renderer of tuntool.
#pragma once

#include <cstdint>
#include <span>

#include "audio/output.hpp"
#include "synth/render_length.hpp"

namespace audio {

struct recording {
    int error = 0;        // a write that failed: its system error number
    uint64_t frames = 0;  // frames written
    int stop_signal = 0;  // the signal that ended the recording early, or 0
    size_t failed = 0;    // with an error: the index of the output whose write failed
};

// Hears the frames written so far after every block.
struct block_listener {
    void (*heard)(void* context, uint64_t written) = nullptr;
    void* context = nullptr;
};

// An engine instance and the output its frames go to.
struct engine_output {
    synth::engine* engine = nullptr;
    output out;
};

// Renders `frames` stereo frames of each engine's song (started, at its
// first frame) into its opened output, side by side: block by block, in
// blocks of synth::record_block_frames, the last one as short as the length
// asks. A stop signal ends it after the current block, and so does the first
// write that fails (its error is reported). The outputs are left open for
// the caller to finish or abort.
recording render_into(std::span<const engine_output> targets, uint64_t frames, block_listener listener = {});

// The same for one engine and one output.
inline recording render_into(synth::engine& e, const output& out, uint64_t frames, block_listener listener = {}) {
    const engine_output target{&e, out};
    return render_into(std::span(&target, 1), frames, listener);
}

}  // namespace audio
