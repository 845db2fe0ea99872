// Imports a PSID tune: the player library loads it, runs its init routine
// and calls its play routine on the tune's schedule, and the chip's
// registers are read after every slice of emulated time the library runs
// per call (about 4.6 ms with the library version in use: however little
// sound is asked for, a call runs one whole slice, so this is the finest
// step its interface offers) and turned into song frames (chip_frames.hpp).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "chip_frames.hpp"
#include "psid_header.hpp"
#include "song/channel_record.hpp"

namespace psid_import {

class song_lengths;

struct import_options {
    unsigned subtune = 0;             // 1..songs; 0: the file's start song
    std::optional<uint32_t> frames;   // the most frames to capture, or
    double seconds = 180.0;           // the most seconds (used when frames is empty)
    std::optional<chip_model> model;  // the filter curve's chip model; empty: the file's, else 6581
    // The capture ends after this many seconds in which every voice stays
    // silent, and the song where the silence began; 0: never.
    double silence_seconds = 10.0;
    // Lengths of tunes by their files' digests; a tune found there is
    // captured for exactly its length, and silence does not end it.
    const song_lengths* lengths = nullptr;
    // Told the frames captured so far and the most there will be.
    std::function<void(uint32_t done, uint32_t most)> progress;
};

// Bounds of what one import may capture.
constexpr double longest_capture_seconds = 3600.0;
// The most song frames a second: a tune that times its own calls gets
// frames of its call period, at least 4000 cycles of the faster clock.
constexpr unsigned most_frames_a_second = 256;

// A repeat of the captured frames counts as the tune starting over when it
// lasts this long at the end of the capture, and its period is no shorter
// than the shortest loop; with a length from the database the capture runs
// on past that length for the repeat to show.
constexpr double repeat_seconds = 5.0;
constexpr double shortest_loop_seconds = 1.0;

// What decided where the song ends.
enum class song_end {
    asked,     // the length asked for, or the default
    database,  // the tune's length in the song-length database
    silence,   // every voice fell silent for good
};

struct imported_tune {
    psid_header header;
    unsigned subtune = 0;  // the one imported, 1..songs
    unsigned songs = 0;    // tunes in the file
    chip_model model = chip_model::mos6581;
    chip_timing timing = pal_timing;
    std::string text;                           // the song text
    std::vector<song::channel_record> records;  // frame after frame, three per frame
    double sample_period_ms = 0;                // the mean time between two looks at the registers
    song_end end = song_end::asked;
    uint32_t loop_frame = 0;       // where the song goes on after its last frame
    bool loop_found = false;       // the captured frames repeat from loop_frame on (else loop_frame is 0)
    uint32_t captured_frames = 0;  // frames run, before the song was cut at its end

    size_t frame_count() const { return records.size() / 3; }
};

// Builds the tables that the library's chip emulation computes once per
// process (about 0.3 s of processor time): processes forked after this
// share them instead of each building its own. Failures are left for the
// imports to report.
void prepare_player_library();

// Runs the tune and captures its frames, then cuts the song where it starts
// over (loop_search.hpp) or, without a repeat, where it fell silent or at
// the length it was given. Throws import_error with the reason when the
// file is not a PSID tune, is an RSID tune, names a subtune it does not
// have, or cannot be run by the library.
imported_tune import_tune(std::span<const uint8_t> file, const import_options& options);

}  // namespace psid_import
