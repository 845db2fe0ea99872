#include "synth/mixer.hpp"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <new>

#include "song/song.hpp"
#include "synth/engine.hpp"
#include "synth/frame_tick.hpp"
#include "synth/lane_mixer.hpp"
#include "synth/renderer.hpp"
#include "synth/tables.hpp"
#include "synth/waves.hpp"

namespace synth {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

// Frames mixed at a time, between two ticks at most.
constexpr uint32_t run_limit = lane_mix::max_frames;

// One sample of one voice, stepped on its own, reading its
// partner's fields as they stand: a partner with a lower index has already
// stepped in this sample, one with a higher index has not.
inline int32_t step_voice(engine& e, voice_state& v) {
    v.phase += v.increment;
    v.wrapped = 0;
    uint8_t p = static_cast<uint8_t>(v.phase >> 16);
    // A new pulse width takes effect only at the start of a cycle.
    if ((v.last_phase & 0x80) && !(p & 0x80)) {
        v.latched_pulse = v.pulse;
        v.wrapped = 1;
    }
    if (v.ring_source != no_partner) {
        p = static_cast<uint8_t>((p & 0x7F) | (e.voices[v.ring_source].last_sample & 0x80));
    }
    if (v.sync_source != no_partner && e.voices[v.sync_source].wrapped) {
        v.phase = 0;
        p = 0;
    }
    v.last_phase = p;
    const uint8_t x = v.noise_on ? e.shared.noise_table[v.phase >> 20] : p;
    const uint8_t s =
        e.wave_slots[v.wave_slot & 1].wavetable[e.shared.phase_map_by_pulse[v.latched_pulse][x]].load(relaxed);
    v.last_sample = s;
    // One-pole low-pass; the shift rounds toward minus infinity.
    const int32_t d = static_cast<int32_t>(s) - v.smoothed;
    v.smoothed = static_cast<uint8_t>(v.smoothed + ((d * (v.filter + 1)) >> 8));
    return static_cast<int16_t>((static_cast<int32_t>(v.smoothed) - 128) * v.volume);
}

// Stereo sums of one run of frames.
struct run_sums {
    std::array<int32_t, run_limit> left;
    std::array<int32_t, run_limit> right;
};

// What each voice showed to its partners after every sample of the run:
// entry 0 is the state before the run, entry k + 1 the state after sample k.
struct run_history {
    std::array<std::array<uint8_t, run_limit + 1>, max_voices + 1> wrapped;
    std::array<std::array<uint8_t, run_limit + 1>, max_voices + 1> sample;
};

// The partner values a voice reads at sample k: wrapped[k] and sample[k].
struct partner_view {
    const uint8_t* wrapped = nullptr;
    const uint8_t* sample = nullptr;
};

// Runs one voice through a whole run of frames with its state in registers.
// The result equals stepping the voice once per frame, provided its
// partner's values are available in `partner` for every sample.
// Kept out of line so that each variant gets its registers to itself.
// What a voice takes from its partner.
enum class partner_use { none, sync, ring, sync_and_ring };

template <partner_use use, bool keeps_history, bool noise>
[[gnu::noinline]] void run_voice(const engine& e, voice_state& v, uint32_t frames, run_sums& sums, partner_view partner,
                                 uint8_t* wrapped_out, uint8_t* sample_out) {
    uint32_t phase = v.phase;
    uint8_t last_phase = v.last_phase;
    uint8_t latched_pulse = v.latched_pulse;
    int32_t smoothed = v.smoothed;  // stays within 0..255
    uint8_t last_sample = v.last_sample;
    uint8_t wrapped = v.wrapped;
    const uint32_t increment = v.increment;
    const uint8_t pulse = v.pulse;
    const int32_t gain = v.filter + 1;
    // c >> shift equals (c << (16 - shift)) >> 16 for the 16-bit
    // contributions and shifts 0..16; folding volume and 2^(16 - shift) into
    // one factor keeps every product below 2^31.
    const int32_t left_factor = static_cast<int32_t>(v.volume) << (16 - std::min<uint8_t>(v.shift_left, 16));
    const int32_t right_factor = static_cast<int32_t>(v.volume) << (16 - std::min<uint8_t>(v.shift_right, 16));
    constexpr bool ring = use == partner_use::ring || use == partner_use::sync_and_ring;
    constexpr bool sync = use == partner_use::sync || use == partner_use::sync_and_ring;
    const auto& wavetable = e.wave_slots[v.wave_slot & 1].wavetable;
    const auto& phase_map_by_pulse = e.shared.phase_map_by_pulse;
    const auto& noise_table = e.shared.noise_table;
    const uint16_t* row = phase_map_by_pulse[latched_pulse].data();
    if constexpr (keeps_history) {
        wrapped_out[0] = wrapped;
        sample_out[0] = last_sample;
    }
    for (uint32_t k = 0; k < frames; ++k) {
        phase += increment;
        wrapped = 0;
        uint8_t p = static_cast<uint8_t>(phase >> 16);
        // Ring modulation moves the top bit of the phase byte with the
        // partner's samples, so cycle starts come often and irregularly:
        // there the latch is computed without a branch.
        if constexpr (ring) {
            const uint32_t starts = (last_phase & ~p & 0x80u) >> 7;
            const uint32_t keep = starts - 1;  // all ones unless a cycle starts
            latched_pulse = static_cast<uint8_t>((latched_pulse & keep) | (pulse & ~keep));
            row = phase_map_by_pulse[latched_pulse].data();
            wrapped = static_cast<uint8_t>(starts);
            p = static_cast<uint8_t>((p & 0x7F) | (partner.sample[k] & 0x80));
        } else {
            if ((last_phase & 0x80) && !(p & 0x80)) [[unlikely]] {
                latched_pulse = pulse;
                row = phase_map_by_pulse[latched_pulse].data();
                wrapped = 1;
            }
        }
        if constexpr (sync) {
            if (partner.wrapped[k] == 1) [[unlikely]] {
                phase = 0;
                p = 0;
            }
        }
        last_phase = p;
        uint8_t x = p;
        if constexpr (noise) {
            x = noise_table[phase >> 20];
        }
        last_sample = wavetable[row[x]].load(relaxed);
        smoothed += ((static_cast<int32_t>(last_sample) - smoothed) * gain) >> 8;
        const int32_t centred = smoothed - 128;
        sums.left[k] += (centred * left_factor) >> 16;
        sums.right[k] += (centred * right_factor) >> 16;
        if constexpr (keeps_history) {
            wrapped_out[k + 1] = wrapped;
            sample_out[k + 1] = last_sample;
        }
    }
    v.phase = phase;
    v.last_phase = last_phase;
    v.latched_pulse = latched_pulse;
    v.smoothed = static_cast<uint8_t>(smoothed);
    v.last_sample = last_sample;
    v.wrapped = wrapped;
}

template <partner_use use>
void run_voice_as(const engine& e, voice_state& v, uint32_t frames, run_sums& sums, partner_view partner,
                  uint8_t* wrapped_out, uint8_t* sample_out, bool keeps_history) {
    if (keeps_history) {
        if (v.noise_on) {
            run_voice<use, true, true>(e, v, frames, sums, partner, wrapped_out, sample_out);
        } else {
            run_voice<use, true, false>(e, v, frames, sums, partner, wrapped_out, sample_out);
        }
    } else {
        if (v.noise_on) {
            run_voice<use, false, true>(e, v, frames, sums, partner, wrapped_out, sample_out);
        } else {
            run_voice<use, false, false>(e, v, frames, sums, partner, wrapped_out, sample_out);
        }
    }
}

// Runs voice v through the run with the loop variant that fits it.
void run_one_voice(const engine& e, voice_state& v, uint32_t frames, run_sums& sums, partner_view partner,
                   uint8_t* wrapped_out, uint8_t* sample_out, bool keeps_history) {
    const bool sync = v.sync_source != no_partner;
    const bool ring = v.ring_source != no_partner;
    if (sync && ring) {
        run_voice_as<partner_use::sync_and_ring>(e, v, frames, sums, partner, wrapped_out, sample_out, keeps_history);
    } else if (sync) {
        run_voice_as<partner_use::sync>(e, v, frames, sums, partner, wrapped_out, sample_out, keeps_history);
    } else if (ring) {
        run_voice_as<partner_use::ring>(e, v, frames, sums, partner, wrapped_out, sample_out, keeps_history);
    } else {
        run_voice_as<partner_use::none>(e, v, frames, sums, partner, wrapped_out, sample_out, keeps_history);
    }
}

bool uses_partner(const voice_state& v) { return v.sync_source != no_partner || v.ring_source != no_partner; }

// The frame tick only ever names a voice's partner from partner_table; any
// other source is mixed by the plain sample-by-sample path.
bool sources_follow_partner_table(const engine& e, int count) {
    for (int i = 0; i < count; ++i) {
        const voice_state& v = e.voices[i];
        if ((v.sync_source != no_partner && v.sync_source != partner_table[i]) ||
            (v.ring_source != no_partner && v.ring_source != partner_table[i])) {
            return false;
        }
    }
    return true;
}

// Sample by sample over voices first..last, in ascending order.
void step_voices(engine& e, int first, int last, uint32_t frames, run_sums& sums) {
    for (uint32_t k = 0; k < frames; ++k) {
        for (int i = first; i <= last; ++i) {
            voice_state& v = e.voices[i];
            const int32_t c = step_voice(e, v);
            sums.left[k] += c >> v.shift_left;
            sums.right[k] += c >> v.shift_right;
        }
    }
}

// Mixes one group of voices (partners never leave their group of three).
// Voices run one at a time in an order that has every partner's history
// ready before it is read; a group whose three voices each follow their
// partner forms a cycle and runs sample by sample.
void mix_group(engine& e, int first, int last, int count, uint32_t frames, run_sums& sums, run_history& history) {
    auto& voices = e.voices;
    bool all_use_partner = (last - first == 2);
    for (int i = first; i <= last; ++i) {
        all_use_partner = all_use_partner && uses_partner(voices[i]);
    }
    if (all_use_partner && partner_table[first] <= last) {
        step_voices(e, first, last, frames, sums);
        return;
    }

    std::array<bool, max_voices + 1> done{};
    std::array<bool, max_voices + 1> is_partner{};
    for (int i = first; i <= last; ++i) {
        if (uses_partner(voices[i])) {
            is_partner[partner_table[i]] = true;
        }
    }
    for (int pass = 0; pass < 3; ++pass) {
        for (int i = first; i <= last; ++i) {
            if (done[i]) {
                continue;
            }
            voice_state& v = voices[i];
            uint8_t* wrapped_out = history.wrapped[i].data();
            uint8_t* sample_out = history.sample[i].data();
            if (!uses_partner(v)) {
                run_one_voice(e, v, frames, sums, {}, wrapped_out, sample_out, is_partner[i]);
                done[i] = true;
                continue;
            }
            const int q = partner_table[i];
            partner_view view;
            if (q >= count) {
                // A partner that is not mixed keeps its state for the run.
                history.wrapped[q].fill(voices[q].wrapped);
                history.sample[q].fill(voices[q].last_sample);
                view = {history.wrapped[q].data(), history.sample[q].data()};
            } else if (done[q]) {
                // A lower partner has stepped before this voice in the same
                // sample; a higher one shows the previous sample's values.
                const int offset = q < i ? 1 : 0;
                view = {history.wrapped[q].data() + offset, history.sample[q].data() + offset};
            } else {
                continue;
            }
            run_one_voice(e, v, frames, sums, view, wrapped_out, sample_out, is_partner[i]);
            done[i] = true;
        }
    }
}

// Both wavetables as the side-by-side mixer reads them: copied once per
// block, on first use, with the same relaxed loads as the voice-by-voice
// path. A wavetable rebuilt while the block plays is heard from the next
// block on (the voice-by-voice path may mix old and new for one block).
// The copy stays with the engine's wave rows, which are dropped when it
// changes.
struct wave_copy {
    bool taken = false;
};

const int32_t* copied_waves(engine& e, wave_copy& copy) {
    lane_mix::wave_rows& rows = e.lane_rows;
    if (!copy.taken) {
        bool changed = false;
        for (int slot = 0; slot < wave_slot_count; ++slot) {
            for (int k = 0; k < wavetable_size; ++k) {
                const int32_t sample = e.wave_slots[slot].wavetable[k].load(relaxed);
                changed = changed || rows.waves[slot * wavetable_size + k] != sample;
                rows.waves[slot * wavetable_size + k] = sample;
            }
        }
        if (changed) {
            for (auto& key : rows.key) key[0] = key[1] = 0;
        }
        copy.taken = true;
    }
    return rows.waves;
}

// Row reads pay when building the rows takes fewer table reads than the
// steps save: a row of 256 entries costs 32 eight-lane reads, each step
// saves one.
constexpr uint32_t steps_per_row_built = 32;

// Where in the wave rows lane i finds its latched pulse and its pulse, and
// the rows to build for that; false if the rows would cost more than they
// save in a run of `frames`.
bool plan_rows(engine& e, const std::array<bool, max_voices + 1>& mixed, uint32_t frames,
               lane_mix::batch& b) {
    constexpr int row = lane_mix::wave_rows::row_entries;
    const lane_mix::wave_rows& rows = e.lane_rows;
    std::array<std::array<int32_t, 2>, lane_mix::lane_count> keys;
    b.build_count = 0;
    for (int i = 0; i < lane_mix::lane_count; ++i) {
        keys[i] = {rows.key[i][0], rows.key[i][1]};
        b.latched_row[i] = i * 2 * row;
        b.pulse_row[i] = i * 2 * row;
        if (!mixed[i]) continue;
        const voice_state& v = e.voices[i];
        const int32_t slot = (v.wave_slot & 1) * row;
        const int32_t wanted[2] = {1 + slot + v.latched_pulse, 1 + slot + v.pulse};
        int at[2] = {-1, -1};
        for (int w = 0; w < 2; ++w) {
            for (int r = 0; r < 2; ++r) {
                if (keys[i][r] == wanted[w]) at[w] = r;
            }
        }
        for (int w = 0; w < 2; ++w) {
            if (at[w] >= 0) continue;
            const int other = at[1 - w];
            at[w] = other >= 0 && wanted[0] != wanted[1] ? 1 - other : other >= 0 ? other : w;
            if (at[w] == other) continue;
            keys[i][at[w]] = wanted[w];
            b.build_row[b.build_count] = (i * 2 + at[w]) * row;
            b.build_pulse[b.build_count] = wanted[w] - 1 - slot;
            b.build_wave_base[b.build_count] = slot * 2;
            ++b.build_count;
        }
        b.latched_row[i] = (i * 2 + at[0]) * row;
        b.pulse_row[i] = (i * 2 + at[1]) * row;
    }
    if (static_cast<uint32_t>(b.build_count) * steps_per_row_built > frames) {
        b.build_count = 0;
        return false;
    }
    for (int i = 0; i < lane_mix::lane_count; ++i) {
        e.lane_rows.key[i][0] = keys[i][0];
        e.lane_rows.key[i][1] = keys[i][1];
    }
    return true;
}

// A group of three whose voices each follow their partner forms a cycle
// within every sample; it is mixed sample by sample.
bool group_is_cycle(const engine& e, int first, int last) {
    bool all_use_partner = (last - first == 2);
    for (int i = first; i <= last; ++i) {
        all_use_partner = all_use_partner && uses_partner(e.voices[i]);
    }
    return all_use_partner && partner_table[first] <= last;
}

// Mixes voices 0..count-1 side by side, one voice per lane; cycles run
// sample by sample.
void mix_side_by_side(engine& e, run_sums& sums, uint32_t frames, int count, wave_copy& waves) {
    std::array<bool, max_voices + 1> mixed{};
    bool any_mixed = false;
    for (int first = 0; first < count; first += 3) {
        const int last = std::min(first + 2, count - 1);
        if (group_is_cycle(e, first, last)) {
            step_voices(e, first, last, frames, sums);
            continue;
        }
        for (int i = first; i <= last; ++i) {
            mixed[i] = true;
        }
        any_mixed = true;
    }
    if (!any_mixed) {
        return;
    }

    lane_mix::batch b;
    // A voice that follows a partner runs behind it (lane_mix::partner_delay).
    // Partners stay within their group, whose chain has at most two links,
    // so three passes settle every delay.
    std::array<int32_t, max_voices + 1> delay{};
    for (int pass = 0; pass < 3; ++pass) {
        for (int i = 0; i < lane_mix::lane_count; ++i) {
            const int q = partner_table[i];
            if (mixed[i] && uses_partner(e.voices[i]) && mixed[q]) {
                delay[i] = lane_mix::partner_delay(delay[q], q < i);
            }
        }
    }
    b.max_delay = 0;
    b.any_noise = false;
    b.any_partner = false;
    for (int i = 0; i < lane_mix::lane_count; ++i) {
        const voice_state& v = e.voices[i];
        const voice_state& partner = e.voices[partner_table[i]];
        b.phase[i] = v.phase;
        b.increment[i] = v.increment;
        b.last_phase[i] = v.last_phase;
        b.latched_row[i] = v.latched_pulse * 256;
        b.pulse_row[i] = v.pulse * 256;
        b.wrapped[i] = v.wrapped;
        b.last_sample[i] = v.last_sample;
        b.smoothed[i] = v.smoothed;
        const int32_t gain = v.filter + 1;
        b.gain_pair[i] = (256 - gain) | (gain << 16);
        // c >> shift equals (c << (16 - shift)) >> 16 for the 16-bit
        // contributions and shifts 0..16. Lanes not mixed add nothing.
        const int32_t volume = mixed[i] ? v.volume : 0;
        b.volume[i] = volume;
        b.shift_left[i] = std::min<uint8_t>(v.shift_left, 16);
        b.shift_right[i] = std::min<uint8_t>(v.shift_right, 16);
        b.left_factor[i] = volume << (16 - b.shift_left[i]);
        b.right_factor[i] = volume << (16 - b.shift_right[i]);
        b.noise[i] = v.noise_on ? -1 : 0;
        b.wave_base[i] = (v.wave_slot & 1) * wavetable_size;
        b.sync[i] = v.sync_source != no_partner ? -1 : 0;
        b.ring[i] = v.ring_source != no_partner ? -1 : 0;
        b.partner_mixed[i] = mixed[partner_table[i]] ? -1 : 0;
        b.held_partner_wrapped[i] = partner.wrapped;
        b.held_partner_sample[i] = partner.last_sample;
        b.mixed[i] = mixed[i] ? -1 : 0;
        b.delay[i] = delay[i];
        if (mixed[i]) {
            b.max_delay = std::max(b.max_delay, delay[i]);
            b.any_noise = b.any_noise || v.noise_on;
            b.any_partner = b.any_partner || uses_partner(v);
        }
    }
    b.frames = frames;
    b.phase_map = e.shared.phase_map_by_pulse[0].data();
    b.noise_table = e.shared.noise_table.data();
    b.waves = copied_waves(e, waves);
    b.rows = e.lane_rows.entries;
    b.by_rows = plan_rows(e, mixed, frames, b);
    if (!b.by_rows) {
        for (int i = 0; i < lane_mix::lane_count; ++i) {
            b.latched_row[i] = e.voices[i].latched_pulse * 256;
            b.pulse_row[i] = e.voices[i].pulse * 256;
        }
    }
    b.left = sums.left.data();
    b.right = sums.right.data();

#if PLAYTUN_AVX2_KERNEL
    if (e.kernel == mixer_kernel::side_by_side_avx2) {
        lane_mix::mix_avx2(b);
    } else {
        lane_mix::mix_vector(b);
    }
#else
    lane_mix::mix_vector(b);
#endif

    for (int i = 0; i < lane_mix::lane_count; ++i) {
        if (!mixed[i]) {
            continue;
        }
        voice_state& v = e.voices[i];
        v.phase = b.phase[i];
        v.last_phase = static_cast<uint8_t>(b.last_phase[i]);
        // A lane's latched row is the one it started with or its pulse's.
        if (b.latched_row[i] == b.pulse_row[i]) v.latched_pulse = v.pulse;
        v.wrapped = static_cast<uint8_t>(b.wrapped[i]);
        v.last_sample = static_cast<uint8_t>(b.last_sample[i]);
        v.smoothed = static_cast<uint8_t>(b.smoothed[i]);
    }
}

// Sums of voices 0..count-1 over the next `frames` frames (at most run_limit).
void mix_run(engine& e, run_sums& sums, uint32_t frames, int count, wave_copy& waves) {
    std::fill_n(sums.left.begin(), frames, 0);
    std::fill_n(sums.right.begin(), frames, 0);
    if (!sources_follow_partner_table(e, count)) {
        step_voices(e, 0, count - 1, frames, sums);
        return;
    }
    if (e.kernel != mixer_kernel::one_at_a_time) {
        mix_side_by_side(e, sums, frames, count, waves);
        return;
    }
    run_history history;
    for (int first = 0; first < count; first += 3) {
        mix_group(e, first, std::min(first + 2, count - 1), count, frames, sums, history);
    }
}

int voice_count(const engine& e) { return std::min<int>(e.song.channel_count, max_voices); }

}  // namespace

