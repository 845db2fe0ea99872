#include "synth/tables.hpp"

#include <cmath>
#include <numbers>
#include <random>

namespace synth {

uint16_t sample_rate = 44100;
std::array<uint32_t, 4096> pitch_table{};
std::array<uint8_t, 4096> noise_table{};
std::array<std::array<uint16_t, 256>, 256> phase_map{};
std::array<std::array<uint16_t, 256>, 256> phase_map_by_pulse{};
std::array<uint8_t, 512> sine_table{};
std::array<uint8_t, 512> shifted_sine_table{};

namespace {

// The one random stream of the engine: seeded by the noise table build and
// continued by the wave editor, so random definitions repeat from run to run.
std::mt19937 generator;

constexpr uint32_t noise_seed = 0x12345678;

void build_phase_map()
{
    for (uint32_t w = 0; w < 256; ++w) {
        for (uint32_t j = 0; j < 256; ++j) {
            const uint32_t a = (j * 256) / (w + 1);
            phase_map[j][w] = static_cast<uint16_t>(
                a <= 255 ? 256 + a : ((j - w) * 256) / (256 - w));
            phase_map_by_pulse[w][j] = phase_map[j][w];
        }
    }
}

void build_noise_table()
{
    generator.seed(noise_seed);
    for (auto& entry : noise_table) {
        entry = static_cast<uint8_t>(random_below(256));
    }
}

// floor(i * 2^24 / rate), exact in 64-bit integers.
void build_pitch_table()
{
    const uint64_t rate = sample_rate == 0 ? 1 : sample_rate;
    for (uint64_t i = 0; i < pitch_table.size(); ++i) {
        pitch_table[i] = static_cast<uint32_t>((i << 24) / rate);
    }
}

// 127 * sin(2 pi (k - delay) / 511) + 128, rounded to nearest, ties to even.
void build_sine(std::array<uint8_t, 512>& table, int delay)
{
    constexpr long double two_pi = 2.0L * std::numbers::pi_v<long double>;
    for (int k = 0; k < 512; ++k) {
        const long double angle = two_pi * static_cast<long double>(k - delay) / 511.0L;
        const long double value = std::nearbyint(127.0L * std::sin(angle));
        table[k] = static_cast<uint8_t>(static_cast<int>(value) + 128);
    }
}

}  // namespace

uint32_t random_below(uint32_t n)
{
    const uint64_t x = generator();
    return static_cast<uint32_t>((x * n) >> 32);
}

void initialise_synth_tables()
{
    build_phase_map();
    build_noise_table();
    build_pitch_table();
    build_sine(sine_table, 0);
    build_sine(shifted_sine_table, 127);
}

void set_sample_rate(uint16_t rate)
{
    sample_rate = rate;
    build_pitch_table();
}

}  // namespace synth
