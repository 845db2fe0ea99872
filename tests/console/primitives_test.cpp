#include <functional>
#include <string>

#include "console_fixture.hpp"

using namespace console;

namespace {

// A screen where every cell is different and carries a background colour,
// so any write or recolouring shows.
void fill_with_pattern() {
    for (int i = 0; i < 4000; ++i) screen_cells[i] = static_cast<uint16_t>(0x7300 + i * 13);
}

}  // namespace

using Primitives = Console;

TEST_F(Primitives, WriteTextUsesAttributeAndWrapsAfterColumn79) {
    text_attr = 0x1E;
    go_to(78, 3);
    write_text("HELLO");
    EXPECT_EQ(cell(78, 3), 0x1E48);  // H
    EXPECT_EQ(cell(79, 3), 0x1E45);  // E
    EXPECT_EQ(cell(0, 4), 0x1E4C);   // L
    EXPECT_EQ(cell(1, 4), 0x1E4C);   // L
    EXPECT_EQ(cell(2, 4), 0x1E4F);   // O
    EXPECT_EQ(cell(3, 4), 0);
    EXPECT_EQ(cursor_x, 3);
    EXPECT_EQ(cursor_y, 4);
    EXPECT_EQ(text_attr, 0x1E);
}

TEST_F(Primitives, WriteLineEndingInColumn79LeavesNextRowUntouched) {
    write_line(std::string(80, 'A'));
    for (int c = 0; c < 80; ++c) {
        EXPECT_EQ(cell(c, 0), 0x0F41) << c;
        EXPECT_EQ(cell(c, 1), 0) << c;
    }
    EXPECT_EQ(cursor_x, 0);
    EXPECT_EQ(cursor_y, 2);
}

TEST_F(Primitives, EmptyTextChangesNothing) {
    go_to(10, 10);
    write_text("");
    EXPECT_EQ(cursor_x, 10);
    EXPECT_EQ(cursor_y, 10);
    for (const uint16_t c : screen_cells) ASSERT_EQ(c, 0);
}

TEST_F(Primitives, TextLongerThan255IsCut) {
    write_text(std::string(300, 'B'));
    for (int i = 0; i < 4000; ++i) ASSERT_EQ(screen_cells[i], i < 255 ? 0x0F42 : 0) << i;
    EXPECT_EQ(cursor_x, 255 % 80);
    EXPECT_EQ(cursor_y, 255 / 80);
}

TEST_F(Primitives, TextBelowRow49IsDropped) {
    go_to(70, 49);
    write_text(std::string(20, 'C'));
    int written = 0;
    for (const uint16_t c : screen_cells) written += c != 0;
    EXPECT_EQ(written, 10);
    EXPECT_EQ(cell(79, 49), 0x0F43);
    EXPECT_EQ(cursor_x, 10);
    EXPECT_EQ(cursor_y, 50);

    // The cursor row never wraps back onto the top of the screen.
    for (int i = 0; i < 300; ++i) new_line();
    write_text("D");
    for (int i = 0; i < 80 * 49; ++i) ASSERT_EQ(screen_cells[i], 0) << i;
}

TEST_F(Primitives, ClearToEndOfLine) {
    struct Case {
        int column;
        int blanked;
    } const cases[] = {{79, 1}, {0, 80}, {40, 40}};
    for (const auto& c : cases) {
        fill_with_pattern();
        const tconsoletype before = screen_cells;
        text_attr = 0x4E;
        go_to(static_cast<uint8_t>(c.column), 7);
        clear_to_eol();
        int changed = 0;
        for (int i = 0; i < 4000; ++i) {
            if (screen_cells[i] == before[i]) continue;
            ++changed;
            EXPECT_EQ(screen_cells[i], 0x4E00);
            EXPECT_EQ(i / 80, 7);
            EXPECT_GE(i % 80, c.column);
        }
        EXPECT_EQ(changed, c.blanked) << "column " << c.column;
        EXPECT_EQ(cursor_x, c.column);
        EXPECT_EQ(cursor_y, 7);
    }
}

