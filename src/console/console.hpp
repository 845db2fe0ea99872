// Text console on SDL 1.2: the cells of cells.hpp shown in a 640 x 400 x
// 8-bit surface, the video mode, and the key poll.
//
// Screens are composed by writing cells into `screen_cells`; nothing
// becomes visible until `refresh_screen`, which rasterises only the cells
// that changed since the previous refresh and then presents the whole frame
// buffer.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "console/cells.hpp"
#include "console/pointer.hpp"

namespace console {

// ---- palette, video mode ----

extern std::array<SDL_Color, 256> palette;  // 3-3-2 colour cube (palette_colour)
extern SDL_Surface* video_surface;          // null until a mode is open
extern uint8_t fullscreen;                  // 0 window, 1 full screen

// Opens a video mode; SDL_SetVideoMode unless replaced (tests replace it to
// make a mode change fail).
using video_mode_opener = SDL_Surface* (*)(int width, int height, int bpp, Uint32 flags);
extern video_mode_opener open_video_mode;

// Installs the font and builds the palette.
void console_init();

// Returns the whole module to its state at program start: every array
// zero, cursor 0,0, text_attr 15, window mode, no surface, no font, no
// quit event or click seen.
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

// ---- a second presenter ----

// Another way to show the cells and take the keys (the terminal). While one
// is active it replaces the window: refreshes go to `present`, titles to
// `set_title`, events come from `fetch_event` as SDL key events (and mouse
// button presses at pixels of the 640 x 400 frame), and a change of video
// mode does nothing.
struct presenter {
    void (*present)();  // the cells (and plotted pixels) are up to date
    void (*set_title)(std::string_view title);
    // Fetches one event into `event`, waiting at most `wait_ms` for it;
    // false when none came.
    bool (*fetch_event)(SDL_Event& event, uint32_t wait_ms);
};
// Null while the SDL window presents the cells.
extern const presenter* active_presenter;

// ---- input ----

extern SDL_Event last_event;  // the event most recently fetched by poll_key or wait_key
extern bool window_closed;    // an SDL quit event (the window's close button) has been fetched
extern click_timer window_clicks;  // the last click of the mouse's main button

// Fetches one pending event into last_event without waiting; true exactly
// when it was a key press. A press of a mouse button becomes last_pointer:
// the main button a click or a double click, buttons 4 and 5 (the wheel)
// a scroll of wheel_lines up or down, at the cell under the pointer as the
// window's size scales it.
bool poll_key();

// Fetches one pending event of any kind into last_event without waiting;
// false when none is pending.
bool poll_event();

// As poll_key, but when no event is pending waits for one, looking every
// few milliseconds, for at most about `timeout_ms`; returns false at once
// when a quit is requested.
bool wait_key(uint32_t timeout_ms);

// As wait_key, but a pointer event ends the wait too: true for a key press
// or a pointer event (last_pointer's kind is then not none).
bool wait_input(uint32_t timeout_ms);

// The user asked the program to end: the window's close button (an SDL
// quit event, also one still waiting in the queue behind other events),
// SIGINT or SIGTERM.
bool quit_requested();

}  // namespace console
