// The synth engine: tables, the engine instance with its wave slots, frame
// tick, mixer and the sample renderer.
#pragma once

#include "synth/engine.hpp"
#include "synth/frame_tick.hpp"
#include "synth/mixer.hpp"
#include "synth/published.hpp"
#include "synth/renderer.hpp"
#include "synth/tables.hpp"
#include "synth/waves.hpp"
