// The title banner: one line of exactly 80 bytes shown by the usage text and
// at the top of the player screen. The high bytes are the code page 437 full
// block and shade characters, kept as raw single bytes.
#pragma once

#include <string_view>

namespace player {

inline constexpr std::string_view title_banner =
    "\xDB\xDB"
    " MELVOX TUN-Player_w32 b20080226"
    "                "
    "MELodic VOice eXer"
    " "
    "\xDB\xDB\xDB\xDB\xDB"
    "\xB2\xB2\xB2"
    "\xB1\xB1"
    "\xB0";

static_assert(title_banner.size() == 80, "the banner fills one screen row");

}  // namespace player
