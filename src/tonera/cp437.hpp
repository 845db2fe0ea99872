// Code page 437, the character set of song texts, as Unicode.
#pragma once

#include <array>
#include <cstdint>

namespace code_page {

// The code point each byte shows as on the player screen; byte 0 (a blank
// cell) is a space.
extern const std::array<char16_t, 256> cp437_code_points;

}  // namespace code_page
