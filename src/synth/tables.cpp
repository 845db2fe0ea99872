#include "synth/tables.hpp"

#include <cmath>
#include <memory>
#include <numbers>

namespace synth {

namespace {

constexpr uint32_t noise_seed = 0x12345678;

void build_phase_map(shared_tables& t) {
    for (uint32_t w = 0; w < 256; ++w) {
        for (uint32_t j = 0; j < 256; ++j) {
            const uint32_t a = (j * 256) / (w + 1);
            t.phase_map[j][w] = static_cast<uint16_t>(a <= 255 ? 256 + a : ((j - w) * 256) / (256 - w));
            t.phase_map_by_pulse[w][j] = t.phase_map[j][w];
        }
    }
}

void build_noise_table(shared_tables& t) {
    t.random_after_noise.seed(noise_seed);
    for (auto& entry : t.noise_table) {
        entry = static_cast<uint8_t>(random_below(t.random_after_noise, 256));
    }
}

// 127 * sin(2 pi (k - delay) / 511) + 128, rounded to nearest, ties to even.
void build_sine(std::array<uint8_t, 512>& table, int delay) {
    constexpr long double two_pi = 2.0L * std::numbers::pi_v<long double>;
    for (int k = 0; k < 512; ++k) {
        const long double angle = two_pi * static_cast<long double>(k - delay) / 511.0L;
        const long double value = std::nearbyint(127.0L * std::sin(angle));
        table[k] = static_cast<uint8_t>(static_cast<int>(value) + 128);
    }
}

std::unique_ptr<shared_tables> build_tables() {
    auto t = std::make_unique<shared_tables>();
    build_phase_map(*t);
    build_noise_table(*t);
    build_sine(t->sine_table, 0);
    build_sine(t->shifted_sine_table, 127);
    return t;
}

}  // namespace

const shared_tables& tables() {
    // A function-local static is built exactly once, whichever thread asks
    // first; the others wait for it.
    static const std::unique_ptr<shared_tables> built = build_tables();
    return *built;
}

uint32_t random_below(std::mt19937& stream, uint32_t n) {
    const uint64_t x = stream();
    return static_cast<uint32_t>((x * n) >> 32);
}

void build_pitch_table(pitch_table_type& table, uint32_t rate) {
    const uint64_t r = rate == 0 ? 1 : rate;
    for (uint64_t i = 0; i < table.size(); ++i) {
        table[i] = static_cast<uint32_t>((i << 24) / r);
    }
}

}  // namespace synth
