// Imports a PSID tune: the player library loads it, runs its init routine
// and calls its play routine on the tune's schedule, and the chip's
// registers are read after every slice of emulated time the library runs
// per call (about 4.6 ms with the library version in use: however little
// sound is asked for, a call runs one whole slice, so this is the finest
// step its interface offers) and turned into song frames (chip_frames.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "chip_frames.hpp"
#include "psid_header.hpp"
#include "score.hpp"

namespace psid_import {

struct import_options {
    unsigned subtune = 0;                 // 1..songs; 0: the file's start song
    std::optional<uint32_t> frames;       // how many frames to capture, or
    double seconds = 180.0;               // how many seconds (used when frames is empty)
    std::optional<chip_model> model;      // the filter curve's chip model; empty: the file's, else 6581
};

// Bounds of what one import may capture.
constexpr double longest_capture_seconds = 3600.0;

struct imported_tune {
    psid_header header;
    unsigned subtune = 0;        // the one imported, 1..songs
    unsigned songs = 0;          // tunes in the file
    chip_model model = chip_model::mos6581;
    chip_timing timing = pal_timing;
    std::string text;            // the song text
    std::vector<score::record> records;  // frame after frame, three per frame
    double sample_period_ms = 0;  // the mean time between two looks at the registers

    size_t frame_count() const { return records.size() / 3; }
};

// Runs the tune and captures its frames. Throws import_error with the
// reason when the file is not a PSID tune, is an RSID tune, names a subtune
// it does not have, or cannot be run by the library.
imported_tune import_tune(std::span<const uint8_t> file, const import_options& options);

}  // namespace psid_import