TEST_F(Primitives, ClearScreenBlanksWithAttributeAndHomesCursor) {
    fill_with_pattern();
    text_attr = 0x1F;
    go_to(33, 22);
    clear_screen();
    for (const uint16_t c : screen_cells) ASSERT_EQ(c, 0x1F00);
    EXPECT_EQ(cursor_x, 0);
    EXPECT_EQ(cursor_y, 0);
    EXPECT_EQ(text_attr, 0x1F);
}

TEST_F(Primitives, BandOperationsTouchOnlyTheirRows) {
    struct Case {
        const char* name;
        std::function<void()> run;
        int first_row, end_row;                      // rows expected to change
        std::function<uint16_t(uint16_t)> expected;  // new value from old
    } const cases[] = {
        {"fill_rows", [] { fill_rows(2, 3, 0x5A); }, 2, 5, [](uint16_t) -> uint16_t { return 0x5A00; }},
        {"fill_rows clipped", [] { fill_rows(48, 5, 0x22); }, 48, 50, [](uint16_t) -> uint16_t { return 0x2200; }},
        {"clear_backgrounds", [] { clear_backgrounds(10, 2); }, 10, 12,
         [](uint16_t v) -> uint16_t { return v & 0x0FFF; }},
        {"clear_backgrounds clipped", [] { clear_backgrounds(49, 3); }, 49, 50,
         [](uint16_t v) -> uint16_t { return v & 0x0FFF; }},
    };
    for (const auto& c : cases) {
        fill_with_pattern();
        text_attr = 0x3B;
        go_to(5, 6);
        const tconsoletype before = screen_cells;
        c.run();
        for (int i = 0; i < 4000; ++i) {
            const int row = i / 80;
            const uint16_t want = row >= c.first_row && row < c.end_row ? c.expected(before[i]) : before[i];
            ASSERT_EQ(screen_cells[i], want) << c.name << " cell " << i;
        }
        EXPECT_EQ(text_attr, 0x3B) << c.name;
        EXPECT_EQ(cursor_x, 5) << c.name;
        EXPECT_EQ(cursor_y, 6) << c.name;
    }
}

TEST_F(Primitives, ShiftRowLeftRecoloursAndKeepsLastColumn) {
    cell(0, 12) = 0x0F41;
    cell(1, 12) = 0x0F42;
    cell(2, 12) = 0x0F43;
    cell(79, 12) = 0x2E5A;
    text_attr = 0x1E;
    shift_row_left(12);
    EXPECT_EQ(cell(0, 12), 0x1E42);
    EXPECT_EQ(cell(1, 12), 0x1E43);
    EXPECT_EQ(cell(2, 12), 0x1E00);
    EXPECT_EQ(cell(78, 12), 0x1E5A);
    EXPECT_EQ(cell(79, 12), 0x2E5A);
    EXPECT_EQ(cell(0, 11), 0);
    EXPECT_EQ(cell(0, 13), 0);
}

TEST_F(Primitives, ScrollRowsUpMovesEachRowOneUp) {
    struct Case {
        int first, count;          // arguments
        int moved_from, moved_to;  // rows that end up one row higher
    } const cases[] = {
        {19, 30, 19, 49},  // rows 19..48 to 18..47, row 48 kept
        {45, 10, 45, 50},  // band runs off the screen: rows 45..49 move
        {0, 3, 1, 3},      // row 0 has nowhere to go: rows 1..2 move
    };
    for (const auto& c : cases) {
        for (int r = 0; r < 50; ++r)
            for (int col = 0; col < 80; ++col) cell(col, r) = static_cast<uint16_t>(0x0F00 | r);
        scroll_rows_up(static_cast<uint8_t>(c.first), static_cast<uint8_t>(c.count));
        for (int r = 0; r < 50; ++r) {
            const int source = (r >= c.moved_from - 1 && r < c.moved_to - 1) ? r + 1 : r;
            for (int col = 0; col < 80; ++col)
                ASSERT_EQ(cell(col, r), 0x0F00 | source) << "first " << c.first << " row " << r;
        }
    }
}

