// Song images for the song tests: the shared byte-by-byte builder, with the
// one-channel interleaved flags these tests start from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "song/song.hpp"
#include "song_bytes.hpp"

namespace song_test {

struct header_fields : test_support::song_header {
    header_fields() { flags = 0x11; }
};

// Header, text and body laid out as in a song file.
inline std::vector<uint8_t> song_image(const header_fields& h, const std::vector<uint8_t>& body) {
    return test_support::song_bytes(h, body);
}

// The song state under test, made anew by reset_state.
inline std::unique_ptr<song::song_state>& state_slot() {
    static std::unique_ptr<song::song_state> slot = std::make_unique<song::song_state>();
    return slot;
}
inline song::song_state& state() { return *state_slot(); }
inline void reset_state() { state_slot() = std::make_unique<song::song_state>(); }

inline std::vector<uint8_t> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace song_test
