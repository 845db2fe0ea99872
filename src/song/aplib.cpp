#include "song/aplib.hpp"

#include <cstdint>

namespace song {
namespace {

// Reads data bytes and tag bits from one stream. Tag bytes sit between the
// data bytes: the next one is taken from the stream only when its first bit
// is needed. Every read reports whether the stream still had the byte.
struct stream_reader {
    std::span<const uint8_t> input;
    size_t position = 0;
    uint8_t tag = 0;
    int bits_left = 0;

    bool byte(uint8_t& value) {
        if (position >= input.size()) return false;
        value = input[position++];
        return true;
    }

    bool bit(uint32_t& value) {
        if (bits_left == 0) {
            if (!byte(tag)) return false;
            bits_left = 8;
        }
        --bits_left;
        value = (tag >> bits_left) & 1u;
        return true;
    }

    // Interleaved value and continuation bits after an implied leading 1;
    // a code too long for 32 bits wraps around.
    bool gamma(uint32_t& value) {
        value = 1;
        uint32_t b = 0;
        uint32_t more = 0;
        do {
            if (!bit(b) || !bit(more)) return false;
            value = value * 2 + b;
        } while (more != 0);
        return true;
    }
};

// The output written so far and the room left in it.
struct output_writer {
    std::span<uint8_t> output;
    uint32_t written = 0;

    bool put(uint8_t value) {
        if (written >= output.size()) return false;
        output[written++] = value;
        return true;
    }

    // Copies one byte at a time so that a copy shorter in offset than in
    // length repeats its own output.
    bool copy(uint32_t offset, uint32_t length) {
        if (offset == 0 || offset > written) return false;
        if (length > output.size() - written) return false;
        for (uint32_t i = 0; i < length; ++i, ++written) output[written] = output[written - offset];
        return true;
    }
};

}  // namespace

std::optional<uint32_t> aplib_unpack(std::span<const uint8_t> input, std::span<uint8_t> output) {
    // The count of bytes written is a 32-bit value, like the unpacked size.
    if (output.size() > UINT32_MAX) output = output.first(UINT32_MAX);
    stream_reader in{input};
    output_writer out{output};
    uint32_t last_offset = 0;
    bool offset_set = false;

    // The first byte is a literal without a tag bit.
    uint8_t first = 0;
    if (!in.byte(first) || !out.put(first)) return std::nullopt;
    bool after_literal = true;

    for (;;) {
        uint32_t b = 0;
        if (!in.bit(b)) return std::nullopt;
        if (b == 0) {  // literal
            uint8_t value = 0;
            if (!in.byte(value) || !out.put(value)) return std::nullopt;
            after_literal = true;
            continue;
        }

        if (!in.bit(b)) return std::nullopt;
        if (b == 0) {  // code pair
            uint32_t g = 0;
            if (!in.gamma(g)) return std::nullopt;
            uint32_t offset = 0;
            uint32_t length = 0;
            if (after_literal && g == 2) {
                // A repeat match reuses the last offset with a new length.
                if (!offset_set) return std::nullopt;
                offset = last_offset;
                if (!in.gamma(length)) return std::nullopt;
            } else {
                const uint32_t high = g - (after_literal ? 3u : 2u);
                uint8_t low = 0;
                if (!in.byte(low)) return std::nullopt;
                offset = high * 256u + low;
                if (!in.gamma(length)) return std::nullopt;
                length += aplib_length_bonus(offset);
                last_offset = offset;
                offset_set = true;
            }
            if (!out.copy(offset, length)) return std::nullopt;
            after_literal = false;
            continue;
        }

        if (!in.bit(b)) return std::nullopt;
        if (b == 0) {  // short match, or the end marker
            uint8_t value = 0;
            if (!in.byte(value)) return std::nullopt;
            const uint32_t offset = value >> 1;
            if (offset == 0) return out.written;
            last_offset = offset;
            offset_set = true;
            if (!out.copy(offset, 2u + (value & 1u))) return std::nullopt;
            after_literal = false;
            continue;
        }

        // One-byte copy from at most 15 back; distance 0 writes a zero byte.
        uint32_t offset = 0;
        for (int i = 0; i < 4; ++i) {
            if (!in.bit(b)) return std::nullopt;
            offset = offset * 2 + b;
        }
        if (offset == 0) {
            if (!out.put(0)) return std::nullopt;
        } else {
            if (!out.copy(offset, 1)) return std::nullopt;
        }
        after_literal = true;
    }
}

}  // namespace song
