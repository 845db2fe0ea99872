// Sounds and the key=value settings that shape them: an instrument is a
// named sound, and settings in a pattern change the sound of their channel.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "score_limits.hpp"
#include "score_words.hpp"

namespace score {

enum class test_mode : uint8_t { off, start, on };

// Semitone offsets played one per frame in turn.
struct arp_steps {
    std::array<int8_t, max_arp_steps> steps{};
    uint8_t length = 0;
};

// Everything that decides how a channel sounds.
struct sound {
    int volume = 200;
    int attack = 0;  // per frame, 0: full volume at once
    int decay = 0;   // per frame, down to sustain
    int sustain = 0;
    int release = 255;  // per frame after "---"
    int pulse = 128;
    int sweep = 0;  // added to the pulse every frame, wrapping
    int filter = 255;
    int pan_left = 0;  // pan codes: 0 full, 1 half, 2 eighth, 3 off
    int pan_right = 0;
    bool noise = false;
    uint8_t wave = 0x40;  // chip waveform bits 4..7
    bool sync = false;
    bool ring = false;
    test_mode test = test_mode::off;
    int control = -1;  // a raw control byte, or -1
    arp_steps arp;
    double bend = 0;         // semitones per frame
    int vibrato_depth = 0;   // cents
    int vibrato_period = 0;  // frames
    int note = -1;           // the note a bare instrument name plays
};

enum class setting_key : uint8_t {
    volume,
    attack,
    decay,
    sustain,
    release,
    pulse,
    filter,
    control,
    sweep,
    pan,
    noise,
    wave,
    sync,
    ring,
    test,
    arp,
    bend,
    vibrato,
    note,
};

// One key=value setting as a value.
struct setting {
    setting_key key = setting_key::volume;
    // pan: left code x 4 + right code; test: a test_mode; bend: hundredths of
    // a semitone; vibrato: depth x 256 + period; on/off settings: 1 or 0.
    int32_t value = 0;
    arp_steps arp;
};

// wave, sync, ring and test: settings of the chip variant only.
bool chip_only(setting_key key);

bool on_off(std::string_view value, size_t at, std::string_view key);

// Parses "key=value".
setting parse_setting(const word& w);

void apply(const setting& change, sound& s);

}  // namespace score
