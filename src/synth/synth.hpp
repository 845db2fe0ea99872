// The synth engine: tables, wave slots, frame tick, mixer and render block.
#pragma once

#include "synth/frame_tick.hpp"
#include "synth/mixer.hpp"
#include "synth/tables.hpp"
#include "synth/waves.hpp"
