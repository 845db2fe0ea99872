// Checks a screenshot (binary PPM, 640 x 400) of the player window:
//   player_shot_check columns|scope|audio_error SHOT.ppm
// Colours are those of the console palette: light grey 182,182,170, white
// 255,255,255, dark grey 109,109,85, light blue 0,0,255, blue 0,0,170,
// light red 255,0,0.
#include <cstdio>
#include <string>
#include <vector>

#include "screenshot.hpp"

namespace {

using test_support::read_ppm;
using test_support::rgb;
using image = test_support::screenshot;

constexpr rgb black{0, 0, 0}, white{255, 255, 255}, grey{182, 182, 170}, dark_grey{109, 109, 85}, light_blue{0, 0, 255},
    blue{0, 0, 170}, light_red{255, 0, 0};

int failures = 0;

void check(bool ok, const std::string& what) {
    if (!ok) {
        std::printf("FAIL: %s\n", what.c_str());
        ++failures;
    }
}

// Pixels of colour c in the 8 x 8 block of cell (column, row), optionally
// limited to glyph rows first..last.
int count_in_cell(const image& im, int column, int row, rgb c, int first = 0, int last = 7) {
    int n = 0;
    for (int k = first; k <= last; ++k)
        for (int p = 0; p < 8; ++p) n += im.at(column * 8 + p, row * 8 + k) == c;
    return n;
}

int count_in_cells(const image& im, int first_column, int last_column, int row, rgb c) {
    int n = 0;
    for (int column = first_column; column <= last_column; ++column) n += count_in_cell(im, column, row, c);
    return n;
}

std::string cell_name(int column, int row) { return "cell " + std::to_string(column) + "," + std::to_string(row); }

// Rows 0..16: banner, Playing line, borders, three voice rows.
void check_upper_screen(const image& im) {
    // Badge "02": dark grey digits on white, as pulse fold is set at start-up.
    check(count_in_cell(im, 0, 0, white) > 20 && count_in_cell(im, 0, 0, dark_grey) > 5, "badge at row 0");
    // Five full blocks of the banner, white.
    for (int c = 69; c <= 73; ++c) check(count_in_cell(im, c, 0, white) == 64, "full block " + cell_name(c, 0));
    // Title text: white letters on black; the gap after it is black.
    const int title = count_in_cells(im, 3, 33, 0, white);
    check(title > 200 && title < 31 * 64 / 2,
          "title text MELVOX TUN-Player_w32 b20080226 (" + std::to_string(title) + ")");
    check(count_in_cells(im, 34, 49, 0, black) == 16 * 64, "blank gap in the banner");
    check(count_in_cells(im, 50, 67, 0, white) > 100, "title text MELodic VOice eXer");
    // The Playing line and the position, light grey on black.
    check(count_in_cells(im, 0, 6, 1, grey) > 60, "Playing at row 1");
    check(count_in_cells(im, 69, 79, 1, grey) > 80, "position at row 1 columns 69..79");
    // Borders: lower and upper half blocks.
    for (int c : {0, 40, 79}) {
        check(count_in_cell(im, c, 3, light_blue, 4, 7) == 32 && count_in_cell(im, c, 3, black, 0, 3) == 32,
              "light blue lower half " + cell_name(c, 3));
        check(count_in_cell(im, c, 5, light_blue, 0, 3) == 32, "light blue upper half " + cell_name(c, 5));
        check(count_in_cell(im, c, 6, white, 4, 7) == 32, "white lower half " + cell_name(c, 6));
        check(count_in_cell(im, c, 10, white, 0, 3) == 32, "white upper half " + cell_name(c, 10));
    }
    // Voice rows 7..9: dark text on light grey; the level bar cells are lit.
    for (int row = 7; row <= 9; ++row) {
        check(count_in_cells(im, 0, 16, row, grey) > 17 * 64 / 2, "light grey voice row " + std::to_string(row));
        check(count_in_cell(im, 0, row, black) > 5, "voice number in " + cell_name(0, row));
    }
    check(count_in_cells(im, 0, 79, 11, black) == 80 * 64, "row 11 blank under three voices");
}

void check_columns(const image& im) {
    check_upper_screen(im);
    // The line on row 17 outside the headings (three columns of 26: headings
    // at 0..14, 26..40, 52..66): lower half light grey.
    for (int c : {20, 45, 70, 79})
        check(count_in_cell(im, c, 17, grey, 4, 7) == 32 && count_in_cell(im, c, 17, black, 0, 3) == 32,
              "grey line at " + cell_name(c, 17));
    check(count_in_cells(im, 0, 14, 17, grey) > 50, "heading of voice 1");
    // Volume meters of all three voices rise from row 48; the column
    // between two meters stays black.
    for (int x0 : {0, 26, 52}) {
        check(count_in_cell(im, x0 + 7, 48, blue) == 64, "volume meter " + cell_name(x0 + 7, 48));
        check(count_in_cell(im, x0 + 8, 48, blue) == 64, "volume meter " + cell_name(x0 + 8, 48));
        check(count_in_cell(im, x0 + 9, 48, black) == 64, "gap between meters " + cell_name(x0 + 9, 48));
        check(count_in_cell(im, x0, 48, black) < 64, "note label " + cell_name(x0, 48));
    }
}

void check_scope(const image& im) {
    check_upper_screen(im);
    // Frame rows 136 and 391 light grey across; inside the wavetable's
    // columns a clipped wavetable covers frame pixels in light red.
    for (int y : {136, 391}) {
        int outside = 0, inside = 0;
        for (int x = 0; x < 640; ++x) {
            const bool on_table = x >= 64 && x <= 575;
            if (on_table)
                inside += im.at(x, y) == grey || im.at(x, y) == light_red;
            else
                outside += im.at(x, y) == grey;
        }
        check(outside == 128, "frame row " + std::to_string(y) + " outside the wavetable: " + std::to_string(outside));
        check(inside == 512, "frame row " + std::to_string(y) + " across the wavetable: " + std::to_string(inside));
    }
    // The wavetable: one light red dot in each of its 512 columns; the trace:
    // one dot in every column; nothing of the voice columns.
    int red = 0, lit = 0, meters = 0, red_outside = 0;
    for (int y = 136; y <= 391; ++y)
        for (int x = 0; x < 640; ++x) {
            const rgb c = im.at(x, y);
            red += c == light_red;
            red_outside += c == light_red && (x < 64 || x > 575);
            lit += y > 136 && y < 391 && !(c == black);
            meters += c == blue;
        }
    check(red - red_outside >= 512, "wavetable trace (" + std::to_string(red) + " red pixels)");
    check(lit >= 600 && lit <= 640 + 512, "one dot per column plus the wavetable (" + std::to_string(lit) + ")");
    check(meters == 0, "no level meters left (" + std::to_string(meters) + " blue pixels)");
}

void check_audio_error(const image& im) {
    // "?Audio: ...  ERROR" on row 0 and "..press any key to continue.." on
    // row 1, white on black; nothing of the player screen.
    check(count_in_cells(im, 0, 6, 0, white) > 60, "?Audio: on row 0");
    check(count_in_cells(im, 0, 28, 1, white) > 150, "..press any key to continue.. on row 1");
    for (int c : {0, 1})
        check(count_in_cell(im, c, 1, white) > 0 && count_in_cell(im, c, 1, white) <= 8, "a dot in " + cell_name(c, 1));
    check(count_in_cell(im, 2, 1, white) > 8, "the p of press in " + cell_name(2, 1));
    check(count_in_cells(im, 29, 79, 1, black) == 51 * 64, "rest of row 1 blank");
    for (int row = 2; row < 50; ++row)
        check(count_in_cells(im, 0, 79, row, black) == 80 * 64, "blank row " + std::to_string(row));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: player_shot_check columns|scope|audio_error SHOT.ppm\n");
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
    const std::string mode = argv[1];
    if (mode == "columns")
        check_columns(im);
    else if (mode == "scope")
        check_scope(im);
    else if (mode == "audio_error")
        check_audio_error(im);
    else {
        std::fprintf(stderr, "unknown mode %s\n", argv[1]);
        return 2;
    }
    std::printf("%s: %s\n", mode.c_str(), failures == 0 ? "ok" : "FAILED");
    return failures == 0 ? 0 : 1;
}
