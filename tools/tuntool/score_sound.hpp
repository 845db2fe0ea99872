// Sounds and the key=value settings that shape them: an instrument is a
// named sound, and settings in a pattern change the sound of their channel.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "score_words.hpp"

namespace score {

enum class test_mode { off, start, on };

// Everything that decides how a channel sounds.
struct sound {
    int volume = 200;
    int attack = 0;   // per frame, 0: full volume at once
    int decay = 0;    // per frame, down to sustain
    int sustain = 0;
    int release = 255;  // per frame after "---"
    int pulse = 128;
    int sweep = 0;  // added to the pulse every frame, wrapping
    int filter = 255;
    int pan_left = 0;   // pan codes: 0 full, 1 half, 2 eighth, 3 off
    int pan_right = 0;
    bool noise = false;
    uint8_t wave = 0x40;  // chip waveform bits 4..7
    bool sync = false;
    bool ring = false;
    test_mode test = test_mode::off;
    int control = -1;  // a raw control byte, or -1
    std::vector<int> arp;
    double bend = 0;  // semitones per frame
    int vibrato_depth = 0;  // cents
    int vibrato_period = 0;  // frames
    int note = -1;  // the note a bare instrument name plays
};

using setting = std::function<void(sound&)>;

struct setting_word {
    setting change;
    bool chip_only = false;
};

bool on_off(std::string_view value, position at, const std::string& key);

// Parses "key=value".
setting_word parse_setting(const word& w);

}  // namespace score
