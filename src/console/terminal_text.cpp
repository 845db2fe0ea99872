// What the terminal presenter shows for a cell and what it makes of a key:
// code page 437 as Unicode or ASCII, Braille dots for plotted pixels, key
// codes as SDL key events, titles made safe, the 256-colour palette.
#include <curses.h>

#include <climits>
#include <cstdlib>

#include "console/terminal.hpp"

namespace console::terminal {

namespace {

// Code page 437 from 0x80 on.
constexpr std::array<char16_t, 128> upper_half_unicode = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,  // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,  // 90
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,  // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,  // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,  // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,  // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,  // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,  // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x0020,
};

// The glyphs of codes 0x00..0x1F (0 is blank).
constexpr std::array<char16_t, 32> control_glyphs = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, 0x25D8, 0x25CB, 0x25D9,
    0x2642, 0x2640, 0x266A, 0x266B, 0x263C, 0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7,
    0x25AC, 0x21A8, 0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
};

// ASCII look-alikes of the same two ranges.
constexpr char control_ascii[] = " @@v+++*#o#oodd*><|!PS_|^v><L-^v";
constexpr char upper_half_ascii[] =
    "CueaaaaceeeiiiAAEaAooouuyOUcLYPf"  // 80..9F: letters with accents, currencies
    "aiounNao?--24!<>"                  // A0..AF
    ".:#|++++++|+++++"                  // B0..BF: shades, box drawing
    "++++-++++++++=++"                  // C0..CF
    "+++++++++++#_||\""                 // D0..DF: boxes, blocks
    "aBGpSsutFOOd8fen"                  // E0..EF: Greek, symbols
    "=+><()/~o..vn2# ";                 // F0..FF
static_assert(sizeof control_ascii - 1 == 32 && sizeof upper_half_ascii - 1 == 128);

constexpr uint16_t shift = KMOD_LSHIFT;
constexpr uint16_t alt_mod = KMOD_LALT;

// The digit keys a shifted digit comes from on a US keyboard: the partial
// steps downwards are Shift+1 .. Shift+8.
constexpr std::string_view shifted_digits = "!@#$%^&*";

bool set_key(SDL_keysym& key, SDLKey sym, uint16_t mod) {
    key = SDL_keysym{};
    key.sym = sym;
    key.mod = static_cast<SDLMod>(mod);
    key.unicode = 0;
    return true;
}

bool character_key(int code, uint16_t mod, SDL_keysym& key) {
    if (code >= 'a' && code <= 'z') return set_key(key, static_cast<SDLKey>(SDLK_a + (code - 'a')), mod);
    if (code >= 'A' && code <= 'Z') return set_key(key, static_cast<SDLKey>(SDLK_a + (code - 'A')), mod | shift);
    if (code >= '0' && code <= '9') return set_key(key, static_cast<SDLKey>(SDLK_0 + (code - '0')), mod);
    if (const size_t k = shifted_digits.find(static_cast<char>(code));
        code > 0 && code < 128 && k != std::string_view::npos)
        return set_key(key, static_cast<SDLKey>(SDLK_1 + k), mod | shift);
    switch (code) {
        case '\r':
        case '\n': return set_key(key, SDLK_RETURN, mod);
        case '\t': return set_key(key, SDLK_TAB, mod);
        case ' ': return set_key(key, SDLK_SPACE, mod);
        case 8:
        case 127: return set_key(key, SDLK_BACKSPACE, mod);
        case 27: return set_key(key, SDLK_ESCAPE, mod);
        default: return false;
    }
}

// The xterm colour cube's six levels and its grey ramp.
constexpr std::array<int, 6> cube_levels = {0, 95, 135, 175, 215, 255};

int distance(rgb a, int r, int g, int b) {
    return (a.r - r) * (a.r - r) + (a.g - g) * (a.g - g) + (a.b - b) * (a.b - b);
}

}  // namespace

char32_t unicode_of(uint8_t code) {
    if (code < 0x20) return control_glyphs[code];
    if (code == 0x7F) return 0x2302;
    if (code >= 0x80) return upper_half_unicode[code - 0x80];
    return code;
}

