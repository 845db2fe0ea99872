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

#include "song/channel_record.hpp"

namespace score {

// A mistake in a score, with the line and column (both from 1) where it is.
struct score_error : std::runtime_error {
    score_error(int line_number, int column_number, const std::string& message)
        : std::runtime_error(message), line(line_number), column(column_number) {}
    int line;
    int column;
};

// One channel record as the song file stores it.
using record = song::channel_record;

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

}  // namespace score