bool kernel_available(mixer_kernel kernel) {
    switch (kernel) {
        case mixer_kernel::one_at_a_time: return true;
        case mixer_kernel::side_by_side: return true;
        case mixer_kernel::side_by_side_avx2:
#if PLAYTUN_AVX2_KERNEL
            __builtin_cpu_init();
            return __builtin_cpu_supports("avx2");
#else
            return false;
#endif
    }
    return false;
}

std::optional<mixer_kernel> kernel_named(std::string_view name) {
    if (name == "plain") return mixer_kernel::one_at_a_time;
    if (name == "vector") return mixer_kernel::side_by_side;
    if (name == "avx2") return mixer_kernel::side_by_side_avx2;
    return std::nullopt;
}

void mix_voices(engine& e, int16_t* dest, uint16_t frames) {
    const int count = voice_count(e);
    run_sums sums;
    wave_copy waves;
    for (uint32_t done = 0; done < frames;) {
        const uint32_t run = std::min<uint32_t>(frames - done, run_limit);
        mix_run(e, sums, run, count, waves);
        // The sums always fit in 16 bits: every voice is scaled down by the
        // channel count's headroom.
        for (uint32_t k = 0; k < run; ++k) {
            dest[2 * (done + k)] = static_cast<int16_t>(sums.left[k]);
            dest[2 * (done + k) + 1] = static_cast<int16_t>(sums.right[k]);
        }
        done += run;
    }
}