char ascii_of(uint8_t code) {
    if (code < 0x20) return control_ascii[code];
    if (code == 0x7F) return '^';
    if (code >= 0x80) return upper_half_ascii[code - 0x80];
    return static_cast<char>(code);
}

uint8_t braille_dots(const cell_pixels& shown, const cell_pixels& character) {
    // Dots 1 2 3 7 run down the left column, 4 5 6 8 down the right.
    constexpr uint8_t dot_bits[4][2] = {{0x01, 0x08}, {0x02, 0x10}, {0x04, 0x20}, {0x40, 0x80}};
    uint8_t dots = 0;
    for (int y = 0; y < glyph_size; ++y)
        for (int x = 0; x < glyph_size; ++x)
            if (shown[y * glyph_size + x] != character[y * glyph_size + x]) dots |= dot_bits[y / 2][x / 4];
    return dots;
}

bool key_event_for(int code, bool alt, SDL_keysym& key) {
    const uint16_t mod = alt ? alt_mod : 0;
    if (code >= KEY_F(1) && code <= KEY_F(15))
        return set_key(key, static_cast<SDLKey>(SDLK_F1 + (code - KEY_F(1))), mod);
    switch (code) {
        case KEY_UP: return set_key(key, SDLK_UP, mod);
        case KEY_DOWN: return set_key(key, SDLK_DOWN, mod);
        case KEY_LEFT: return set_key(key, SDLK_LEFT, mod);
        case KEY_RIGHT: return set_key(key, SDLK_RIGHT, mod);
        case KEY_HOME:
        case KEY_A1: return set_key(key, SDLK_HOME, mod);
        case KEY_END:
        case KEY_C1: return set_key(key, SDLK_END, mod);
        case KEY_PPAGE:
        case KEY_A3: return set_key(key, SDLK_PAGEUP, mod);
        case KEY_NPAGE:
        case KEY_C3: return set_key(key, SDLK_PAGEDOWN, mod);
        case KEY_ENTER: return set_key(key, SDLK_RETURN, mod);
        case KEY_BACKSPACE: return set_key(key, SDLK_BACKSPACE, mod);
        case KEY_SUSPEND:
        case KEY_BREAK: return set_key(key, SDLK_PAUSE, mod);
        case KEY_SHOME: return set_key(key, SDLK_HOME, mod | shift);
        case KEY_SEND: return set_key(key, SDLK_END, mod | shift);
        default: break;
    }
    return code >= 0 && code < 128 && character_key(code, mod, key);
}

std::string safe_title(std::string_view title, bool utf8) {
    std::string safe;
    for (size_t i = 0; i < title.size();) {
        const auto byte = static_cast<unsigned char>(title[i]);
        if (byte < 0x80) {
            safe += byte < 0x20 || byte == 0x7F ? '?' : static_cast<char>(byte);
            ++i;
            continue;
        }
        // A well-formed sequence of 2 to 4 bytes for a character from U+00A0
        // on passes whole; anything else is one '?' per byte.
        const int length = byte >= 0xF0 && byte <= 0xF4 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 && byte < 0xE0 ? 2 : 0;
        bool well_formed = utf8 && length > 0 && i + length <= title.size();
        uint32_t value = length == 2 ? byte & 0x1F : length == 3 ? byte & 0x0F : byte & 0x07;
        for (int k = 1; well_formed && k < length; ++k) {
            const auto next = static_cast<unsigned char>(title[i + k]);
            well_formed = (next & 0xC0) == 0x80;
            value = value << 6 | (next & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0xA0, 0x800, 0x10000};
        well_formed = well_formed && value >= least[length] && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
        if (well_formed) {
            safe.append(title.substr(i, length));
            i += length;
        } else {
            safe += '?';
            ++i;
        }
    }
    return safe;
}

int nearest_256_colour(rgb colour) {
    int best = 16;
    int best_distance = INT_MAX;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                if (const int d = distance(colour, cube_levels[r], cube_levels[g], cube_levels[b]); d < best_distance) {
                    best_distance = d;
                    best = 16 + 36 * r + 6 * g + b;
                }
    for (int k = 0; k < 24; ++k)
        if (const int level = 8 + 10 * k, d = distance(colour, level, level, level); d < best_distance) {
            best_distance = d;
            best = 232 + k;
        }
    return best;
}

}  // namespace console::terminal
