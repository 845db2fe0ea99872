// Song images for the song tests: the shared byte-by-byte builder, with the
// one-channel interleaved flags these tests start from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "song_bytes.hpp"

namespace song_test {

struct header_fields : test_support::song_header {
    header_fields() { flags = 0x11; }
};

// Header, text and body laid out as in a song file.
inline std::vector<uint8_t> song_image(const header_fields& h, const std::vector<uint8_t>& body) {
    return test_support::song_bytes(h, body);
}

inline std::vector<uint8_t> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace song_test
