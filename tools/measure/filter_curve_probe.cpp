// filter_curve_probe 6581|8580: measures the sound chip filter's cutoff
// frequency at cutoff register values 0, 64, ..., 1984 and 2047 in the
// player library's chip emulation (the one sidplayfp plays with). A tune
// plays noise at the top frequency through the low-pass filter, without
// resonance; the frequency where the filtered noise's power falls to half
// of the unfiltered noise's (-3 dB, relative to the pass band) is the
// cutoff. These figures are the importer's cutoff curve (chip_frames.cpp).
#include <sidplayfp/SidConfig.h>
#include <sidplayfp/SidTune.h>
#include <sidplayfp/builders/residfp.h>
#include <sidplayfp/sidplayfp.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <vector>

#include "psid_bytes.hpp"
#include "song/channel_record.hpp"

namespace {

using test_support::code_6502;

constexpr int rate = song::output_rate;
constexpr size_t window = 4096;

void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi / static_cast<double>(length));
        for (size_t i = 0; i < n; i += length) {
            std::complex<double> w = 1;
            for (size_t j = 0; j < length / 2; ++j, w *= step) {
                const auto u = a[i + j], v = a[i + j + length / 2] * w;
                a[i + j] = u + v;
                a[i + j + length / 2] = u - v;
            }
        }
    }
}

// Power spectrum of 2.5 seconds of noise, averaged over half-overlapping
// Hann windows.
std::vector<double> noise_spectrum(bool mos8580, int cutoff, bool filtered) {
    const auto code = test_support::tune_code(
        [&](code_6502& c) {
            const uint16_t v = test_support::voice_base(0);
            c.poke(v + 0, 0xFF).poke(v + 1, 0xFF).poke(v + 5, 0x00).poke(v + 6, 0xF0).poke(v + 4, 0x81);
            c.poke(0xD415, static_cast<uint8_t>(cutoff & 7)).poke(0xD416, static_cast<uint8_t>(cutoff >> 3));
            c.poke(test_support::filter_routing, filtered ? 0x01 : 0x00).poke(test_support::mode_volume, 0x1F);
        },
        [](code_6502&) {});
    test_support::psid_header h;
    h.flags = mos8580 ? 0x24 : 0x14;
    const auto bytes = test_support::psid_bytes(h, code);
    SidTune tune(bytes.data(), static_cast<uint_least32_t>(bytes.size()));
    tune.selectSong(0);
    ReSIDfpBuilder builder("filter probe");
    builder.create(1);
    sidplayfp engine;
    SidConfig config;
    config.frequency = rate;
    config.playback = SidConfig::MONO;
    config.sidEmulation = &builder;
    config.defaultSidModel = mos8580 ? SidConfig::MOS8580 : SidConfig::MOS6581;
    config.forceSidModel = true;
    config.powerOnDelay = 0;
    engine.config(config);
    engine.load(&tune);
    std::vector<short> sound(rate * 3);
    engine.play(sound.data(), static_cast<uint_least32_t>(sound.size()));
    std::vector<double> power(window / 2, 0.0);
    for (size_t start = rate / 2; start + window <= sound.size(); start += window / 2) {
        std::vector<std::complex<double>> a(window);
        for (size_t i = 0; i < window; ++i)
            a[i] = sound[start + i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(i) / window));
        fft(a);
        for (size_t i = 0; i < window / 2; ++i) power[i] += std::norm(a[i]);
    }
    return power;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || (std::strcmp(argv[1], "6581") != 0 && std::strcmp(argv[1], "8580") != 0)) {
        std::fputs("usage: filter_curve_probe 6581|8580\n", stderr);
        return 2;
    }
    const bool mos8580 = std::strcmp(argv[1], "8580") == 0;
    const auto open = noise_spectrum(mos8580, 0, false);
    for (int register_value = 0; register_value <= 2048; register_value += 64) {
        const int cutoff = register_value > 2047 ? 2047 : register_value;
        const auto filtered = noise_spectrum(mos8580, cutoff, true);
        // Power ratio over 9 neighbouring bins (about 100 Hz).
        auto ratio = [&](size_t i) {
            double f = 0, o = 0;
            for (size_t k = i < 5 ? 1 : i - 4; k <= i + 4 && k < window / 2; ++k) f += filtered[k], o += open[k];
            return f / o;
        };
        const double pass = ratio(6);
        double hz = -1;
        for (size_t i = 6; i + 5 < window / 2; ++i)
            if (ratio(i) < pass / 2) {
                hz = static_cast<double>(i) * rate / window;
                break;
            }
        std::printf("%4d %6.0f Hz  (pass band gain %.3f)\n", cutoff, hz, std::sqrt(pass));
    }
    return 0;
}
