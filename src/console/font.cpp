// The constant font data, compiled from the pixel art in font.txt.
//
// font.txt is pasted into font_art.inc as a raw string at configure time and
// parsed here at compile time, so a malformed glyph (a missing or doubled
// code, a short row, a stray character) stops the build instead of showing
// up on the screen.
#include "console/cells.hpp"

#include <string_view>

namespace console {

namespace {

#include "font_art.inc"

// Not constexpr on purpose: reaching it during constant evaluation makes
// the compiler reject the font and point here with the reason.
void font_art_error(const char* /*reason*/) {}

constexpr int hex_digit(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    font_art_error("glyph code is not a hexadecimal number");
    return 0;
}

// A pixel row: eight of '.' and 'X', leftmost pixel first, optionally
// followed by a space and a remark.
constexpr uint8_t row_byte(std::string_view line) {
    if (line.size() < 8 || (line.size() > 8 && line[8] != ' ')) font_art_error("pixel row is not 8 wide");
    uint8_t byte = 0;
    for (int p = 0; p < 8; ++p) {
        if (line[p] == 'X') {
            byte = static_cast<uint8_t>(byte | (0x80 >> p));
        } else if (line[p] != '.') {
            font_art_error("pixel is neither 'X' nor '.'");
        }
    }
    return byte;
}

constexpr std::array<uint8_t, 256 * glyph_size> parse_font(std::string_view art) {
    std::array<uint8_t, 256 * glyph_size> glyphs{};
    std::array<bool, 256> defined{};
    int code = -1;
    int row = glyph_size;
    while (!art.empty()) {
        const std::size_t end = art.find('\n');
        std::string_view line = art.substr(0, end);
        art = end == std::string_view::npos ? std::string_view{} : art.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '#') continue;

        if (line.starts_with("0x")) {
            if (row != glyph_size) font_art_error("glyph has fewer than 8 rows");
            if (line.size() < 4) font_art_error("glyph code needs two digits");
            code = hex_digit(line[2]) * 16 + hex_digit(line[3]);
            if (defined[code]) font_art_error("glyph defined twice");
            defined[code] = true;
            row = 0;
            continue;
        }
        if (code < 0 || row >= glyph_size) font_art_error("pixel row outside a glyph");
        glyphs[code * glyph_size + row] = row_byte(line);
        ++row;
    }
    if (row != glyph_size) font_art_error("last glyph has fewer than 8 rows");
    for (const bool d : defined) {
        if (!d) font_art_error("a code has no glyph");
    }
    return glyphs;
}

}  // namespace

constexpr std::array<uint8_t, 256 * glyph_size> font_glyphs = parse_font(font_art);

}  // namespace console
