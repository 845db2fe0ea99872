#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "fake_song.hpp"
#include "synth/tables.hpp"
#include "synth/waves.hpp"

namespace {

uint8_t sample(int slot, int index) { return synth_test::engine().wave_slots[slot].wavetable[index].load(); }

class SynthWaves : public ::testing::Test {
protected:
    void SetUp() override { synth_test::reset_engine(); }

    // Slot 0 with a definition of all zeros except the given bytes, on sine
    // bases.
    static void single_definition(std::initializer_list<std::pair<int, uint8_t>> bytes) {
        auto& slot = synth_test::engine().wave_slots[0];
        slot.wave_definition.fill(0);
        for (auto [index, value] : bytes) {
            slot.wave_definition[index] = value;
        }
        slot.base_table[0] = synth::tables().sine_table;
        slot.base_table[1] = synth::tables().sine_table;
        synth::build_wavetable(synth_test::engine(), 0);
    }
};

TEST_F(SynthWaves, StartupSetupBuildsBothSlots) {
    const uint8_t slot0_start[] = {128, 135, 143, 150, 158};
    const uint8_t slot0_second[] = {128, 140, 155, 169};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(sample(0, i), slot0_start[i]) << "slot 0 index " << i;
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(sample(0, 256 + i), slot0_second[i]) << "slot 0 index " << 256 + i;
    }
    const uint8_t slot1_start[] = {2, 2, 2, 2, 2, 2, 2, 3};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(sample(1, i), slot1_start[i]) << "slot 1 index " << i;
    }
    EXPECT_EQ(sample(1, 256), 255);
    EXPECT_EQ(sample(1, 257), 255);
    for (int slot = 0; slot < 2; ++slot) {
        uint8_t low = 255;
        uint8_t high = 0;
        for (int i = 0; i < 512; ++i) {
            low = std::min(low, sample(slot, i));
            high = std::max(high, sample(slot, i));
        }
        EXPECT_EQ(low, 0) << "slot " << slot;
        EXPECT_EQ(high, 255) << "slot " << slot;
    }
    EXPECT_TRUE(synth_test::engine().pulse_fold.load());
    EXPECT_EQ(synth_test::engine().wave_slots[0].base_table[1], synth::tables().sine_table);
    EXPECT_EQ(synth_test::engine().wave_slots[1].base_table[0], synth::tables().shifted_sine_table);
}

TEST_F(SynthWaves, SinglePartialFollowsBaseAndClips) {
    struct partial_case {
        uint8_t byte;
        int index;
        uint8_t expected;
    };
    const partial_case cases[] = {
        // Shape 0, amplitude 31.
        {0x1F, 0, 128},
        {0x1F, 1, 131},
        {0x1F, 64, 255},
        // Shape 1 (inverted).
        {0x3F, 0, 127},
        {0x3F, 1, 123},
        {0x3F, 64, 0},
        // Shape 2: inverted with the low bits XORed by 1: 130 -> -4 -> -7.
        {0x5F, 1, 121},
        // Amplitude 1: -1/16 truncates to 0, 2/16 as well.
        {0x01, 1, 128},
        {0x21, 1, 128},
    };
    for (const auto& c : cases) {
        single_definition({{0, c.byte}, {8, c.byte}});
        EXPECT_EQ(sample(0, c.index), c.expected)
            << std::hex << "byte 0x" << int(c.byte) << std::dec << " index " << c.index;
        EXPECT_EQ(sample(0, 256 + c.index), c.expected) << "second half, index " << c.index;
    }
}

TEST_F(SynthWaves, DefinitionHalvesAreIndependent) {
    single_definition({{3, 0x1F}});
    for (int i = 256; i < 512; ++i) {
        ASSERT_EQ(sample(0, i), 128) << "index " << i;
    }
    single_definition({{11, 0x1F}});
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(sample(0, i), 128) << "index " << i;
    }
}

TEST_F(SynthWaves, ClearHalfLeavesOtherHalf) {
    std::array<uint8_t, 256> second{};
    for (int i = 0; i < 256; ++i) {
        second[i] = sample(0, 256 + i);
    }
    synth::clear_wave_half(synth_test::engine(), 0);
    synth::build_wavetable(synth_test::engine(), 0);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(sample(0, i), 128) << "index " << i;
        EXPECT_EQ(sample(0, 256 + i), second[i]) << "index " << 256 + i;
    }
    EXPECT_EQ(synth_test::engine().wave_slots[0].wave_definition[9], 0x1F);
}

