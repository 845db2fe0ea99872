// Song file conversions: layouts against independently built bodies, exact
// round trips of packing and relayout, and the songs they refuse.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "song_bytes.hpp"
#include "stored_song.hpp"

namespace {

using test_support::record_values;
using tuntool::stored_song;

record_values sample_record(uint32_t frame, uint32_t channel) {
    return {static_cast<uint16_t>(0x1234 + frame * 0x101 + channel * 0x2000), static_cast<uint8_t>(frame * 3 + channel),
            static_cast<uint8_t>(0x40 + channel), static_cast<uint8_t>(200 - frame),
            static_cast<uint8_t>(255 - channel)};
}

std::vector<uint8_t> song_with(uint8_t flags, const std::vector<uint8_t>& body, const std::string& text = "") {
    test_support::song_header h;
    h.flags = flags;
    h.text = text;
    h.loop_frame = 7;
    return test_support::song_bytes(h, body);
}

std::string error_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const tuntool::tool_error& e) {
        return e.what();
    }
    return "";
}

TEST(Layout, ConversionsMatchBodiesBuiltByHand) {
    for (uint32_t channels : {1u, 3u, 8u}) {
        for (uint32_t frames : {1u, 5u, 64u}) {
            const auto interleaved = test_support::interleaved_body(channels, frames, sample_record);
            const auto planar = test_support::planar_body(channels, frames, sample_record);
            EXPECT_EQ(tuntool::interleaved_to_planar(interleaved, channels), planar) << channels << "x" << frames;
            EXPECT_EQ(tuntool::planar_to_interleaved(planar, channels), interleaved) << channels << "x" << frames;
        }
    }
}

TEST(Layout, BytesAfterTheLastWholeFrameAreKept) {
    auto interleaved = test_support::interleaved_body(2, 4, sample_record);
    auto planar = test_support::planar_body(2, 4, sample_record);
    const std::vector<uint8_t> tail{1, 2, 3, 4, 5};
    interleaved.insert(interleaved.end(), tail.begin(), tail.end());
    planar.insert(planar.end(), tail.begin(), tail.end());
    EXPECT_EQ(tuntool::interleaved_to_planar(interleaved, 2), planar);
    EXPECT_EQ(tuntool::planar_to_interleaved(planar, 2), interleaved);
}

TEST(SongFile, ParseAndWriteGiveBackTheSameBytes) {
    const auto bytes = song_with(0xB3, test_support::interleaved_body(3, 10, sample_record), "some text");
    const stored_song song = tuntool::parse_song_file(bytes);
    EXPECT_EQ(song.channel_count(), 3u);
    EXPECT_TRUE(song.interleaved());
    EXPECT_FALSE(song.compressed());
    EXPECT_EQ(song.loop_frame, 7u);
    EXPECT_EQ(std::string(song.text.begin(), song.text.end()), "some text");
    EXPECT_EQ(tuntool::song_file_bytes(song), bytes);
}

TEST(SongFile, PackThenUnpackGivesTheOriginalBytes) {
    for (uint8_t flags : {uint8_t{0x13}, uint8_t{0x03}, uint8_t{0xB8}}) {
        const unsigned channels = flags & 0x0F;
        auto body = (flags & 0x10) ? test_support::interleaved_body(channels, 300, sample_record)
                                   : test_support::planar_body(channels, 300, sample_record);
        body.push_back(0x99);  // a trailing byte rides along
        const auto original = song_with(flags, body, "packed");
        const stored_song packed = tuntool::pack_song(tuntool::parse_song_file(original));
        EXPECT_TRUE(packed.compressed());
        EXPECT_EQ(packed.flags, flags | 0x40);
        EXPECT_EQ(packed.unpacked_size, body.size());
        EXPECT_LT(packed.body.size(), body.size());
        EXPECT_EQ(tuntool::frame_data(packed), body);
        const auto reread = tuntool::parse_song_file(tuntool::song_file_bytes(packed));
        EXPECT_EQ(tuntool::song_file_bytes(tuntool::unpack_song(reread)), original) << int(flags);
    }
}

