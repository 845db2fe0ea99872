#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdio>

#include "base/stop_signals.hpp"
#include "quit_request.hpp"
#include "selector_fixture.hpp"

using namespace selector;
using Strings = std::vector<std::string>;

namespace {

void push_key(SDLKey key, SDLMod mod = KMOD_NONE) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = key;
    event.key.keysym.mod = mod;
    ASSERT_EQ(SDL_PushEvent(&event), 0);
}

uint16_t cell(int column, int row) { return console::screen_cells[row * 80 + column]; }

void press_escape() { push_key(SDLK_ESCAPE); }

double cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

TEST_F(SelectorDir, KeysMoveTheBarAndScrollThePage) {
    struct Case {
        int entries, page, top, row;
        SDLKey key;
        int want_top, want_row;
    } cases[] = {
        // 30 entries: last row 29, no scrolling; Page Down from 17 would land on 29.
        {30, 47, 0, 29, SDLK_DOWN, 0, 29},
        {30, 47, 0, 5, SDLK_END, 0, 29},
        {30, 47, 0, 17, SDLK_PAGEDOWN, 0, 17},
        {30, 47, 0, 16, SDLK_PAGEDOWN, 0, 28},
        {30, 22, 0, 0, SDLK_END, 8, 21},  // the selector's own page size
        // 100 entries: last top 53, last row 46.
        {100, 47, 0, 3, SDLK_END, 53, 46},
        {100, 47, 53, 46, SDLK_HOME, 0, 0},
        {100, 47, 5, 0, SDLK_PAGEUP, 5, 0},
        {100, 47, 5, 0, SDLK_UP, 4, 0},
        {100, 47, 5, 3, SDLK_UP, 5, 2},
        {100, 47, 7, 12, SDLK_PAGEUP, 7, 0},
        {100, 47, 12, 11, SDLK_PAGEUP, 0, 11},
        {100, 47, 0, 33, SDLK_PAGEDOWN, 0, 45},
        {100, 47, 0, 34, SDLK_PAGEDOWN, 12, 34},
        {100, 47, 40, 46, SDLK_PAGEDOWN, 52, 46},
        {100, 47, 41, 46, SDLK_PAGEDOWN, 41, 46},
        {100, 47, 52, 46, SDLK_DOWN, 53, 46},
        {100, 47, 53, 46, SDLK_DOWN, 53, 46},
        {100, 47, 0, 10, SDLK_DOWN, 0, 11},
        {100, 47, 4, 4, SDLK_a, 4, 4},  // not a selector key
    };
    selector_start();  // only the size of the list matters here
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.entries << " entries, top " << c.top << " row " << c.row << " key "
                                        << c.key);
        dir_count = static_cast<uint16_t>(c.entries);
        page_rows = static_cast<uint8_t>(c.page);
        sel_top = static_cast<uint16_t>(c.top);
        sel_row = static_cast<uint8_t>(c.row);
        handle_key(c.key, KMOD_NONE);
        EXPECT_EQ(sel_top, c.want_top);
        EXPECT_EQ(sel_row, c.want_row);
        EXPECT_EQ(sel_state, 0);
    }
    selector_stop();
}

