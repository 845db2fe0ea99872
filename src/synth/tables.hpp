// Lookup tables of the synth engine: everything that needs a division, a sine
// or random numbers is computed here once, so the per-frame and per-sample
// paths only index tables. The tables that do not depend on the output rate
// are built once per process, on first use from any thread, and shared
// read-only by every engine instance; the pitch table belongs to each
// instance, built for its rate.
#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "song/channel_record.hpp"

namespace synth {

struct shared_tables {
    // Pseudo-random bytes, indexed by the top 12 bits of a voice's phase.
    std::array<uint8_t, 4096> noise_table{};
    // Read (and dropped) by the side-by-side mixer, which reads table
    // entries as whole 32-bit words.
    std::array<uint8_t, 4> noise_table_end{};
    // phase_map[j][w]: wavetable index 0..511 for phase byte j at pulse value
    // w. The first w + 1 phase bytes sweep the second half of the wavetable,
    // the rest sweep the first half.
    std::array<std::array<uint16_t, 256>, 256> phase_map{};
    // The same values laid out by pulse value first
    // (phase_map_by_pulse[w][j] == phase_map[j][w]), so that a voice, whose
    // pulse stays latched for a whole cycle, reads one 512-byte row.
    std::array<std::array<uint16_t, 256>, 256> phase_map_by_pulse{};
    std::array<uint16_t, 2> phase_map_by_pulse_end{};  // as noise_table_end
    // One sine period over 511 steps, amplitude 127 around 128.
    std::array<uint8_t, 512> sine_table{};
    // The same sine delayed by 127 steps (starts at its minimum).
    std::array<uint8_t, 512> shifted_sine_table{};
    // The engine's random stream as the noise table's build leaves it: every
    // instance continues from here, so random wave definitions repeat from
    // run to run.
    std::mt19937 random_after_noise;
};

// The shared tables, built on the first call (thread-safe).
const shared_tables& tables();

// Phase increment per output sample for each frequency 0..4095 Hz.
using pitch_table_type = std::array<uint32_t, 4096>;

// floor(frequency * 2^24 / rate) for every frequency; rate 0 counts as 1.
void build_pitch_table(pitch_table_type& table, uint32_t rate);

// Phase increment for a pitch word: bits 0..7 mantissa, bits 8..10 octave;
// the higher bits are ignored.
inline uint32_t pitch_lookup(const pitch_table_type& table, uint16_t pitch) {
    const uint32_t mantissa = song::pitch_mantissa(pitch);
    const uint32_t octave = song::pitch_octave(pitch);
    const uint32_t frequency = ((256u + mantissa) << 3) >> (7u - octave);
    return table[frequency];
}

// Next value of a random stream, scaled to 0..n-1.
uint32_t random_below(std::mt19937& stream, uint32_t n);

}  // namespace synth
