// The synth engine: tables, wave slots, frame tick, mixer and the sample
// renderer, with the values it shares across the thread boundary
// (published.hpp, controls.hpp).
#pragma once

#include "synth/controls.hpp"
#include "synth/frame_tick.hpp"
#include "synth/mixer.hpp"
#include "synth/published.hpp"
#include "synth/renderer.hpp"
#include "synth/tables.hpp"
#include "synth/waves.hpp"
