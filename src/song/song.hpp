// Song data: the song image held in memory, its header, the song position and
// the frame readers that copy one frame into the channel records.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "song/format.hpp"

namespace song {

// The six values of one channel in one frame.
struct channel_record {
    uint16_t pitch = 0;
    uint8_t pulse = 0;
    uint8_t control = 0;
    uint8_t volume = 0;
    uint8_t filter = 0;
};

using frame_reader_fn = void (*)();

// One song at a time. Everything here is set by the loader and the header
// reader on the main thread while no audio runs; during playback the audio
// thread reads it and advances frame_index.
struct song_state {
    std::unique_ptr<uint8_t[]> image;     // the whole song image
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
    // The next frame to read. The player screen's seek keys move it from the
    // main thread while the audio thread advances it.
    std::atomic<uint32_t> frame_index{0};
    std::array<channel_record, max_channels> channel_records{};
};

extern song_state current;

// The song text (L bytes after the header) of the current image; empty when
// no song is open.
std::span<const uint8_t> song_text();

// The named file exists, is a regular file and begins with a song magic:
// the programs never write their output over such a file.
bool is_song_file(const std::string& file_name);

// Reads the whole file into a new song image, releasing the previous one.
// Every failure ends the program through the failure reporter.
void load_song(const std::string& file_name);

// Takes a copy of the given bytes as the song image (tests, fuzzing, tools).
void load_song_bytes(std::span<const uint8_t> bytes);

// Validates the header of the song image, unpacks a compressed body and
// derives the playback values; sample_rate gives samples_per_frame. Images
// too short for their header or text, a frame rate of 0 and songs without a
// whole frame are not song files. An unpacked image that cannot be allocated
// (D + U beyond 32 bits included) ends the program through the failure
// reporter.
header_outcome read_header(uint32_t sample_rate);

// Frame readers: copy frame frame_index into channel records
// 0..channel_count-1. A frame_index at or past frame_total leaves the records
// unchanged.
void read_frame_interleaved();
void read_frame_planar();

// Runs the frame reader chosen by the header reader (nothing before one was
// chosen).
void read_frame();

// Releases the song image.
void release_song();

// Returns the module to its start state (tests).
void reset_song_state();

}  // namespace song
