// The side-by-side voice mixer, written once over the lanes of lanes.hpp and
// compiled once per instruction set (lane_mixer_*.cpp). Every lane follows
// exactly the steps of one voice in the one-voice-at-a-time mixer; lanes that
// read a partner run behind it (lane_mix::batch::delay), so that the partner's
// values they need were in its lane partner_lag steps earlier.
#pragma once

#include "synth/lane_mixer.hpp"
#include "synth/lanes.hpp"

namespace synth::lane_mix {
namespace {

using lanes::i32;
using lanes::u32;

struct lane_state {
    u32 phase;
    u32 increment;
    i32 last_phase;
    i32 latched_row;
    i32 pulse_row;
    i32 wrapped;
    i32 last_sample;
    i32 smoothed;
    i32 gain_pair;
    i32 volume;
    i32 shift_left;
    i32 shift_right;
    i32 left_factor;
    i32 right_factor;
    i32 noise;
    i32 wave_base;
    i32 sync;
    i32 ring;
    i32 partner_mixed;
    i32 held_partner_wrapped;
    i32 held_partner_sample;
    i32 delay;
};

// Rows of per-lane contributions, row t from step t, each lane's left one
// in its low 16 bits and its right one in the high 16 bits (the frames'
// sums are taken modulo 2^16, and they fit in 16 bits); padded for the
// lanes' delays and to whole groups of eight rows.
struct contribution_rows {
    static constexpr uint32_t count = max_frames + 2 * partner_lag + lanes::width;
    alignas(32) int32_t both[count][lane_count];
};

// What every lane showed its partners after each of the latest steps:
// entry (t + partner_lag) % 8 after step t, entries for steps before the
// first one hold the state before it.
struct partner_history {
    static constexpr uint32_t count = 8;
    static_assert(partner_lag < static_cast<int32_t>(count));
    alignas(32) int32_t wrapped[count][lane_count];
    alignas(32) int32_t sample[count][lane_count];
};

// Steps `from` to `to` - 1. A lane is active in step t when it is on one
// of its frames (t - delay within 0..frames-1); `edges` steps hold the
// inactive lanes, the steps between them have every lane active.
template <bool edges, bool partnered, bool noise, bool by_rows>
[[gnu::always_inline]] inline void run_steps(lane_state& v, const batch& b, uint32_t from, uint32_t to,
                                             contribution_rows& rows, partner_history& history) {
    constexpr uint32_t ring_mask = partner_history::count - 1;
    for (uint32_t t = from; t < to; ++t) {
        u32 phase = v.phase + v.increment;
        i32 p = i32(phase >> 16) & 0xFF;
        // A new pulse width takes effect only at the start of a cycle.
        const i32 starts = -(((v.last_phase & ~p) >> 7) & 1);
        const i32 latched_row = lanes::select(starts, v.pulse_row, v.latched_row);
        const i32 wrapped = starts & 1;
        if constexpr (partnered) {
            const i32 partner_wrapped = lanes::select(
                v.partner_mixed, lanes::partners(lanes::load(history.wrapped[t & ring_mask])), v.held_partner_wrapped);
            const i32 partner_sample = lanes::select(
                v.partner_mixed, lanes::partners(lanes::load(history.sample[t & ring_mask])), v.held_partner_sample);
            p = lanes::select(v.ring, (p & 0x7F) | (partner_sample & 0x80), p);
            const i32 synced = v.sync & (partner_wrapped == 1);
            phase &= ~u32(synced);
            p &= ~synced;
        }
        i32 x = p;
        if constexpr (noise) {
            x = lanes::select(v.noise, lanes::gather(b.noise_table, i32(phase >> 20)), p);
        }
        i32 s;
        if constexpr (by_rows) {
            s = lanes::gather(b.rows, latched_row + x);
        } else {
            s = lanes::gather(b.waves, v.wave_base + lanes::gather(b.phase_map, latched_row + x));
        }
        // One-pole low-pass, smoothed + floor((s - smoothed) * gain / 256),
        // as floor((smoothed * (256 - gain) + s * gain) / 256): one
        // multiply-add between a step's smoothed value and the next.
        const i32 smoothed = lanes::madd_halves(v.smoothed | (s << 16), v.gain_pair) >> 8;
        const i32 centred = smoothed - 128;
#if defined(__AVX2__)
        const i32 scaled = lanes::mul16(centred, v.volume);
        const i32 left = lanes::shift_each(scaled, v.shift_left);
        const i32 right = lanes::shift_each(scaled, v.shift_right);
#else
        const i32 left = (centred * v.left_factor) >> 16;
        const i32 right = (centred * v.right_factor) >> 16;
#endif
        lanes::store(rows.both[t], (left & 0xFFFF) | (right << 16));

        if constexpr (edges) {
            const i32 active = u32(lanes::splat(static_cast<int32_t>(t)) - v.delay) <
                               u32(lanes::splat(static_cast<int32_t>(b.frames)));
            v.phase = lanes::select(active, phase, v.phase);
            v.last_phase = lanes::select(active, p, v.last_phase);
            v.latched_row = lanes::select(active, latched_row, v.latched_row);
            v.wrapped = lanes::select(active, wrapped, v.wrapped);
            v.last_sample = lanes::select(active, s, v.last_sample);
            v.smoothed = lanes::select(active, smoothed, v.smoothed);
        } else {
            v.phase = phase;
            v.last_phase = p;
            v.latched_row = latched_row;
            v.wrapped = wrapped;
            v.last_sample = s;
            v.smoothed = smoothed;
        }
        if constexpr (partnered) {
            lanes::store(history.wrapped[(t + partner_lag) & ring_mask], v.wrapped);
            lanes::store(history.sample[(t + partner_lag) & ring_mask], v.last_sample);
        }
    }
}

template <bool partnered, bool noise, bool by_rows>
[[gnu::always_inline]] inline void run_all_steps(lane_state& v, const batch& b, contribution_rows& rows,
                                                 partner_history& history) {
    const auto delay = static_cast<uint32_t>(b.max_delay);
    const uint32_t steps = b.frames + delay;
    uint32_t t = 0;
    if constexpr (partnered) {
        t = delay < steps ? delay : steps;
        run_steps<true, partnered, noise, by_rows>(v, b, 0, t, rows, history);
    }
    if (t < b.frames) {
        run_steps<false, partnered, noise, by_rows>(v, b, t, b.frames, rows, history);
        t = b.frames;
    }
    if constexpr (partnered) {
        run_steps<true, partnered, noise, by_rows>(v, b, t, steps, rows, history);
    }
}

// The lanes that run a given number of steps behind (mask), for every delay
// in the batch.
struct delay_classes {
    int count = 0;
    uint32_t delay[lane_count];
    i32 lanes[lane_count];
};

[[gnu::always_inline]] inline delay_classes classes_of(const batch& b) {
    delay_classes c;
    for (int i = 0; i < lane_count; ++i) {
        if (b.mixed[i] == 0) continue;
        int k = 0;
        while (k < c.count && c.delay[k] != static_cast<uint32_t>(b.delay[i])) ++k;
        if (k == c.count) {
            c.delay[k] = static_cast<uint32_t>(b.delay[i]);
            c.lanes[k] = lanes::splat(0);
            ++c.count;
        }
        c.lanes[k][i] = -1;
    }
    return c;
}

// The contributions to frame n: each lane's from the step that mixed it.
template <bool partnered>
[[gnu::always_inline]] inline i32 frame_row(const int32_t (*rows)[lane_count], uint32_t n, const delay_classes& c) {
    if constexpr (!partnered) {
        return lanes::load(rows[n]);
    } else {
        i32 row = lanes::load(rows[n + c.delay[0]]) & c.lanes[0];
        for (int k = 1; k < c.count; ++k) row |= lanes::load(rows[n + c.delay[k]]) & c.lanes[k];
        return row;
    }
}

// Adds the lanes of every frame's contributions to the frame's sums. Rows
// past the end of the steps (up to a whole group of eight) must be zero.
template <bool partnered>
[[gnu::always_inline]] inline void add_rows(const int32_t (*rows)[lane_count], const batch& b, const delay_classes& c) {
    const uint32_t frames = b.frames;
    for (uint32_t n = 0; n < frames; n += 8) {
        const i32 total = lanes::half_sums(frame_row<partnered>(rows, n, c), frame_row<partnered>(rows, n + 1, c),
                                           frame_row<partnered>(rows, n + 2, c), frame_row<partnered>(rows, n + 3, c),
                                           frame_row<partnered>(rows, n + 4, c), frame_row<partnered>(rows, n + 5, c),
                                           frame_row<partnered>(rows, n + 6, c), frame_row<partnered>(rows, n + 7, c));
        const uint32_t count = frames - n < 8 ? frames - n : 8;
        for (uint32_t k = 0; k < count; ++k) {
            b.left[n + k] += static_cast<int16_t>(total[k] & 0xFFFF);
            b.right[n + k] += total[k] >> 16;
        }
    }
}

template <bool partnered, bool noise>
[[gnu::always_inline]] inline void run_steps_of(lane_state& v, const batch& b, contribution_rows& rows,
                                                partner_history& history) {
    if (b.by_rows) {
        run_all_steps<partnered, noise, true>(v, b, rows, history);
    } else {
        run_all_steps<partnered, noise, false>(v, b, rows, history);
    }
}

// Builds the rows the batch asks for, eight entries at a time.
[[gnu::always_inline]] inline void build_rows(const batch& b) {
    using u16 = uint16_t __attribute__((vector_size(2 * lanes::width)));
    for (int r = 0; r < b.build_count; ++r) {
        const uint16_t* map = b.phase_map + b.build_pulse[r] * wave_rows::row_entries;
        int32_t* row = b.rows + b.build_row[r];
        const i32 base = lanes::splat(b.build_wave_base[r]);
        for (int j = 0; j < wave_rows::row_entries; j += lanes::width) {
            u16 m;
            __builtin_memcpy(&m, map + j, sizeof m);
            lanes::store(row + j, lanes::gather(b.waves, base + __builtin_convertvector(m, i32)));
        }
    }
}

[[gnu::always_inline]] inline void mix_batch(batch& b) {
    build_rows(b);
    lane_state v;
    v.phase = lanes::load(b.phase);
    v.increment = lanes::load(b.increment);
    v.last_phase = lanes::load(b.last_phase);
    v.latched_row = lanes::load(b.latched_row);
    v.pulse_row = lanes::load(b.pulse_row);
    v.wrapped = lanes::load(b.wrapped);
    v.last_sample = lanes::load(b.last_sample);
    v.smoothed = lanes::load(b.smoothed);
    v.gain_pair = lanes::load(b.gain_pair);
    v.volume = lanes::load(b.volume);
    v.shift_left = lanes::load(b.shift_left);
    v.shift_right = lanes::load(b.shift_right);
    v.left_factor = lanes::load(b.left_factor);
    v.right_factor = lanes::load(b.right_factor);
    v.noise = lanes::load(b.noise);
    v.wave_base = lanes::load(b.wave_base);
    v.sync = lanes::load(b.sync);
    v.ring = lanes::load(b.ring);
    v.partner_mixed = lanes::load(b.partner_mixed);
    v.held_partner_wrapped = lanes::load(b.held_partner_wrapped);
    v.held_partner_sample = lanes::load(b.held_partner_sample);
    v.delay = lanes::load(b.delay);

    contribution_rows rows;
    partner_history history;
    const uint32_t steps = b.frames + static_cast<uint32_t>(b.max_delay);
    // The rows past the last step fill the last group of eight.
    for (uint32_t n = steps; n < steps + lanes::width; ++n) {
        lanes::store(rows.both[n], lanes::splat(0));
    }
    if (b.any_partner) {
        for (int32_t k = 0; k < partner_lag; ++k) {
            lanes::store(history.wrapped[k], v.wrapped);
            lanes::store(history.sample[k], v.last_sample);
        }
        if (b.any_noise) {
            run_steps_of<true, true>(v, b, rows, history);
        } else {
            run_steps_of<true, false>(v, b, rows, history);
        }
        const delay_classes classes = classes_of(b);
        add_rows<true>(rows.both, b, classes);
    } else {
        if (b.any_noise) {
            run_steps_of<false, true>(v, b, rows, history);
        } else {
            run_steps_of<false, false>(v, b, rows, history);
        }
        const delay_classes classes{};
        add_rows<false>(rows.both, b, classes);
    }

    lanes::store(b.phase, v.phase);
    lanes::store(b.last_phase, v.last_phase);
    lanes::store(b.latched_row, v.latched_row);
    lanes::store(b.wrapped, v.wrapped);
    lanes::store(b.last_sample, v.last_sample);
    lanes::store(b.smoothed, v.smoothed);
}

}  // namespace
}  // namespace synth::lane_mix
