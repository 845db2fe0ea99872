// Wave slots: two editable wavetables, each synthesised additively from a
// 16-byte wave definition over two base waveforms. The editing operations
// act on the slot an engine instance has selected for editing; none of them
// rebuilds the wavetable: build_wavetable does, and a mixer playing at the
// same time may play a mixture of the old and the new table for at most one
// buffer.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace synth {

struct engine;

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

enum class wave_base : uint8_t { sine, shifted_sine };

extern const std::array<std::array<uint8_t, 16>, 8> preset_table;

// Recomputes the slot's wavetable from its definition and base tables.
void build_wavetable(engine& e, uint8_t slot);

// The wave configuration of a new instance: slot 0 preset 6 on sine bases,
// slot 1 preset 7 on shifted sine bases, pulse folding on, both built.
void startup_wave_setup(engine& e);

// Copies the other instance's wave slots, selected slot, pulse folding and
// random stream (a player carries its edits from song to song).
void copy_wave_state(engine& to, const engine& from);

void apply_preset(engine& e, uint8_t preset);  // presets 0..5
void set_wave_base(engine& e, uint8_t half, wave_base source);
void randomise_wave_half(engine& e, uint8_t half);
void clear_wave_half(engine& e, uint8_t half);
void swap_wave_halves(engine& e);
void step_partial(engine& e, uint8_t index, int direction);  // index 0..15, direction +1 or -1

}  // namespace synth
