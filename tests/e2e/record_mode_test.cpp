// The playtun binary as a user meets it on the command line: usage text,
// record mode, its messages, exit statuses and the WAV files it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "program_run.hpp"
#include "song_bytes.hpp"

namespace {

using test_support::record_values;
using test_support::song_header;

const std::string binary = PLAYTUN_BINARY;

uint32_t u32_at(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

int16_t s16_at(const std::vector<uint8_t>& b, size_t at) { return static_cast<int16_t>(b[at] | b[at + 1] << 8); }

// A quiet, steady three-channel song of the given length.
std::vector<uint8_t> plain_song(uint32_t frames, uint8_t flags = 0x13, uint32_t loop_frame = 0) {
    song_header h;
    h.flags = flags;
    h.loop_frame = loop_frame;
    const auto source = [](uint32_t f, uint32_t c) {
        return record_values{static_cast<uint16_t>(0x0400 + 16 * c + f % 7), 0x80, 0, 200, 255};
    };
    const uint32_t channels = flags & 0x0F;
    return test_support::song_bytes(h, (flags & 0x10) ? test_support::interleaved_body(channels, frames, source)
                                                      : test_support::planar_body(channels, frames, source));
}

class RecordMode : public ::testing::Test {
protected:
    void SetUp() override { dir = test_support::make_temp_dir(); }
    void TearDown() override { test_support::remove_tree(dir); }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    // The names in the folder, sorted: a temporary file left behind shows.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string dir;
};

TEST(CommandLine, UsageIsBannerFollowedDirectlyBySyntaxLine) {
    const std::string banner = std::string(2, '\xDB') + " MELVOX TUN-Player_w32 b20080226" + std::string(16, ' ') +
                               "MELodic VOice eXer" + " " + std::string(5, '\xDB') + std::string(3, '\xB2') +
                               std::string(2, '\xB1') + "\xB0";
    ASSERT_EQ(banner.size(), 80u);
    const auto result = test_support::run_program(binary, {"/?"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, banner + "Syntax: PlayTUN <file.tun> <wavefile.wav>\n" +
                                 "Play lists: playtun --play <file.tun>... (playtun --help)\n");
}

TEST(CommandLine, InteractiveModesEndWith254WhenSdlCannotStart) {
    // Without a usable video driver SDL refuses to start; single-file and
    // selector mode (no argument, or three and more) both stop at once.
    const std::vector<std::vector<std::string>> argument_lists = {{"song.tun"}, {}, {"a", "b", "c"}};
    for (const auto& arguments : argument_lists) {
        const auto result = test_support::run_program(binary, arguments, "", {"SDL_VIDEODRIVER=none-such"});
        EXPECT_EQ(result.output, "?SDL: No available video device  ERROR\n") << arguments.size() << " arguments";
        EXPECT_EQ(result.status, 254) << arguments.size() << " arguments";
    }
}

TEST(CommandLine, UsageRequestWithMoreCharactersIsASongName) {
    const auto result =
        test_support::run_program(binary, {"/?x"}, "", {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"});
    EXPECT_EQ(result.output, "File not found.\n");
    EXPECT_EQ(result.status, 2);
}

TEST_F(RecordMode, UsageRequestWithSecondArgumentRecordsASongNamedSlashQuestion) {
    const auto result = test_support::run_program(binary, {"/?", "out.wav"}, dir);
    EXPECT_EQ(result.output, "Recording /? to out.wav\nFile not found.\n");
    EXPECT_EQ(result.status, 2);
    EXPECT_FALSE(std::filesystem::exists(path("out.wav"))) << "the song is loaded before the WAV file is created";
}

TEST_F(RecordMode, SongFileThatCannotBeReadIsReportedWithItsFailureCode) {
    std::filesystem::create_directory(path("folder.tun"));
    test_support::write_file(path("secret.tun"), plain_song(5));
    ::chmod(path("secret.tun").c_str(), 0);
    struct case_t {
        std::string song;
        std::string text;
        int status;
        bool unprivileged;
        std::string reason;  // after "playtun: SONG: " on standard error
    } cases[] = {
        {"missing.tun", "File not found.\n", 2, false, "No such file or directory"},
        {"folder.tun", "File access denied.\n", 5, false, "Is a directory"},
        {"secret.tun", "File access denied.\n", 5, true, "Permission denied"},
        {std::string(5000, 'x') + ".tun", "Path not found.\n", 3, false, "File name too long"},
    };
    for (const auto& c : cases) {
        const auto result = c.unprivileged ? test_support::run_program_unprivileged(binary, {c.song, "out.wav"}, dir)
                                           : test_support::run_program(binary, {c.song, "out.wav"}, dir);
        EXPECT_EQ(result.output, "Recording " + c.song + " to out.wav\n" + c.text) << c.song.substr(0, 20);
        EXPECT_EQ(result.errors, "playtun: " + c.song + ": " + c.reason + "\n") << c.song.substr(0, 20);
        EXPECT_EQ(result.status, c.status) << c.song.substr(0, 20);
        EXPECT_FALSE(std::filesystem::exists(path("out.wav")));
    }
}

TEST_F(RecordMode, RecordingLengthFollowsTheLastTick) {
    // frames -> blocks of 4096 stereo frames: the last tick falls on sample
    // (frames - 1) x 960 and its block is the last one written.
    struct case_t {
        uint32_t frames;
        uint32_t file_size;
    } cases[] = {{50, 196652}, {1, 16428}, {5, 16428}, {6, 32812}};
    for (const auto& c : cases) {
        test_support::write_file(path("song.tun"), plain_song(c.frames));
        const auto result = test_support::run_program(binary, {"song.tun", "out.wav"}, dir);
        EXPECT_EQ(result.output, "Recording song.tun to out.wav\nRecording Done\n");
        EXPECT_EQ(result.status, 0);
        const auto wav = test_support::read_file(path("out.wav"));
        ASSERT_EQ(wav.size(), c.file_size) << c.frames << " frames";
        EXPECT_EQ(u32_at(wav, 4), c.file_size - 8);
        EXPECT_EQ(u32_at(wav, 40), c.file_size - 44);
    }
}

TEST_F(RecordMode, HeaderDescribes48kHzStereo16BitPcm) {
    test_support::write_file(path("song.tun"), plain_song(50));
    ASSERT_EQ(test_support::run_program(binary, {"song.tun", "out.wav"}, dir).status, 0);
    const auto wav = test_support::read_file(path("out.wav"));
    const std::vector<uint8_t> expected = {'R', 'I', 'F',  'F',  0x24, 0x00, 0x03, 0x00, 'W',  'A',  'V',
                                           'E', 'f', 'm',  't',  ' ',  16,   0,    0,    0,    1,    0,
                                           2,   0,   0x80, 0xBB, 0x00, 0x00, 0x00, 0xEE, 0x02, 0x00, 4,
                                           0,   16,  0,    'd',  'a',  't',  'a',  0x00, 0x00, 0x03, 0x00};
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(std::vector<uint8_t>(wav.begin(), wav.begin() + 44), expected);
}

TEST_F(RecordMode, FirstSamplesOfASingleSteadyVoice) {
    // One plain-variant voice at 256 Hz, pulse 0x80 folded to 255, full
    // volume and no smoothing, on the start-up wavetable.
    song_header h;
    h.flags = 0x11;
    test_support::write_file(path("one.tun"),
                             test_support::song_bytes(h, test_support::interleaved_body(1, 2, [](uint32_t, uint32_t) {
                                                          return record_values{0x0400, 0x80, 0, 255, 255};
                                                      })));
    ASSERT_EQ(test_support::run_program(binary, {"one.tun", "out.wav"}, dir).status, 0);
    const auto wav = test_support::read_file(path("out.wav"));
    const int16_t expected[] = {1785, 3825, 7650, 9690};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(s16_at(wav, 44 + 4 * i), expected[i]) << "left " << i;
        EXPECT_EQ(s16_at(wav, 46 + 4 * i), expected[i]) << "right " << i;
    }
    EXPECT_EQ(s16_at(wav, 44 + 4 * 187), 0) << "the 188th sample starts the second half at index 256";
}

TEST_F(RecordMode, LayoutsAndLoopFrameDoNotChangeTheRecording) {
    test_support::write_file(path("inter.tun"), plain_song(120, 0x13));
    test_support::write_file(path("planar.tun"), plain_song(120, 0x03));
    test_support::write_file(path("loop.tun"), plain_song(120, 0x13, 40));
    for (const char* name : {"inter", "planar", "loop"}) {
        const auto result =
            test_support::run_program(binary, {std::string(name) + ".tun", std::string(name) + ".wav"}, dir);
        ASSERT_EQ(result.status, 0) << name;
    }
    const auto interleaved = test_support::read_file(path("inter.wav"));
    EXPECT_EQ(test_support::read_file(path("planar.wav")), interleaved);
    EXPECT_EQ(test_support::read_file(path("loop.wav")), interleaved) << "record mode plays a song once";
}

TEST_F(RecordMode, SongErrorsFailWithTheirMessageAndLeaveTheOutputAsItWas) {
    song_header compressed;
    compressed.flags = 0x53;
    compressed.unpacked_size = 18;
    song_header compressed_empty = compressed;
    compressed_empty.unpacked_size = 0;
    song_header wrong_magic;
    wrong_magic.magic = "TQk";
    song_header no_channels;
    no_channels.flags = 0x10;
    song_header nine_channels;
    nine_channels.flags = 0x19;
    const std::vector<uint8_t> body(180, 0);
    struct case_t {
        const char* what;
        std::vector<uint8_t> song;
        std::string message;
    } cases[] = {
        {"wrong magic", test_support::song_bytes(wrong_magic, body), "?No SID-DUMP file  ERROR"},
        {"short file", {'T', 'Q', 'K', 0x13, 50, 0}, "?No SID-DUMP file  ERROR"},
        {"U of 0", test_support::song_bytes(compressed_empty, {0x61, 0x00, 0x00}), "?Compressed Data  ERROR"},
        {"broken stream", test_support::song_bytes(compressed, {0x61}), "?Decompression  ERROR"},
        {"no channels", test_support::song_bytes(no_channels, body), "?Channel count  ERROR"},
        {"nine channels", test_support::song_bytes(nine_channels, body), "?Channel count  ERROR"},
    };
    const std::vector<uint8_t> old_wav = {'R', 'I', 'F', 'F', 1, 2, 3};
    for (const auto& c : cases) {
        test_support::write_file(path("bad.tun"), c.song);
        // No output is created, and an existing one keeps every byte.
        for (const bool existing : {false, true}) {
            std::filesystem::remove(path("out.wav"));
            if (existing) test_support::write_file(path("out.wav"), old_wav);
            const auto result = test_support::run_program(binary, {"bad.tun", "out.wav"}, dir);
            EXPECT_EQ(result.output, "Recording bad.tun to out.wav\n" + c.message + "\n") << c.what;
            EXPECT_EQ(result.status, 1) << c.what;
            EXPECT_EQ(std::filesystem::exists(path("out.wav")), existing) << c.what;
            if (existing) {
                EXPECT_EQ(test_support::read_file(path("out.wav")), old_wav) << c.what;
            }
            const std::vector<std::string> left = {"bad.tun", "out.wav"};
            EXPECT_EQ(entries(), std::vector<std::string>(left.begin(), left.begin() + (existing ? 2 : 1))) << c.what;
        }
    }
}

TEST_F(RecordMode, BadOutputTargetsEndWithTheirFailureCode) {
    test_support::write_file(path("song.tun"), plain_song(50));
    std::filesystem::create_directory(path("locked"));
    ::chmod(path("locked").c_str(), 0555);
    auto result = test_support::run_program_unprivileged(binary, {"song.tun", "locked/out.wav"}, dir);
    EXPECT_EQ(result.output, "Recording song.tun to locked/out.wav\nFile access denied.\n");
    EXPECT_EQ(result.status, 5);

    result = test_support::run_program(binary, {"song.tun", "/dev/full"}, dir);
    EXPECT_EQ(result.output, "Recording song.tun to /dev/full\nDisk write error.\n");
    EXPECT_EQ(result.status, 101);

    // An output whose folder does not exist says so.
    for (const std::string out : {"no-such-folder/out.wav", "song.tun.d/x/out.wav"}) {
        result = test_support::run_program(binary, {"song.tun", out}, dir);
        const std::string folder = out.substr(0, out.rfind('/'));
        EXPECT_EQ(result.output, "Recording song.tun to " + out + "\nPath not found.\n");
        EXPECT_EQ(result.errors, "playtun: " + out + ": the folder " + folder + " does not exist\n");
        EXPECT_EQ(result.status, 3);
    }

    const std::string overlong = std::string(300, 'w') + ".wav";
    result = test_support::run_program(binary, {"song.tun", overlong}, dir);
    EXPECT_EQ(result.output, "Recording song.tun to " + overlong + "\nPath not found.\n");
    EXPECT_EQ(result.status, 3);
}

TEST_F(RecordMode, LongFileNamesAreUsedWhole) {
    // Nested directories make paths far longer than 255 bytes; cutting them
    // would name other files.
    std::string deep = dir;
    for (int i = 0; i < 6; ++i) {
        deep += "/" + std::string(60, static_cast<char>('a' + i));
        std::filesystem::create_directory(deep);
    }
    const std::string song = deep + "/" + std::string(100, 's') + ".tun";
    const std::string wav = deep + "/" + std::string(100, 'w') + ".wav";
    ASSERT_GT(wav.size(), 400u);
    test_support::write_file(song, plain_song(3));
    const auto result = test_support::run_program(binary, {song, wav});
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(test_support::read_file(wav).size(), 16428u);
}

}  // namespace