TEST_F(SelectorDir, ReturnOpensDirectoriesAndChoosesSongs) {
    make_dir("music");
    make_file("music/inner.tun");
    make_file("A.TUN");
    make_file("B.TUN");
    selector_start();  // <..>, <music>, A.TUN, B.TUN
    page_rows = 47;
    sel_row = 1;
    handle_key(SDLK_RETURN, KMOD_NONE);
    EXPECT_EQ(sel_state, 1);
    EXPECT_EQ(std::filesystem::current_path(), root / "music");
    EXPECT_EQ(captions(), (Strings{"<..>", "inner.tun"}));
    handle_key(SDLK_DOWN, KMOD_NONE);
    handle_key(SDLK_RETURN, KMOD_NONE);
    EXPECT_EQ(sel_state, 13);
    EXPECT_EQ(sel_row, 1);
    handle_key(SDLK_HOME, KMOD_NONE);
    handle_key(SDLK_RETURN, KMOD_NONE);  // the parent: bar on the folder just left
    EXPECT_EQ(std::filesystem::current_path(), root);
    EXPECT_EQ(captions(), (Strings{"<..>", "<music>", "A.TUN", "B.TUN"}));
    EXPECT_EQ(sel_row + sel_top, 1);
    // A directory that has vanished since the scan: stay, rescan, bar on top.
    sel_row = 1;
    std::filesystem::remove_all(root / "music");
    handle_key(SDLK_RETURN, KMOD_NONE);
    EXPECT_EQ(std::filesystem::current_path(), root);
    EXPECT_EQ(captions(), (Strings{"<..>", "A.TUN", "B.TUN"}));
    EXPECT_EQ(sel_row, 0);
    // A song name that is no regular file is not chosen: a FIFO would hold
    // the player waiting for a writer. A link to a song is.
    ASSERT_EQ(mkfifo("C.TUN", 0644), 0);
    std::filesystem::create_symlink("A.TUN", "D.TUN");
    rescan();
    const struct {
        int row;
        uint8_t state;
    } songs[] = {{1, 13}, {3, 0}, {4, 13}};  // A.TUN, C.TUN (FIFO), D.TUN (link)
    for (const auto& c : songs) {
        sel_state = 0;
        sel_row = static_cast<uint8_t>(c.row);
        handle_key(SDLK_RETURN, KMOD_NONE);
        EXPECT_EQ(sel_state, c.state) << (*dir_list)[static_cast<size_t>(c.row)].name;
    }
    selector_stop();
}

TEST_F(SelectorDir, SelectFileReturnsSongKeepsBarAndEndsOnEscape) {
    open_dummy_screen();
    make_dir("music");
    make_file("A.TUN");
    make_file("b.tun");
    selector_start();  // <..>, <music>, A.TUN, b.tun
    page_rows = 47;
    // The trailing Escape ends the loop should Return fail to.
    for (SDLKey key : {SDLK_DOWN, SDLK_DOWN, SDLK_RETURN, SDLK_ESCAPE}) push_key(key);
    std::string name;
    EXPECT_TRUE(select_file(name));
    EXPECT_EQ(name, "A.TUN");
    for (SDL_Event left; SDL_PollEvent(&left) == 1;) {}
    make_file("0.tun");  // appears only after the next directory change
    push_key(SDLK_RETURN, KMOD_LALT);
    push_key(SDLK_ESCAPE);
    name.clear();
    EXPECT_FALSE(select_file(name));
    EXPECT_EQ(name, "A.TUN");
    EXPECT_EQ(dir_count, 4);
    EXPECT_EQ(console::fullscreen, 1);
    EXPECT_EQ(cell(37, 4), 0x9C00 + 'A');  // the bar is still on A.TUN
    EXPECT_EQ(cell(0, 4), 0x9C00);
    handle_key(SDLK_RETURN, KMOD_RALT);
    EXPECT_EQ(console::fullscreen, 0);
    EXPECT_EQ(sel_state, 27);  // Alt+Return chooses nothing
    selector_stop();
}

// The player's Page Down and Page Up walk the song files of the list,
// passing over folders; the bar follows onto the song, scrolling the page
// no further than needed.
TEST_F(SelectorDir, NeighbourSongsSkipFoldersAndTheBarFollows) {
    make_dir("d1");
    make_dir("d2");
    for (const char* name : {"s01.tun", "s02.tun", "s03.tun", "s04.tun", "s05.tun", "s06.tun"}) make_file(name);
    selector_start();  // 0 <..>, 1 <d1>, 2 <d2>, 3..8 s01..s06
    page_rows = 4;
    struct Case {
        int entry, direction, neighbour;
    } neighbours[] = {
        {3, +1, 4}, {4, -1, 3}, {3, -1, -1}, {8, +1, -1}, {0, +1, 3}, {2, -1, -1}, {1, +1, 3}, {7, +1, 8},
    };
    for (const Case& c : neighbours)
        EXPECT_EQ(neighbour_song(c.entry, c.direction), c.neighbour) << c.entry << " " << c.direction;

    struct Placement {
        int top, row, entry;
        int want_top, want_row;
    } placements[] = {
        {0, 0, 3, 0, 3},  // on the page: only the bar moves
        {0, 3, 4, 1, 3},  // one below the page: one row of scrolling
        {0, 0, 8, 5, 3},  // the last entry: the last page
        {5, 3, 4, 4, 0},  // above the page: it scrolls up to the entry
        {5, 0, 7, 5, 2},
    };
    for (const Placement& p : placements) {
        sel_top = static_cast<uint16_t>(p.top);
        sel_row = static_cast<uint8_t>(p.row);
        EXPECT_EQ(place_bar(p.entry), (*dir_list)[p.entry].name);
        EXPECT_EQ(sel_top, p.want_top) << "entry " << p.entry;
        EXPECT_EQ(sel_row, p.want_row) << "entry " << p.entry;
        EXPECT_EQ(highlighted_entry(), p.entry);
    }
    selector_stop();
}

