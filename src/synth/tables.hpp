// Lookup tables of the synth engine: everything that needs a division, a sine
// or random numbers is computed here once, so the per-frame and per-sample
// paths only index tables.
#pragma once

#include <array>
#include <cstdint>

namespace synth {

// Output samples per second. 44100 until the driver sets the playback rate.
extern uint16_t sample_rate;

// Phase increment per output sample for each frequency 0..4095 Hz.
extern std::array<uint32_t, 4096> pitch_table;
// Pseudo-random bytes, indexed by the top 12 bits of a voice's phase.
extern std::array<uint8_t, 4096> noise_table;
// phase_map[j][w]: wavetable index 0..511 for phase byte j at pulse value w.
// The first w + 1 phase bytes sweep the second half of the wavetable, the
// rest sweep the first half.
extern std::array<std::array<uint16_t, 256>, 256> phase_map;
// The same values as phase_map laid out by pulse value first
// (phase_map_by_pulse[w][j] == phase_map[j][w]), so that a voice, whose pulse
// stays latched for a whole cycle, reads one 512-byte row.
extern std::array<std::array<uint16_t, 256>, 256> phase_map_by_pulse;
// One sine period over 511 steps, amplitude 127 around 128.
extern std::array<uint8_t, 512> sine_table;
// The same sine delayed by 127 steps (starts at its minimum).
extern std::array<uint8_t, 512> shifted_sine_table;

// Builds every table for the current sample_rate and seeds the random
// generator (through the noise table).
void initialise_synth_tables();

// Stores the rate and rebuilds pitch_table.
void set_sample_rate(uint16_t rate);

// Phase increment for a pitch word: bits 0..7 mantissa, bits 8..10 octave;
// the higher bits are ignored.
inline uint32_t pitch_lookup(uint16_t pitch)
{
    const uint32_t mantissa = pitch & 0xFFu;
    const uint32_t octave = (pitch >> 8) & 7u;
    const uint32_t frequency = ((256u + mantissa) << 3) >> (7u - octave);
    return pitch_table[frequency];
}

// Next value of the engine's single random stream, scaled to 0..n-1.
uint32_t random_below(uint32_t n);

}  // namespace synth