void render_frames(engine& e, std::span<stereo_frame> out) {
    uint16_t& frame_countdown = e.frame_countdown;
    const auto frames = static_cast<uint32_t>(out.size());
    run_sums sums;
    wave_copy waves;
    uint32_t i = 0;
    while (i < frames) {
        if (frame_countdown == 0) {
            frame_tick(e);
            // A song frame shorter than one sample still lasts one sample.
            const auto spf = static_cast<uint16_t>(e.song.samples_per_frame);
            frame_countdown = spf == 0 ? 1 : spf;
        }
        // Mixing up to the next tick gives the same samples as mixing one
        // frame at a time.
        const uint32_t run = std::min({static_cast<uint32_t>(frame_countdown), frames - i, run_limit});
        mix_run(e, sums, run, voice_count(e), waves);
        frame_countdown = static_cast<uint16_t>(frame_countdown - run);
        // The sums always fit in 16 bits: every voice is scaled down by the
        // channel count's headroom.
        for (uint32_t k = 0; k < run; ++k) {
            out[i + k] = {static_cast<int16_t>(sums.left[k]), static_cast<int16_t>(sums.right[k])};
        }
        i += run;
    }
}

// The page's library (WebAssembly) always mixes one voice at a time and
// has no clock fine enough to measure with.
#if !defined(__EMSCRIPTEN__)
namespace {

constexpr std::array kernels{mixer_kernel::one_at_a_time, mixer_kernel::side_by_side,
                             mixer_kernel::side_by_side_avx2};

// Voices as songs have them: different pitches, pulse widths and filters,
// both wave slots, and in the chip variant the second voice of each group
// synced to its partner and the third ring-modulated.
void set_probe_voices(engine& e, int voices, bool chip_variant, int round) {
    e.voices = {};
    for (int i = 0; i < voices; ++i) {
        voice_state& v = e.voices[i];
        v.increment = pitch_lookup(e.pitch_table, static_cast<uint16_t>(((2 + i % 5) << 8) | (37 * i + 11 * round)));
        v.pulse = static_cast<uint8_t>(31 * i + 7 * round);
        v.latched_pulse = static_cast<uint8_t>(v.pulse + 1);
        v.volume = 200;
        v.filter = i % 4 == 3 ? 60 : 255;
        v.wave_slot = static_cast<uint8_t>(i & 1);
        v.shift_left = headroom_table[voices - 1];
        v.shift_right = static_cast<uint8_t>(headroom_table[voices - 1] + 1);
        v.sync_source = no_partner;
        v.ring_source = no_partner;
        if (chip_variant && i % 3 == 1) v.sync_source = partner_table[i];
        if (chip_variant && i % 3 == 2) v.ring_source = partner_table[i];
    }
    e.voices[max_voices].sync_source = no_partner;
    e.voices[max_voices].ring_source = no_partner;
}

// The fastest available kernel on such voices. Each round renders one short
// block with every kernel in turn, so that a change of load on the machine
// meets them all; a kernel's time is its best round. The first round only
// warms the caches. The pulse widths change from round to round, as they
// do from song frame to song frame.
mixer_kernel fastest_by_measurement(int voices, bool chip_variant) {
    std::unique_ptr<engine> probe(new (std::nothrow) engine(song::output_rate));
    if (!probe) return mixer_kernel::one_at_a_time;
    probe->song.channel_count = static_cast<uint8_t>(voices);
    constexpr uint16_t probe_frames = 512;
    constexpr int rounds = 5;
    std::array<int16_t, 2 * probe_frames> out;
    std::array<std::chrono::steady_clock::duration, kernels.size()> best;
    best.fill(std::chrono::steady_clock::duration::max());
    for (int round = 0; round <= rounds; ++round) {
        for (size_t k = 0; k < kernels.size(); ++k) {
            if (!kernel_available(kernels[k])) continue;
            probe->kernel = kernels[k];
            set_probe_voices(*probe, voices, chip_variant, round);
            const auto start = std::chrono::steady_clock::now();
            mix_voices(*probe, out.data(), probe_frames);
            const auto took = std::chrono::steady_clock::now() - start;
            if (round > 0) best[k] = std::min(best[k], took);
        }
    }
    // Another kernel must save a tenth of the time to be taken: a near tie
    // is within the measurement's noise.
    size_t chosen = 0;
    for (size_t k = 1; k < kernels.size(); ++k) {
        if (kernel_available(kernels[k]) && best[k] * 10 < best[chosen] * 9) chosen = k;
    }
    return kernels[chosen];
}

// Measured kernels by voice count and variant: 0 not measured yet, else
// the kernel's value + 1.
std::array<std::atomic<uint8_t>, 2 * (max_voices + 1)> measured{};

}  // namespace
#endif