// A song that could not be played leaves its reason on row 1 of the list
// until the next key press.
TEST_F(SelectorDir, NoticeStaysUntilTheNextKey) {
    open_dummy_screen();
    make_file("a.tun");
    selector_start();
    page_rows = 47;
    show_notice("?No SID-DUMP file  ERROR");
    draw_list();
    const std::string notice = "?No SID-DUMP file  ERROR";
    for (size_t k = 0; k < notice.size(); ++k)
        EXPECT_EQ(cell(static_cast<int>(k), 1), 0x0C00 | uint8_t(notice[k])) << k;
    push_key(SDLK_DOWN);
    selector_pass();
    selector_pass();
    for (int c = 0; c < 80; ++c) EXPECT_EQ(cell(c, 1), 0x0700) << c;
    selector_stop();
}

// The selector waits idle, asleep, until the window is closed or a stop
// signal arrives; then it ends as after Escape. Its window names the folder.
TEST_F(SelectorDir, IdleSelectorSleepsAndEndsOnAQuitRequest) {
    open_dummy_screen();
    stop_signals::install(true);
    make_file("a.tun");
    selector_start();
    page_rows = 47;
    for (const int request : {0, SIGINT, SIGTERM}) {
        SCOPED_TRACE(request);
        console::window_closed = false;
        stop_signals::reset_received();
        const double cpu_before = cpu_seconds();
        const auto started = std::chrono::steady_clock::now();
        std::string name;
        {
            const test_support::quit_request quit(request, std::chrono::milliseconds(400), press_escape);
            EXPECT_FALSE(select_file(name));
        }
        const auto took = std::chrono::steady_clock::now() - started;
        const double cpu = cpu_seconds() - cpu_before;
        EXPECT_EQ(name, "..");
        EXPECT_GE(took, std::chrono::milliseconds(400));
        EXPECT_LT(took, std::chrono::milliseconds(1000));
        EXPECT_LT(cpu, 0.1) << "an idle selector sleeps";
        EXPECT_EQ(console::window_closed, request == 0);
        EXPECT_EQ(stop_signals::received(), request);
        char* title = nullptr;
        char* icon = nullptr;
        SDL_WM_GetCaption(&title, &icon);
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(std::string(title), "playtun - " + root.string());
    }
    stop_signals::reset_received();
    selector_stop();
}

TEST_F(SelectorDir, EmptyListOnlyLeavesOnEscape) {
    open_dummy_screen();
    selector_start();
    make_dir("gone");
    std::filesystem::current_path("gone");
    std::filesystem::remove(root / "gone");
    rescan();
    ASSERT_EQ(dir_count, 0);
    for (SDLKey key : {SDLK_DOWN, SDLK_END, SDLK_PAGEDOWN, SDLK_UP, SDLK_RETURN, SDLK_ESCAPE}) push_key(key);
    std::string name = "stale";
    EXPECT_FALSE(select_file(name));
    EXPECT_EQ(name, "");
    EXPECT_EQ(sel_row + sel_top, 0);
    EXPECT_EQ(cell(0, 2), 0x0800);  // no entry row drawn
    selector_stop();
}

