#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "song/aplib_pack.hpp"
#include "song/song.hpp"
#include "song_image.hpp"

using song::header_outcome;
using song_test::header_fields;
using song_test::song_image;

namespace {

class HeaderReader : public ::testing::Test {
protected:
    void SetUp() override { song_test::reset_state(); }
    void TearDown() override { song_test::reset_state(); }

    header_outcome open(const std::vector<uint8_t>& image, uint32_t sample_rate = song::output_rate) {
        (void)song::load_song_bytes(song_test::state(), image);
        return song::read_header(song_test::state(), sample_rate);
    }
};

std::vector<uint8_t> counting_bytes(size_t size) {
    std::vector<uint8_t> out(size);
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<uint8_t>(i * 7 + 3);
    return out;
}

// A compressed song: text, a packed body and a stated unpacked size.
std::vector<uint8_t> compressed_song(uint8_t flags, const std::vector<uint8_t>& body, uint32_t unpacked_size,
                                     const std::string& text = "") {
    header_fields h;
    h.flags = flags;
    h.text = text;
    h.unpacked_size = unpacked_size;
    return song_image(h, packer::aplib_pack(body));
}

TEST_F(HeaderReader, ThreeChannelExampleDerivesItsValues) {
    // Bytes 3..15 of the header as given for a 3-channel interleaved song.
    std::vector<uint8_t> image{'T', 'Q', 'K', 0x13, 0x32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    image.resize(16 + 18000, 0x55);

    ASSERT_EQ(open(image), header_outcome::ok);
    EXPECT_EQ(song_test::state().data_offset, 16);
    EXPECT_EQ(song_test::state().channel_count, 3);
    EXPECT_EQ(song_test::state().frame_size, 18);
    EXPECT_EQ(song_test::state().frame_total, 1000);
    EXPECT_EQ(song_test::state().samples_per_frame, 960u);
    EXPECT_EQ(song_test::state().frame_rate, 50);
    EXPECT_EQ(song_test::state().loop_frame, 0u);
    EXPECT_FALSE(song_test::state().chip_variant);
    EXPECT_EQ(song_test::state().frame_reader, &song::read_frame_interleaved);
    EXPECT_TRUE(song::song_text(song_test::state()).empty());
    EXPECT_EQ(song_test::state().header_copy, (std::array<uint8_t, 4>{'T', 'Q', 'K', 0x13}));
}

TEST_F(HeaderReader, MagicIsThreeCaseSensitiveBytes) {
    struct row {
        std::string magic;
        uint8_t flags;
        header_outcome outcome;
        bool chip_variant;
    };
    const row rows[] = {
        {"TQK", 0x11, header_outcome::ok, false},
        {"CQK", 0x11, header_outcome::ok, true},
        // The fourth byte is the flags byte, whatever it holds.
        {"TQK", 0x31, header_outcome::ok, false},
        {"CQK", 0x91, header_outcome::ok, true},
        {"tqk", 0x11, header_outcome::not_a_song_file, false},
        {"TQk", 0x11, header_outcome::not_a_song_file, false},
        {"cQK", 0x11, header_outcome::not_a_song_file, false},
        {"TqK", 0x11, header_outcome::not_a_song_file, false},
        {"XQK", 0x11, header_outcome::not_a_song_file, false},
        {"TXK", 0x11, header_outcome::not_a_song_file, false},
        {"CQX", 0x11, header_outcome::not_a_song_file, false},
        {"TCK", 0x11, header_outcome::not_a_song_file, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.magic);
        header_fields h;
        h.magic = r.magic;
        h.flags = r.flags;
        EXPECT_EQ(open(song_image(h, std::vector<uint8_t>(12))), r.outcome);
        if (r.outcome == header_outcome::ok) {
            EXPECT_EQ(song_test::state().chip_variant, r.chip_variant);
        }
    }
}

TEST_F(HeaderReader, FlagBitsFiveAndSevenChangeNothing) {
    const auto body = counting_bytes(6 * 5 * 4);
    for (uint8_t layout : {0x00, 0x10}) {
        for (uint8_t ignored : {0x00, 0x20, 0x80, 0xA0}) {
            SCOPED_TRACE(static_cast<int>(layout | ignored));
            header_fields h;
            h.flags = static_cast<uint8_t>(0x05 | layout | ignored);
            ASSERT_EQ(open(song_image(h, body)), header_outcome::ok);
            EXPECT_EQ(song_test::state().channel_count, 5);
            EXPECT_EQ(song_test::state().frame_total, 4);
            EXPECT_EQ(song_test::state().frame_reader,
                      layout ? &song::read_frame_interleaved : &song::read_frame_planar);
        }
    }
}

TEST_F(HeaderReader, ChannelCountOutsideOneToEightIsRefused) {
    struct row {
        uint8_t flags;
        header_outcome outcome;
    };
    const row rows[] = {
        {0x10, header_outcome::channel_count_invalid},
        {0x00, header_outcome::channel_count_invalid},
        {0x19, header_outcome::channel_count_invalid},
        {0x0F, header_outcome::channel_count_invalid},
        {0xB0, header_outcome::channel_count_invalid},
        {0x11, header_outcome::ok},
        {0x18, header_outcome::ok},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.flags));
        header_fields h;
        h.flags = r.flags;
        EXPECT_EQ(open(song_image(h, counting_bytes(48 * 3))), r.outcome);
    }
}

