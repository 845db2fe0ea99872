// Single-file play as a user starts it: `playtun SONG.tun` with SDL's disk
// audio driver standing in for the sound card and the dummy video driver
// for the window. What the device receives must be exactly what record
// mode writes for the same song, and a song the player refuses is reported
// after SDL has shut down.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "program_run.hpp"
#include "song_bytes.hpp"
#include "song/channel_record.hpp"

namespace {

using test_support::record_values;
using test_support::song_header;

const std::string binary = PLAYTUN_BINARY;
constexpr size_t device_buffer_bytes = 2048 * 4;  // one callback: 2048 stereo frames
constexpr size_t wav_header_bytes = 44;

// Three voices that change pitch, pan, pulse, volume and filter from frame
// to frame, loud from the very first sample.
std::vector<uint8_t> busy_song(uint32_t frames, uint8_t flags = 0x13) {
    song_header h;
    h.flags = flags;
    h.text = "live audio check";
    const auto source = [](uint32_t f, uint32_t c) {
        const uint16_t pitch =
            static_cast<uint16_t>(0x0300 + (c << 8) + ((f * 37 + c * 11) & 0xFF) + ((f / 25 + c) % 3 << 12) +
                                  (c == 2 && f % 40 > 30 ? song::pitch_noise : 0));
        return record_values{pitch, static_cast<uint8_t>(f * 5 + c * 60), static_cast<uint8_t>(c * 0x10 + (f & 1)),
                             static_cast<uint8_t>(255 - (f * 3 + c * 40) % 120),
                             static_cast<uint8_t>(120 + f * 7 % 136)};
    };
    const uint32_t channels = flags & 0x0F;
    return test_support::song_bytes(h, (flags & 0x10) ? test_support::interleaved_body(channels, frames, source)
                                                      : test_support::planar_body(channels, frames, source));
}

class SingleFilePlay : public ::testing::Test {
protected:
    void SetUp() override { dir = test_support::make_temp_dir(); }
    void TearDown() override { test_support::remove_tree(dir); }
    std::string path(const std::string& name) const { return dir + "/" + name; }

