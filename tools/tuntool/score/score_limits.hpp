// The limits of the score language. Together they keep any score, however
// large or hostile, within bounded time and memory: the compiler never holds
// more than a small multiple of the largest song it may build, and a score
// that goes past a limit gets a message that names the limit's number.
#pragma once

#include <cstddef>
#include <cstdint>

#include "song/format.hpp"

namespace score {

// The longest song: about 5.8 hours at 50 frames a second, 48 MiB of
// records with eight channels.
constexpr uint64_t max_frames = 1u << 20;
// A channel of a pattern: every step lasts a frame at least, so a longer
// channel could never be played.
constexpr uint64_t max_steps = max_frames;
// Steps, settings and instrument changes a song plays, all channels and
// repeats counted; a channel of a pattern has the same limit.
constexpr uint64_t max_actions = 1u << 24;
// Words of channel and play lines, which the compiler keeps (16 bytes each)
// until the song is written.
constexpr uint64_t max_words = 1u << 22;
constexpr size_t max_score_bytes = 64u << 20;
constexpr int max_depth = 64;  // groups within groups
constexpr int max_repeat = 9999;
constexpr size_t max_instruments = 65536;
constexpr size_t max_patterns = 65536;
constexpr size_t max_text_length = song::max_text_length;  // what the header can hold
constexpr size_t max_arp_steps = 16;
constexpr size_t max_tempo_steps = 16;
constexpr int max_transpose = 48;  // semitones, at each "+T" of a group or play entry
constexpr int highest_note = 95;   // B-7

// Counts stop at the largest number instead of wrapping, so that a repeat
// of a repeat can never come out small.
constexpr uint64_t saturated_add(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }
constexpr uint64_t saturated_multiply(uint64_t a, uint64_t b) {
    return b != 0 && a > UINT64_MAX / b ? UINT64_MAX : a * b;
}

}  // namespace score
