// Code page 437, the character set of song texts, as Unicode.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace code_page {

// The code point each byte shows as on the player screen; byte 0 (a blank
// cell) is a space.
extern const std::array<char16_t, 256> cp437_code_points;

// The longest UTF-8 form of a code point of the table.
constexpr size_t max_utf8_bytes = 3;

// Writes the UTF-8 form of c (below U+10000) at out + n and advances n.
void append_utf8(char16_t c, char* out, size_t& n);

// Bytes of code page 437 as UTF-8 text.
std::string utf8_from_cp437(std::span<const uint8_t> bytes);

}  // namespace code_page
