// The cell arrays, the text colours and the rasteriser: cells to palette
// indices, with no display attached.
#include "console/cells.hpp"

namespace console {

tconsoletype screen_cells{};
tconsoletype shadow_cells{};
std::array<uint8_t, frame_bytes> frame_buffer{};
std::array<uint8_t, 256 * glyph_size> font{};

// The sixteen text colours as entries of the colour cube.
const std::array<uint8_t, 16> colour_map = {
    0,    // black
    2,    // blue
    16,   // green
    18,   // cyan
    128,  // red
    130,  // magenta
    144,  // brown
    182,  // light grey
    109,  // dark grey
    3,    // light blue
    28,   // light green
    31,   // light cyan
    224,  // light red
    227,  // light magenta
    252,  // yellow
    255,  // white
};

namespace {

void rasterise_cell(int row, int column, uint16_t cell) {
    const uint8_t* glyph = &font[(cell & 0xFF) * glyph_size];
    const uint8_t foreground = colour_map[(cell >> 8) & 0x0F];
    const uint8_t background = colour_map[cell >> 12];
    uint8_t* pixel = &frame_buffer[(row * glyph_size) * frame_width + column * glyph_size];
    for (int k = 0; k < glyph_size; ++k, pixel += frame_width) {
        for (int p = 0; p < glyph_size; ++p) {
            pixel[p] = (glyph[k] & (0x80 >> p)) ? foreground : background;
        }
    }
}

}  // namespace

rgb palette_colour(int index) {
    const int r = (index >> 5) & 7;
    const int g = (index >> 2) & 7;
    const int b = index & 3;
    return rgb{static_cast<uint8_t>(r * 255 / 7), static_cast<uint8_t>(g * 255 / 7), static_cast<uint8_t>(b * 85)};
}

void rasterise_changed_cells() {
    for (int row = 0; row < screen_rows; ++row) {
        for (int column = 0; column < screen_columns; ++column) {
            const int i = row * screen_columns + column;
            if (screen_cells[i] != shadow_cells[i]) rasterise_cell(row, column, screen_cells[i]);
        }
    }
    shadow_cells = screen_cells;
}

void reset_cells() {
    screen_cells.fill(0);
    shadow_cells.fill(0);
    frame_buffer.fill(0);
    font.fill(0);
    text_attr = 15;
    cursor_x = 0;
    cursor_y = 0;
}

}  // namespace console
