// The score language of "tuntool build": a small text format in which a
// person writes a song as instruments, patterns of notes per channel and a
// play order, and which compiles into the frame records of a song file.
// The format is described in the README and in tuntool(1).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace score {

// A mistake in a score, with the line and column (both from 1) where it is.
struct score_error : std::runtime_error {
    score_error(int line_number, int column_number, const std::string& message)
        : std::runtime_error(message), line(line_number), column(column_number) {}
    int line;
    int column;
};

// One channel record as the song file stores it.
struct record {
    uint16_t pitch = 0;
    uint8_t pulse = 0;
    uint8_t control = 0;
    uint8_t volume = 0;
    uint8_t filter = 0;
    bool operator==(const record&) const = default;
};

struct compiled_song {
    bool chip_variant = false;
    uint16_t frame_rate = 50;
    uint32_t loop_frame = 0;
    std::string text;
    unsigned channels = 0;
    bool interleaved = true;
    bool compressed = false;
    // Frame after frame, `channels` records per frame.
    std::vector<record> records;

    size_t frame_count() const { return channels == 0 ? 0 : records.size() / channels; }
    const record& at(size_t frame, unsigned channel) const { return records[frame * channels + channel]; }
};

// Compiles a whole score. Throws score_error for the first mistake found.
compiled_song compile_score(std::string_view source);

// The pitch word for a frequency in Hz: octave in bits 8..10 and mantissa in
// bits 0..7, for (256 + mantissa) x 2^octave / 16 Hz, chosen so that the
// player's whole-hertz pitch steps land on the nearest one. Frequencies
// outside 16..4088 Hz are clamped.
uint16_t pitch_word(double hz);

// The frequency of a note number (C-0 = 0, A-4 = 57 at 440 Hz, B-7 = 95).
double note_hz(int note);

}  // namespace score
