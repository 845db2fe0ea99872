// Builds song files byte by byte for tests: header fields, song text and a
// body in either frame layout.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace test_support {

struct record_values {
    uint16_t pitch = 0;
    uint8_t pulse = 0;
    uint8_t control = 0;
    uint8_t volume = 0;
    uint8_t filter = 0;
};

using record_source = std::function<record_values(uint32_t frame, uint32_t channel)>;

struct song_header {
    std::string magic = "TQK";
    uint8_t flags = 0x13;
    uint16_t frame_rate = 50;
    uint32_t loop_frame = 0;
    std::string text;
    uint32_t unpacked_size = 0;
    // Written as the text length instead of text.size() when set.
    int64_t text_length_field = -1;
};

inline void put_u16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void put_u32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

inline std::vector<uint8_t> header_bytes(const song_header& h) {
    std::vector<uint8_t> out(h.magic.begin(), h.magic.end());
    out.resize(3);
    out.push_back(h.flags);
    put_u16(out, h.frame_rate);
    put_u32(out, h.loop_frame);
    put_u16(out, static_cast<uint16_t>(h.text_length_field >= 0 ? h.text_length_field : h.text.size()));
    put_u32(out, h.unpacked_size);
    out.insert(out.end(), h.text.begin(), h.text.end());
    return out;
}

// Frame after frame, each channel's six bytes with the pitch low byte first.
inline std::vector<uint8_t> interleaved_body(uint32_t channels, uint32_t frames, const record_source& source) {
    std::vector<uint8_t> body;
    body.reserve(static_cast<size_t>(channels) * frames * 6);
    for (uint32_t f = 0; f < frames; ++f)
        for (uint32_t c = 0; c < channels; ++c) {
            const record_values r = source(f, c);
            body.insert(body.end(), {static_cast<uint8_t>(r.pitch), static_cast<uint8_t>(r.pitch >> 8), r.pulse,
                                     r.control, r.volume, r.filter});
        }
    return body;
}

// Six planes (pitch high, pitch low, pulse, control, volume, filter), each
// holding every channel's values in frame order.
inline std::vector<uint8_t> planar_body(uint32_t channels, uint32_t frames, const record_source& source) {
    const size_t plane = static_cast<size_t>(channels) * frames;
    std::vector<uint8_t> body(plane * 6);
    for (uint32_t c = 0; c < channels; ++c)
        for (uint32_t f = 0; f < frames; ++f) {
            const record_values r = source(f, c);
            const size_t q = static_cast<size_t>(c) * frames + f;
            body[q] = static_cast<uint8_t>(r.pitch >> 8);
            body[q + plane] = static_cast<uint8_t>(r.pitch);
            body[q + 2 * plane] = r.pulse;
            body[q + 3 * plane] = r.control;
            body[q + 4 * plane] = r.volume;
            body[q + 5 * plane] = r.filter;
        }
    return body;
}

inline std::vector<uint8_t> song_bytes(const song_header& h, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> out = header_bytes(h);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

}  // namespace test_support
