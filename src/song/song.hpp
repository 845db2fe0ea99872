// Song data: the song image held in memory, its header values, the song
// position and the frame readers that copy one frame into the channel
// records. Everything belongs to one song_state; any number of them may
// exist at once, each used by one engine instance.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>

#include "song/channel_record.hpp"
#include "song/format.hpp"

namespace song {

struct song_state;
using frame_reader_fn = void (*)(song_state&);

// One song. The loader and the header reader set everything here while no
// audio runs; during playback the audio thread reads it and advances
// frame_index, which the main thread may move (seeks).
struct song_state {
    std::unique_ptr<uint8_t[]> image;  // the whole song image
    uint32_t image_size = 0;
    std::array<uint8_t, 4> header_copy{};  // magic and flags
    bool chip_variant = false;
    uint16_t frame_rate = 50;
    uint32_t loop_frame = 0;
    uint16_t text_length = 0;
    uint32_t unpacked_size = 0;
    uint16_t data_offset = header_size;
    uint8_t channel_count = 0;  // 1..8 once the header is accepted
    uint8_t frame_size = 0;     // 6 x channel_count
    uint32_t samples_per_frame = 0;
    int32_t frame_total = 0;
    frame_reader_fn frame_reader = nullptr;
    // The next frame to read.
    std::atomic<uint32_t> frame_index{0};
    std::array<channel_record, max_channels> channel_records{};
};

// The song text (L bytes after the header) of the image; empty when no song
// is open.
std::span<const uint8_t> song_text(const song_state& s);

// Takes a copy of the given bytes as the song image, releasing the previous
// one. too_large for more than max_song_bytes, out_of_memory when the copy
// cannot be had; the state then holds no image.
header_outcome load_song_bytes(song_state& s, std::span<const uint8_t> bytes);

// Takes an image that was read elsewhere (size at most max_song_bytes).
void install_image(song_state& s, std::unique_ptr<uint8_t[]> image, uint32_t size);

// An image buffer of the given size, uninitialised, or null when the memory
// cannot be had or the size is over max_song_bytes.
std::unique_ptr<uint8_t[]> allocate_image(uint64_t size);

// Validates the header of the song image, unpacks a compressed body and
// derives the playback values; sample_rate gives samples_per_frame. Images
// too short for their header or text, a frame rate of 0 and songs without a
// whole frame are not song files; an unpacked size over max_song_bytes is
// too_large, and an unpacked image whose memory cannot be had is
// out_of_memory. Never allocates more than max_song_bytes.
header_outcome read_header(song_state& s, uint32_t sample_rate);

// Frame readers: copy frame frame_index into channel records
// 0..channel_count-1. A frame_index at or past frame_total leaves the records
// unchanged.
void read_frame_interleaved(song_state& s);
void read_frame_planar(song_state& s);

// Runs the frame reader chosen by the header reader (nothing before one was
// chosen).
void read_frame(song_state& s);

// Releases the song image.
void release_song(song_state& s);

}  // namespace song