TEST(SongFile, RelayoutTwiceGivesTheOriginalBytes) {
    struct case_ {
        uint8_t flags;
        bool to_interleaved;
    };
    for (const case_ c : {case_{0x13, false}, case_{0x03, true}, case_{0x18, false}, case_{0x02, true}}) {
        const unsigned channels = c.flags & 0x0F;
        auto body = (c.flags & 0x10) ? test_support::interleaved_body(channels, 50, sample_record)
                                     : test_support::planar_body(channels, 50, sample_record);
        body.insert(body.end(), {7, 7});
        const auto original = song_with(c.flags, body);
        const stored_song once = tuntool::relayout_song(tuntool::parse_song_file(original), c.to_interleaved);
        EXPECT_EQ(once.interleaved(), c.to_interleaved);
        EXPECT_NE(once.body, body);
        const stored_song twice = tuntool::relayout_song(once, !c.to_interleaved);
        EXPECT_EQ(tuntool::song_file_bytes(twice), original) << int(c.flags);

        // Compressed songs stay compressed and come back exactly as packed.
        const stored_song packed = tuntool::pack_song(tuntool::parse_song_file(original));
        const stored_song packed_once = tuntool::relayout_song(packed, c.to_interleaved);
        EXPECT_TRUE(packed_once.compressed());
        EXPECT_EQ(tuntool::frame_data(packed_once), once.body);
        EXPECT_EQ(tuntool::song_file_bytes(tuntool::relayout_song(packed_once, !c.to_interleaved)),
                  tuntool::song_file_bytes(packed));
    }
}

TEST(SongFile, RelayoutToTheSameLayoutChangesNothing) {
    const auto original = song_with(0x12, test_support::interleaved_body(2, 9, sample_record));
    EXPECT_EQ(tuntool::song_file_bytes(tuntool::relayout_song(tuntool::parse_song_file(original), true)), original);
}

TEST(SongFile, RefusesWhatItCannotConvert) {
    const auto plain = song_with(0x13, test_support::interleaved_body(3, 4, sample_record));
    const stored_song song = tuntool::parse_song_file(plain);
    stored_song packed = tuntool::pack_song(song);
    stored_song no_size = packed;
    no_size.unpacked_size = 0;
    stored_song wrong_size = packed;
    wrong_size.unpacked_size += 1;
    stored_song broken = packed;
    broken.body.resize(2);
    stored_song no_channels = song;
    no_channels.flags = 0x10;

    struct case_ {
        std::function<void()> action;
        const char* message;
    };
    const std::vector<case_> cases = {
        {[] {
             tuntool::parse_song_file(std::vector<uint8_t>{'T', 'Q', 'X', 0x13});
         },
         "not a song file"},
        {[] {
             tuntool::parse_song_file(std::vector<uint8_t>{'t', 'Q', 'K', 0x13, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
         },
         "not a song file"},
        {[] {
             tuntool::parse_song_file(std::vector<uint8_t>{'T', 'Q', 'K', 0x13, 50});
         },
         "16-byte header"},
        {[] {
             tuntool::parse_song_file(std::vector<uint8_t>{'C', 'Q', 'K', 0x13, 50, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0});
         },
         "song text"},
        {[&] { tuntool::pack_song(packed); }, "already compressed"},
        {[&] { tuntool::unpack_song(song); }, "not compressed"},
        {[&] { tuntool::unpack_song(no_size); }, "unpacked size of 0"},
        {[&] { tuntool::unpack_song(wrong_size); }, "the header says"},
        {[&] { tuntool::unpack_song(broken); }, "damaged"},
        {[&] { tuntool::relayout_song(no_channels, false); }, "channel count 0"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string message = error_of(cases[i].action);
        EXPECT_NE(message.find(cases[i].message), std::string::npos) << "case " << i << ": " << message;
    }
}

}  // namespace
