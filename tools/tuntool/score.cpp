#include "score.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "score_arrange.hpp"
#include "score_parse.hpp"
#include "score_voice.hpp"

namespace score {

double note_hz(int note) {
    // Octave 4, from C-4 up; other octaves are exact powers of two away.
    static constexpr std::array<double, 12> octave_4{261.6255653005986, 277.1826309768721, 293.6647679174076,
                                                     311.1269837220809, 329.6275569128699, 349.2282314330039,
                                                     369.9944227116344, 391.9954359817493, 415.3046975799451,
                                                     440.0,             466.1637615180899, 493.8833012561241};
    const int octave = note >= 0 ? note / 12 : (note - 11) / 12;
    return std::ldexp(octave_4[note - 12 * octave], octave - 4);
}

uint16_t pitch_word(double hz) {
    hz = std::clamp(hz, 16.0, 4088.0);
    const long whole = std::lround(hz);
    int octave = 0;
    while (octave < 7 && whole >= (32l << octave)) ++octave;
    long mantissa;
    if (octave <= 4) {
        // The player plays floor((256 + m) x 2^o / 16) Hz: the smallest m that
        // reaches the whole number lands on it exactly.
        const long step = 1l << octave;
        mantissa = (whole * 16 + step - 1) / step - 256;
    } else {
        mantissa = std::lround(hz / (1l << (octave - 4))) - 256;
        if (mantissa > 255) {
            if (octave < 7) ++octave, mantissa = 0;
            else mantissa = 255;
        }
    }
    mantissa = std::clamp(mantissa, 0l, 255l);
    return static_cast<uint16_t>(octave << 8 | mantissa);
}

compiled_song compile_score(std::string_view source) {
    const score_text s = parse_score(source);

    std::vector<size_t> pattern_steps;
    for (const pattern& p : s.patterns) pattern_steps.push_back(check_pattern(s, p));

    arrangement song;
    song.channel_actions.resize(s.channels);
    arrange(s, s.play, 0, pattern_steps, song);
    if (song.steps == 0) fail_at(s.play.empty() ? position{1, 1} : s.play.front().at, "the play line plays nothing");

    compiled_song out;
    out.chip_variant = s.chip;
    out.frame_rate = s.rate;
    out.text = s.text;
    out.channels = s.channels;
    out.interleaved = s.interleaved;
    out.compressed = s.compressed;

    std::vector<channel_voice> voices(s.channels);
    std::vector<size_t> next_action(s.channels, 0);
    size_t frame = 0;
    for (size_t step = 0; step < song.steps; ++step) {
        if (song.loop_step && *song.loop_step == step) out.loop_frame = static_cast<uint32_t>(frame);
        for (unsigned c = 0; c < s.channels; ++c) {
            channel_voice& voice = voices[c];
            const auto& actions = song.channel_actions[c];
            for (;;) {
                const action& next = actions[next_action[c]++];
                const item& one = *next.what;
                if (one.what == item::kind::change) {
                    one.change(voice.tone);
                    continue;
                }
                if (one.what == item::kind::use) {
                    voice.tone = s.instruments.at(one.name).tone;
                    continue;
                }
                if (one.what == item::kind::note) {
                    const int note = one.note + next.transpose;
                    if (note < 0 || note > highest_note)
                        fail_at(one.at, "note " + note_name(one.note) + " transposed by " +
                                            std::to_string(next.transpose) + " leaves C-0..B-7");
                    voice.start(note);
                } else if (one.what == item::kind::hit) {
                    voice.tone = s.instruments.at(one.name).tone;
                    voice.start(voice.tone.note);
                } else if (one.what == item::kind::release) {
                    voice.release();
                }
                break;
            }
        }
        const int frames = s.tempo[step % s.tempo.size()];
        for (int f = 0; f < frames; ++f, ++frame)
            for (unsigned c = 0; c < s.channels; ++c) out.records.push_back(voices[c].next_frame(s.chip));
    }
    if (song.loop_step && *song.loop_step >= song.steps) fail_at(s.play.back().at, "loop stands after the last step");
    return out;
}

}  // namespace score
