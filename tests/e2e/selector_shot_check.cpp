// Checks a screenshot (binary PPM, 640 x 400) of the playtun window against
// the cells the screen should hold, pixel by pixel, with the console font:
//
//   selector_shot_check list SHOT.ppm BAR_INDEX ENTRY...
//       the file selector: its banner, then one row per ENTRY from screen
//       row 2 on, the bar on entry BAR_INDEX (0-based); ENTRY is "d:NAME"
//       for a directory, shown as <NAME> in dark grey, or "f:NAME" for a
//       song file, shown as NAME in light grey; "n:TEXT" is a notice on
//       row 1 in light red. The bottom row names the keys in dark grey;
//       the two rows above it hold the facts of the song under the bar: a
//       song of player_make_song of 10 seconds, or, for "b:NAME", a file
//       that is no song and says so; every other cell blank.
//   selector_shot_check read SHOT.ppm ROW FIRST LAST ATTRIBUTE
//       prints the text of cells FIRST..LAST of ROW drawn in ATTRIBUTE
//       (hexadecimal), "?" for a cell that shows no glyph in it.
//   selector_shot_check player SHOT.ppm SONG
//       the player screen playing a song of player_make_song named SONG:
//       the badge, the title banner, the Playing line, the position, the
//       borders of three voices and the channel values in the voice rows.
//
// Prints every mismatch (the first few cells of each row in full); exit
// status 0 when everything matches.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/console.hpp"

#include "screenshot.hpp"

