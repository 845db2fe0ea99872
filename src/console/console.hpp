// Text console: an 80 x 50 screen of 16-bit text cells drawn with an 8x8
// font into a 640 x 400 x 8-bit SDL 1.2 surface.
//
// A text cell holds the character code in bits 0..7, the foreground colour
// in bits 8..11 and the background colour in bits 12..15; its high byte is
// the attribute. Screens are composed by writing cells into `screen_cells`;
// nothing becomes visible until `refresh_screen`, which rasterises only the
// cells that changed since the previous refresh and then presents the whole
// frame buffer.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace console {

constexpr int screen_columns = 80;
constexpr int screen_rows = 50;
constexpr int cell_count = screen_columns * screen_rows;
constexpr int glyph_size = 8;
constexpr int frame_width = screen_columns * glyph_size;   // 640
constexpr int frame_height = screen_rows * glyph_size;     // 400
constexpr int frame_bytes = frame_width * frame_height;    // 256,000
constexpr std::size_t max_text_length = 255;

// Cell of column c and row r is element r * 80 + c.
using tconsoletype = std::array<uint16_t, cell_count>;

// ---- screen, font, palette, video mode ----

extern tconsoletype screen_cells;    // the current screen
extern tconsoletype shadow_cells;    // screen_cells as of the last refresh
// 400 rows of 640 palette indices; pixel (x, y) is byte y * 640 + x. Pixels
// plotted here directly stay until their cell is rasterised again.
extern std::array<uint8_t, frame_bytes> frame_buffer;
extern std::array<SDL_Color, 256> palette;   // 3-3-2 colour cube
extern const std::array<uint8_t, 16> colour_map;  // text colour -> palette index
// Glyph of code n is bytes 8n..8n+7, top row first, bit 7 the leftmost pixel.
extern std::array<uint8_t, 256 * glyph_size> font;
extern SDL_Surface* video_surface;   // null until a mode is open
extern uint8_t fullscreen;           // 0 window, 1 full screen

// The constant glyph data that console_init installs into `font`.
extern const std::array<uint8_t, 256 * glyph_size> font_glyphs;

// Opens a video mode; SDL_SetVideoMode unless replaced (tests replace it to
// make a mode change fail).
using video_mode_opener = SDL_Surface* (*)(int width, int height, int bpp, Uint32 flags);
extern video_mode_opener open_video_mode;

// Installs the font and builds the palette.
void console_init();

// Returns the whole module to its state at program start: every array
// zero, cursor 0,0, text_attr 15, window mode, no surface, no font, no
// quit event seen.
void console_reset();

// Opens the 640 x 400 x 8 mode, in the window or full screen as `fullscreen`
// says; with `toggle` the setting is flipped first. If a toggled mode cannot
// be opened the previous mode is reopened, so the program keeps a surface.
// Returns false when no surface could be opened at all.
bool set_video_mode(bool toggle);

// Rasterises the changed cells, remembers the screen in shadow_cells and
// presents the whole frame buffer.
void refresh_screen();

// Presents the screen as refresh_screen does, but only when a cell changed
// since the last refresh or a video mode was opened since: an unchanged
// screen costs nothing. Pixels plotted into the frame buffer alone do not
// count as a change.
void refresh_changed_screen();

// Names the window (title and icon name).
void set_window_title(std::string_view title);

// ---- text output ----

extern uint8_t text_attr;   // attribute given to written cells; 15 at start
extern uint8_t cursor_x;    // column of the next character
extern uint8_t cursor_y;    // row of the next character; stops at 255, never wraps to 0

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

// ---- input ----

extern SDL_Event last_event;  // the event most recently fetched by poll_key or wait_key
extern bool window_closed;    // an SDL quit event (the window's close button) has been fetched

// Fetches one pending event into last_event without waiting; true exactly
// when it was a key press.
bool poll_key();

// Fetches one pending event of any kind into last_event without waiting;
// false when none is pending.
bool poll_event();

// As poll_key, but when no event is pending waits for one, looking every
// few milliseconds, for at most about `timeout_ms`; returns false at once
// when a quit is requested.
bool wait_key(uint32_t timeout_ms);

// The user asked the program to end: the window's close button (an SDL
// quit event, also one still waiting in the queue behind other events),
// SIGINT or SIGTERM.
bool quit_requested();

}  // namespace console
