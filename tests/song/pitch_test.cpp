// Pitch words for frequencies and the frequencies of notes, as the programs
// that write songs compute them.
#include <gtest/gtest.h>

#include "song/pitch.hpp"

namespace {

// The pitch word for A-4 (440 Hz): octave 4 plays 256 + m Hz.
constexpr uint16_t a4 = 0x0400 | (440 - 256);

TEST(PitchWord, LandsOnTheFrequencyThePlayerPlays) {
    // The player plays (256 + m) x 2^o / 16 Hz, rounded down to whole hertz.
    struct case_ {
        double hz;
        uint16_t word;
    };
    const case_ cases[] = {
        {16.0, 0x0000},    // lowest: octave 0, mantissa 0
        {4088.0, 0x07FF},  // highest
        {10.0, 0x0000},    // clamped up
        {9000.0, 0x07FF},  // clamped down
        {440.0, a4},
        {55.0, 0x0100 | 184},     // octave 1: (256 + 184) x 2 / 16 = 55
        {1000.0, 0x0500 | 244},   // octave 5 steps by 2 Hz: 500 x 2 = 1000
        {3951.07, 0x0700 | 238},  // B-7: octave 7 steps by 8 Hz, 494 x 8 = 3952
        {63.7, 0x0200},           // rounds to 64 Hz, the first of octave 2
    };
    for (const auto& c : cases) EXPECT_EQ(song::pitch_word(c.hz), c.word) << c.hz << " Hz";
}

TEST(NoteFrequency, FollowsEqualTemperamentFromA440) {
    EXPECT_DOUBLE_EQ(song::note_hz(57), 440.0);
    EXPECT_DOUBLE_EQ(song::note_hz(45), 220.0);
    EXPECT_DOUBLE_EQ(song::note_hz(69), 880.0);
    EXPECT_NEAR(song::note_hz(0), 16.3516, 1e-3);
    EXPECT_NEAR(song::note_hz(48), 261.6256, 1e-3);
}

}  // namespace
