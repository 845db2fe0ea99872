// Lengths and positions at the edge of 64-bit stereo frame counts: loop
// counts whose rendering would last more than 2^64 frames, and seeks to the
// farthest time, saturate instead of wrapping.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <cstdint>
#include <vector>

#include "song_bytes.hpp"
#include "tonera/tonera.h"

namespace {

using wide = unsigned __int128;

// One voice at one song frame a second (48000 stereo frames each), loop
// frame 0: every pass lasts frames x 48000 stereo frames.
std::vector<uint8_t> slow_song(uint32_t frames) {
    test_support::song_header h;
    h.flags = 0x01;
    h.frame_rate = 1;
    return test_support::song_bytes(
        h, test_support::interleaved_body(1, frames, [](uint32_t f, uint32_t) {
            return test_support::record_values{static_cast<uint16_t>(0x300 + f % 64), 0, 0x01, 200, 0};
        }));
}

struct song_closer {
    void operator()(tonera_song* song) const { tonera_close(song); }
};

std::unique_ptr<tonera_song, song_closer> open_bytes(const std::vector<uint8_t>& bytes) {
    tonera_song* song = nullptr;
    EXPECT_EQ(tonera_open(bytes.data(), bytes.size(), &song), 0);
    return std::unique_ptr<tonera_song, song_closer>(song);
}

TEST(ToneraEdges, LoopCountsPastTwoToTheSixtyFourFramesAreEndless) {
    constexpr uint32_t frames = 200000;
    const auto song = open_bytes(slow_song(frames));
    ASSERT_EQ(tonera_samples_per_frame(song.get()), 48000u);
    const wide pass = wide{frames} * 48000;
    const wide most = UINT64_MAX;
    // The length of `passes` passes, worked out in 128 bits: beyond what
    // 64 bits hold, the rendering has no end.
    for (const int passes : {1, 2, 1000000, 1921535841, 1921535842, 1921535843, INT_MAX}) {
        SCOPED_TRACE(passes);
        ASSERT_EQ(tonera_set_loops(song.get(), passes), 0);
        const wide exact = pass * static_cast<unsigned>(passes);
        const uint64_t expected = exact > most ? UINT64_MAX : static_cast<uint64_t>(exact);
        EXPECT_EQ(tonera_length_frames(song.get()), expected);
        EXPECT_GE(tonera_length_frames(song.get()), static_cast<uint64_t>(pass)) << "shorter than once through";
    }
    // A fade needs an end: a rendering made endless by its loop count keeps
    // its full level, as one made endless by TONERA_LOOP_FOREVER does.
    ASSERT_EQ(tonera_set_fade_ms(song.get(), 10000), 0);
    ASSERT_EQ(tonera_set_loops(song.get(), INT_MAX), 0);
    std::vector<int16_t> faded(2 * 4800), plain(2 * 4800);
    ASSERT_EQ(tonera_render_s16(song.get(), faded.data(), 4800), 4800u);
    ASSERT_EQ(tonera_set_fade_ms(song.get(), 0), 0);
    ASSERT_EQ(tonera_seek_frame(song.get(), 0), 0);
    ASSERT_EQ(tonera_render_s16(song.get(), plain.data(), 4800), 4800u);
    EXPECT_EQ(faded, plain);
}

TEST(ToneraEdges, PositionsStopAtTheLastFrameCountInsteadOfWrapping) {
    struct edge_case {
        const char* what;
        int passes;
        uint64_t length_ms;  // tonera_set_length_ms
        uint64_t seek_ms;
    } cases[] = {
        {"forever, to the farthest time", TONERA_LOOP_FOREVER, 0, UINT64_MAX},
        {"forever, to the first time past 2^64 frames", TONERA_LOOP_FOREVER, 0, UINT64_MAX / 48 + 1},
        {"forever with the farthest limit", TONERA_LOOP_FOREVER, UINT64_MAX, UINT64_MAX},
        {"passes past 2^64 frames", INT_MAX, 0, UINT64_MAX},
        {"no limit asked, the farthest limit", 0, UINT64_MAX, UINT64_MAX - 1},
    };
    const auto bytes = slow_song(200000);
    for (const edge_case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto song = open_bytes(bytes);
        ASSERT_EQ(tonera_set_loops(song.get(), c.passes), 0);
        ASSERT_EQ(tonera_set_length_ms(song.get(), c.length_ms), 0);
        ASSERT_EQ(tonera_length_frames(song.get()), UINT64_MAX);
        ASSERT_EQ(tonera_seek_ms(song.get(), c.seek_ms), 0);
        // At a song frame's start, within one song frame of the end.
        const uint64_t landed = tonera_position_frames(song.get());
        EXPECT_EQ(landed % 48000, 0u);
        EXPECT_GT(landed, UINT64_MAX - 48000);
        EXPECT_LT(tonera_song_frame(song.get()), 200000u);
        std::vector<int16_t> buffer(2 * 4096);
        uint64_t rendered = 0;
        for (size_t got; (got = tonera_render_s16(song.get(), buffer.data(), 4096)) > 0;) {
            rendered += got;
            ASSERT_GE(tonera_position_frames(song.get()), landed) << "the position wrapped";
            ASSERT_LE(rendered, 48000u);
        }
        EXPECT_EQ(tonera_position_frames(song.get()), UINT64_MAX);
        EXPECT_EQ(rendered, UINT64_MAX - landed);
        EXPECT_EQ(tonera_render_s16(song.get(), buffer.data(), 4096), 0u);
        tonera_snapshot snapshot;
        ASSERT_EQ(tonera_get_snapshot(song.get(), &snapshot), 0);
        EXPECT_EQ(snapshot.position_frames, UINT64_MAX);
    }
}

}  // namespace
