// The score compiler: pitch words, envelopes and settings frame by frame,
// song structure (tempo, repeats, transposition, loop), and the line and
// column of every kind of mistake.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "score.hpp"

namespace {

using score::compile_score;
using score::compiled_song;

// The pitch word for A-4 (440 Hz): octave 4 plays 256 + m Hz.
constexpr uint16_t a4 = 0x0400 | (440 - 256);

std::vector<int> volumes(const compiled_song& song, unsigned channel) {
    std::vector<int> out;
    for (size_t f = 0; f < song.frame_count(); ++f) out.push_back(song.at(f, channel).volume);
    return out;
}

std::vector<int> pitches(const compiled_song& song, unsigned channel) {
    std::vector<int> out;
    for (size_t f = 0; f < song.frame_count(); ++f) out.push_back(song.at(f, channel).pitch);
    return out;
}

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
        {55.0, 0x0100 | 184},    // octave 1: (256 + 184) x 2 / 16 = 55
        {1000.0, 0x0500 | 244},  // octave 5 steps by 2 Hz: 500 x 2 = 1000
        {3951.07, 0x0700 | 238},  // B-7: octave 7 steps by 8 Hz, 494 x 8 = 3952
        {63.7, 0x0200},          // rounds to 64 Hz, the first of octave 2
    };
    for (const auto& c : cases) EXPECT_EQ(score::pitch_word(c.hz), c.word) << c.hz << " Hz";
}

TEST(NoteFrequency, FollowsEqualTemperamentFromA440) {
    EXPECT_DOUBLE_EQ(score::note_hz(57), 440.0);
    EXPECT_DOUBLE_EQ(score::note_hz(45), 220.0);
    EXPECT_DOUBLE_EQ(score::note_hz(69), 880.0);
    EXPECT_NEAR(score::note_hz(0), 16.3516, 1e-3);
    EXPECT_NEAR(score::note_hz(48), 261.6256, 1e-3);
}

TEST(ScoreHeader, SetsTheSongFields) {
    const compiled_song song = compile_score(
        "variant chip\nrate 60\nlayout planar\ncompress yes\ntext \"Hi \\\"there\\\"\"\n"
        "pattern a\n  3: A-4\nplay a\n");
    EXPECT_TRUE(song.chip_variant);
    EXPECT_EQ(song.frame_rate, 60);
    EXPECT_FALSE(song.interleaved);
    EXPECT_TRUE(song.compressed);
    EXPECT_EQ(song.text, "Hi \"there\"");
    EXPECT_EQ(song.channels, 3u);  // the highest channel used
    EXPECT_EQ(song.frame_count(), 6u);  // one step of the default 6 frames
}

