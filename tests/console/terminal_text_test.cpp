// The terminal presenter's translations: code page 437 characters, Braille
// dots of plotted pixels, curses key codes as SDL key events, safe titles
// and the 256-colour palette.
#include <curses.h>
#include <gtest/gtest.h>

#include <string>

#include "console/terminal.hpp"

namespace {

using namespace console::terminal;

TEST(TerminalText, CodePage437CharactersAsUnicode) {
    struct known {
        uint8_t code;
        char32_t unicode;
        char ascii;
    };
    // The glyphs the screens use most (blocks, shades, box drawing) and
    // one of each other family, from the code page's published chart.
    const known cases[] = {
        {0x00, U' ', ' '},      {0x01, U'\u263A', '@'}, {0x1A, U'\u2192', '>'}, {0x1B, U'\u2190', '<'},
        {0x20, U' ', ' '},      {'A', U'A', 'A'},       {'~', U'~', '~'},       {0x7F, U'\u2302', '^'},
        {0x80, U'\u00C7', 'C'}, {0x9C, U'\u00A3', 'L'}, {0xA4, U'\u00F1', 'n'}, {0xB0, U'\u2591', '.'},
        {0xB1, U'\u2592', ':'}, {0xB2, U'\u2593', '#'}, {0xB3, U'\u2502', '|'}, {0xBA, U'\u2551', '|'},
        {0xC4, U'\u2500', '-'}, {0xC5, U'\u253C', '+'}, {0xCD, U'\u2550', '='}, {0xDA, U'\u250C', '+'},
        {0xDB, U'\u2588', '#'}, {0xDC, U'\u2584', '_'}, {0xDD, U'\u258C', '|'}, {0xDF, U'\u2580', '"'},
        {0xE1, U'\u00DF', 'B'}, {0xE3, U'\u03C0', 'p'}, {0xF8, U'\u00B0', 'o'}, {0xFE, U'\u25A0', '#'},
        {0xFF, U' ', ' '},
    };
    for (const known& k : cases) {
        EXPECT_EQ(unicode_of(k.code), k.unicode) << "code " << int{k.code};
        EXPECT_EQ(ascii_of(k.code), k.ascii) << "code " << int{k.code};
    }
}

// Song text reaches the cells byte for byte: no byte may come out as a
// control character of the terminal.
TEST(TerminalText, NoCodeBecomesAControlCharacter) {
    for (int code = 0; code < 256; ++code) {
        const char32_t u = unicode_of(static_cast<uint8_t>(code));
        EXPECT_TRUE(u >= 0x20 && u != 0x7F && (u < 0x80 || u >= 0xA0)) << "code " << code;
        const char a = ascii_of(static_cast<uint8_t>(code));
        EXPECT_TRUE(a >= 0x20 && a < 0x7F) << "code " << code;
    }
}

TEST(TerminalText, BrailleDotsStandForFourByTwoPixels) {
    struct plot {
        int x, y;
        uint8_t dots;
    };
    // Dots 1 2 3 7 down the left half, 4 5 6 8 down the right.
    const plot cases[] = {
        {0, 0, 0x01}, {3, 1, 0x01}, {4, 0, 0x08}, {7, 1, 0x08}, {0, 2, 0x02}, {5, 3, 0x10},
        {2, 4, 0x04}, {6, 5, 0x20}, {1, 6, 0x40}, {3, 7, 0x40}, {4, 7, 0x80}, {7, 6, 0x80},
    };
    cell_pixels character{};
    character.fill(3);
    for (const plot& p : cases) {
        cell_pixels shown = character;
        shown[p.y * 8 + p.x] = 12;
        EXPECT_EQ(braille_dots(shown, character), p.dots) << p.x << "," << p.y;
    }
    EXPECT_EQ(braille_dots(character, character), 0) << "nothing plotted";
    cell_pixels everywhere{};
    EXPECT_EQ(braille_dots(everywhere, character), 0xFF);
}

TEST(TerminalText, KeysBecomeTheScreensKeyEvents) {
    struct key_case {
        int code;
        bool alt;
        SDLKey sym;
        int mod;
    };
    const key_case cases[] = {
        {27, false, SDLK_ESCAPE, 0},
        {'\r', false, SDLK_RETURN, 0},
        {'\n', false, SDLK_RETURN, 0},
        {KEY_ENTER, false, SDLK_RETURN, 0},
        {'\r', true, SDLK_RETURN, KMOD_LALT},
        {KEY_NPAGE, false, SDLK_PAGEDOWN, 0},
        {KEY_PPAGE, false, SDLK_PAGEUP, 0},
        {KEY_HOME, false, SDLK_HOME, 0},
        {KEY_END, false, SDLK_END, 0},
        {KEY_RIGHT, false, SDLK_RIGHT, 0},
        {KEY_LEFT, false, SDLK_LEFT, 0},
        {KEY_UP, false, SDLK_UP, 0},
        {KEY_DOWN, false, SDLK_DOWN, 0},
        {KEY_F(1), false, SDLK_F1, 0},
        {KEY_F(8), false, SDLK_F8, 0},
        {'\t', false, SDLK_TAB, 0},
        {KEY_BACKSPACE, false, SDLK_BACKSPACE, 0},
        {127, false, SDLK_BACKSPACE, 0},
        {' ', false, SDLK_SPACE, 0},
        {'k', false, SDLK_k, 0},
        {'K', false, SDLK_k, KMOD_LSHIFT},
        {'1', false, SDLK_1, 0},
        {'!', false, SDLK_1, KMOD_LSHIFT},
        {'*', false, SDLK_8, KMOD_LSHIFT},
        {'x', true, SDLK_x, KMOD_LALT},
    };
    for (const key_case& k : cases) {
        SDL_keysym key{};
        ASSERT_TRUE(key_event_for(k.code, k.alt, key)) << "code " << k.code;
        EXPECT_EQ(key.sym, k.sym) << "code " << k.code;
        EXPECT_EQ(key.mod, k.mod) << "code " << k.code;
    }
    SDL_keysym key{};
    for (const int ignored : {KEY_MOUSE, 0x1F, 0x200, -1}) EXPECT_FALSE(key_event_for(ignored, false, key)) << ignored;
}

TEST(TerminalText, TitlesCarryNoEscapeSequence) {
    struct title_case {
        std::string text;
        bool utf8;
        std::string safe;
    };
    const title_case cases[] = {
        {"playtun - song.tun (2 of 5)", true, "playtun - song.tun (2 of 5)"},
        {"a\033]2;x\007b", true, "a?]2;x?b"},
        {"caf\xC3\xA9", true, "caf\xC3\xA9"},
        {"caf\xC3\xA9", false, "caf??"},
        {"\xC2\x9B"
         "31m",
         true, "??31m"},  // U+009B, the one-byte CSI
        {"\x9B"
         "31m",
         true, "?31m"},                 // a lone continuation byte
        {"\xE2\x96", true, "??"},       // cut short
        {"\xC0\x9B", true, "??"},       // over-long
        {"\xED\xA0\x80", true, "???"},  // a surrogate
        {"\xF0\x9F\x8E\xB5", true, "\xF0\x9F\x8E\xB5"},
        {"tab\there\x7F", true, "tab?here?"},
    };
    for (const title_case& c : cases) EXPECT_EQ(safe_title(c.text, c.utf8), c.safe) << c.text;
}

TEST(TerminalText, NearestEntriesOfThe256ColourPalette) {
    struct colour_case {
        console::rgb colour;
        int entry;
    };
    const colour_case cases[] = {
        {{0, 0, 0}, 16},      {{255, 255, 255}, 231}, {{0, 0, 255}, 21}, {{255, 0, 0}, 196},     {{0, 255, 0}, 46},
        {{95, 135, 175}, 67}, {{128, 128, 128}, 244}, {{8, 8, 8}, 232},  {{238, 238, 238}, 255}, {{100, 0, 0}, 52},
    };
    for (const colour_case& c : cases)
        EXPECT_EQ(nearest_256_colour(c.colour), c.entry)
            << int{c.colour.r} << "," << int{c.colour.g} << "," << int{c.colour.b};
}

}  // namespace