TEST_F(HeaderReader, FrameTotalCountsWholeFramesOnly) {
    struct row {
        uint8_t channels;
        size_t body_size;
        int32_t frame_total;
    };
    const row rows[] = {{1, 18, 3}, {1, 19, 3}, {1, 23, 3}, {1, 24, 4}, {3, 18000, 1000}, {8, 48 * 2 + 47, 2}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.body_size);
        header_fields h;
        h.flags = static_cast<uint8_t>(0x10 | r.channels);
        h.text = "abc";
        ASSERT_EQ(open(song_image(h, counting_bytes(r.body_size))), header_outcome::ok);
        EXPECT_EQ(song_test::state().frame_total, r.frame_total);
        EXPECT_EQ(song_test::state().frame_size, 6 * r.channels);
        EXPECT_EQ(song_test::state().data_offset, 19);
    }
}

TEST_F(HeaderReader, SamplesPerFrameDropsTheRemainder) {
    struct row {
        uint16_t frame_rate;
        uint32_t sample_rate;
        uint32_t samples_per_frame;
    };
    const row rows[] = {{50, song::output_rate, 960},
                        {60, song::output_rate, 800},
                        {7, song::output_rate, 6857},
                        {50, 44100, 882},
                        {65535, song::output_rate, 0}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.frame_rate);
        header_fields h;
        h.frame_rate = r.frame_rate;
        h.loop_frame = 0x01020304;
        ASSERT_EQ(open(song_image(h, counting_bytes(12)), r.sample_rate), header_outcome::ok);
        EXPECT_EQ(song_test::state().frame_rate, r.frame_rate);
        EXPECT_EQ(song_test::state().samples_per_frame, r.samples_per_frame);
        EXPECT_EQ(song_test::state().loop_frame, 0x01020304u);
    }
}

TEST_F(HeaderReader, SongTextFollowsTheHeader) {
    header_fields h;
    h.text = "Tune by nobody";
    ASSERT_EQ(open(song_image(h, counting_bytes(6))), header_outcome::ok);
    const auto text = song::song_text(song_test::state());
    EXPECT_EQ(std::string(text.begin(), text.end()), "Tune by nobody");
    EXPECT_EQ(song_test::state().data_offset, 16 + 14);
    EXPECT_EQ(song_test::state().frame_total, 1);
}

TEST_F(HeaderReader, ImagesThatCannotHoldWhatTheHeaderSaysAreRefused) {
    header_fields plain;
    const auto valid = song_image(plain, counting_bytes(6));

    // Shorter than the header itself.
    EXPECT_EQ(open({}), header_outcome::not_a_song_file);
    EXPECT_EQ(open(std::vector<uint8_t>(valid.begin(), valid.begin() + 15)), header_outcome::not_a_song_file);

    // Text running past the end of the file.
    header_fields long_text;
    long_text.text_length_field = 10;
    EXPECT_EQ(open(song_image(long_text, counting_bytes(9))), header_outcome::not_a_song_file);
    EXPECT_TRUE(song::song_text(song_test::state()).empty());

    // A text length whose data offset would not fit 16 bits, even with the
    // bytes present; the largest one that fits is accepted.
    header_fields huge_text;
    huge_text.text = std::string(65520, 't');
    EXPECT_EQ(open(song_image(huge_text, counting_bytes(600))), header_outcome::not_a_song_file);
    huge_text.text = std::string(65519, 't');
    ASSERT_EQ(open(song_image(huge_text, counting_bytes(600))), header_outcome::ok);
    EXPECT_EQ(song_test::state().data_offset, 65535);
    EXPECT_EQ(song_test::state().frame_total, 100);

    // No frame rate.
    header_fields no_rate;
    no_rate.frame_rate = 0;
    EXPECT_EQ(open(song_image(no_rate, counting_bytes(60))), header_outcome::not_a_song_file);

    // No whole frame: an empty body and one a byte short of a frame.
    header_fields two_channels;
    two_channels.flags = 0x12;
    EXPECT_EQ(open(song_image(two_channels, {})), header_outcome::not_a_song_file);
    EXPECT_EQ(open(song_image(two_channels, counting_bytes(11))), header_outcome::not_a_song_file);
    EXPECT_EQ(song_test::state().frame_total, 0);
    EXPECT_EQ(open(song_image(two_channels, counting_bytes(12))), header_outcome::ok);
}