    test_support::program_result play(const std::string& song, const std::vector<std::string>& environment) {
        return test_support::run_program(binary, {song}, dir, environment);
    }
    std::vector<std::string> disk_audio() const {
        return {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + path("cap.raw"),
                "SDL_DISKAUDIODELAY=1"};
    }
    std::string dir;
};

// The device opens paused and SDL writes silence until the player starts
// it; the song itself starts loud, so the first non-silent buffer is its
// first block.
std::vector<uint8_t> without_leading_silence(const std::vector<uint8_t>& capture) {
    size_t start = 0;
    while (start + device_buffer_bytes <= capture.size() &&
           std::all_of(capture.begin() + start, capture.begin() + start + device_buffer_bytes,
                       [](uint8_t b) { return b == 0; }))
        start += device_buffer_bytes;
    return {capture.begin() + start, capture.end()};
}

// Compares the captured sound with the recording's data: all of it, or,
// when the device may close before the recording's last block (a paced
// device), at least the first `required` bytes.
void expect_device_received_the_recording(const std::vector<uint8_t>& capture, const std::vector<uint8_t>& wav,
                                          size_t required = SIZE_MAX) {
    ASSERT_GT(wav.size(), wav_header_bytes);
    std::vector<uint8_t> data(wav.begin() + wav_header_bytes, wav.end());
    const std::vector<uint8_t> played = without_leading_silence(capture);
    required = std::min(required, data.size());
    ASSERT_GE(played.size(), required) << "playback stopped before the end of the song";
    data.resize(std::max(required, std::min(data.size(), played.size())));
    const auto mismatch = std::mismatch(data.begin(), data.end(), played.begin());
    EXPECT_TRUE(mismatch.first == data.end())
        << "first difference at byte " << (mismatch.first - data.begin()) << " of " << data.size() << " (stereo frame "
        << (mismatch.first - data.begin()) / 4 << ")";
}

TEST_F(SingleFilePlay, LiveAudioIsBitExactWithTheRecordingAndEndsAtTheSongsEnd) {
    // 150 frames at 50 Hz: three seconds, 72000 samples per side.
    for (const uint8_t flags : {0x13, 0x03}) {
        SCOPED_TRACE(flags);
        test_support::write_file(path("song.tun"), busy_song(150, flags));
        const auto recorded = test_support::run_program(binary, {"song.tun", "song.wav"}, dir);
        ASSERT_EQ(recorded.status, 0) << recorded.output;
        const auto wav = test_support::read_file(path("song.wav"));

        const auto played = play("song.tun", disk_audio());
        EXPECT_EQ(played.status, 0) << played.output;
        EXPECT_EQ(played.output.find("ERROR"), std::string::npos) << played.output;
        expect_device_received_the_recording(test_support::read_file(path("cap.raw")), wav);
    }
}

TEST_F(SingleFilePlay, ScreenLoopRedrawsManyTimesWhileTheAudioThreadPlays) {
    // A paced device (20 ms per 2048-frame buffer, about twice real time)
    // keeps the audio thread and the screen loop side by side for a couple
    // of seconds: some forty redraws of rows, meters and position. The end
    // is raised when the last frame starts, and the loop may close the
    // device before all of that frame is played: everything up to the start
    // of the last frame must have been played as recorded.
    const uint32_t frames = 250;
    test_support::write_file(path("song.tun"), busy_song(frames));
    ASSERT_EQ(test_support::run_program(binary, {"song.tun", "song.wav"}, dir).status, 0);
    auto environment = disk_audio();
    environment.back() = "SDL_DISKAUDIODELAY=20";
    const auto played = play("song.tun", environment);
    EXPECT_EQ(played.status, 0) << played.output;
    expect_device_received_the_recording(test_support::read_file(path("cap.raw")),
                                         test_support::read_file(path("song.wav")), (frames - 1) * 960 * 4);
}

TEST_F(SingleFilePlay, LongFileNameAndEightVoicesPlayTheSameAsTheRecording) {
    const std::string name = "a-song-whose-name-is-longer-than-the-screen-shows.tun";
    test_support::write_file(path(name), busy_song(60, 0x18));
    ASSERT_EQ(test_support::run_program(binary, {name, "song.wav"}, dir).status, 0);
    const auto played = play(name, disk_audio());
    EXPECT_EQ(played.status, 0) << played.output;
    expect_device_received_the_recording(test_support::read_file(path("cap.raw")),
                                         test_support::read_file(path("song.wav")));
}

song_header header(const char* magic, uint8_t flags, uint32_t unpacked_size = 0) {
    song_header h;
    h.magic = magic;
    h.flags = flags;
    h.unpacked_size = unpacked_size;
    return h;
}

// Where a capture holds `data` from `from` on, or npos. The renderer's
// output is loud from its first frame, so one buffer's worth identifies it.
size_t find_rendering(const std::vector<uint8_t>& capture, const std::vector<uint8_t>& data, size_t from) {
    const size_t probe = std::min(data.size(), device_buffer_bytes);
    for (size_t at = from; at + probe <= capture.size(); at += 4)
        if (std::equal(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(probe), capture.begin() + at))
            return at;
    return std::string::npos;
}

std::vector<uint8_t> wav_data(const std::vector<uint8_t>& wav) {
    return {wav.begin() + std::min(wav.size(), wav_header_bytes), wav.end()};
}

// A play list plays its songs one after another, each whole. The device is
// opened once per song, so the capture goes through standard output (a
// pipe), which each opening continues instead of truncating. A song that
// cannot be opened is named on standard error and skipped; the status then
// says that one failed.
TEST_F(SingleFilePlay, PlayListPlaysEachSongWholeInTurnAndSkipsOnesThatFail) {
    test_support::write_file(path("one.tun"), busy_song(100, 0x13));
    test_support::write_file(path("two.tun"), busy_song(75, 0x03));
    test_support::write_file(path("bad.tun"), std::vector<uint8_t>{'P', 'S', 'I', 'D', 0, 2, 0, 0x7C});
    std::vector<uint8_t> renders[2];
    for (int k = 0; k < 2; ++k) {
        const std::string song = k == 0 ? "one.tun" : "two.tun";
        ASSERT_EQ(test_support::run_program(binary, {song, song + ".wav"}, dir).status, 0);
        renders[k] = wav_data(test_support::read_file(path(song + ".wav")));
    }
    const std::vector<std::string> to_standard_output = {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=disk",
                                                         "SDL_DISKAUDIOFILE=/dev/stdout", "SDL_DISKAUDIODELAY=1"};
    struct case_t {
        std::vector<std::string> arguments;
        int status;
        std::string errors;  // a line standard error must hold, or ""
    } cases[] = {
        {{"--play", "one.tun", "two.tun"}, 0, ""},
        {{"one.tun", "-p", "bad.tun", "missing.tun", "two.tun"},
         1,
         "playtun: bad.tun: a PSID tune, not a song: 'tuntool import bad.tun SONG.tun' makes a song of it\n"
         "playtun: missing.tun: No such file or directory\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.size());
        const auto played = test_support::run_program(binary, c.arguments, dir, to_standard_output);
        EXPECT_EQ(played.status, c.status) << played.errors;
        if (!c.errors.empty()) {
            EXPECT_NE(played.errors.find(c.errors), std::string::npos) << played.errors;
        }
        const std::vector<uint8_t> capture(played.output.begin(), played.output.end());
        const size_t first = find_rendering(capture, renders[0], 0);
        ASSERT_NE(first, std::string::npos) << "the first song was not played";
        // A song ends once its last frame has begun: the device may close
        // before that frame, or the block it starts in, has been played out
        // (more so on a slow machine), so the capture holds at least the
        // frames before the last one of each song, and those are the render's.
        constexpr size_t frame_bytes = 960 * 4;
        const auto heard_from = [&capture](const std::vector<uint8_t>& render, size_t at) {
            const size_t most = std::min(render.size(), capture.size() - at);
            return static_cast<size_t>(std::mismatch(render.begin(), render.begin() + static_cast<std::ptrdiff_t>(most),
                                                     capture.begin() + static_cast<std::ptrdiff_t>(at))
                                           .first -
                                       render.begin());
        };
        const size_t heard_first = heard_from(renders[0], first);
        ASSERT_GE(heard_first, (100 - 1) * frame_bytes) << "the first song was not played whole";
        const size_t second = find_rendering(capture, renders[1], first + heard_first);
        ASSERT_NE(second, std::string::npos) << "the second song was not played after the first";
        EXPECT_GE(heard_from(renders[1], second), (75 - 1) * frame_bytes) << "the second song was not played whole";
    }
}

// --loops N plays the loop section N times in all and then ends, as tuntool
// render --loops N renders it.
TEST_F(SingleFilePlay, PlayListLoopsPlayTheLoopSectionAsTheRendererDoes) {
    std::vector<uint8_t> song = busy_song(120, 0x13);
    song[6] = 40;  // loop frame 40: a loop section of 80 frames (1.6 s)
    test_support::write_file(path("loop.tun"), song);
    const auto rendered =
        test_support::run_program(TUNTOOL_BINARY, {"render", "-q", "--loops", "3", "loop.tun", "-o", "loop.wav"}, dir);
    ASSERT_EQ(rendered.status, 0) << rendered.errors;
    const std::vector<uint8_t> render = wav_data(test_support::read_file(path("loop.wav")));
    ASSERT_EQ(render.size(), (120u + 2u * 80u) * 960u * 4u);
    // A paced device (about twice real time) gives the screen loop time to
    // see every pass begin.
    const auto played = test_support::run_program(
        binary, {"--play", "--loops", "3", "loop.tun"}, dir,
        {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=/dev/stdout", "SDL_DISKAUDIODELAY=20"});
    EXPECT_EQ(played.status, 0) << played.errors;
    const std::vector<uint8_t> capture = without_leading_silence({played.output.begin(), played.output.end()});
    // The end is seen at the screen's next pass: a little more may follow,
    // never less, and never a fourth pass.
    ASSERT_GE(capture.size(), render.size() - 960 * 4);
    EXPECT_LT(capture.size(), render.size() + 80u * 960u * 4u / 2u);
    const size_t compared = std::min(capture.size(), render.size());
    const auto mismatch =
        std::mismatch(render.begin(), render.begin() + static_cast<std::ptrdiff_t>(compared), capture.begin());
    EXPECT_EQ(mismatch.first - render.begin(), static_cast<std::ptrdiff_t>(compared))
        << "the passes differ from the rendering";
}

TEST_F(SingleFilePlay, RefusedSongIsReportedAfterShutDown) {
    const auto three_frames = [](uint32_t, uint32_t) { return record_values{0x0400, 0x80, 0, 200, 255}; };
    const std::vector<uint8_t> body = test_support::interleaved_body(3, 3, three_frames);
    struct refusal {
        const char* what;
        song_header header;
        std::vector<uint8_t> body;
        const char* message;
    } cases[] = {
        {"wrong magic", header("TQX", 0x13), body, "?No SID-DUMP file  ERROR\n"},
        {"lower-case magic", header("tqk", 0x13), body, "?No SID-DUMP file  ERROR\n"},
        {"compressed, unpacked size 0", header("TQK", 0x53, 0), {0x61}, "?Compressed Data  ERROR\n"},
        {"compressed, broken stream", header("TQK", 0x53, 54), {0x61}, "?Decompression  ERROR\n"},
        {"no channels", header("TQK", 0x10), body, "?Channel count  ERROR\n"},
        {"nine channels", header("CQK", 0x19), body, "?Channel count  ERROR\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test_support::write_file(path("bad.tun"), test_support::song_bytes(c.header, c.body));
        const auto result = play("bad.tun", {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"});
        EXPECT_EQ(result.output, c.message);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.errors.rfind("playtun: bad.tun: ", 0), 0u) << result.errors;
    }
}

TEST_F(SingleFilePlay, MissingSongFileIsAFailureWithCode2) {
    const auto result = play("missing.tun", {"SDL_VIDEODRIVER=dummy", "SDL_AUDIODRIVER=dummy"});
    EXPECT_EQ(result.output, "File not found.\n");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors, "playtun: missing.tun: No such file or directory\n");
}

}  // namespace
