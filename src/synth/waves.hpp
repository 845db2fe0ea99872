// Wave slots: two editable wavetables, each synthesised additively from a
// 16-byte wave definition over two base waveforms.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "synth/controls.hpp"

namespace synth {

constexpr int wave_slot_count = 2;
constexpr int wavetable_size = 512;

// One wave slot. Definition bytes 0..7 describe the first half of the
// wavetable and bytes 8..15 the second; each byte packs an amplitude (bits
// 0..4) and a shape (bits 5..7) of one partial.
struct wave_slot {
    std::array<uint8_t, 16> wave_definition{};
    // Half 0 feeds the first half of the wavetable, half 1 the second. Each
    // is a copy of sine_table or shifted_sine_table.
    std::array<std::array<uint8_t, wavetable_size>, 2> base_table{};
    // What the mixer plays. The main thread rebuilds it while the audio
    // thread reads it, hence one atomic per byte.
    std::array<std::atomic<uint8_t>, wavetable_size> wavetable{};
};

extern std::array<wave_slot, wave_slot_count> wave_slots;

extern const std::array<std::array<uint8_t, 16>, 8> preset_table;

// Recomputes the slot's wavetable from its definition and base tables.
void build_wavetable(uint8_t slot);

// Wave configuration established once at start-up: slot 0 preset 6 on sine
// bases, slot 1 preset 7 on shifted sine bases, pulse_fold set, both built.
void startup_wave_setup();

}  // namespace synth
