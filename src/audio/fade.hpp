// A fade to silence as an output in front of another; the curve itself is
// synth/fade_curve.hpp.
#pragma once

#include <array>
#include <cstdint>

#include "audio/output.hpp"
#include "synth/fade_curve.hpp"

namespace audio {

// An output that fades the last fade_frames frames of what it passes on to
// `next` (all of them when the stream is shorter). It learns the stream's
// length from open.
struct fader {
    output next;
    uint64_t fade_frames = 0;
    uint64_t fade_start = 0;
    uint64_t passed = 0;
    synth::fade_curve curve;
    std::array<synth::stereo_frame, 4096> faded{};
};

output fade_output(fader& f, const output& next, uint64_t fade_frames);

}  // namespace audio