// Expected cells worked out by hand: captions centred at 39 - length / 2,
// the bar row blank in the bar colour, everything else blank in the
// attribute left by the previous pass (7).
TEST_F(SelectorDir, DrawListComposesBannerEntriesAndBar) {
    make_dir("music");
    make_dir(".hidden");
    make_file("b.tun");
    make_file("A.TUN");
    selector_start();
    page_rows = 47;
    struct Row {
        int row, column;
        std::string text;
        uint16_t attr, blank;
    };
    const std::string banner = "\xDB\xDB Orwick's TUN-File-Selector v0.1b b20021206" + std::string(25, ' ') +
                               "\xDB\xDB\xDB\xDB\xB2\xB2\xB2\xB1\xB1\xB0";
    struct Case {
        int sel_row;
        std::vector<Row> rows;
    } cases[] = {
        {1,
         {{0, 0, banner, 0x0F, 0x07},
          {2, 37, "<..>", 0x08, 0x07},
          {3, 35, "<.hidden>", 0x1C, 0x1C},
          {4, 36, "<music>", 0x08, 0x07},
          {5, 37, "A.TUN", 0x07, 0x07},
          {6, 37, "b.tun", 0x07, 0x07}}},
        {4,
         {{0, 0, banner, 0x0F, 0x07},
          {2, 37, "<..>", 0x08, 0x07},
          {3, 35, "<.hidden>", 0x08, 0x07},
          {4, 36, "<music>", 0x08, 0x07},
          {5, 37, "A.TUN", 0x07, 0x07},
          {6, 37, "b.tun", 0x9C, 0x9C}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sel_row);
        sel_row = static_cast<uint8_t>(c.sel_row);
        console::text_attr = 0x42;
        draw_list();
        draw_list();
        std::vector<uint16_t> want(4000, 0x0700);
        std::vector<Row> rows = c.rows;
        // The bottom row names the keys, in dark grey.
        rows.push_back(
            {49, 0, "Up Down PgUp PgDn Home End  Return open/play  Alt+Return full screen  Escape end", 0x08, 0x07});
        for (const Row& r : rows) {
            for (int x = 0; x < 80; ++x) want[r.row * 80 + x] = static_cast<uint16_t>(r.blank << 8);
            for (std::size_t k = 0; k < r.text.size(); ++k)
                want[r.row * 80 + r.column + k] = static_cast<uint16_t>(r.attr << 8 | uint8_t(r.text[k]));
        }
        for (int i = 0; i < 4000; ++i)
            ASSERT_EQ(console::screen_cells[i], want[i]) << "column " << i % 80 << " row " << i / 80;
        EXPECT_EQ(console::text_attr, 7);
    }
    selector_stop();
}

TEST_F(SelectorDir, DrawEntryCentresCaptions) {
    struct Case {
        std::string caption;
        int column;
    } cases[] = {{"abcd", 37}, {"x", 39}, {"<x>", 38}, {std::string(78, 'w'), 0}, {std::string(77, 'v'), 1}};
    sel_row = 40;  // the bar is elsewhere
    for (const Case& c : cases) {
        console::text_attr = 15;
        console::clear_screen();
        draw_entry(10, c.caption, 0);
        EXPECT_EQ(cell(c.column, 10), 0x0700 + uint8_t(c.caption[0])) << c.caption;
        if (c.column > 0) {
            EXPECT_EQ(cell(c.column - 1, 10), 0x0F00) << c.caption;
        }
        EXPECT_EQ(cell(c.column + int(c.caption.size()), 10), 0x0F00) << c.caption;
    }
}

// The pointer on the list: a click moves the bar, a click on the bar or a
// double click opens, the wheel and a drag scroll the page.
TEST_F(SelectorDir, PointerSelectsOpensAndScrolls) {
    using console::pointer_kind;
    make_dir("music");
    make_file("music/inner.tun");
    for (int k = 10; k < 40; ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "s%d.tun", k);
        make_file(name);
    }
    selector_start();  // 0 <..>, 1 <music>, 2.. s10 .. s39: 32 entries
    page_rows = 10;    // max top 22
    struct Case {
        const char* what;
        int top, row;
        pointer_kind kind;
        int column, screen_row, amount;
        int want_top, want_row;
        uint8_t want_state;
    } cases[] = {
        {"click a row", 0, 0, pointer_kind::click, 40, 5, 0, 0, 3, 0},
        {"click the last row", 4, 0, pointer_kind::click, 0, 11, 0, 4, 9, 0},
        {"below the page", 0, 2, pointer_kind::click, 40, 12, 0, 0, 2, 0},
        {"the banner", 0, 2, pointer_kind::click, 40, 0, 0, 0, 2, 0},
        {"the notice row", 0, 2, pointer_kind::click, 40, 1, 0, 0, 2, 0},
        {"click the bar: a song", 5, 2, pointer_kind::click, 79, 4, 0, 5, 2, 13},
        {"double click elsewhere", 5, 2, pointer_kind::double_click, 10, 6, 0, 5, 4, 13},
        {"scroll down, bar kept", 0, 5, pointer_kind::scroll, 40, 20, 3, 3, 2, 0},
        {"scroll down, bar at the top", 0, 1, pointer_kind::scroll, 40, 20, 3, 3, 0, 0},
        {"scroll past the end", 20, 5, pointer_kind::scroll, 40, 20, 30, 22, 3, 0},
        {"scroll up, bar at the bottom", 10, 0, pointer_kind::scroll, 40, 20, -3, 7, 3, 0},
        {"scroll up past the start", 2, 4, pointer_kind::scroll, 40, 20, -50, 0, 6, 0},
        {"a swipe does nothing here", 2, 4, pointer_kind::swipe, 40, 5, 20, 2, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sel_state = state_browsing;
        sel_top = c.top;
        sel_row = static_cast<uint8_t>(c.row);
        handle_pointer({c.kind, static_cast<uint8_t>(c.column), static_cast<uint8_t>(c.screen_row),
                        static_cast<int16_t>(c.amount)});
        EXPECT_EQ(sel_top, c.want_top);
        EXPECT_EQ(sel_row, c.want_row);
        EXPECT_EQ(sel_state, c.want_state);
        handle_key(SDLK_a, KMOD_NONE);  // no click before the next case
    }

    // A click on the bar over a folder enters it; the double click that
    // this click began changes nothing more in the new folder.
    sel_state = state_browsing;
    sel_top = 0;
    sel_row = 1;
    handle_pointer({pointer_kind::click, 40, 3, 0});
    EXPECT_EQ(std::filesystem::current_path(), root / "music");
    handle_pointer({pointer_kind::double_click, 40, 3, 0});
    EXPECT_EQ(sel_state, state_dir_opened);
    EXPECT_EQ(sel_row, 0);
    EXPECT_EQ(std::filesystem::current_path(), root / "music");
    // Two clicks on another row: the first moves the bar, the double opens.
    sel_state = state_browsing;
    handle_pointer({pointer_kind::click, 40, 3, 0});
    handle_pointer({pointer_kind::double_click, 40, 3, 0});
    EXPECT_EQ(sel_state, state_chosen);
    EXPECT_EQ(highlighted_entry(), 1);
    selector_stop();
}

// The clicks reach the selector through its own loop, from SDL's queue.
TEST_F(SelectorDir, MouseButtonsInTheWindowChooseASong) {
    open_dummy_screen();
    make_file("a.tun");
    make_file("b.tun");
    selector_start();  // <..>, a.tun, b.tun
    const auto push_button = [](uint8_t button, uint16_t x, uint16_t y) {
        SDL_Event event{};
        event.type = SDL_MOUSEBUTTONDOWN;
        event.button.type = SDL_MOUSEBUTTONDOWN;
        event.button.button = button;
        event.button.state = SDL_PRESSED;
        event.button.x = x;
        event.button.y = y;
        ASSERT_EQ(SDL_PushEvent(&event), 0);
    };
    push_button(SDL_BUTTON_LEFT, 300, 8 * 4 + 3);  // row 4: b.tun
    push_button(SDL_BUTTON_LEFT, 303, 8 * 4 + 1);  // again in that cell: a double click
    push_key(SDLK_ESCAPE);                         // should the clicks fail
    std::string name;
    EXPECT_TRUE(select_file(name));
    EXPECT_EQ(name, "b.tun");
    for (SDL_Event left; SDL_PollEvent(&left) == 1;) {}
    selector_stop();
}