TEST(ScoreEnvelope, AttackDecaySustainReleaseFrameByFrame) {
    struct case_ {
        const char* instrument;
        const char* steps;
        std::vector<int> volume;
    };
    const case_ cases[] = {
        // decay 30 to sustain 20, then "---" releases by 10 a frame
        {"vol=100 decay=30 sustain=20 release=10", "A-4 . --- .", {100, 70, 40, 20, 10, 0, 0, 0}},
        // attack 40 a frame up to 100, no decay
        {"vol=100 attack=40", "A-4 . . .", {40, 80, 100, 100, 100, 100, 100, 100}},
        // the default release cuts at once; "." before any note stays silent
        {"vol=90", ". A-4 --- .", {0, 0, 90, 90, 0, 0, 0, 0}},
        // a new note restarts the envelope
        {"vol=50 decay=20", "A-4 A-4 . .", {50, 30, 50, 30, 10, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const std::string source = std::string("tempo 2\ninstrument i ") + c.instrument + "\npattern p\n1: @i " +
                                   c.steps + "\nplay p\n";
        EXPECT_EQ(volumes(compile_score(source), 0), c.volume) << c.instrument << " / " << c.steps;
    }
}

TEST(ScoreSettings, ShapeEachRecordField) {
    struct case_ {
        const char* settings;
        int frame;
        score::record expected;
    };
    const case_ cases[] = {
        {"", 0, {a4, 128, 0, 200, 255}},
        {"pan=L", 0, {a4 | 0x3000, 128, 0, 200, 255}},       // right side off
        {"pan=R", 0, {a4 | 0xC000, 128, 0, 200, 255}},       // left side off
        {"pan=LC", 0, {a4 | 0x1000, 128, 0, 200, 255}},      // right side at half
        {"pan=RC", 0, {a4 | 0x4000, 128, 0, 200, 255}},      // left side at half
        {"pan=2:1", 0, {a4 | 0x9000, 128, 0, 200, 255}},
        {"noise=on", 0, {a4 | 0x0800, 128, 0, 200, 255}},
        {"pulse=254 sweep=1", 2, {a4, 0, 0, 200, 255}},      // 254, 255, 0
        {"pulse=10 sweep=-4", 1, {a4, 6, 0, 200, 255}},
        {"filter=90 vol=7 ctrl=0x20", 0, {a4, 128, 0x20, 7, 90}},
        {"arp=0,12", 1, {0x0500 | 184, 128, 0, 200, 255}},  // second frame an octave up
        {"arp=0,12", 2, {a4, 128, 0, 200, 255}},
        {"bend=12", 1, {0x0500 | 184, 128, 0, 200, 255}},   // a whole octave per frame
        {"bend=-0.5", 2, {0x0400 | (415 - 256), 128, 0, 200, 255}},  // one semitone down: G#4
    };
    for (const auto& c : cases) {
        const std::string source =
            std::string("tempo 4\ninstrument i ") + c.settings + "\npattern p\n1: @i A-4\nplay p\n";
        const compiled_song song = compile_score(source);
        EXPECT_EQ(song.at(c.frame, 0), c.expected) << c.settings << " frame " << c.frame;
    }
}

TEST(ScoreSettings, ChipControlByte) {
    struct case_ {
        const char* settings;
        std::vector<int> control;  // frames 0..2 of one note
    };
    const case_ cases[] = {
        {"", {0x40, 0x40, 0x40}},  // pulse waveform
        {"wave=tri+saw", {0x30, 0x30, 0x30}},
        {"wave=saw sync=on", {0x22, 0x22, 0x22}},
        {"wave=tri ring=on", {0x14, 0x14, 0x14}},
        {"test=start", {0x48, 0x40, 0x40}},  // phase reset on the first frame only
        {"test=on", {0x48, 0x48, 0x48}},
        {"ctrl=0x81 sync=on", {0x81, 0x81, 0x81}},  // a raw control byte wins
    };
    for (const auto& c : cases) {
        const std::string source =
            std::string("variant chip\ntempo 3\ninstrument i ") + c.settings + "\npattern p\n1: @i A-4\nplay p\n";
        const compiled_song song = compile_score(source);
        std::vector<int> control;
        for (int f = 0; f < 3; ++f) control.push_back(song.at(f, 0).control);
        EXPECT_EQ(control, c.control) << c.settings;
    }
    // A noise waveform switches the noise generator on as well.
    const compiled_song noisy = compile_score("variant chip\ninstrument n wave=noise\npattern p\n1: @n A-4\nplay p\n");
    EXPECT_EQ(noisy.at(0, 0).pitch, a4 | 0x0800);
    EXPECT_EQ(noisy.at(0, 0).control, 0x80);
}

TEST(ScoreStructure, TempoRepeatsTranspositionAndLoop) {
    // Steps last 3 and 1 frames in turn; the pattern's two steps are 4 frames.
    const compiled_song song = compile_score(
        "tempo 3,1\n"
        "pattern p\n"
        "1: A-4 .\n"
        "play p loop (p)+12*2\n");
    ASSERT_EQ(song.frame_count(), 12u);
    EXPECT_EQ(song.loop_frame, 4u);
    const std::vector<int> expected{a4, a4, a4, a4,  // first pass
                                    0x05B8, 0x05B8, 0x05B8, 0x05B8, 0x05B8, 0x05B8, 0x05B8, 0x05B8};
    EXPECT_EQ(pitches(song, 0), expected);
}

TEST(ScoreStructure, RepeatedWordsAndGroupsInAChannelLine) {
    const compiled_song song = compile_score(
        "tempo 1\n"
        "pattern p\n"
        "1: (A-4 ---)*2 A-4*2 (A-4)-12\n"
        "play p\n");
    const std::vector<int> expected{200, 0, 200, 0, 200, 200, 200};
    EXPECT_EQ(volumes(song, 0), expected);
    EXPECT_EQ(song.at(6, 0).pitch, 0x0300 | 184);  // A-3, 220 Hz: octave 3
}

TEST(ScoreStructure, ChannelsLeftOutOfAPatternKeepSounding) {
    const compiled_song song = compile_score(
        "tempo 1\n"
        "instrument long vol=100 decay=10\n"
        "pattern first\n"
        "1: @long A-4 .\n"
        "2: --- ---\n"
        "pattern drums\n"
        "2: --- ---\n"
        "play first drums\n");
    const std::vector<int> expected{100, 90, 80, 70};
    EXPECT_EQ(volumes(song, 0), expected);
    EXPECT_EQ(pitches(song, 0), std::vector<int>(4, a4));
}

TEST(ScoreStructure, BareInstrumentNamePlaysItsOwnNoteUntransposed) {
    const compiled_song song = compile_score(
        "tempo 1\n"
        "instrument hat note=A-4 noise=on vol=60\n"
        "pattern p\n"
        "1: hat A-4\n"
        "play p+12\n");
    EXPECT_EQ(song.at(0, 0).pitch, a4 | 0x0800);           // the hit keeps its note
    EXPECT_EQ(song.at(1, 0).pitch, 0x05B8 | 0x0800);       // a written note moves, with the hat's sound
    EXPECT_EQ(song.at(1, 0).volume, 60);
}

TEST(ScoreStructure, SettingsInAPatternChangeTheChannelUntilTheNextInstrument) {
    const compiled_song song = compile_score(
        "tempo 1\n"
        "instrument i vol=100\n"
        "pattern p\n"
        "1: @i A-4 vol=50 A-4 A-4 @i A-4\n"
        "play p\n");
    const std::vector<int> expected{100, 50, 50, 100};
    EXPECT_EQ(volumes(song, 0), expected);
}

TEST(ScoreErrors, ReportLineAndColumn) {
    struct case_ {
        const char* source;
        int line;
        int column;
        const char* message;  // a part of the message
    };
    const case_ cases[] = {
        {"tempo 6\nfoo 1\n", 2, 1, "unknown line"},
        {"pattern a\n  1: H-4\nplay a\n", 2, 6, "not a note"},
        {"instrument i vol=300\n", 1, 18, "0..255"},
        {"instrument i pan=X\n", 1, 18, "pan"},
        {"instrument i loud=1\n", 1, 14, "unknown setting"},
        {"text \"open\n", 1, 6, "closing quote"},
        {"text \"caf\xC3\xA9\"\n", 1, 10, "printable ASCII"},
        {"tempo 6\ntempo 5\n", 2, 1, "given twice"},
        {"rate 0\n", 1, 6, "1..1000"},
        {"variant fancy\n", 1, 9, "plain or chip"},
        {"1: A-4\n", 1, 1, "must follow a pattern"},
        {"pattern a\n1: A-4 A-4\n2: A-4\nplay a\n", 3, 1, "channel 2 has 1 steps but channel 1 has 2"},
        {"pattern a\n1: @nobody A-4\nplay a\n", 2, 4, "nobody"},
        {"instrument i vol=9\npattern a\n1: i\nplay a\n", 3, 4, "no note="},
        {"pattern a\n1: A-4\nplay a b\n", 3, 8, "no pattern b"},
        {"pattern a\n1: A-4 )\nplay a\n", 2, 8, "without \"(\""},
        {"pattern a\n1: (A-4\nplay a\n", 2, 4, "without \")\""},
        {"pattern a\n1: A-4*0\nplay a\n", 2, 8, "1..9999"},
        {"instrument i wave=saw\npattern a\n1: A-4\nplay a\n", 1, 14, "variant chip"},
        {"pattern a\n1: C-7\nplay a+24\n", 2, 4, "leaves C-0..B-7"},
        {"channels 2\npattern a\n3: C-4\nplay a\n", 3, 1, "above channels 2"},
        {"pattern a\n1: C-4\n", 2, 1, "no play line"},
        {"pattern a\n1: vol=3\nplay a\n", 2, 1, "no steps"},
        {"instrument i bend=1.234\n", 1, 19, "bend"},
        {"pattern loop\n", 1, 9, "not \"loop\""},
    };
    for (const auto& c : cases) {
        try {
            compile_score(c.source);
            ADD_FAILURE() << "no error for: " << c.source;
        } catch (const score::score_error& e) {
            EXPECT_EQ(e.line, c.line) << c.source << " -> " << e.what();
            EXPECT_EQ(e.column, c.column) << c.source << " -> " << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.source << " -> " << e.what();
        }
    }
}

}  // namespace
