#include "synth/waves.hpp"

#include <algorithm>

#include "synth/tables.hpp"

namespace synth {

std::array<wave_slot, wave_slot_count> wave_slots;
uint8_t selected_slot = 0;
std::atomic<bool> pulse_fold{false};

const std::array<std::array<uint8_t, 16>, 8> preset_table{{
    {0x1F, 0x00, 0x0F, 0x00, 0x0C, 0x00, 0x0B, 0x00, 0x3F, 0x00, 0x2F, 0x00, 0x2C, 0x00, 0x2B, 0x00},
    {0x0F, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3F, 0x10, 0x25, 0x22, 0x00, 0x00, 0x00, 0x00},
    {0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x30, 0x00, 0x00, 0x00, 0x00},
    {0x1F, 0x30, 0x05, 0x02, 0x00, 0x00, 0x00, 0x00, 0x2F, 0x00, 0x21, 0x00, 0x00, 0x00, 0x27, 0x00},
    {0x0F, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2F, 0x00, 0x21, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x15, 0x00, 0x0F, 0x00, 0x0C, 0x00, 0x0B, 0x00, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    {0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x1F, 0x00, 0x00, 0x00, 0x0E, 0x00, 0x00},
    {0x0F, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2F, 0x00, 0x00, 0x00, 0x00, 0x00, 0x26, 0x00},
}};

namespace {

constexpr int half_size = wavetable_size / 2;
constexpr uint8_t shape_flip = 0x20;  // bit 5: shape 0 <-> shape 1

const std::array<uint8_t, wavetable_size>& base_source(wave_base source)
{
    return source == wave_base::sine ? sine_table : shifted_sine_table;
}

// Partial p + 1 reads the base table p + 1 times as fast as the output
// index; shape k turns base sample b into the signed value b XOR (128 - k).
int partial_sum(const wave_slot& slot, int half, int n)
{
    int sum = 0;
    for (int p = 0; p < 8; ++p) {
        const uint8_t d = slot.wave_definition[8 * half + p];
        const int amplitude = d & 0x1F;
        const int shape = d >> 5;
        const uint8_t b = slot.base_table[half][((p + 1) * n) % wavetable_size];
        const auto x = static_cast<int8_t>(b ^ static_cast<uint8_t>(128 - shape));
        sum += amplitude * x / 16;
    }
    return sum;
}

}  // namespace

void build_wavetable(uint8_t slot)
{
    wave_slot& s = wave_slots[slot & 1];
    // Every byte is written once, in ascending order, so a mixer reading
    // concurrently sees each byte either old or new.
    for (int half = 0; half < 2; ++half) {
        for (int n = 0; n < half_size; ++n) {
            const int sum = std::clamp(partial_sum(s, half, n), -128, 127);
            s.wavetable[half_size * half + n].store(static_cast<uint8_t>(sum + 128),
                                                    std::memory_order_relaxed);
        }
    }
}

void apply_preset(uint8_t preset)
{
    if (preset >= preset_table.size()) {
        return;
    }
    wave_slot& s = wave_slots[selected_slot & 1];
    s.wave_definition = preset_table[preset];
    // Presets 3..5 are voiced for the shifted sine and folded pulse widths.
    if (preset >= 3 && preset <= 5) {
        s.base_table[0] = shifted_sine_table;
        s.base_table[1] = shifted_sine_table;
        pulse_fold.store(true, std::memory_order_relaxed);
    }
}

void set_wave_base(uint8_t half, wave_base source)
{
    wave_slots[selected_slot & 1].base_table[half & 1] = base_source(source);
}

void randomise_wave_half(uint8_t half)
{
    auto& definition = wave_slots[selected_slot & 1].wave_definition;
    for (int i = 0; i < 8; ++i) {
        definition[8 * (half & 1) + i] = static_cast<uint8_t>(random_below(64));
    }
}

void clear_wave_half(uint8_t half)
{
    auto& definition = wave_slots[selected_slot & 1].wave_definition;
    std::fill_n(definition.begin() + 8 * (half & 1), 8, uint8_t{0});
}

void swap_wave_halves()
{
    auto& definition = wave_slots[selected_slot & 1].wave_definition;
    for (int i = 0; i < 8; ++i) {
        const uint8_t first = definition[i];
        definition[i] = definition[8 + i] ^ shape_flip;
        definition[8 + i] = first ^ shape_flip;
    }
}

void step_partial(uint8_t index, int direction)
{
    uint8_t& byte = wave_slots[selected_slot & 1].wave_definition[index & 15];
    byte = static_cast<uint8_t>(byte + direction) & 0x3F;
}

void startup_wave_setup()
{
    wave_slots[0].wave_definition = preset_table[6];
    wave_slots[0].base_table[0] = sine_table;
    wave_slots[0].base_table[1] = sine_table;
    wave_slots[1].wave_definition = preset_table[7];
    wave_slots[1].base_table[0] = shifted_sine_table;
    wave_slots[1].base_table[1] = shifted_sine_table;
    pulse_fold.store(true, std::memory_order_relaxed);
    build_wavetable(0);
    build_wavetable(1);
}

}  // namespace synth