TEST_F(SynthWaves, SwapExchangesHalvesAndFlipsShape) {
    auto& definition = synth_test::engine().wave_slots[0].wave_definition;
    definition = {0x1F, 0x3F, 0x00, 0x20, 0x45, 0x01, 0x02, 0x03, 0x3E, 0x10, 0x2A, 0x00, 0x07, 0x08, 0x09, 0x0A};
    const auto before = definition;
    synth::swap_wave_halves(synth_test::engine());
    EXPECT_EQ(definition[0], 0x1E);
    EXPECT_EQ(definition[8], 0x3F);
    EXPECT_EQ(definition[9], 0x1F);
    EXPECT_EQ(definition[3], 0x20);
    EXPECT_EQ(definition[11], 0x00);
    EXPECT_EQ(definition[12], 0x65);
    synth::swap_wave_halves(synth_test::engine());
    EXPECT_EQ(definition, before);
}

TEST_F(SynthWaves, RandomiseContinuesNoiseStreamWithinSixBits) {
    // The stream continues after the 4096 draws of the noise table.
    std::mt19937 reference(0x12345678);
    reference.discard(4096);
    synth_test::reset_engine();
    synth_test::engine().wave_slots[0].wave_definition.fill(0xFF);
    synth::randomise_wave_half(synth_test::engine(), 1);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(synth_test::engine().wave_slots[0].wave_definition[i], 0xFF);
        EXPECT_EQ(synth_test::engine().wave_slots[0].wave_definition[8 + i], reference() >> 26) << "byte " << 8 + i;
    }
    synth::randomise_wave_half(synth_test::engine(), 0);
    for (int round = 0; round < 500; ++round) {
        synth::randomise_wave_half(synth_test::engine(), static_cast<uint8_t>(round & 1));
        for (uint8_t byte : synth_test::engine().wave_slots[0].wave_definition) {
            ASSERT_LE(byte, 0x3F);
        }
    }
}

TEST_F(SynthWaves, StepPartialWrapsInSixBits) {
    struct step_case {
        uint8_t before;
        int direction;
        uint8_t after;
    };
    const step_case cases[] = {
        {0x3F, +1, 0x00}, {0x00, -1, 0x3F}, {0x1F, +1, 0x20}, {0x20, -1, 0x1F}, {0x05, +1, 0x06}, {0xFF, +1, 0x00},
    };
    for (const auto& c : cases) {
        synth_test::engine().wave_slots[0].wave_definition[13] = c.before;
        synth::step_partial(synth_test::engine(), 13, c.direction);
        EXPECT_EQ(synth_test::engine().wave_slots[0].wave_definition[13], c.after)
            << std::hex << "0x" << int(c.before) << " by " << c.direction;
    }
}

TEST_F(SynthWaves, EditingActsOnSelectedSlotOnly) {
    const auto slot0 = synth_test::engine().wave_slots[0].wave_definition;
    synth_test::engine().selected_slot = 1;
    synth::clear_wave_half(synth_test::engine(), 1);
    synth::step_partial(synth_test::engine(), 0, +1);
    EXPECT_EQ(synth_test::engine().wave_slots[0].wave_definition, slot0);
    EXPECT_EQ(synth_test::engine().wave_slots[1].wave_definition[8 + 6], 0);
    EXPECT_EQ(synth_test::engine().wave_slots[1].wave_definition[0], 0x10);
}

TEST_F(SynthWaves, PresetsLoadBasesAndFoldOnlyForShiftedSineVoicings) {
    struct preset_case {
        uint8_t preset;
        bool loads_shifted_bases;
    };
    const preset_case cases[] = {{0, false}, {1, false}, {2, false}, {3, true}, {4, true}, {5, true}};
    for (const auto& c : cases) {
        synth_test::engine().selected_slot = 0;
        synth_test::engine().wave_slots[0].base_table[0] = synth::tables().sine_table;
        synth_test::engine().wave_slots[0].base_table[1] = synth::tables().sine_table;
        synth_test::engine().pulse_fold.store(false);
        synth::apply_preset(synth_test::engine(), c.preset);
        EXPECT_EQ(synth_test::engine().wave_slots[0].wave_definition, synth::preset_table[c.preset]);
        const auto& expected_base =
            c.loads_shifted_bases ? synth::tables().shifted_sine_table : synth::tables().sine_table;
        EXPECT_EQ(synth_test::engine().wave_slots[0].base_table[0], expected_base) << "preset " << int(c.preset);
        EXPECT_EQ(synth_test::engine().wave_slots[0].base_table[1], expected_base) << "preset " << int(c.preset);
        EXPECT_EQ(synth_test::engine().pulse_fold.load(), c.loads_shifted_bases) << "preset " << int(c.preset);
    }
}

}  // namespace