TEST_F(HeaderReader, ChecksKeepTheirOrder) {
    // A bad channel count is reported before a missing frame rate or body.
    header_fields h;
    h.flags = 0x10;
    h.frame_rate = 0;
    EXPECT_EQ(open(song_image(h, {})), header_outcome::channel_count_invalid);

    // A compressed song is unpacked before its channel count is looked at.
    const auto body = counting_bytes(60);
    EXPECT_EQ(open(compressed_song(0x50, body, 61)), header_outcome::decompression_failed);
    EXPECT_EQ(open(compressed_song(0x50, body, 60)), header_outcome::channel_count_invalid);
    EXPECT_EQ(open(compressed_song(0x40, body, 0)), header_outcome::compressed_data_invalid);
}

TEST_F(HeaderReader, CompressedSongTakesItsFramesFromTheUnpackedSize) {
    std::vector<uint8_t> body(6 * 2 * 50);
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<uint8_t>(i % 12 == 0 ? i / 12 : 0);
    const auto image = compressed_song(0x52, body, static_cast<uint32_t>(body.size()), "packed");
    ASSERT_LT(image.size(), body.size());

    ASSERT_EQ(open(image), header_outcome::ok);
    EXPECT_EQ(song_test::state().frame_total, 50);
    EXPECT_EQ(song_test::state().data_offset, 22);
    EXPECT_EQ(song_test::state().image_size, 22u + 600u);
    EXPECT_EQ(std::string(song::song_text(song_test::state()).begin(), song::song_text(song_test::state()).end()),
              "packed");
    EXPECT_TRUE(std::equal(body.begin(), body.end(), song_test::state().image.get() + 22));
    // The header stays in front of the unpacked body.
    EXPECT_EQ(song_test::state().image[0], 'T');
    EXPECT_EQ(song_test::state().image[3], 0x52);
}

TEST_F(HeaderReader, CompressedSongMustUnpackToExactlyItsSize) {
    const auto body = counting_bytes(36);
    struct row {
        const char* what;
        std::vector<uint8_t> image;
        header_outcome outcome;
    };
    header_fields zero;
    zero.flags = 0x51;
    header_fields stated;
    stated.flags = 0x51;
    stated.unpacked_size = 36;
    const row rows[] = {
        {"exact", compressed_song(0x51, body, 36), header_outcome::ok},
        {"one byte short", compressed_song(0x51, body, 37), header_outcome::decompression_failed},
        {"one byte over", compressed_song(0x51, body, 35), header_outcome::decompression_failed},
        {"U zero", compressed_song(0x51, body, 0), header_outcome::compressed_data_invalid},
        {"U zero, no stream", song_image(zero, {}), header_outcome::compressed_data_invalid},
        {"no stream", compressed_song(0x51, {}, 36), header_outcome::decompression_failed},
        {"broken stream", song_image(stated, {0x61}), header_outcome::decompression_failed},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(open(r.image), r.outcome);
    }
    // The image is replaced by header plus U bytes even when unpacking fails.
    EXPECT_EQ(open(compressed_song(0x51, body, 37, "xy")), header_outcome::decompression_failed);
    EXPECT_EQ(song_test::state().image_size, 18u + 37u);
    EXPECT_EQ(song_test::state().frame_total, 0);
}

// Claimed unpacked sizes over the limit are refused before any memory is
// taken; at the limit the header reader still unpacks.
TEST_F(HeaderReader, UnpackedSizeOverTheLimitIsRefusedBeforeAllocating) {
    struct row {
        uint32_t unpacked_size;
        header_outcome outcome;
    };
    const uint32_t limit = static_cast<uint32_t>(song::max_song_bytes);
    const row rows[] = {
        {0xFFFFFFFFu, header_outcome::too_large},
        {0xFFFFFFF0u, header_outcome::too_large},
        {limit - 16 - 16 + 1, header_outcome::too_large},  // D + U one past the limit
        {limit - 16 - 16, header_outcome::decompression_failed},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.unpacked_size);
        header_fields h;
        h.flags = 0x51;
        h.unpacked_size = r.unpacked_size;
        h.text = std::string(16, 't');
        EXPECT_EQ(open(song_image(h, packer::aplib_pack(counting_bytes(36)))), r.outcome);
        EXPECT_EQ(song_test::state().frame_total, 0);
    }
}

}  // namespace
