// Builds song images byte by byte for the song tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace song_test {

struct header_fields {
    std::string magic = "TQK";
    uint8_t flags = 0x11;
    uint16_t frame_rate = 50;
    uint32_t loop_frame = 0;
    std::string text;
    uint32_t unpacked_size = 0;
    // Written as text length instead of text.size() when set.
    int64_t text_length_field = -1;
};

inline void put_le(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Header, text and body laid out as in a song file.
inline std::vector<uint8_t> song_image(const header_fields& h, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out(h.magic.begin(), h.magic.end());
    out.push_back(h.flags);
    put_le(out, h.frame_rate, 2);
    put_le(out, h.loop_frame, 4);
    put_le(out, h.text_length_field >= 0 ? static_cast<uint32_t>(h.text_length_field)
                                         : static_cast<uint32_t>(h.text.size()), 2);
    put_le(out, h.unpacked_size, 4);
    out.insert(out.end(), h.text.begin(), h.text.end());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

inline std::vector<uint8_t> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

}  // namespace song_test
