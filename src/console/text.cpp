// Text output primitives. They only change screen_cells and the cursor;
// the screen shows the result at the next refresh. Every write goes
// through a bounds check, so no argument can reach memory outside the cell
// array.
#include "console/cells.hpp"

#include <algorithm>

namespace console {

uint8_t text_attr = 15;
uint8_t cursor_x = 0;
uint8_t cursor_y = 0;

namespace {

constexpr uint8_t last_column = screen_columns - 1;
constexpr uint8_t last_row = screen_rows - 1;
constexpr uint8_t upper_half_block = 0xDF;

uint16_t blank_cell(uint8_t attribute) { return static_cast<uint16_t>(attribute << 8); }

uint16_t& cell_at(int column, int row) { return screen_cells[row * screen_columns + column]; }

// The part [first, end) of a band of rows that lies on the screen.
struct row_span {
    int first;
    int end;
};

row_span rows_on_screen(int first_row, int count) {
    const int first = std::min(first_row, static_cast<int>(screen_rows));
    const int end = std::min(first_row + count, static_cast<int>(screen_rows));
    return {first, end};
}

// Moves the cursor down without ever wrapping back onto the screen.
void advance_row() {
    if (cursor_y < 0xFF) ++cursor_y;
}

}  // namespace

void write_text(std::string_view text) {
    text = text.substr(0, std::min(text.size(), max_text_length));
    for (const char ch : text) {
        if (cursor_x <= last_column && cursor_y <= last_row) {
            cell_at(cursor_x, cursor_y) = static_cast<uint16_t>(blank_cell(text_attr) | static_cast<uint8_t>(ch));
        }
        ++cursor_x;
        // The wrap comes right after the character in column 79.
        if (cursor_x > last_column) {
            cursor_x = 0;
            advance_row();
        }
    }
}

void new_line() {
    cursor_x = 0;
    advance_row();
}

// A line that ends exactly in column 79 has already wrapped, so the new line
// skips one more row; callers rely on that row staying untouched.
void write_line(std::string_view text) {
    write_text(text);
    new_line();
}

void go_to(uint8_t column, uint8_t row) {
    if (column > last_column || row > last_row) return;
    cursor_x = column;
    cursor_y = row;
}

void write_text_at(uint8_t column, uint8_t row, std::string_view text) {
    if (column > last_column || row > last_row) return;
    go_to(column, row);
    write_text(text);
}

void clear_to_eol() {
    if (cursor_x > last_column || cursor_y > last_row) return;
    for (int column = cursor_x; column <= last_column; ++column) {
        cell_at(column, cursor_y) = blank_cell(text_attr);
    }
}

void clear_screen() {
    screen_cells.fill(blank_cell(text_attr));
    cursor_x = 0;
    cursor_y = 0;
}

void fill_rows(uint8_t first_row, uint8_t count, uint8_t attribute) {
    const row_span rows = rows_on_screen(first_row, count);
    std::fill(screen_cells.begin() + rows.first * screen_columns, screen_cells.begin() + rows.end * screen_columns,
              blank_cell(attribute));
}

void clear_backgrounds(uint8_t first_row, uint8_t count) {
    const row_span rows = rows_on_screen(first_row, count);
    for (int i = rows.first * screen_columns; i < rows.end * screen_columns; ++i) {
        screen_cells[i] &= 0x0FFF;
    }
}

// Column 79 keeps its old cell: the caller writes the new rightmost column.
void shift_row_left(uint8_t row) {
    if (row > last_row) return;
    for (int column = 1; column <= last_column; ++column) {
        cell_at(column - 1, row) = static_cast<uint16_t>(blank_cell(text_attr) | (cell_at(column, row) & 0xFF));
    }
}

// Each row of the band moves up one row as it is; the last row of the band
// keeps its content. Row 0 has no row above it, so it never moves.
void scroll_rows_up(uint8_t first_row, uint8_t count) {
    row_span rows = rows_on_screen(first_row, count);
    rows.first = std::max(rows.first, 1);
    if (rows.end <= rows.first) return;
    std::copy(screen_cells.begin() + rows.first * screen_columns, screen_cells.begin() + rows.end * screen_columns,
              screen_cells.begin() + (rows.first - 1) * screen_columns);
}

// Glyph 0xDF is the upper half block: its foreground paints the upper half
// of the cell, its background the lower half.
void plot_half_block(uint8_t x, uint8_t y, uint8_t colour) {
    if (x > last_column || y >= 2 * screen_rows || colour > 15) return;
    uint16_t& cell = cell_at(x, y / 2);
    if (y % 2 == 0) {
        cell = static_cast<uint16_t>((cell & 0xF000) | (colour << 8) | upper_half_block);
    } else {
        cell = static_cast<uint16_t>((colour << 12) | (cell & 0x0F00) | upper_half_block);
    }
}

std::string number_text(int32_t value) {
    // Work on the magnitude as unsigned: -2147483648 has no positive int32_t.
    uint32_t magnitude = value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    char digits[11];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    std::string text;
    if (value < 0) text += '-';
    while (n > 0) text += digits[--n];
    return text;
}

std::string upper_case(std::string_view text) {
    std::string result(text);
    for (char& ch : result) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 0x20);
    }
    return result;
}

}  // namespace console
