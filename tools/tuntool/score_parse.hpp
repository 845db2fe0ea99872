// The score as written: header fields, instruments, patterns of channel
// lines and the play order, read line by line from the text.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "score_sound.hpp"
#include "score_words.hpp"

namespace score {

struct item {
    enum class kind { note, hold, release, hit, use, change, group } what = kind::hold;
    position at;
    int note = 0;
    std::string name;  // hit, use: instrument
    setting change;
    std::vector<item> inner;  // group
    int repeat = 1;
    int transpose = 0;  // group

    static item made(kind what, position at) {
        item one;
        one.what = what;
        one.at = at;
        return one;
    }
};

struct pattern {
    std::string name;
    position at;
    std::map<unsigned, std::vector<item>> channels;  // channel from 1
    std::map<unsigned, position> first_line;
};

struct play_item {
    enum class kind { pattern, group, loop } what = kind::pattern;
    position at;
    std::string name;
    int transpose = 0;
    std::vector<play_item> inner;
    int repeat = 1;

    static play_item made(kind what, position at) {
        play_item one;
        one.what = what;
        one.at = at;
        return one;
    }
};

struct instrument {
    position at;
    sound tone;
};

struct score_text {
    std::map<std::string, std::optional<position>> seen;  // header keywords given
    bool chip = false;
    uint16_t rate = 50;
    std::vector<int> tempo{6};
    unsigned channels = 0;
    position channels_at;
    bool interleaved = true;
    bool compressed = false;
    std::string text;
    std::map<std::string, instrument> instruments;
    std::vector<pattern> patterns;
    std::map<std::string, size_t> pattern_index;
    std::vector<play_item> play;
    bool has_play = false;
    std::vector<position> chip_uses;
    unsigned highest_channel = 0;
    position highest_channel_at;
};

score_text parse_score(std::string_view source);

}  // namespace score
