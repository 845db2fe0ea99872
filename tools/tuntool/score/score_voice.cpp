#include "score_voice.hpp"

#include <algorithm>
#include <cmath>

#include "song/channel_record.hpp"
#include "song/pitch.hpp"

namespace score {

void channel_voice::start(int note) {
    playing = true;
    gate = true;
    hz = song::note_hz(note);
    frame_in_note = 0;
    bend_total = 0;
    pulse = tone.pulse;
    attacking = tone.attack > 0;
    level = attacking ? std::min(tone.attack, tone.volume) : tone.volume;
    if (level >= tone.volume) attacking = false;
}

void channel_voice::release() {
    if (!gate) return;
    gate = false;
    level = std::max(0, level - tone.release);
}

record channel_voice::next_frame(bool chip) {
    record r;
    r.pitch = static_cast<uint16_t>(tone.pan_left << song::pitch_left_pan_shift | tone.pan_right
                                                                                      << song::pitch_right_pan_shift);
    r.filter = static_cast<uint8_t>(tone.filter);
    uint8_t control = tone.control >= 0 ? static_cast<uint8_t>(tone.control) : 0;
    if (chip && tone.control < 0)
        control = static_cast<uint8_t>(tone.wave | (tone.sync ? song::control_sync : 0) |
                                       (tone.ring ? song::control_ring : 0));
    if (chip && playing &&
        ((tone.test == test_mode::start && frame_in_note == 0) || (tone.test == test_mode::on && gate)))
        control |= song::control_test;
    r.control = control;
    if (!playing) {
        r.pulse = static_cast<uint8_t>(tone.pulse);
        return r;
    }
    double semitones = bend_total;
    if (tone.arp.length > 0) semitones += tone.arp.steps[static_cast<size_t>(frame_in_note) % tone.arp.length];
    if (tone.vibrato_depth > 0 && tone.vibrato_period > 0) {
        // A triangle from -1 to 1 over the vibrato period.
        const double x = static_cast<double>(frame_in_note % tone.vibrato_period) / tone.vibrato_period;
        const double wave = x < 0.25 ? 4 * x : x < 0.75 ? 2 - 4 * x : 4 * x - 4;
        semitones += wave * tone.vibrato_depth / 100.0;
    }
    const double frequency = semitones == 0 ? hz : hz * std::exp2(semitones / 12.0);
    r.pitch = static_cast<uint16_t>(r.pitch | song::pitch_word(frequency) | (tone.noise ? song::pitch_noise : 0));
    r.pulse = static_cast<uint8_t>(pulse);
    r.volume = static_cast<uint8_t>(level);
    advance();
    return r;
}

void channel_voice::advance() {
    ++frame_in_note;
    bend_total += tone.bend;
    pulse = (pulse + tone.sweep) & 0xFF;
    if (!gate) {
        level = std::max(0, level - tone.release);
    } else if (attacking) {
        level = std::min(tone.volume, level + tone.attack);
        if (level >= tone.volume) attacking = false;
    } else if (level > tone.sustain) {
        level = std::max(tone.sustain, level - tone.decay);
    }
}

}  // namespace score
