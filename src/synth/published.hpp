// What the audio thread publishes for the screens while a song plays. The
// audio thread writes these values; the main thread only reads them, takes
// each as a snapshot for display and never waits for them. Every value is
// one atomic byte or word, so neither side can see it torn.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

namespace synth {

constexpr int max_voices = 8;

// The channel records and voice values of the latest frame tick, copied
// for the screen so that it never reads the audio thread's own structures.
struct shown_record {
    std::atomic<uint16_t> pitch{0};
    std::atomic<uint8_t> pulse{0};
    std::atomic<uint8_t> control{0};
    std::atomic<uint8_t> volume{0};
    std::atomic<uint8_t> filter{0};
};
struct shown_voice {
    std::atomic<uint8_t> volume{0};
    std::atomic<uint8_t> pulse{0};
    std::atomic<uint8_t> filter{0};
};
extern std::array<shown_record, max_voices> shown_records;
extern std::array<shown_voice, max_voices> shown_voices;

// Song time in units of 1/300000 s, advanced by every frame tick; never
// reset between songs.
extern std::atomic<uint32_t> play_time;
constexpr uint32_t play_time_limit = 1799999999;

// Raised by the frame tick after the last frame of a song that does not
// repeat (and by the player's quit key, see controls.hpp).
extern std::atomic<bool> song_ended;

// The frame the song position stands at: the next one the tick reads.
uint32_t playing_frame();

// The oscilloscope's source: stereo frames asked for by the audio device's
// latest callback, and the left sample of each of them.
constexpr uint32_t scope_length = 65536;
extern std::atomic<uint32_t> block_frames;
extern std::array<std::atomic<int16_t>, scope_length> scope_history;

}  // namespace synth
