// The frame tick: once per song frame it has the next frame read, advances
// the song position and play time, and turns every channel record into the
// parameters of its voice.
#pragma once

#include <array>
#include <cstdint>

#include "synth/published.hpp"

namespace synth {

struct engine;

// Sync or ring partner that does not exist (and "no partner" in a voice).
constexpr uint8_t no_partner = 255;

// Oscillator state of one voice. The tick writes the parameter fields; the
// mixer owns smoothed, latched_pulse, last_phase, last_sample, wrapped and
// phase. Owned by the audio thread during live playback.
struct voice_state {
    uint32_t increment = 0;
    uint8_t pulse = 0;
    uint8_t volume = 0;
    uint8_t filter = 0;
    uint8_t sync_source = 0;
    uint8_t ring_source = 0;
    uint8_t wave_slot = 0;
    uint8_t noise_on = 0;
    uint8_t smoothed = 0;
    uint8_t shift_left = 0;
    uint8_t shift_right = 0;
    uint8_t latched_pulse = 0;
    uint8_t last_phase = 0;
    uint8_t last_sample = 0;
    uint8_t wrapped = 0;
    uint32_t phase = 0;

    bool operator==(const voice_state&) const = default;
};

// Voices 0..7, plus a ninth state that is never updated: the sync and ring
// partner of voice 6 in a group that has no third voice. It stays all zero.
using voice_bank = std::array<voice_state, max_voices + 1>;

// Voices form groups of three; each takes the previous voice of its group.
constexpr std::array<uint8_t, 9> partner_table{2, 0, 1, 5, 3, 4, 8, 6, 7};
// Right shift common to all voices, by channel count - 1, so that the sum of
// all voices fits in 16 bits.
constexpr std::array<uint8_t, 8> headroom_table{0, 1, 2, 2, 3, 3, 3, 3};
// Extra shift per 2-bit pan code: full, half, an eighth, silent.
constexpr std::array<uint8_t, 4> pan_table{0, 1, 3, 16};

// Pulse widths mirrored around the middle map to the same value.
constexpr uint8_t fold(uint8_t p) { return static_cast<uint8_t>(p <= 127 ? 2 * p + 1 : 2 * (255 - p) + 1); }

void frame_tick(engine& e);

// Sets phase of voices 0..channel_count-1 to 0 (before a song starts).
void reset_voice_phases(engine& e);

}  // namespace synth
