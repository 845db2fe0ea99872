// Little-endian fields in byte buffers: song files and WAV files store every
// multi-byte value this way, whatever the machine's own byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace little_endian {

inline uint16_t get_u16(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

inline uint32_t get_u32(std::span<const uint8_t> bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
           static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// Appends the low `size` bytes of value, lowest first.
inline void put(std::vector<uint8_t>& out, uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline void put_u16(std::vector<uint8_t>& out, uint16_t value) { put(out, value, 2); }
inline void put_u32(std::vector<uint8_t>& out, uint32_t value) { put(out, value, 4); }
inline void put_u64(std::vector<uint8_t>& out, uint64_t value) { put(out, value, 8); }

}  // namespace little_endian
