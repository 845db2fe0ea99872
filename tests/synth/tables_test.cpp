#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>

#include "fake_song.hpp"
#include "synth/tables.hpp"

namespace {

class SynthTables : public ::testing::Test {
protected:
    void SetUp() override { synth_test::reset_engine(); }
};

TEST_F(SynthTables, PitchTableHoldsIncrementPerHertzForBothRates) {
    struct expected_entry {
        uint16_t rate;
        int index;
        uint32_t increment;
    };
    const expected_entry cases[] = {
        {44100, 0, 0},
        {44100, 1, 380},
        {44100, 440, 167391},
        {44100, 4095, 1557884},
        {song::output_rate, 0, 0},
        {song::output_rate, 1, 349},
        {song::output_rate, 440, 153791},
        {song::output_rate, 4095, 1431306},
    };
    for (const auto& c : cases) {
        synth::pitch_table_type table;
        synth::build_pitch_table(table, c.rate);
        EXPECT_EQ(table[c.index], c.increment) << c.rate << " Hz, entry " << c.index;
        const synth::engine at_rate(c.rate);
        EXPECT_EQ(at_rate.pitch_table, table);
    }
}

TEST_F(SynthTables, PitchLookupReadsMantissaAndOctaveOnly) {
    struct lookup_case {
        uint16_t pitch;
        int frequency;
    };
    const lookup_case cases[] = {
        {0x0000, 16},  {0x07FF, 4088}, {0xF800, 16}, {0xFFFF, 4088}, {0x0400, 256},
        {0x04FF, 511}, {0x0C00, 256},  {0x0100, 32}, {0x0780, 3072}, {0x0301, 128},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(synth::pitch_lookup(synth_test::engine().pitch_table, c.pitch),
                  synth_test::engine().pitch_table[c.frequency])
            << std::hex << "pitch 0x" << c.pitch;
    }
    // Bits 11..15 never matter.
    for (uint32_t high = 0; high < 32; ++high) {
        EXPECT_EQ(synth::pitch_lookup(synth_test::engine().pitch_table, static_cast<uint16_t>((high << 11) | 0x05A3)),
                  synth::pitch_lookup(synth_test::engine().pitch_table, 0x05A3));
    }
}

TEST_F(SynthTables, NoiseTableIsTheSeededRandomStream) {
    const uint8_t start[] = {198, 9, 167, 225, 181, 100, 111, 242};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(synth::tables().noise_table[i], start[i]) << "entry " << i;
    }
    const uint8_t end[] = {189, 150, 193, 231};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(synth::tables().noise_table[4092 + i], end[i]) << "entry " << 4092 + i;
    }
    EXPECT_EQ(std::accumulate(synth::tables().noise_table.begin(), synth::tables().noise_table.end(), 0u), 524782u);
}

TEST_F(SynthTables, PhaseMapSplitsCycleAtPulse) {
    EXPECT_EQ(synth::tables().phase_map[255][0], 255);
    EXPECT_EQ(synth::tables().phase_map[255][255], 511);
    EXPECT_EQ(synth::tables().phase_map[128][127], 1);
    for (int w = 0; w < 256; ++w) {
        EXPECT_EQ(synth::tables().phase_map[0][w], 256) << "pulse " << w;
    }
    for (int j = 0; j < 256; ++j) {
        EXPECT_EQ(synth::tables().phase_map[j][255], 256 + j) << "phase " << j;
        EXPECT_EQ(synth::tables().phase_map[j][0], j == 0 ? 256 : j) << "phase " << j;
    }
    // Pulse 127: two equal halves.
    for (int j = 0; j <= 127; ++j) {
        EXPECT_EQ(synth::tables().phase_map[j][127], 256 + 2 * j) << "phase " << j;
    }
    EXPECT_EQ(synth::tables().phase_map[128][127], 1);
    EXPECT_EQ(synth::tables().phase_map[255][127], 254);
    for (int j = 129; j <= 255; ++j) {
        EXPECT_GT(synth::tables().phase_map[j][127], synth::tables().phase_map[j - 1][127]) << "phase " << j;
    }
    // Every column: phase bytes 0..w in the second half, the rest in the first.
    for (int w = 0; w < 256; ++w) {
        for (int j = 0; j < 256; ++j) {
            const int index = synth::tables().phase_map[j][w];
            if (j <= w) {
                EXPECT_GE(index, 256);
                EXPECT_LE(index, 511);
            } else {
                EXPECT_GE(index, 1);
                EXPECT_LE(index, 255);
            }
        }
    }
}

TEST_F(SynthTables, SineTablesHaveTheirPlateausAndZeroCrossings) {
    const auto& sine = synth::tables().sine_table;
    const auto& shifted = synth::tables().shifted_sine_table;
    EXPECT_EQ(sine[0], 128);
    EXPECT_EQ(sine[1], 130);
    EXPECT_EQ(sine[2], 131);
    EXPECT_EQ(sine[3], 133);
    EXPECT_EQ(sine[511], 128);
    EXPECT_EQ(shifted[127], 128);

    struct plateau {
        const std::array<uint8_t, 512>* table;
        int first;
        int last;
        uint8_t value;
    };
    const plateau plateaus[] = {
        {&sine, 121, 134, 255},    {&sine, 377, 390, 1},    {&shifted, 0, 6, 1},
        {&shifted, 248, 261, 255}, {&shifted, 504, 511, 1},
    };
    for (const auto& p : plateaus) {
        for (int k = p.first; k <= p.last; ++k) {
            EXPECT_EQ((*p.table)[k], p.value) << "step " << k;
        }
        if (p.first > 0) {
            EXPECT_NE((*p.table)[p.first - 1], p.value) << "before step " << p.first;
        }
        if (p.last < 511) {
            EXPECT_NE((*p.table)[p.last + 1], p.value) << "after step " << p.last;
        }
    }
    for (int k = 0; k < 512; ++k) {
        EXPECT_GE(sine[k], 1);
        EXPECT_GE(shifted[k], 1);
    }
}

}  // namespace