mixer_kernel measured_kernel(int voices, bool chip_variant) {
#if defined(__EMSCRIPTEN__)
    // Browsers' clocks are too coarse for a measurement this short; there
    // one voice at a time is the fastest for every voice count
    // (bench/README.md).
    (void)voices;
    (void)chip_variant;
    return mixer_kernel::one_at_a_time;
#else
    voices = std::clamp(voices, 1, max_voices);
    std::atomic<uint8_t>& slot = measured[voices * 2 + (chip_variant ? 1 : 0)];
    const uint8_t known = slot.load(relaxed);
    if (known != 0) return static_cast<mixer_kernel>(known - 1);
    const mixer_kernel kernel = fastest_by_measurement(voices, chip_variant);
    slot.store(static_cast<uint8_t>(static_cast<uint8_t>(kernel) + 1), relaxed);
    return kernel;
#endif
}

mixer_kernel kernel_for(int voices, bool chip_variant) {
#if !defined(__EMSCRIPTEN__)
    // A WebAssembly library has no environment: reading one would make its
    // module import the host's, which a page or worklet does not give.
    if (const char* name = std::getenv("TONERA_KERNEL")) {
        const std::optional<mixer_kernel> forced = kernel_named(name);
        if (forced && kernel_available(*forced)) return *forced;
    }
#endif
    return measured_kernel(voices, chip_variant);
}

}  // namespace synth
