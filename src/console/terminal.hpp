// The terminal presenter: the 80 x 50 cells shown in a text terminal
// through curses, as the window shows them in pixels, and the terminal's
// keys turned into the SDL key events that the screens already take.
//
// A cell becomes one terminal character: its code page 437 character as
// Unicode on a UTF-8 locale, an ASCII stand-in otherwise, in its two text
// colours. A cell with pixels plotted over it (the oscilloscope) becomes a
// Braille pattern of those pixels, 2 x 4 dots for its 8 x 8 pixels.
// Only characters that changed since the last refresh are sent.
//
// A terminal narrower than 80 or lower than 50 shows the part of the
// screen that fits and, on its last line, a note of the size it needs.
// One that has a line to spare below the screen shows the title there (the
// song and its place in a play list); the title also goes to the
// terminal's own title bar.
#pragma once

#include <SDL.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "console/cells.hpp"

namespace console::terminal {

// Takes over the terminal on standard input and output and makes it the
// active presenter. Until `stop`, standard error is held back (a line
// there would tear the screen) and replayed afterwards. The terminal is
// given back on every way out: `stop`, exit() from anywhere (a failure
// included), and the orderly ends after SIGINT, SIGTERM and SIGHUP.
// False, with the reason in `why`, when the terminal cannot be used.
bool start(std::string& why);

// Gives the terminal back as it was (modes, cursor, colours, title) and
// replays what was written to standard error meanwhile. Harmless when the
// terminal is not taken.
void stop();

// ---- what a cell looks like in a terminal (no curses needed) ----

// The Unicode character of a code page 437 code; code 0 and 255 are
// spaces, and no code gives a control character.
char32_t unicode_of(uint8_t code);
// A printable ASCII character that resembles the code's glyph.
char ascii_of(uint8_t code);

// The 8 x 8 pixels of a cell, top row first, as palette indices.
using cell_pixels = std::array<uint8_t, glyph_size * glyph_size>;

// The dots of a Braille pattern (bit k is dot k + 1) for the pixels that
// differ from what the cell's own character draws: each dot stands for 4
// pixels across and 2 down, and is set when any of them differs.
uint8_t braille_dots(const cell_pixels& shown, const cell_pixels& character);

// The key event a terminal key stands for: a curses key code (a character
// or a KEY_ value), pressed with Alt (a meta bit or an Escape prefix) or
// not. False for codes that no screen takes.
bool key_event_for(int code, bool alt, SDL_keysym& key);

// The title as the terminal may be given it: control characters (and, on
// a locale that is not UTF-8, every byte above 127; on one that is,
// malformed sequences and C1 controls) become '?', so a name can never
// be an escape sequence.
std::string safe_title(std::string_view title, bool utf8);

// The entry of the 256-colour terminal palette (16 system colours
// excluded) nearest to the colour.
int nearest_256_colour(rgb colour);

}  // namespace console::terminal
