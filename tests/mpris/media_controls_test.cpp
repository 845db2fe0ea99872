// The pieces of the media controls that need no bus: where a seek from the
// desktop lands, and the URL and text the bus is given for a song.
#include <gtest/gtest.h>

#include <string>

#include "driver/media_controls.hpp"
#include "mpris/media_bus.hpp"

namespace {

TEST(MediaControls, SeekLandsOnAFrameOrPastTheEnd) {
    struct seek_case {
        int64_t position_us, offset_us;
        uint32_t total_frames;
        uint16_t frame_rate;
        bool past_end;
        uint32_t frame;
    };
    // A song of 10 s at 50 frames a second (500 frames), one of 10 s at 100.
    const seek_case cases[] = {
        {0, 5'000'000, 500, 50, false, 250},          // forward
        {5'000'000, -2'000'000, 500, 50, false, 150},  // back
        {1'000'000, -5'000'000, 500, 50, false, 0},    // before the start: the start
        {9'000'000, 990'000, 500, 50, false, 499},     // the last frame
        {9'000'000, 1'000'000, 500, 50, true, 0},      // the end itself is past the song
        {0, 60'000'000, 500, 50, true, 0},
        {0, 10'000, 1000, 100, false, 1},   // 10 ms at 100 frames a second
        {0, 19'999, 500, 50, false, 0},     // less than a frame stays on it
        {0, 0, 0, 50, true, 0},             // a song without frames has no place to go
    };
    for (const seek_case& c : cases) {
        const driver::seek_landing landing =
            driver::seek_target(c.position_us, c.offset_us, c.total_frames, c.frame_rate);
        EXPECT_EQ(landing.past_end, c.past_end) << c.position_us << " + " << c.offset_us;
        if (!c.past_end) {
            EXPECT_EQ(landing.frame, c.frame) << c.position_us << " + " << c.offset_us;
        }
    }
}

TEST(MediaControls, LengthsInMicroseconds) {
    EXPECT_EQ(driver::frames_to_us(13811, 100), 138'110'000);
    EXPECT_EQ(driver::frames_to_us(1, 50), 20'000);
    EXPECT_EQ(driver::frames_to_us(1, 60), 16'666);
    EXPECT_EQ(driver::frames_to_us(0xFFFFFFFFu, 1), int64_t{0xFFFFFFFF} * 1'000'000);
    EXPECT_EQ(driver::frames_to_us(100, 0), 0);
}

TEST(MediaBus, FileUrlsEscapeWhatAUrlCannotHold) {
    const std::pair<std::string, std::string> cases[] = {
        {"/music/a.tun", "file:///music/a.tun"},
        {"/my songs/x#1?.tun", "file:///my%20songs/x%231%3F.tun"},
        {"/a%b/c~d-e_f.tun", "file:///a%25b/c~d-e_f.tun"},
        {"/\xC3\xA9t\xE9.tun", "file:///%C3%A9t%E9.tun"},  // UTF-8 and a stray Latin-1 byte alike
    };
    for (const auto& [path, url] : cases) EXPECT_EQ(media_bus::file_url(path), url) << path;
}

TEST(MediaBus, TextForTheBusIsValidUtf8) {
    const std::string replacement = "\xEF\xBF\xBD";
    const std::pair<std::string, std::string> cases[] = {
        {"plain.tun", "plain.tun"},
        {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5"},
        {"caf\xE9.tun", "caf" + replacement + ".tun"},              // Latin-1
        {"\xC0\xAF", replacement + replacement},                    // overlong '/'
        {"\xED\xA0\x80", replacement + replacement + replacement},  // a surrogate
        {"\xF4\x90\x80\x80", replacement + replacement + replacement + replacement},  // past U+10FFFF
        {"end\xE2\x82", "end" + replacement + replacement},                           // cut short
        {std::string("a\0b", 3), "a" + replacement + "b"},
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(media_bus::valid_utf8(bytes), text) << bytes;
}

TEST(MediaBus, TrackPathsAreObjectPathsOutsideTheSharedTree) {
    EXPECT_EQ(media_bus::track_path(1), "/org/playtun/track/1");
    EXPECT_NE(media_bus::track_path(1), media_bus::track_path(2));
}

TEST(MediaBus, WithoutABusNothingOpens) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/playtun-test-bus", 1);
    ::unsetenv("XDG_RUNTIME_DIR");
    const media_bus::player_link link{[] { return media_bus::player_view{}; }, [](const media_bus::request&) {}};
    EXPECT_FALSE(media_bus::open(link));
    EXPECT_FALSE(media_bus::is_open());
    media_bus::pass();  // does nothing, and says nothing
    media_bus::announce_seek(0);
}

}  // namespace
