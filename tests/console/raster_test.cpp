#include <array>

#include "console_fixture.hpp"

using namespace console;

using Raster = Console;

namespace {

uint8_t pixel(int x, int y) { return frame_buffer[y * 640 + x]; }

// Pixel p (0 = leftmost) of a glyph row byte is set when bit 7 - p is.
bool row_bit(uint8_t row, int p) { return (row >> (7 - p)) & 1; }

}  // namespace

TEST_F(Raster, PaletteIsAThreeThreeTwoColourCube) {
    const int red_green_steps[8] = {0, 36, 72, 109, 145, 182, 218, 255};
    const int blue_steps[4] = {0, 85, 170, 255};
    for (int r = 0; r < 8; ++r) {
        EXPECT_EQ(palette[r * 32].r, red_green_steps[r]);
        EXPECT_EQ(palette[r * 4].g, red_green_steps[r]);
    }
    for (int b = 0; b < 4; ++b) EXPECT_EQ(palette[b].b, blue_steps[b]);

    struct Case {
        int index, r, g, b;
    } const cases[] = {
        {0, 0, 0, 0},        {255, 255, 255, 255}, {182, 182, 182, 170},
        {109, 109, 109, 85}, {0x4B, 72, 72, 255},  {0xA6, 182, 36, 170},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(palette[c.index].r, c.r) << c.index;
        EXPECT_EQ(palette[c.index].g, c.g) << c.index;
        EXPECT_EQ(palette[c.index].b, c.b) << c.index;
    }
    for (const SDL_Color& colour : palette) EXPECT_EQ(colour.unused, 0);
}

TEST_F(Raster, ColourMapGivesTheSixteenTextColours) {
    struct Case {
        int index, r, g, b;
    } const expected[16] = {
        {0, 0, 0, 0},        {2, 0, 0, 170},     {16, 0, 145, 0},    {18, 0, 145, 170},
        {128, 145, 0, 0},    {130, 145, 0, 170}, {144, 145, 145, 0}, {182, 182, 182, 170},
        {109, 109, 109, 85}, {3, 0, 0, 255},     {28, 0, 255, 0},    {31, 0, 255, 255},
        {224, 255, 0, 0},    {227, 255, 0, 255}, {252, 255, 255, 0}, {255, 255, 255, 255},
    };
    for (int colour = 0; colour < 16; ++colour) {
        const auto& e = expected[colour];
        EXPECT_EQ(colour_map[colour], e.index) << colour;
        const SDL_Color& c = palette[colour_map[colour]];
        EXPECT_EQ(c.r, e.r) << colour;
        EXPECT_EQ(c.g, e.g) << colour;
        EXPECT_EQ(c.b, e.b) << colour;
    }
}

TEST_F(Raster, CellBecomesGlyphPixelsInItsColours) {
    struct Case {
        uint16_t value;
        uint8_t foreground, background;
        std::array<uint8_t, 8> rows;
    } const cases[] = {
        {0x9C41, 224, 3, {0x18, 0x3C, 0x66, 0x66, 0x7E, 0x66, 0x66, 0x00}},    // A, light red on light blue
        {0x0F61, 255, 0, {0x00, 0x00, 0x3C, 0x06, 0x3E, 0x66, 0x3E, 0x00}},    // a, white on black
        {0x0FDF, 255, 0, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}},    // upper half block
        {0x47B1, 182, 128, {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA}},  // medium shade
    };
    for (const auto& c : cases) {
        console_reset();
        console_init();
        frame_buffer.fill(0x55);
        cell(7, 5) = c.value;
        refresh_screen();
        for (int y = 0; y < 400; ++y) {
            for (int x = 0; x < 640; ++x) {
                const bool inside = x >= 56 && x < 64 && y >= 40 && y < 48;
                const uint8_t want = !inside ? 0x55 : row_bit(c.rows[y - 40], x - 56) ? c.foreground : c.background;
                ASSERT_EQ(pixel(x, y), want) << std::hex << c.value << std::dec << " at " << x << "," << y;
            }
        }
        EXPECT_TRUE(shadow_cells == screen_cells);
    }
}

TEST_F(Raster, OnlyChangedCellsAreRepainted) {
    cell(10, 20) = 0x0FDB;  // full block, white
    cell(11, 20) = 0x0FDB;
    refresh_screen();
    ASSERT_EQ(pixel(83, 163), 255);

    // Pixels plotted straight into the frame buffer, as the player's displays do.
    frame_buffer[163 * 640 + 83] = 77;   // inside cell (10, 20)
    frame_buffer[163 * 640 + 91] = 77;   // inside cell (11, 20)
    frame_buffer[399 * 640 + 639] = 77;  // inside the untouched last cell
    refresh_screen();
    EXPECT_EQ(pixel(83, 163), 77);
    EXPECT_EQ(pixel(639, 399), 77);

    // A cell written back to its old value before the refresh is not redrawn;
    // a cell that really changed is.
    cell(10, 20) = 0x1F41;
    cell(10, 20) = 0x0FDB;
    cell(11, 20) = 0x0F20;
    refresh_screen();
    EXPECT_EQ(pixel(83, 163), 77);
    EXPECT_EQ(pixel(91, 163), 0);
}

TEST_F(Raster, RefreshWithoutSurfaceOnlyRasterises) {
    ASSERT_EQ(video_surface, nullptr);
    cell(0, 0) = 0x0FDB;
    refresh_screen();
    EXPECT_EQ(pixel(0, 0), 255);
}
