// Checks a screenshot of console_screen_demo (binary PPM, 640 x 400)
// against colours worked out by hand from the screen the demo draws.
//
//   console_shot_check screen|font shot.ppm
//
// Prints every mismatch; exit status 0 when all checks pass.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "screenshot.hpp"

namespace {

using test_support::read_ppm;
using test_support::rgb;
using image = test_support::screenshot;

constexpr rgb black{0, 0, 0}, blue{0, 0, 170}, light_blue{0, 0, 255}, light_red{255, 0, 0}, light_green{0, 255, 0},
    yellow{255, 255, 0}, white{255, 255, 255};

int failures = 0;

void expect(const image& img, int x, int y, rgb want, const char* what) {
    const rgb got = img.at(x, y);
    if (got == want) return;
    ++failures;
    std::printf("%s: pixel %d,%d is %d,%d,%d, expected %d,%d,%d\n", what, x, y, got.r, got.g, got.b, want.r, want.g,
                want.b);
}

void check_screen(const image& img) {
    // Title row, white on blue.
    expect(img, 0, 0, white, "full block at column 0");
    expect(img, 7, 7, white, "full block at column 0");
    expect(img, 20, 4, blue, "space at column 2");
    expect(img, 24, 0, white, "M top left");
    expect(img, 26, 0, blue, "M top middle");
    expect(img, 31, 0, white, "M top right");
    expect(img, 24, 7, blue, "M bottom row");
    expect(img, 548, 4, blue, "space at column 68");
    expect(img, 587, 3, white, "full block at column 73");
    expect(img, 592, 0, white, "dark shade at column 74");
    expect(img, 594, 0, blue, "dark shade at column 74");
    expect(img, 624, 0, blue, "medium shade at column 78");
    expect(img, 625, 0, white, "medium shade at column 78");
    expect(img, 632, 0, blue, "light shade at column 79");
    expect(img, 634, 0, white, "light shade at column 79");
    expect(img, 632, 1, white, "light shade at column 79");

    expect(img, 1, 16, light_red, "L on row 2");
    expect(img, 0, 16, light_blue, "L on row 2");
    expect(img, 6, 22, light_red, "L foot on row 2");
    expect(img, 0, 32, white, "W on row 4");
    expect(img, 2, 32, black, "W on row 4");
    expect(img, 1, 48, black, "B on row 6");
    expect(img, 0, 48, white, "B on row 6");

    const rgb text_colours[16] = {
        {0, 0, 0},     {0, 0, 170},     {0, 145, 0},    {0, 145, 170},   {145, 0, 0}, {145, 0, 170},
        {145, 145, 0}, {182, 182, 170}, {109, 109, 85}, {0, 0, 255},     {0, 255, 0}, {0, 255, 255},
        {255, 0, 0},   {255, 0, 255},   {255, 255, 0},  {255, 255, 255},
    };
    for (int c = 0; c < 16; ++c) expect(img, 16 * c + 4, 68, text_colours[c], "colour swatch");

    for (int x = 0; x < 10; ++x) {
        expect(img, 8 * x + 3, 81, light_red, "upper half block");
        expect(img, 8 * x + 3, 86, light_green, "lower half block");
    }
    expect(img, 83, 81, black, "cell after the half blocks");

    expect(img, 320, 300, yellow, "pixel plotted into the frame buffer");
    expect(img, 321, 300, black, "beside the plotted pixel");
}

void check_font_sheet(const image& img) {
    for (int code = 0; code < 256; ++code) {
        const int x0 = (8 + 4 * (code % 16)) * 8, y0 = (6 + 2 * (code / 16)) * 8;
        int lit = 0;
        for (int y = y0; y < y0 + 8; ++y) {
            for (int x = x0; x < x0 + 8; ++x) {
                const rgb p = img.at(x, y);
                if (p == white) {
                    ++lit;
                } else if (!(p == blue)) {
                    expect(img, x, y, blue, "glyph cell neither white nor blue");
                }
            }
        }
        const bool blank = code == 0x00 || code == 0x20 || code == 0xFF;
        if (blank != (lit == 0)) {
            ++failures;
            std::printf("glyph 0x%02X has %d set pixels\n", code, lit);
        }
        if (code == 0xDB && lit != 64) {
            ++failures;
            std::printf("full block has %d set pixels\n", lit);
        }
        if (code == 0xB1) {
            for (int k = 0; k < 8; ++k)
                for (int p = 0; p < 8; ++p) expect(img, x0 + p, y0 + k, (k + p) % 2 ? white : blue, "medium shade");
        }
        if (code == 0xDF) {
            for (int k = 0; k < 8; ++k) expect(img, x0 + 5, y0 + k, k < 4 ? white : blue, "upper half block");
        }
        expect(img, x0 + 12, y0 + 4, black, "gap between glyphs");
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    image img;
    if (!read_ppm(argv[2], img)) {
        std::printf("cannot read %s as a binary PPM\n", argv[2]);
        return 1;
    }
    if (img.width != 640 || img.height != 400) {
        std::printf("screenshot is %d x %d, expected 640 x 400\n", img.width, img.height);
        return 1;
    }
    if (std::strcmp(argv[1], "font") == 0) {
        check_font_sheet(img);
    } else {
        check_screen(img);
    }
    std::printf("%d mismatches\n", failures);
    return failures == 0 ? 0 : 1;
}
