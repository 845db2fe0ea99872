// Opens the console in a real window and shows a known screen until a key
// is pressed or the time runs out. Used by the Xvfb screenshot tests.
//
//   console_screen_demo screen|font [seconds]
//
// Exit status: 0 after a key press, 2 after the timeout, 1 on bad usage or
// when no video mode opens.
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/console.hpp"

using namespace console;

namespace {

// The player's title row: 80 bytes of code page 437.
void draw_banner() {
    std::string banner = "\xDB\xDB MELVOX TUN-Player_w32 b20080226";
    banner += std::string(16, ' ');
    banner += "MELodic VOice eXer ";
    banner += "\xDB\xDB\xDB\xDB\xDB\xB2\xB2\xB2\xB1\xB1\xB0";
    text_attr = 0x1F;
    write_text_at(0, 0, banner);
}

void draw_test_screen() {
    draw_banner();
    text_attr = 0x9C;
    write_text_at(0, 2, "LIGHT RED ON LIGHT BLUE");
    text_attr = 0x0F;
    write_text_at(0, 4, "White on black: the quick brown fox jumps over the lazy dog 0123456789");
    text_attr = 0xF0;
    write_text_at(0, 6, "Black on white");
    // Sixteen swatches, two full blocks per text colour.
    for (int colour = 0; colour < 16; ++colour) {
        text_attr = static_cast<uint8_t>(colour);
        write_text_at(static_cast<uint8_t>(2 * colour), 8, "\xDB\xDB");
    }
    // Half blocks: light red above light green in cells 0..9 of row 10.
    for (int x = 0; x < 10; ++x) {
        plot_half_block(static_cast<uint8_t>(x), 20, 12);
        plot_half_block(static_cast<uint8_t>(x), 21, 10);
    }
    text_attr = 0x07;
    write_text_at(0, 49, "Press a key to close.");
}

// All 256 glyphs, white on blue, in a 16 x 16 grid with hexadecimal labels:
// glyph n sits in column 8 + 4 * (n % 16) of row 6 + 2 * (n / 16).
void draw_font_sheet() {
    const char* hex = "0123456789ABCDEF";
    text_attr = 0x0E;
    write_text_at(8, 1, "Console font, code page 437");
    text_attr = 0x07;
    for (int i = 0; i < 16; ++i) {
        write_text_at(static_cast<uint8_t>(8 + 4 * i), 4, std::string{'_', hex[i]});
        write_text_at(2, static_cast<uint8_t>(6 + 2 * i), std::string{hex[i], '_'});
    }
    for (int code = 0; code < 256; ++code) {
        screen_cells[(6 + 2 * (code / 16)) * 80 + 8 + 4 * (code % 16)] = static_cast<uint16_t>(0x1F00 | code);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || (std::strcmp(argv[1], "screen") != 0 && std::strcmp(argv[1], "font") != 0)) return 1;
    const bool font_mode = std::strcmp(argv[1], "font") == 0;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;

    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    console_init();
    if (!set_video_mode(false)) {
        SDL_Quit();
        return 1;
    }
    SDL_WM_SetCaption(font_mode ? "playtun console font" : "playtun console screen", nullptr);

    font_mode ? draw_font_sheet() : draw_test_screen();
    refresh_screen();
    if (!font_mode) {
        // A yellow pixel drawn straight into the frame buffer inside a cell
        // that never changes again: only the full-frame present shows it.
        frame_buffer[300 * 640 + 320] = colour_map[14];
    }

    int status = 2;
    for (int waited = 0; waited < seconds * 1000; waited += 50) {
        refresh_screen();
        if (poll_key()) {
            status = 0;
            break;
        }
        SDL_Delay(50);
    }
    SDL_Quit();
    return status;
}
