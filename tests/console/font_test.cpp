#include <array>
#include <cctype>
#include <cstring>
#include <set>

#include "console_fixture.hpp"

using namespace console;

using Font = Console;

namespace {

std::array<uint8_t, 8> glyph(int code) {
    std::array<uint8_t, 8> rows{};
    std::memcpy(rows.data(), &font[code * 8], 8);
    return rows;
}

bool is_blank_code(int code) { return code == 0x00 || code == 0x20 || code == 0xFF; }

}  // namespace

TEST_F(Font, GlyphsTheScreensRelyOnAreExact) {
    struct Case {
        int code;
        std::array<uint8_t, 8> rows;
    } const cases[] = {
        {0x00, {0, 0, 0, 0, 0, 0, 0, 0}},
        {0x20, {0, 0, 0, 0, 0, 0, 0, 0}},
        {0x41, {0x18, 0x3C, 0x66, 0x66, 0x7E, 0x66, 0x66, 0x00}},
        {0x61, {0x00, 0x00, 0x3C, 0x06, 0x3E, 0x66, 0x3E, 0x00}},
        {0xB0, {0x22, 0x88, 0x22, 0x88, 0x22, 0x88, 0x22, 0x88}},
        {0xB1, {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA}},
        {0xB2, {0xDD, 0x77, 0xDD, 0x77, 0xDD, 0x77, 0xDD, 0x77}},
        {0xDB, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {0xDC, {0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}},
        {0xDF, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}},
        {0xFF, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) EXPECT_EQ(glyph(c.code), c.rows) << std::hex << c.code;
}

// All 256 glyphs drawn as a 16 x 16 sheet, white on black: exactly the
// three blank codes come out without a white pixel.
TEST_F(Font, SheetShowsEveryGlyphButTheThreeBlanks) {
    for (int code = 0; code < 256; ++code) cell(code % 16, code / 16) = static_cast<uint16_t>(0x0F00 | code);
    refresh_screen();
    for (int code = 0; code < 256; ++code) {
        const int x0 = (code % 16) * 8, y0 = (code / 16) * 8;
        int lit = 0;
        for (int y = y0; y < y0 + 8; ++y)
            for (int x = x0; x < x0 + 8; ++x) lit += frame_buffer[y * 640 + x] == 255;
        if (is_blank_code(code)) {
            EXPECT_EQ(lit, 0) << std::hex << code;
        } else {
            EXPECT_GT(lit, 0) << std::hex << code;
        }
    }
}

TEST_F(Font, OnlyDescendersReachTheBottomRow) {
    for (int code = 0; code < 128; ++code) {
        if (!std::isalnum(code)) continue;
        const bool descender = std::strchr("Qgjpqy", code) != nullptr;
        EXPECT_EQ(font[code * 8 + 7] != 0, descender) << static_cast<char>(code);
    }
}

TEST_F(Font, NoTwoVisibleGlyphsAreTheSame) {
    std::set<std::array<uint8_t, 8>> seen;
    for (int code = 0; code < 256; ++code) {
        if (is_blank_code(code)) continue;
        EXPECT_TRUE(seen.insert(glyph(code)).second) << std::hex << code;
    }
}
