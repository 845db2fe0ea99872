// The arranger: checks each pattern, looks up the names in patterns and in
// the play order, and measures the song the play order makes against the
// limits before a frame of it is written.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "score_limits.hpp"
#include "score_parse.hpp"

namespace score {

// Walks a list of items in the order they play: a repeated item comes
// `repeat` times, a group's items come `repeat` times, transposed by the
// group. Lists hold no group that plays nothing, so every turn of a group
// gives an item, and a walk takes as long as the items it gives.
class cursor {
public:
    struct visit {
        const item* one;
        int transpose;
    };

    cursor() = default;
    cursor(std::span<const item> items, int transpose) : items_(items), transpose_(transpose) {}

    std::optional<visit> next();

private:
    struct open_group {
        size_t first;  // the first item inside
        uint32_t turns_left;
        int outer_transpose;
    };
    std::span<const item> items_;
    size_t next_ = 0;
    uint32_t again_ = 0;  // further times the last item given comes
    int transpose_ = 0;
    std::array<open_group, max_depth> groups_{};
    size_t depth_ = 0;
};

// What a pattern plays each time it is played.
struct pattern_shape {
    uint64_t steps = 0;
    uint64_t actions = 0;  // all channels of the song; a channel the pattern leaves out holds
};

// Checks every pattern (its channels have steps, and as many as each other;
// its instruments exist, and those played by name have a note) and looks up
// the instrument of every hit and "@". Gives the shape of each pattern.
std::vector<pattern_shape> check_patterns(score_text& s);

struct arrangement {
    uint64_t steps = 0;
    uint64_t frames = 0;
    std::optional<uint64_t> loop_step;
    uint64_t loop_frame = 0;
};

// The frames that `count` steps last from step `first` on: steps take the
// lengths of the tempo list in turn.
uint64_t frames_of_steps(const std::vector<int>& tempo, uint64_t first, uint64_t count);

// Looks up the pattern of every play entry and measures the song: no more
// than max_frames frames and max_actions actions.
arrangement arrange(score_text& s, const std::vector<pattern_shape>& shapes);

}  // namespace score
