// The score as written: header fields, instruments, patterns of channel
// lines and the play order, read line by line from the text.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "score_sound.hpp"
#include "score_words.hpp"

namespace score {

// One word of a channel or play line as the compiler keeps it. A group
// stands as an open and a close item around its words.
struct item {
    enum class kind : uint8_t { note, hold, release, hit, use, change, pattern, loop, open, close };
    offset at = 0;  // where its word stands; hit, use and pattern items find their name there
    // note: the note as written; change: the setting's value (arp: its index
    // in score_text::arps); hit, use: the instrument and pattern: the
    // pattern, once the names are looked up.
    int32_t value = 0;
    int32_t transpose = 0;  // pattern, open and close: semitones
    uint16_t repeat = 1;    // times in a row; open and close: of the whole group
    kind what = kind::hold;
    setting_key key{};  // change
};
static_assert(sizeof(item) == 16, "a score may hold max_words items");

// What a line adds up to with every repeat played out. Counts saturate.
struct line_count {
    uint64_t steps = 0;
    uint64_t actions = 0;  // steps, settings and instrument changes; play lines: patterns
};

struct channel_part {
    std::vector<item> items;
    line_count count;
    offset first_line = 0;
    bool given = false;
};

struct pattern {
    std::string name;
    offset at = 0;
    std::array<channel_part, 8> channels;  // channel 1 first
    uint64_t steps = 0;                    // once checked
};

struct instrument {
    offset at = 0;
    sound tone;
};

struct score_text {
    std::string_view source;
    std::vector<std::string> header_seen;
    bool chip = false;
    uint16_t rate = 50;
    std::vector<int> tempo{6};
    unsigned channels = 0;
    bool interleaved = true;
    bool compressed = false;
    std::string text;
    std::vector<instrument> instruments;
    std::map<std::string, uint32_t, std::less<>> instrument_index;
    std::vector<pattern> patterns;
    std::map<std::string, uint32_t, std::less<>> pattern_index;
    std::vector<arp_steps> arps;
    std::vector<item> play;
    line_count play_count;
    std::optional<offset> play_at;  // the first play line
    std::optional<offset> loop_at;
    std::optional<offset> first_chip_use;
    unsigned highest_channel = 0;
    offset highest_channel_at = 0;
    uint64_t words = 0;  // of channel and play lines
};

score_text parse_score(std::string_view source);

// The rest of a channel line, into channel `channel` of pattern `p`
// (score_groups.cpp).
void read_channel_line(line_words& words, score_text& s, pattern& p, unsigned channel);
// The rest of a play line, into the play order.
void read_play_line(line_words& words, score_text& s);

}  // namespace score
