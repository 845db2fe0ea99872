#include "synth/waves.hpp"

#include <algorithm>

#include "synth/engine.hpp"
#include "synth/tables.hpp"

namespace synth {

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

const std::array<uint8_t, wavetable_size>& base_source(wave_base source) {
    return source == wave_base::sine ? tables().sine_table : tables().shifted_sine_table;
}

wave_slot& selected(engine& e) { return e.wave_slots[e.selected_slot & 1]; }

// Partial p + 1 reads the base table p + 1 times as fast as the output
// index; shape k turns base sample b into the signed value b XOR (128 - k).
int partial_sum(const wave_slot& slot, int half, int n) {
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

void build_wavetable(engine& e, uint8_t slot) {
    wave_slot& s = e.wave_slots[slot & 1];
    // Every byte is written once, in ascending order, so a mixer reading
    // concurrently sees each byte either old or new.
    for (int half = 0; half < 2; ++half) {
        for (int n = 0; n < half_size; ++n) {
            const int sum = std::clamp(partial_sum(s, half, n), -128, 127);
            s.wavetable[half_size * half + n].store(static_cast<uint8_t>(sum + 128), std::memory_order_relaxed);
        }
    }
}

void apply_preset(engine& e, uint8_t preset) {
    if (preset >= preset_table.size()) {
        return;
    }
    wave_slot& s = selected(e);
    s.wave_definition = preset_table[preset];
    // Presets 3..5 are voiced for the shifted sine and folded pulse widths.
    if (preset >= 3 && preset <= 5) {
        s.base_table[0] = tables().shifted_sine_table;
        s.base_table[1] = tables().shifted_sine_table;
        e.pulse_fold.store(true, std::memory_order_relaxed);
    }
}

void set_wave_base(engine& e, uint8_t half, wave_base source) {
    selected(e).base_table[half & 1] = base_source(source);
}

void randomise_wave_half(engine& e, uint8_t half) {
    auto& definition = selected(e).wave_definition;
    for (int i = 0; i < 8; ++i) {
        definition[8 * (half & 1) + i] = static_cast<uint8_t>(random_below(e.random, 64));
    }
}

void clear_wave_half(engine& e, uint8_t half) {
    auto& definition = selected(e).wave_definition;
    std::fill_n(definition.begin() + 8 * (half & 1), 8, uint8_t{0});
}

void swap_wave_halves(engine& e) {
    auto& definition = selected(e).wave_definition;
    for (int i = 0; i < 8; ++i) {
        const uint8_t first = definition[i];
        definition[i] = definition[8 + i] ^ shape_flip;
        definition[8 + i] = first ^ shape_flip;
    }
}

void step_partial(engine& e, uint8_t index, int direction) {
    uint8_t& byte = selected(e).wave_definition[index & 15];
    byte = static_cast<uint8_t>(byte + direction) & 0x3F;
}

void startup_wave_setup(engine& e) {
    const shared_tables& t = tables();
    e.wave_slots[0].wave_definition = preset_table[6];
    e.wave_slots[0].base_table[0] = t.sine_table;
    e.wave_slots[0].base_table[1] = t.sine_table;
    e.wave_slots[1].wave_definition = preset_table[7];
    e.wave_slots[1].base_table[0] = t.shifted_sine_table;
    e.wave_slots[1].base_table[1] = t.shifted_sine_table;
    e.pulse_fold.store(true, std::memory_order_relaxed);
    build_wavetable(e, 0);
    build_wavetable(e, 1);
}

void copy_wave_state(engine& to, const engine& from) {
    for (int slot = 0; slot < wave_slot_count; ++slot) {
        to.wave_slots[slot].wave_definition = from.wave_slots[slot].wave_definition;
        to.wave_slots[slot].base_table = from.wave_slots[slot].base_table;
        for (int i = 0; i < wavetable_size; ++i) {
            to.wave_slots[slot].wavetable[i].store(from.wave_slots[slot].wavetable[i].load(std::memory_order_relaxed),
                                                   std::memory_order_relaxed);
        }
    }
    to.selected_slot = from.selected_slot;
    to.pulse_fold.store(from.pulse_fold.load(std::memory_order_relaxed), std::memory_order_relaxed);
    to.random = from.random;
}

}  // namespace synth
