#include <gtest/gtest.h>

#include <vector>

#include "song/aplib_pack.hpp"
#include "song/song.hpp"
#include "song_image.hpp"

using song::channel_record;
using song::header_outcome;
using song_test::header_fields;
using song_test::song_image;

namespace {

bool same(const channel_record& a, const channel_record& b) {
    return a.pitch == b.pitch && a.pulse == b.pulse && a.control == b.control && a.volume == b.volume &&
           a.filter == b.filter;
}

// The music both layouts are written from: records[frame][channel].
using music = std::vector<std::vector<channel_record>>;

music sample_music(int channels, int frames) {
    music m(frames, std::vector<channel_record>(channels));
    for (int f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c) {
            const int k = f * 16 + c;
            m[f][c] = {static_cast<uint16_t>(0x1000 * (c + 1) + 0x11 * f + 0x0300), static_cast<uint8_t>(k + 1),
                       static_cast<uint8_t>(k + 2), static_cast<uint8_t>(k + 3), static_cast<uint8_t>(k + 4)};
        }
    return m;
}

// Frame after frame, each channel's pitch low byte first.
std::vector<uint8_t> interleaved_body(const music& m) {
    std::vector<uint8_t> out;
    for (const auto& frame : m)
        for (const auto& r : frame)
            out.insert(out.end(), {static_cast<uint8_t>(r.pitch & 0xFF), static_cast<uint8_t>(r.pitch >> 8), r.pulse,
                                   r.control, r.volume, r.filter});
    return out;
}

// Six planes, pitch high byte first, each plane channel after channel.
std::vector<uint8_t> planar_body(const music& m) {
    std::vector<uint8_t> out;
    const size_t channels = m[0].size();
    for (int plane = 0; plane < 6; ++plane)
        for (size_t c = 0; c < channels; ++c)
            for (const auto& frame : m) {
                const channel_record& r = frame[c];
                const uint8_t values[6] = {static_cast<uint8_t>(r.pitch >> 8),
                                           static_cast<uint8_t>(r.pitch & 0xFF),
                                           r.pulse,
                                           r.control,
                                           r.volume,
                                           r.filter};
                out.push_back(values[plane]);
            }
    return out;
}

constexpr channel_record sentinel{0xBEEF, 0xA1, 0xA2, 0xA3, 0xA4};

class FrameReader : public ::testing::Test {
protected:
    void SetUp() override { song_test::reset_state(); }
    void TearDown() override { song_test::reset_state(); }

    void open(const header_fields& h, const std::vector<uint8_t>& body) {
        (void)song::load_song_bytes(song_test::state(), song_image(h, body));
        ASSERT_EQ(song::read_header(song_test::state(), song::output_rate), header_outcome::ok);
    }

    static void fill_records_with_sentinel() { song_test::state().channel_records.fill(sentinel); }

    static void read(uint32_t frame) {
        song_test::state().frame_index.store(frame, std::memory_order_relaxed);
        song::read_frame(song_test::state());
    }
};

TEST_F(FrameReader, BothLayoutsGiveTheSameRecords) {
    const int channels = 3;
    const int frames = 5;
    const music m = sample_music(channels, frames);
    struct layout {
        const char* name;
        uint8_t flags;
        std::vector<uint8_t> body;
    };
    const layout layouts[] = {
        {"interleaved", 0x13, interleaved_body(m)},
        {"planar", 0x03, planar_body(m)},
        {"interleaved, packed", 0x53, interleaved_body(m)},
        {"planar, packed", 0x43, planar_body(m)},
    };
    for (const auto& l : layouts) {
        SCOPED_TRACE(l.name);
        header_fields h;
        h.flags = l.flags;
        h.text = "some text";
        std::vector<uint8_t> body = l.body;
        if (l.flags & 0x40) {
            h.unpacked_size = static_cast<uint32_t>(body.size());
            body = packer::aplib_pack(body);
        }
        open(h, body);
        ASSERT_EQ(song_test::state().frame_total, frames);
        for (int f = frames - 1; f >= 0; --f) {
            fill_records_with_sentinel();
            read(static_cast<uint32_t>(f));
            for (int c = 0; c < channels; ++c)
                EXPECT_TRUE(same(song_test::state().channel_records[c], m[f][c])) << f << c;
            // Channels the song does not have keep what they held.
            for (int c = channels; c < song::max_channels; ++c)
                EXPECT_TRUE(same(song_test::state().channel_records[c], sentinel));
        }
    }
}

TEST_F(FrameReader, PlanarVolumeOfChannelOneFrameTwoSitsAtOffset38) {
    header_fields h;
    h.flags = 0x02;
    h.text = "xyz";
    std::vector<uint8_t> body(6 * 2 * 4, 0);
    body[38] = 0x5A;
    open(h, body);
    ASSERT_EQ(song_test::state().frame_total, 4);
    read(2);
    EXPECT_EQ(song_test::state().channel_records[1].volume, 0x5A);
    EXPECT_EQ(song_test::state().channel_records[0].volume, 0);
    EXPECT_EQ(song_test::state().channel_records[1].filter, 0);
    read(1);
    EXPECT_EQ(song_test::state().channel_records[1].volume, 0);
}

TEST_F(FrameReader, PlanarBodyIgnoresTrailingBytes) {
    const music m = sample_music(2, 3);
    auto body = planar_body(m);
    body.insert(body.end(), {1, 2, 3, 4, 5});
    header_fields h;
    h.flags = 0x02;
    open(h, body);
    ASSERT_EQ(song_test::state().frame_total, 3);
    read(2);
    EXPECT_TRUE(same(song_test::state().channel_records[1], m[2][1]));
}

TEST_F(FrameReader, FrameIndexOutsideTheSongLeavesRecordsAlone) {
    const music m = sample_music(2, 4);
    for (const bool interleaved : {true, false}) {
        SCOPED_TRACE(interleaved);
        header_fields h;
        h.flags = interleaved ? 0x12 : 0x02;
        open(h, interleaved ? interleaved_body(m) : planar_body(m));
        for (const uint32_t frame : {4u, 5u, 1000000u, 0xFFFFFFFFu}) {
            fill_records_with_sentinel();
            read(frame);
            EXPECT_TRUE(same(song_test::state().channel_records[0], sentinel)) << frame;
            EXPECT_TRUE(same(song_test::state().channel_records[1], sentinel)) << frame;
        }
    }
}

TEST_F(FrameReader, NothingIsReadWithoutAnAcceptedSong) {
    fill_records_with_sentinel();
    read(0);  // no song at all
    EXPECT_TRUE(same(song_test::state().channel_records[0], sentinel));

    // A refused song after an accepted one must not be read with the old
    // song's frame count.
    header_fields h;
    h.flags = 0x12;
    open(h, interleaved_body(sample_music(2, 40)));
    header_fields refused;
    refused.flags = 0x1F;
    (void)song::load_song_bytes(song_test::state(), song_image(refused, std::vector<uint8_t>(12)));
    ASSERT_EQ(song::read_header(song_test::state(), song::output_rate), header_outcome::channel_count_invalid);
    fill_records_with_sentinel();
    read(0);
    EXPECT_TRUE(same(song_test::state().channel_records[0], sentinel));
}

}  // namespace
