// The voice mixer, the only producer of sound.
#pragma once

#include <cstdint>

namespace synth {

struct engine;

// Advances voices 0..channel_count-1 by `frames` samples and writes that
// many stereo frames (left, right) to dest.
void mix_voices(engine& e, int16_t* dest, uint16_t frames);

}  // namespace synth
