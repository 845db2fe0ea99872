// The score compiler: envelopes and settings frame by frame,
// song structure (tempo, repeats, transposition, loop), the line and column
// of every kind of mistake, and hostile scores within bounded memory and time.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
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

TEST(ScoreHeader, SetsTheSongFields) {
    const compiled_song song = compile_score(
        "variant chip\nrate 60\nlayout planar\ncompress yes\ntext \"Hi \\\"there\\\"\"\n"
        "pattern a\n  3: A-4\nplay a\n");
    EXPECT_TRUE(song.chip_variant);
    EXPECT_EQ(song.frame_rate, 60);
    EXPECT_FALSE(song.interleaved);
    EXPECT_TRUE(song.compressed);
    EXPECT_EQ(song.text, "Hi \"there\"");
    EXPECT_EQ(song.channels, 3u);       // the highest channel used
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
        const std::string source =
            std::string("tempo 2\ninstrument i ") + c.instrument + "\npattern p\n1: @i " + c.steps + "\nplay p\n";
        EXPECT_EQ(volumes(compile_score(source), 0), c.volume) << c.instrument << " / " << c.steps;
    }
}

TEST(ScoreSettings, ShapeEachRecordField) {
    struct case_ {
        const char* settings;
        int frame;
        song::channel_record expected;
    };
    const case_ cases[] = {
        {"", 0, {a4, 128, 0, 200, 255}},
        {"pan=L", 0, {a4 | 0x3000, 128, 0, 200, 255}},   // right side off
        {"pan=R", 0, {a4 | 0xC000, 128, 0, 200, 255}},   // left side off
        {"pan=LC", 0, {a4 | 0x1000, 128, 0, 200, 255}},  // right side at half
        {"pan=RC", 0, {a4 | 0x4000, 128, 0, 200, 255}},  // left side at half
        {"pan=2:1", 0, {a4 | 0x9000, 128, 0, 200, 255}},
        {"noise=on", 0, {a4 | song::pitch_noise, 128, 0, 200, 255}},
        {"pulse=254 sweep=1", 2, {a4, 0, 0, 200, 255}},  // 254, 255, 0
        {"pulse=10 sweep=-4", 1, {a4, 6, 0, 200, 255}},
        {"filter=90 vol=7 ctrl=0x20", 0, {a4, 128, 0x20, 7, 90}},
        {"arp=0,12", 1, {0x0500 | 184, 128, 0, 200, 255}},  // second frame an octave up
        {"arp=0,12", 2, {a4, 128, 0, 200, 255}},
        {"bend=12", 1, {0x0500 | 184, 128, 0, 200, 255}},            // a whole octave per frame
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
    EXPECT_EQ(noisy.at(0, 0).pitch, a4 | song::pitch_noise);
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
    const std::vector<int> expected{a4,     a4,     a4,     a4,  // first pass
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
    EXPECT_EQ(song.at(0, 0).pitch, a4 | song::pitch_noise);      // the hit keeps its note
    EXPECT_EQ(song.at(1, 0).pitch, 0x05B8 | song::pitch_noise);  // a written note moves, with the hat's sound
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
        {"pattern a\n1: Cb0\nplay a\n", 2, 4, "note Cb0 leaves C-0..B-7"},
        // A missing instrument is named; a note past the octaves gives them.
        {"pattern a\n1: A-4 bassdrum\nplay a\n", 2, 8, "no instrument is named \"bassdrum\""},
        {"pattern a\n1: @lead A-4\nplay a\n", 2, 4, "no instrument is named \"lead\""},
        {"pattern a\n1: C-8\nplay a\n", 2, 4, "\"C-8\" is outside the octaves of a note: 0..7"},
        {"pattern a\n1: A-4 C8\nplay a\n", 2, 8, "\"C8\" is outside the octaves of a note: 0..7"},
        {"pattern a\n1: Db12\nplay a\n", 2, 4, "octaves of a note: 0..7"},
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

#if defined(__SANITIZE_ADDRESS__)
constexpr bool address_sanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool address_sanitizer = true;
#else
constexpr bool address_sanitizer = false;
#endif
#else
constexpr bool address_sanitizer = false;
#endif

// Compiles a score in a child process with 1 GiB of address space and 20
// seconds (under AddressSanitizer, whose shadow memory needs far more
// address space, no memory limit and 120 seconds for its slower code), so
// that an unbounded score fails the test instead of the machine. Gives
// "built N frames", "LINE:COLUMN: message", or how the child ended.
std::string compile_in_child(const std::string& source) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return "no pipe";
    const pid_t child = fork();
    if (child < 0) return "no fork";
    if (child == 0) {
        close(pipe_ends[0]);
        if (!address_sanitizer) {
            const rlimit memory{1u << 30, 1u << 30};
            setrlimit(RLIMIT_AS, &memory);
        }
        alarm(address_sanitizer ? 120 : 20);
        std::string outcome;
        try {
            outcome = "built " + std::to_string(compile_score(source).frame_count()) + " frames";
        } catch (const score::score_error& e) {
            outcome = std::to_string(e.line) + ":" + std::to_string(e.column) + ": " + e.what();
        } catch (const std::exception& e) {
            outcome = std::string("exception: ") + e.what();
        }
        const ssize_t written = write(pipe_ends[1], outcome.data(), outcome.size());
        _exit(written == static_cast<ssize_t>(outcome.size()) ? 0 : 1);
    }
    close(pipe_ends[1]);
    std::string outcome;
    char buffer[4096];
    for (ssize_t got; (got = read(pipe_ends[0], buffer, sizeof buffer)) > 0;) outcome.append(buffer, got);
    close(pipe_ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFSIGNALED(status))
        return WTERMSIG(status) == SIGALRM ? "out of time" : "killed by signal " + std::to_string(WTERMSIG(status));
    return outcome;
}

std::string repeated(const std::string& unit, size_t times) {
    std::string out;
    out.reserve(unit.size() * times);
    for (size_t i = 0; i < times; ++i) out += unit;
    return out;
}

TEST(ScoreLimits, HostileScoresEndInBoundedMemoryAndTime) {
    struct case_ {
        const char* what;
        std::string source;
        std::string outcome;  // the start of it
    };
    const case_ cases[] = {
        // 50 MB in one channel line; its 1048577th step is the 1048576th
        // ".", in column 7 + 2 x 1048575.
        {"a long line", "pattern A\n1 C-4 " + repeated(". ", 25'000'000) + "\nplay A\n",
         "2:2097157: channel 1 of pattern A has more than 1048576 steps"},
        // Steps last 1 and 255 frames in turn: 5000 + 4999 x 255 = 1279745
        // frames the first time already.
        {"a tempo list", "tempo 1,255\npattern a\n1: C-4*9999\nplay a*2\n",
         "4:6: the song grows longer than 1048576 frames"},
        // 3,1: 524288 steps are 1048576 frames, and one step more is 3 more.
        {"a tempo list at the cap", "tempo 3,1\npattern A\n1 (C-4*512)*1024\nplay A\n", "built 1048576 frames"},
        {"a tempo list past the cap", "tempo 3,1\npattern A\n1 (C-4*512)*1024 C-4\nplay A\n",
         "4:6: the song grows longer than 1048576 frames"},
        // 4096 x 8192^4 + 1 is 2^64 + 1 steps.
        {"repeats past 2^64", "pattern A\n1 ((((C-4*4096)*8192)*8192)*8192)*8192 C-4\nplay A\n",
         "2:15: channel 1 of pattern A has more than 1048576 steps"},
        {"65 nested groups", "pattern A\n1 " + repeated("(", 65) + "C-4" + repeated(")", 65) + "\nplay A\n",
         "2:67: groups nest at most 64 deep"},
        {"64 nested groups", "pattern A\n1 " + repeated("(", 64) + "C-4" + repeated(")", 64) + "\nplay A\n",
         "built 6 frames"},
        {"100000 nested groups",
         "pattern A\n1 " + repeated("(", 100'000) + "C-4" + repeated(")", 100'000) + "\nplay A\n",
         "2:67: groups nest at most 64 deep"},
        // Settings take no step, and 9999^2 of them are too many already.
        {"repeated settings", "pattern A\n1 ((((vol=1)*9999)*9999)*9999)*9999 C-4\nplay A\n",
         "2:18: channel 1 of pattern A plays more than 16777216 steps, settings and instrument changes"},
        // 10000 actions a time, 1678 times.
        {"a song of many settings", "pattern A\n1 (vol=1)*9999 C-4\nplay A*1678\n",
         "3:6: the song plays more than 16777216 steps"},
        {"empty groups repeated", "pattern A\n1 ((((()*9999)*9999)*9999)*9999)*9999 C-4\nplay A\n", "built 6 frames"},
        {"loop-only groups repeated", "pattern A\n1 C-4\nplay ((((loop)*9999)*9999)*9999)*9999 A\n", "built 6 frames"},
        {"many words", "pattern A\n1 " + repeated("| ", 4'194'305) + "\nplay A\n",
         "2:8388611: the channel and play lines have more than 4194304 words"},
        {"binary bytes", "pattern A\n1 C-4 \x01\x80\xFF\nplay A\n", "2:7: \"\\x01\\x80\\xFF\" is not a note"},
        {"a NUL byte", std::string("pattern A\n1 C-4 x\0y\nplay A\n", 26), "2:7: \"x\\x00y\" is not a note"},
        {"a byte-order mark", "\xEF\xBB\xBFtempo 2\npattern A\n1 C-4\nplay A\n", "built 2 frames"},
        {"a second loop", "pattern A\n1 C-4\nplay A loop A loop A\n", "3:15: loop is given twice"},
    };
    for (const auto& c : cases) {
        const std::string outcome = compile_in_child(c.source);
        EXPECT_EQ(outcome.substr(0, c.outcome.size()), c.outcome) << c.what << ": " << outcome;
    }
}

}  // namespace
