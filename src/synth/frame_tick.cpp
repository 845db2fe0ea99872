#include "synth/frame_tick.hpp"

#include "song/song.hpp"
#include "synth/engine.hpp"
#include "synth/tables.hpp"
#include "synth/waves.hpp"

namespace synth {

namespace {

constexpr auto relaxed = std::memory_order_relaxed;

using song::control_pulse;
using song::control_ring;
using song::control_sync;
using song::control_test;
using song::pitch_noise;
constexpr uint8_t max_shift = 16;

// The end test is "at or past the last frame", so that a loop frame beyond
// the song or a seek past its end cannot walk the reader out of the song.
void advance_song_position(engine& e) {
    song::song_state& s = e.song;
    const uint32_t next = s.frame_index.load(relaxed) + 1;
    if (static_cast<int64_t>(next) < static_cast<int64_t>(s.frame_total)) {
        s.frame_index.store(next, relaxed);
    } else if (e.loop_enabled.load(relaxed)) {
        s.frame_index.store(s.loop_frame, relaxed);
    } else {
        e.song_ended.store(true, relaxed);
        s.frame_index.store(s.frame_total > 0 ? static_cast<uint32_t>(s.frame_total) : 0, relaxed);
    }
}

void advance_play_time(engine& e) {
    const uint16_t rate = e.song.frame_rate;
    if (rate == 0) {
        return;
    }
    uint32_t t = e.play_time.load(relaxed) + 300000u / rate;
    if (t > play_time_limit) {
        t = play_time_limit;
    }
    e.play_time.store(t, relaxed);
}

uint8_t capped_shift(uint8_t base, uint8_t pan_code) {
    const uint8_t shift = static_cast<uint8_t>(base + pan_table[pan_code & 3]);
    return shift > 15 ? max_shift : shift;
}

void set_output_shifts(voice_state& v, uint16_t pitch, uint8_t channel_count) {
    const uint8_t base = headroom_table[(channel_count - 1) & 7];
    v.shift_left = capped_shift(base, static_cast<uint8_t>(song::left_pan_code(pitch)));
    v.shift_right = capped_shift(base, static_cast<uint8_t>(song::right_pan_code(pitch)));
}

// The control byte read like a chip voice register: waveform bits 4..7,
// ring modulation, hard sync and test bits.
void map_chip_record(const engine& e, int i, voice_state& v, song::channel_record& r, uint8_t channel_count) {
    const uint8_t c = r.control;
    const uint8_t w = c >> song::control_waveform_shift;
    if (c & control_test) {
        v.phase = 0;
        v.last_phase = 0;
    }
    if (w == 1) {  // triangle only
        r.pulse = 0x80;
        v.wave_slot = 1;
    } else if (w == 2) {  // sawtooth only
        r.pulse = 0x00;
        v.wave_slot = 1;
    } else if (w == 4) {  // pulse only
        v.wave_slot = 0;
    } else if (w & 4) {  // pulse combined with others
        v.wave_slot = 1;
    } else if (w == 8) {  // noise only
        v.wave_slot = 1;
    }  // other combinations keep the previous frame's slot
    v.sync_source = (c & control_sync) ? partner_table[i] : no_partner;
    if (c & control_ring) {
        v.ring_source = partner_table[i];
        r.pulse = 0x80;
    } else {
        v.ring_source = no_partner;
    }
    v.increment = pitch_lookup(e.pitch_table, r.pitch);
    v.volume = r.volume;
    if (w == 0 || e.voice_muted[i].load(relaxed)) {
        v.volume = 0;
    }
    v.noise_on = (r.pitch & pitch_noise) ? 1 : 0;
    v.pulse = r.pulse;
    v.filter = r.filter;
    set_output_shifts(v, r.pitch, channel_count);
    if (e.pulse_fold.load(relaxed) && (c & control_pulse)) {
        v.pulse = fold(v.pulse);
    }
}

// The control byte as a plain value: only 0x00, 0x10 and 0x20 mean anything.
void map_plain_record(const engine& e, int i, voice_state& v, song::channel_record& r, uint8_t channel_count) {
    if (r.control == 0x10) {
        r.pulse = 0x00;
    } else if (r.control == 0x20) {
        r.pulse = 0x80;
    }
    v.increment = pitch_lookup(e.pitch_table, r.pitch);
    v.volume = e.voice_muted[i].load(relaxed) ? 0 : r.volume;
    v.sync_source = no_partner;
    v.ring_source = no_partner;
    v.wave_slot = 0;
    v.noise_on = (r.pitch & pitch_noise) ? 1 : 0;
    v.pulse = r.pulse;
    v.filter = r.filter;
    set_output_shifts(v, r.pitch, channel_count);
    if (e.pulse_fold.load(relaxed) && r.control == 0) {
        v.pulse = fold(v.pulse);
    }
}

void publish_display(engine& e, int i, const voice_state& v, const song::channel_record& r) {
    shown_record& sr = e.shown_records[i];
    sr.pitch.store(r.pitch, relaxed);
    sr.pulse.store(r.pulse, relaxed);
    sr.control.store(r.control, relaxed);
    sr.volume.store(r.volume, relaxed);
    sr.filter.store(r.filter, relaxed);
    shown_voice& sv = e.shown_voices[i];
    sv.volume.store(v.volume, relaxed);
    sv.pulse.store(v.pulse, relaxed);
    sv.filter.store(v.filter, relaxed);
}

}  // namespace

void frame_tick(engine& e) {
    song::song_state& s = e.song;
    song::read_frame(s);
    advance_song_position(e);
    advance_play_time(e);

    const uint8_t count = s.channel_count > max_voices ? max_voices : s.channel_count;
    for (int i = 0; i < count; ++i) {
        voice_state& v = e.voices[i];
        song::channel_record& r = s.channel_records[i];
        if (s.chip_variant) {
            map_chip_record(e, i, v, r, count);
        } else {
            map_plain_record(e, i, v, r, count);
        }
        publish_display(e, i, v, r);
    }
}

void reset_voice_phases(engine& e) {
    const uint8_t count = e.song.channel_count;
    for (int i = 0; i < count && i < max_voices; ++i) {
        e.voices[i].phase = 0;
    }
}

}  // namespace synth
