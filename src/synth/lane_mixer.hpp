// Voices mixed side by side, one voice per lane, through a whole run of
// frames: the interface between the mixer and its vector kernels, one per
// instruction set. Plain data only, so that the kernels' translation units
// need nothing else.
#pragma once

#include <cstdint>

namespace synth::lane_mix {

constexpr int lane_count = 8;
// Frames one batch mixes at most.
constexpr uint32_t max_frames = 256;
// Both wavetables, slot 1 from entry 512.
constexpr int wave_entries = 1024;

// Steps between a partner's lane showing a value and a voice's lane reading
// it. One step would be enough for the order of the samples, but then every
// step would wait for the table reads of the step before; four steps leave
// the processor four steps' work to overlap.
constexpr int32_t partner_lag = 4;

// The delay of a voice whose partner runs `delay_of_partner` steps behind: a partner
// with a lower index must have mixed the same sample, one with a higher
// index the sample before.
constexpr int32_t partner_delay(int32_t delay_of_partner, bool partner_is_lower) {
    return delay_of_partner + partner_lag - (partner_is_lower ? 0 : 1);
}

// Per lane, two rows of wavetable samples by phase byte, each for one pulse
// width in one wave slot (row[j] = wavetable[phase map at that pulse][j]),
// so that a step reads one table instead of two in a row. They belong to
// one engine instance and live from block to block: a row is built when a
// voice latches a pulse width that neither of its rows holds, and all are
// dropped when a wavetable changes.
struct wave_rows {
    static constexpr int row_entries = 256;
    alignas(32) int32_t entries[lane_count * 2 * row_entries] = {};
    // What each row holds: 1 + slot x 256 + pulse, or 0 for nothing.
    int32_t key[lane_count][2] = {};
    // The wavetables the rows were built from.
    alignas(32) int32_t waves[wave_entries] = {};
};

// Lane i holds voice i. Masks are all ones (-1) or zero.
struct batch {
    alignas(32) uint32_t phase[lane_count];
    alignas(32) uint32_t increment[lane_count];
    alignas(32) int32_t last_phase[lane_count];
    // Start of the latched pulse's row: in the phase map (latched pulse x
    // 256), or with by_rows in `rows`.
    alignas(32) int32_t latched_row[lane_count];
    alignas(32) int32_t pulse_row[lane_count];
    alignas(32) int32_t wrapped[lane_count];
    alignas(32) int32_t last_sample[lane_count];
    alignas(32) int32_t smoothed[lane_count];
    // 256 - gain in the low 16 bits, gain (filter + 1) in the high 16 bits.
    alignas(32) int32_t gain_pair[lane_count];
    // A voice's contribution is (smoothed - 128) * volume >> shift, or as
    // well ((smoothed - 128) * factor) >> 16 with factor = volume <<
    // (16 - shift); shifts are at most 16. All are 0 in lanes not mixed.
    alignas(32) int32_t volume[lane_count];
    alignas(32) int32_t shift_left[lane_count];
    alignas(32) int32_t shift_right[lane_count];
    alignas(32) int32_t left_factor[lane_count];
    alignas(32) int32_t right_factor[lane_count];
    alignas(32) int32_t noise[lane_count];      // mask
    alignas(32) int32_t wave_base[lane_count];  // 0 or 512
    alignas(32) int32_t sync[lane_count];       // mask
    alignas(32) int32_t ring[lane_count];       // mask
    // Whether the partner is mixed in this batch (mask); if not, the
    // partner's wrapped flag and last sample, which stay as they are.
    alignas(32) int32_t partner_mixed[lane_count];
    alignas(32) int32_t held_partner_wrapped[lane_count];
    alignas(32) int32_t held_partner_sample[lane_count];
    // Lanes whose voices this batch mixes (mask); the others are ignored.
    alignas(32) int32_t mixed[lane_count];
    // How many steps a lane runs behind sample time: a voice that follows
    // a partner runs behind it far enough to find what the partner showed
    // after the sample it needs in the partner's lane partner_lag steps
    // earlier (see partner_delay).
    alignas(32) int32_t delay[lane_count];
    int32_t max_delay = 0;
    uint32_t frames = 0;
    bool any_noise = false;
    bool any_partner = false;
    // Whether the steps read `rows` (one read) or the phase map and then the
    // wavetables; rows to build first: where they start in `rows`, for which
    // pulse and wave slot (0 or 512).
    bool by_rows = false;
    int build_count = 0;
    int32_t build_row[2 * lane_count];
    int32_t build_pulse[2 * lane_count];
    int32_t build_wave_base[2 * lane_count];
    int32_t* rows = nullptr;

    const uint16_t* phase_map = nullptr;   // by pulse, 256 x 256, 2 readable bytes after it
    const uint8_t* noise_table = nullptr;  // 4096, 3 readable bytes after it
    const int32_t* waves = nullptr;        // wave_entries
    // The frames' stereo sums, to which the mixed voices are added.
    int32_t* left = nullptr;
    int32_t* right = nullptr;
};

// Kernels: the compiler's vectors for the target it builds for (on x86-64
// the SSE2 baseline), and AVX2 where it was built (PLAYTUN_AVX2_KERNEL).
void mix_vector(batch& b);
void mix_avx2(batch& b);

}  // namespace synth::lane_mix
