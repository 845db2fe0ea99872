#include "song/pitch.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "song/channel_record.hpp"

namespace song {

double note_hz(int note) {
    // Octave 4, from C-4 up; other octaves are exact powers of two away.
    static constexpr std::array<double, 12> octave_4{
        261.6255653005986, 277.1826309768721, 293.6647679174076, 311.1269837220809, 329.6275569128699,
        349.2282314330039, 369.9944227116344, 391.9954359817493, 415.3046975799451, 440.0,
        466.1637615180899, 493.8833012561241};
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
            if (octave < 7)
                ++octave, mantissa = 0;
            else
                mantissa = 255;
        }
    }
    mantissa = std::clamp(mantissa, 0l, 255l);
    return static_cast<uint16_t>(octave << pitch_octave_shift | mantissa);
}

}  // namespace song
