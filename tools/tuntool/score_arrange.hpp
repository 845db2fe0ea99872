// The arranger: checks each pattern and lays the play order out as the
// actions every channel meets, step after step.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "score_parse.hpp"

namespace score {

constexpr size_t max_frames = 1u << 20;  // about 5.8 hours at 50 frames a second

// A step event or a change, in the order a channel meets them.
struct action {
    const item* what;
    int transpose;
};

struct arrangement {
    std::vector<std::vector<action>> channel_actions;
    size_t steps = 0;
    std::optional<size_t> loop_step;
};

// Checks a pattern's instruments and notes and returns its length in steps.
size_t check_pattern(const score_text& s, const pattern& p);

void arrange(const score_text& s, const std::vector<play_item>& items, int transpose,
             const std::vector<size_t>& pattern_steps, arrangement& out);

}  // namespace score
