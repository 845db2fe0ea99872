// Text cells and their pixels: an 80 x 50 screen of 16-bit text cells, the
// 8x8 font, the sixteen text colours and the rasteriser that turns changed
// cells into a 640 x 400 frame of 8-bit palette indices. Nothing here knows
// how the frame reaches a display (console.hpp does that with SDL 1.2; the
// web page with a canvas).
//
// A text cell holds the character code in bits 0..7, the foreground colour
// in bits 8..11 and the background colour in bits 12..15; its high byte is
// the attribute.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace console {

constexpr int screen_columns = 80;
constexpr int screen_rows = 50;
constexpr int cell_count = screen_columns * screen_rows;
constexpr int glyph_size = 8;
constexpr int frame_width = screen_columns * glyph_size;  // 640
constexpr int frame_height = screen_rows * glyph_size;    // 400
constexpr int frame_bytes = frame_width * frame_height;   // 256,000
constexpr std::size_t max_text_length = 255;

// Cell of column c and row r is element r * 80 + c.
using tconsoletype = std::array<uint16_t, cell_count>;

extern tconsoletype screen_cells;  // the current screen
extern tconsoletype shadow_cells;  // screen_cells as of the last refresh
// 400 rows of 640 palette indices; pixel (x, y) is byte y * 640 + x. Pixels
// plotted here directly stay until their cell is rasterised again.
extern std::array<uint8_t, frame_bytes> frame_buffer;
extern const std::array<uint8_t, 16> colour_map;  // text colour -> palette index
// Glyph of code n is bytes 8n..8n+7, top row first, bit 7 the leftmost pixel.
extern std::array<uint8_t, 256 * glyph_size> font;

// The constant glyph data that console_init installs into `font`.
extern const std::array<uint8_t, 256 * glyph_size> font_glyphs;

// Palette entry i is the point of the 3-3-2 colour cube: r = bits 5-7,
// g = bits 2-4, b = bits 0-1, each scaled so its top step is 255.
struct rgb {
    uint8_t r, g, b;
};
rgb palette_colour(int index);

// Rasterises the cells that differ from shadow_cells into frame_buffer and
// remembers the screen in shadow_cells.
void rasterise_changed_cells();

// Every cell, the frame buffer and the font back to zero, the text
// attribute to 15 and the cursor to 0,0.
void reset_cells();

// ---- text output ----

extern uint8_t text_attr;  // attribute given to written cells; 15 at start
extern uint8_t cursor_x;   // column of the next character
extern uint8_t cursor_y;   // row of the next character; stops at 255, never wraps to 0

// Writes the text (at most its first 255 bytes) from the cursor on, wrapping
// after column 79. Characters that fall below row 49 are dropped.
void write_text(std::string_view text);
void write_line(std::string_view text);
// Column 0..79, row 0..49; a position off the screen drops the whole call.
void write_text_at(uint8_t column, uint8_t row, std::string_view text);
void new_line();
void go_to(uint8_t column, uint8_t row);

void clear_to_eol();
void clear_screen();

// Band operations: rows of the band that lie outside rows 0..49 are ignored.
void fill_rows(uint8_t first_row, uint8_t count, uint8_t attribute);
void clear_backgrounds(uint8_t first_row, uint8_t count);
void shift_row_left(uint8_t row);
void scroll_rows_up(uint8_t first_row, uint8_t count);

// Colours one half of a cell on the 80 x 100 half-block grid: x 0..79,
// y 0..99, colour 0..15; anything else drops the call.
void plot_half_block(uint8_t x, uint8_t y, uint8_t colour);

std::string number_text(int32_t value);
std::string upper_case(std::string_view text);

}  // namespace console