namespace {

using test_support::read_ppm;
using test_support::rgb;
using image = test_support::screenshot;

// The sixteen text colours as they reach the window.
constexpr rgb text_colours[16] = {
    {0, 0, 0},      {0, 0, 170}, {0, 145, 0}, {0, 145, 170}, {145, 0, 0}, {145, 0, 170}, {145, 145, 0}, {182, 182, 170},
    {109, 109, 85}, {0, 0, 255}, {0, 255, 0}, {0, 255, 255}, {255, 0, 0}, {255, 0, 255}, {255, 255, 0}, {255, 255, 255},
};
constexpr rgb light_grey = text_colours[7];

constexpr int columns = 80, rows = 50;

// What one cell must show; cells left unchecked have `checked` false.
struct cell {
    bool checked = false;
    uint8_t code = 0;
    uint8_t attr = 0;
};

struct screen {
    std::vector<cell> cells = std::vector<cell>(columns * rows);
    cell& at(int column, int row) { return cells[static_cast<size_t>(row) * columns + column]; }
    void put(int column, int row, uint8_t code, uint8_t attr) { at(column, row) = {true, code, attr}; }
    void text(int column, int row, const std::string& s, uint8_t attr) {
        for (size_t i = 0; i < s.size(); ++i) put(column + static_cast<int>(i), row, static_cast<uint8_t>(s[i]), attr);
    }
    void blank_rows(int first, int last) {
        for (int row = first; row <= last; ++row)
            for (int c = 0; c < columns; ++c) put(c, row, 0, 0x07);
    }
};

int failures = 0;

void fail(const std::string& what) {
    std::printf("FAIL: %s\n", what.c_str());
    ++failures;
}

// Compares every checked cell with its glyph in the attribute's colours.
void compare(const image& im, screen& want) {
    for (int row = 0; row < rows; ++row) {
        int reported = 0;
        for (int column = 0; column < columns; ++column) {
            const cell& c = want.at(column, row);
            if (!c.checked) continue;
            const rgb fg = text_colours[c.attr & 0x0F], bg = text_colours[c.attr >> 4];
            int wrong = 0;
            for (int y = 0; y < 8; ++y) {
                const uint8_t bits = console::font_glyphs[c.code * 8u + static_cast<unsigned>(y)];
                for (int x = 0; x < 8; ++x) {
                    const rgb expected = (bits & (0x80 >> x)) ? fg : bg;
                    wrong += !(im.at(column * 8 + x, row * 8 + y) == expected);
                }
            }
            if (wrong == 0) continue;
            ++failures;
            if (++reported <= 4) {
                const rgb seen = im.at(column * 8 + 3, row * 8 + 3);
                std::printf(
                    "FAIL: cell %d,%d should be code 0x%02X in attribute 0x%02X: %d of 64 pixels differ"
                    " (pixel 3,3 is %d,%d,%d)\n",
                    column, row, c.code, c.attr, wrong, seen.r, seen.g, seen.b);
            }
        }
        if (reported > 4) std::printf("FAIL: ... %d more cells of row %d differ\n", reported - 4, row);
    }
}

const std::string selector_banner =
    "\xDB\xDB"
    " Orwick's TUN-File-Selector v0.1b b20021206"
    "                         "
    "\xDB\xDB\xDB\xDB\xB2\xB2\xB2\xB1\xB1\xB0";

const std::string player_banner =
    "\xDB\xDB MELVOX TUN-Player_w32 b20080226                MELodic VOice eXer "
    "\xDB\xDB\xDB\xDB\xDB\xB2\xB2\xB2\xB1\xB1\xB0";

const std::string key_row = "Up Down PgUp PgDn Home End  Return open/play  Alt+Return full screen  Escape end";

int check_list(const image& im, int bar, std::vector<std::string> entries) {
    screen want;
    want.blank_rows(0, rows - 1);
    want.text(0, 0, selector_banner, 0x0F);
    want.text(0, rows - 1, key_row, 0x08);
    if (!entries.empty() && entries.front().starts_with("n:")) {
        want.text(0, 1, entries.front().substr(2), 0x0C);
        entries.erase(entries.begin());
    }
    for (size_t k = 0; k < entries.size(); ++k) {
        const std::string& e = entries[k];
        if (e.size() < 3 || (e[0] != 'd' && e[0] != 'f' && e[0] != 'b') || e[1] != ':') {
            std::fprintf(stderr, "bad entry %s\n", e.c_str());
            return 2;
        }
        const bool is_dir = e[0] == 'd';
        const std::string caption = is_dir ? std::string("<").append(e, 2).append(">") : e.substr(2);
        const int row = 2 + static_cast<int>(k);
        uint8_t attr = is_dir ? 0x08 : 0x07;
        if (static_cast<int>(k) == bar) {
            attr = is_dir ? 0x1C : 0x9C;
            for (int c = 0; c < columns; ++c) want.put(c, row, 0, attr);
            if (e[0] == 'b') {
                want.text(0, rows - 3, "?No SID-DUMP file  ERROR", 0x07);
            } else if (e[0] == 'f') {
                want.text(0, rows - 3, "Text    A steady chord for the screenshot session.", 0x07);
                want.text(0, rows - 2, "Release", 0x07);
                want.text(40, rows - 2, "Length 0:10.00", 0x07);
                want.text(72, rows - 2, "Voices 3", 0x07);
            }
        }
        want.text(39 - static_cast<int>(caption.size()) / 2, row, caption, attr);
    }
    compare(im, want);
    return 0;
}

int check_player(const image& im, const std::string& song) {
    screen want;
    // Badge "02": pulse fold is on from start-up, so dark grey on white.
    want.text(0, 0, "02", 0xF8);
    want.text(2, 0, player_banner.substr(2), 0x0F);
    const std::string playing = std::string("Playing ").append(song).append(" at 50hz on Tonera3 (48khz)");
    want.text(0, 1, playing, 0x07);
    for (int c = static_cast<int>(playing.size()); c < 69; ++c) want.put(c, 1, 0, 0x07);
    want.blank_rows(2, 2);
    for (int c = 0; c < columns; ++c) {
        want.put(c, 3, 0xDC, 0x09);
        want.put(c, 5, 0xDF, 0x09);
        want.put(c, 6, 0xDC, 0x0F);
        want.put(c, 10, 0xDF, 0x0F);
    }
    want.blank_rows(11, 15);
    // Voice rows of the song that player_make_song writes, once its first
    // frame has been read: pitch 0x4n0 + 0x100 v, control 0x41 + v, volume
    // E0, pulse 60, filter 40, each field in its own colours on light grey.
    for (int v = 0; v < 3; ++v) {
        const int row = 7 + v;
        want.put(0, row, static_cast<uint8_t>('1' + v), 0x70);
        want.put(5, row, static_cast<uint8_t>('4' + v), 0x70);
        want.text(9, row, std::string{'4', static_cast<char>('1' + v)}, 0x70);
        want.text(11, row, "E0", 0x71);
        want.text(13, row, "60", 0x72);
        want.text(15, row, "40", 0x74);
    }
    compare(im, want);
    // The position, minutes:seconds twice, light grey.
    int position = 0;
    for (int y = 8; y < 16; ++y)
        for (int x = 69 * 8; x < 640; ++x) position += im.at(x, y) == light_grey;
    if (position < 80) fail("no song position at row 1, columns 69..79 (" + std::to_string(position) + " pixels)");
    return 0;
}

// The text of a run of cells in one attribute, glyph by glyph.
std::string read_text(const image& im, int row, int first, int last, uint8_t attr) {
    const rgb fg = text_colours[attr & 0x0F], bg = text_colours[attr >> 4];
    std::string text;
    for (int column = first; column <= last; ++column) {
        char found = '?';
        for (int code = 32; code < 127 && found == '?'; ++code) {
            bool same = true;
            for (int y = 0; y < 8 && same; ++y) {
                const uint8_t bits = console::font_glyphs[static_cast<unsigned>(code) * 8u + static_cast<unsigned>(y)];
                for (int x = 0; x < 8 && same; ++x)
                    same = im.at(column * 8 + x, row * 8 + y) == ((bits & (0x80 >> x)) ? fg : bg);
            }
            if (same) found = static_cast<char>(code);
        }
        text += found;
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc >= 3 ? argv[1] : "";
    if (!(mode == "list" && argc >= 4) && !(mode == "player" && argc == 4) && !(mode == "read" && argc == 7)) {
        std::fprintf(stderr,
                     "usage: selector_shot_check list SHOT.ppm BAR_INDEX d:DIR|f:FILE|n:NOTICE...\n"
                     "       selector_shot_check player SHOT.ppm SONG\n"
                     "       selector_shot_check read SHOT.ppm ROW FIRST LAST ATTRIBUTE\n");
        return 2;
    }
    if (selector_banner.size() != 80 || player_banner.size() != 80) {
        std::fprintf(stderr, "a banner is not 80 characters long\n");
        return 2;
    }
    image im;
    if (!read_ppm(argv[2], im)) {
        std::printf("FAIL: cannot read %s\n", argv[2]);
        return 1;
    }
    if (im.width != 640 || im.height != 400) {
        std::printf("FAIL: the window is %d x %d, not 640 x 400\n", im.width, im.height);
        return 1;
    }
    if (mode == "read") {
        std::printf("%s\n", read_text(im, std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                                      static_cast<uint8_t>(std::strtol(argv[6], nullptr, 16)))
                                .c_str());
        return 0;
    }
    int usage = 0;
    if (mode == "list")
        usage = check_list(im, std::atoi(argv[3]), std::vector<std::string>(argv + 4, argv + argc));
    else
        usage = check_player(im, argv[3]);
    if (usage != 0) return usage;
    std::printf("%s: %s\n", mode.c_str(), failures == 0 ? "ok" : "FAILED");
    return failures == 0 ? 0 : 1;
}
