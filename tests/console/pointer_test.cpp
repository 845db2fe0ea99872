// Where a pixel lies on the cells at any scale, and when two clicks make a
// double click; the window's mouse buttons read through the event poll.
#include <gtest/gtest.h>

#include "console/console.hpp"

namespace {

using console::pointer_kind;

TEST(Pointer, PixelsMapToCellsAtAnyScale) {
    struct Case {
        int x, y, width, height;
        int column, row;
    } cases[] = {
        {0, 0, 640, 400, 0, 0},       {7, 7, 640, 400, 0, 0},     {8, 8, 640, 400, 1, 1},
        {639, 399, 640, 400, 79, 49}, {640, 400, 640, 400, 79, 49},  // the edge counts as the last cell
        {-5, -1, 640, 400, 0, 0},     {24, 15, 1280, 800, 1, 0},  // twice the size
        {195, 422, 390, 244, 40, 49},                 // below a small canvas: the last row
        {194, 121, 390, 244, 39, 24}, {5, 5, 0, 0, 0, 0},           // nothing shown
    };
    for (const Case& c : cases) {
        const console::cell_position cell = console::cell_at(c.x, c.y, c.width, c.height);
        EXPECT_EQ(cell.column, c.column) << c.x << "," << c.y << " of " << c.width << "x" << c.height;
        EXPECT_EQ(cell.row, c.row) << c.x << "," << c.y << " of " << c.width << "x" << c.height;
    }
}

TEST(Pointer, TwoQuickClicksOnOneCellMakeADoubleClick) {
    struct Click {
        uint8_t column, row;
        uint32_t at_ms;
        pointer_kind kind;
    };
    const struct {
        const char* what;
        std::vector<Click> clicks;
    } cases[] = {
        {"quick", {{3, 4, 1000, pointer_kind::click}, {3, 4, 1400, pointer_kind::double_click}}},
        {"too slow", {{3, 4, 1000, pointer_kind::click}, {3, 4, 1401, pointer_kind::click}}},
        {"another cell", {{3, 4, 1000, pointer_kind::click}, {4, 4, 1100, pointer_kind::click}}},
        {"another row", {{3, 4, 1000, pointer_kind::click}, {3, 5, 1100, pointer_kind::click}}},
        {"a third click starts anew",
         {{1, 1, 0, pointer_kind::click}, {1, 1, 100, pointer_kind::double_click}, {1, 1, 200, pointer_kind::click},
          {1, 1, 300, pointer_kind::double_click}}},
        {"across the clock's wrap", {{2, 2, 0xFFFFFF00u, pointer_kind::click}, {2, 2, 0x40, pointer_kind::double_click}}},
    };
    for (const auto& c : cases) {
        console::click_timer timer;
        for (const Click& click : c.clicks)
            EXPECT_EQ(console::classify_click(timer, click.column, click.row, click.at_ms), click.kind)
                << c.what << " at " << click.at_ms;
    }
}

TEST(Pointer, MouseButtonsOfTheWindowBecomePointerEvents) {
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    console::console_reset();
    console::console_init();
    ASSERT_TRUE(console::set_video_mode(false));
    for (SDL_Event ignored; SDL_PollEvent(&ignored) == 1;) {}
    const struct {
        uint8_t button;
        uint16_t x, y;
        pointer_kind kind;
        int column, row, amount;
    } cases[] = {
        {SDL_BUTTON_LEFT, 100, 30, pointer_kind::click, 12, 3, 0},
        {SDL_BUTTON_LEFT, 103, 31, pointer_kind::double_click, 12, 3, 0},  // at once, in the same cell
        {SDL_BUTTON_WHEELDOWN, 0, 399, pointer_kind::scroll, 0, 49, 3},
        {SDL_BUTTON_WHEELUP, 639, 0, pointer_kind::scroll, 79, 0, -3},
        {SDL_BUTTON_RIGHT, 10, 10, pointer_kind::none, 1, 1, 0},
    };
    for (const auto& c : cases) {
        SDL_Event event{};
        event.type = SDL_MOUSEBUTTONDOWN;
        event.button.type = SDL_MOUSEBUTTONDOWN;
        event.button.button = c.button;
        event.button.state = SDL_PRESSED;
        event.button.x = c.x;
        event.button.y = c.y;
        ASSERT_EQ(SDL_PushEvent(&event), 0);
        ASSERT_TRUE(console::poll_event());
        EXPECT_FALSE(console::last_event.type == SDL_KEYDOWN);
        EXPECT_EQ(console::last_pointer.kind, c.kind) << "button " << int(c.button);
        EXPECT_EQ(console::last_pointer.column, c.column) << "button " << int(c.button);
        EXPECT_EQ(console::last_pointer.row, c.row) << "button " << int(c.button);
        EXPECT_EQ(console::last_pointer.amount, c.amount) << "button " << int(c.button);
    }
    // A key press after them is no pointer event.
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_a;
    ASSERT_EQ(SDL_PushEvent(&key), 0);
    EXPECT_TRUE(console::wait_input(100));
    EXPECT_EQ(console::last_pointer.kind, pointer_kind::none);
    console::console_reset();
    SDL_Quit();
}

}  // namespace
