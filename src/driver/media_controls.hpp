// The desktop's media controls (media keys, the "now playing" panel) steer
// the screens as the keys do: a command from the session bus becomes the
// player's command for the same key.
#pragma once

#include <cstdint>

#include "mpris/media_bus.hpp"

namespace driver {

// Joins the session bus when there is one and hooks the screens' loops to
// it; without a bus nothing changes, and nothing is said.
void start_media_controls();
void stop_media_controls();

// Where a seek of `offset_us` from `position_us` lands in a song of
// `total_frames` frames at `frame_rate` frames a second: a frame, or past
// the song's end (the next song, as the desktop asks of a seek that far).
struct seek_landing {
    bool past_end = false;
    uint32_t frame = 0;
};
seek_landing seek_target(int64_t position_us, int64_t offset_us, uint32_t total_frames, uint16_t frame_rate);

// The song's position or length in microseconds.
int64_t frames_to_us(uint64_t frames, uint16_t frame_rate);

}  // namespace driver
