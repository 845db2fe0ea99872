// The pitch classes heard in a WAV file, window by window: for each window,
// the energy at the twelve-tone equal-tempered notes from C2 (65 Hz) to B7
// (3951 Hz), each added to its pitch class (C, C#, ... B), so that every
// window gives a profile of 12 numbers. Two renderings of the same music
// are compared by the cosine of their profiles, window by window, averaged
// over the windows in which both make a sound.
#pragma once

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "loudness_envelope.hpp"

namespace test_support {

using pitch_profile = std::array<double, 12>;

// One profile per whole window of `window_seconds`, the channels mixed.
inline std::vector<pitch_profile> pitch_class_profiles(const wav_samples& wav, double window_seconds) {
    const size_t window = static_cast<size_t>(wav.rate * window_seconds);
    const size_t frames = wav.samples.size() / wav.channels;
    std::vector<pitch_profile> out;
    std::vector<double> mono(window), hann(window);
    for (size_t i = 0; i < window; ++i) hann[i] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / window);
    for (size_t start = 0; window > 0 && start + window <= frames; start += window) {
        for (size_t i = 0; i < window; ++i) {
            double s = 0;
            for (size_t c = 0; c < wav.channels; ++c) s += wav.samples[(start + i) * wav.channels + c];
            mono[i] = s * hann[i];
        }
        pitch_profile p{};
        // Goertzel's recurrence at each note's frequency; MIDI note 36 is C2.
        for (int note = 36; note < 108; ++note) {
            const double hz = 440.0 * std::pow(2.0, (note - 69) / 12.0);
            const double k = 2 * std::cos(2 * std::numbers::pi * hz / wav.rate);
            double s1 = 0, s2 = 0;
            for (size_t i = 0; i < window; ++i) {
                const double s0 = mono[i] + k * s1 - s2;
                s2 = s1, s1 = s0;
            }
            p[static_cast<size_t>(note % 12)] += s1 * s1 + s2 * s2 - k * s1 * s2;
        }
        out.push_back(p);
    }
    return out;
}

// The mean cosine of the profiles of the windows where both have energy.
inline double profile_agreement(const std::vector<pitch_profile>& a, const std::vector<pitch_profile>& b) {
    double sum = 0;
    size_t counted = 0;
    for (size_t w = 0; w < std::min(a.size(), b.size()); ++w) {
        double ab = 0, aa = 0, bb = 0;
        for (size_t c = 0; c < 12; ++c) ab += a[w][c] * b[w][c], aa += a[w][c] * a[w][c], bb += b[w][c] * b[w][c];
        if (aa == 0 || bb == 0) continue;
        sum += ab / std::sqrt(aa * bb);
        ++counted;
    }
    return counted == 0 ? 0 : sum / counted;
}

}  // namespace test_support
