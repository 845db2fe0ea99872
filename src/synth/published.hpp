// What an engine instance publishes for the screens while a song plays. The
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

// Song time advances in units of 1/300000 s and stops at this value.
constexpr uint32_t play_time_limit = 1799999999;

// Samples kept for an oscilloscope.
constexpr uint32_t scope_length = 65536;

}  // namespace synth
