// The sample renderer, the only producer of sound: it runs the frame tick
// whenever a song frame's samples are used up and mixes every voice into
// stereo frames of signed 16-bit samples. It knows nothing of devices,
// files or byte order; the outputs in src/audio take its frames.
#pragma once

#include <cstdint>
#include <span>

namespace synth {

struct engine;

struct stereo_frame {
    int16_t left = 0;
    int16_t right = 0;
    bool operator==(const stereo_frame&) const = default;
};

// Fills `out` with the next frames of the instance's song. A frame tick runs
// before the first frame of a song and then after every samples_per_frame
// frames, however the frames are split between calls.
void render_frames(engine& e, std::span<stereo_frame> out);

}  // namespace synth
