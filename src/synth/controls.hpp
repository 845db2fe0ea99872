// What the main thread controls while the audio thread plays a song: the
// engine instance's control fields and these operations, which the frame
// tick and the mixer pick up at their next frame or sample.
#pragma once

#include "synth/engine.hpp"
#include "synth/waves.hpp"
