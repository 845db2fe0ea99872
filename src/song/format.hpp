// The song file format, written out once: every part of the program and
// its tools that reads or writes song files takes the layout from here.
//
//   offset  size  field
//   0       3     magic "TQK" (plain variant) or "CQK" (chip-register variant)
//   3       1     flags: bits 0..3 channel count 1..8, bit 4 interleaved
//                 layout (else planar), bit 6 aPLib-compressed body,
//                 bit 7 no repeat found (imported songs; never read by
//                 the player), bit 5 unused
//   4       2     frames per second
//   6       4     loop frame
//   10      2     song text length L
//   12      4     unpacked body size U (compressed songs)
//   16      L     song text
//   16 + L  rest  body: the frame data, or one aPLib stream of U bytes
//
// All multi-byte fields are little-endian. A frame holds one six-byte
// channel record per channel.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "base/limits.hpp"

namespace song {

constexpr std::array<uint8_t, 3> plain_magic{'T', 'Q', 'K'};
constexpr std::array<uint8_t, 3> chip_magic{'C', 'Q', 'K'};

constexpr uint16_t header_size = 16;
constexpr size_t flags_offset = 3;
constexpr size_t frame_rate_offset = 4;
constexpr size_t loop_frame_offset = 6;
constexpr size_t text_length_offset = 10;
constexpr size_t unpacked_size_offset = 12;

constexpr uint8_t flag_channel_mask = 0x0F;
constexpr uint8_t flag_interleaved = 0x10;
constexpr uint8_t flag_compressed = 0x40;
// Set by the importer on a song whose captured frames showed no repeat:
// it loops from loop frame 0 only because it must loop somewhere, and
// jumps there. The player ignores the bit, as it always has.
constexpr uint8_t flag_no_repeat_found = 0x80;

constexpr int max_channels = 8;

// The largest song file, and the largest unpacked body, that any reader of
// songs accepts (256 MiB): readers read at most this plus one byte and check
// a claimed unpacked size before allocating.
constexpr uint64_t max_song_bytes = limits::max_song_bytes;
// The largest text length whose data offset 16 + L still fits 16 bits.
constexpr uint32_t max_text_length = 0xFFFFu - header_size;

// A channel record, as an interleaved frame stores it: pitch low byte,
// pitch high byte, pulse, control, volume, filter.
constexpr size_t record_size = 6;
// The planar layout stores six planes of channel_count x frame_total bytes:
// record byte k of every channel and frame lies in plane
// plane_of_record_byte[k], so the pitch's high byte comes first. The order
// is its own inverse: plane k also holds record byte plane_of_record_byte[k].
constexpr std::array<size_t, record_size> plane_of_record_byte{1, 0, 2, 3, 4, 5};

// Appends one channel record as an interleaved frame stores it.
void put_record(std::vector<uint8_t>& out, uint16_t pitch, uint8_t pulse, uint8_t control, uint8_t volume,
                uint8_t filter);

// The 16 header bytes as fields.
struct song_header {
    std::array<uint8_t, 3> magic = plain_magic;
    uint8_t flags = flag_interleaved;
    uint16_t frame_rate = 50;
    uint32_t loop_frame = 0;
    uint16_t text_length = 0;
    uint32_t unpacked_size = 0;  // meaningful only with flag_compressed

    bool chip_variant() const { return magic[0] == chip_magic[0]; }
    unsigned channel_count() const { return flags & flag_channel_mask; }
    bool interleaved() const { return (flags & flag_interleaved) != 0; }
    bool compressed() const { return (flags & flag_compressed) != 0; }
    bool no_repeat_found() const { return (flags & flag_no_repeat_found) != 0; }
};

// The first three bytes are one of the two magics (case-sensitive).
bool has_song_magic(std::span<const uint8_t> bytes);

// The header fields of a file of at least header_size bytes.
song_header header_fields(std::span<const uint8_t> bytes);

// Appends the 16 header bytes.
void put_header(std::vector<uint8_t>& out, const song_header& header);

// What the header reader makes of a song image.
enum class header_outcome {
    ok,
    not_a_song_file,
    compressed_data_invalid,
    decompression_failed,
    channel_count_invalid,
    too_large,      // the file or its unpacked body is over max_song_bytes
    out_of_memory,  // the memory for the image could not be had
};

// The one-line message that reports a refused song ("" for ok).
const char* song_error_message(header_outcome outcome);

}  // namespace song
