// Bounds that hold for every song the programs read.
#pragma once

#include <cstdint>

namespace limits {

// The most bytes a song file may hold, and the most its frame data may
// unpack to: 256 MiB. No real song comes near it (a register dump of
// 256 MiB plays for more than 30 hours on eight channels at 50 frames a
// second), and it keeps the memory a hostile file can ask for bounded.
constexpr uint64_t max_song_bytes = uint64_t{256} << 20;

}  // namespace limits
