// Decoder for raw aPLib streams (LZ77 with a bit-oriented tag encoding, no
// header). One pass, no allocation: the caller provides the output area.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace song {

// Matches from far back must be longer to pay for their offset bits, so a
// stream stores a match's length without what every match at that distance
// has anyway. Decoder and encoder both follow this rule.
constexpr uint32_t aplib_length_bonus(uint32_t offset) {
    uint32_t bonus = 0;
    if (offset >= 32000) ++bonus;
    if (offset >= 1280) ++bonus;
    if (offset < 128) bonus += 2;
    return bonus;
}

// Unpacks the stream in input into output. Returns the number of bytes
// written when the stream ends at its end marker, or nothing when the stream
// is broken: input runs out, a write would pass the end of output, an offset
// is 0 or reaches before the start of the output, or a repeat match comes
// before any offset was set.
std::optional<uint32_t> aplib_unpack(std::span<const uint8_t> input, std::span<uint8_t> output);

}  // namespace song