TEST_F(Primitives, PlotHalfBlockSetsOneHalf) {
    struct Case {
        int x, y, colour;
        uint16_t before, after;
    } const cases[] = {
        {5, 7, 7, 0x0F41, 0x7FDF},  // lower half: background 7, foreground kept
        {5, 6, 2, 0x1041, 0x12DF},  // upper half: foreground 2, background kept
        {0, 0, 15, 0x0000, 0x0FDF}, {79, 99, 9, 0x0000, 0x90DF}, {40, 51, 0, 0xFFDF, 0x0FDF},
    };
    for (const auto& c : cases) {
        fill_with_pattern();
        cell(c.x, c.y / 2) = c.before;
        const tconsoletype before = screen_cells;
        plot_half_block(static_cast<uint8_t>(c.x), static_cast<uint8_t>(c.y), static_cast<uint8_t>(c.colour));
        EXPECT_EQ(cell(c.x, c.y / 2), c.after) << c.x << "," << c.y;
        for (int i = 0; i < 4000; ++i) {
            if (i != (c.y / 2) * 80 + c.x) {
                ASSERT_EQ(screen_cells[i], before[i]);
            }
        }
    }
}

TEST_F(Primitives, ArgumentsOffTheScreenAreDiscarded) {
    struct Case {
        const char* name;
        std::function<void()> run;
    } const cases[] = {
        {"go_to column 80", [] { go_to(80, 0); }},
        {"go_to row 50", [] { go_to(0, 50); }},
        {"write_text_at column 80", [] { write_text_at(80, 1, "X"); }},
        {"write_text_at row 255", [] { write_text_at(0, 255, "X"); }},
        {"plot x 80", [] { plot_half_block(80, 0, 1); }},
        {"plot y 100", [] { plot_half_block(0, 100, 1); }},
        {"plot colour 16", [] { plot_half_block(0, 0, 16); }},
        {"fill_rows from 50", [] { fill_rows(50, 1, 0x11); }},
        {"fill_rows from 200", [] { fill_rows(200, 100, 0x11); }},
        {"clear_backgrounds from 50", [] { clear_backgrounds(50, 5); }},
        {"shift_row_left 50", [] { shift_row_left(50); }},
        {"scroll_rows_up from 50", [] { scroll_rows_up(50, 1); }},
        {"scroll_rows_up row 0 only", [] { scroll_rows_up(0, 1); }},
        {"clear_to_eol column 80",
         [] {
             cursor_x = 80;
             clear_to_eol();
             cursor_x = 4;
         }},
        {"clear_to_eol row 50",
         [] {
             cursor_y = 50;
             clear_to_eol();
             cursor_y = 9;
         }},
    };
    for (const auto& c : cases) {
        fill_with_pattern();
        go_to(4, 9);
        const tconsoletype before = screen_cells;
        c.run();
        EXPECT_TRUE(screen_cells == before) << c.name;
        EXPECT_EQ(cursor_x, 4) << c.name;
        EXPECT_EQ(cursor_y, 9) << c.name;
    }
}

TEST_F(Primitives, NumberText) {
    struct Case {
        int32_t value;
        const char* text;
    } const cases[] = {
        {0, "0"}, {-2147483647 - 1, "-2147483648"}, {2147483647, "2147483647"}, {-1, "-1"}, {10, "10"}, {-305, "-305"},
    };
    for (const auto& c : cases) EXPECT_EQ(number_text(c.value), c.text) << c.value;
}

TEST_F(Primitives, UpperCaseChangesOnlySmallLetters) {
    struct Case {
        std::string in, out;
    } const cases[] = {
        {"abcxyz", "ABCXYZ"},
        {"song.tun 9Z", "SONG.TUN 9Z"},
        // Neighbours of the range and bytes above 127 stay as they are.
        {"`{@[", "`{@["},
        {"\xE4\x84\x81\xE1\xFF", "\xE4\x84\x81\xE1\xFF"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(upper_case(c.in), c.out) << c.in;
}
