// The selector screen: a title banner, one page of the entry list with a
// highlight bar, and the keys that move the bar, open directories and
// choose a song file.
#include "selector/selector.hpp"

#include <SDL.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <unordered_map>

#include "console/console.hpp"
#include "base/fail.hpp"
#include "selector/play_list.hpp"
#include "selector/song_facts.hpp"

namespace selector {

uint8_t sel_state = 0;
uint8_t sel_row = 0;
int32_t sel_top = 0;
uint8_t page_rows = default_page_rows;
std::string start_dir;

namespace {

constexpr char banner_text[] =
    "\xDB\xDB"
    " Orwick's TUN-File-Selector v0.1b b20021206"
    "                         "
    "\xDB\xDB\xDB\xDB\xB2\xB2\xB2\xB1\xB1\xB0";
static_assert(sizeof banner_text - 1 == 80, "the banner fills one screen row");

constexpr uint8_t banner_attr = 15;      // white on black
constexpr uint8_t dir_attr = 8;          // dark grey
constexpr uint8_t file_attr = 7;         // light grey
constexpr uint8_t dir_bar_attr = 0x1C;   // light red on blue
constexpr uint8_t file_bar_attr = 0x9C;  // light red on light blue
constexpr uint32_t alt_keys = KMOD_LALT | KMOD_RALT;
constexpr int page_step = 12;
// How long an idle pass waits for a key before it looks at the screen
// again; within it, the wait itself sleeps between short looks.
constexpr uint32_t idle_wait_ms = 100;
// Rows 2..49 are all the screen has for the list.
constexpr int most_page_rows = console::screen_rows - first_list_row;

constexpr uint8_t notice_attr = 0x0C;   // light red on black
constexpr uint8_t key_row_attr = 0x08;  // dark grey on black

// Shown on row 1 until the next key press.
std::string notice;

// The facts of the songs of the folder shown, read as their rows are first
// drawn; a new folder starts afresh.
std::unordered_map<std::string, song_facts> facts_cache;

constexpr uint8_t facts_attr = 0x07;
constexpr int length_room = 8;  // the length at the right of the title view

// The last pointer click opened an entry, so the double click it may begin
// has done its work.
bool click_opened = false;

const dirrec& highlighted() { return (*dir_list)[static_cast<std::size_t>(sel_top + sel_row)]; }

bool list_is_empty() { return !dir_list || dir_count == 0; }

// The window names the folder being listed.
void show_folder_title() { console::set_window_title("playtun - " + working_directory()); }

// The last part of a path: the folder's name as its parent lists it.
std::string last_part(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The index of the directory entry of that name, or -1.
int directory_entry(const std::string& name) {
    for (int k = 0; k < dir_count; ++k)
        if ((*dir_list)[static_cast<std::size_t>(k)].is_dir && (*dir_list)[static_cast<std::size_t>(k)].name == name)
            return k;
    return -1;
}

// Opening a folder puts the bar on its first entry; going up through ".."
// puts it on the folder just left.

// Whether the name is a regular file (links followed): only such a file is
// handed to the player, as a FIFO would hold it waiting for a writer.
bool is_regular_file(const std::string& name) {
    struct stat status {};
    return ::stat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

void open_highlighted() {
    const dirrec& entry = highlighted();
    if (!entry.is_dir) {
        // A song name that is no regular file (a FIFO, a device) is not
        // opened; the bar stays on it and the notice says why.
        if (is_regular_file(entry.name)) {
            sel_state = state_chosen;
        } else {
            show_notice("File access denied.  " + entry.name + ": not a regular file");
        }
        return;
    }
    sel_state = state_dir_opened;
    // The rescan overwrites the entry, so take the name first.
    const std::string name = entry.name;
    const std::string left = name == ".." ? last_part(working_directory()) : std::string();
    enter_dir(name);
    rescan();
    facts_cache.clear();
    sel_row = 0;
    sel_top = 0;
    if (const int k = left.empty() ? -1 : directory_entry(left); k >= 0) place_bar(k);
    show_folder_title();
}

// A click on list row `k` of the page: it opens the entry when the bar is
// on it already or `open` says so, else the bar goes there.
void click_row(int k, bool open) {
    if (k < 0 || k > derive_limits().last_row) return;
    const bool on_bar = k == sel_row;
    sel_row = static_cast<uint8_t>(k);
    if (!on_bar && !open) return;
    open_highlighted();
    click_opened = true;
}

// The page moves by the lines as far as the list goes; the bar keeps its
// entry, or stops at the edge of the page that its entry left.
void scroll_list(int lines) {
    const page_limits limits = derive_limits();
    const int entry = highlighted_entry();
    sel_top = std::clamp(sel_top + lines, 0, limits.max_top);
    sel_row = static_cast<uint8_t>(std::clamp(entry - sel_top, 0, limits.last_row));
}

}  // namespace

const std::string_view banner{banner_text, 80};
bool title_view = false;

const song_facts& facts_of(const std::string& name) {
    const auto found = facts_cache.find(name);
    if (found != facts_cache.end()) return found->second;
    return facts_cache.emplace(name, read_song_facts(name)).first->second;
}

std::array<std::string, facts_rows> facts_text(const song_facts& facts) {
    std::array<std::string, facts_rows> rows;
    if (!facts.is_song) {
        rows[0] = facts.problem;
        return rows;
    }
    const auto field = [](std::string_view label, const std::string& value, size_t width) {
        std::string text = std::string(label) + value;
        if (text.size() > width) text.resize(width);
        return text + std::string(width - text.size(), ' ');
    };
    if (!facts.title.empty()) {
        rows[0] = field("Title   ", facts.title, 40) + field("Author  ", facts.author, 40);
    } else {
        rows[0] = field("Text    ", facts.text, 80);
    }
    std::string length = "Length " + length_text(facts.frames, facts.frame_rate);
    if (facts.loop_frame > 0 && facts.loop_frame < facts.frames)
        length += ", loop " + length_text(facts.loop_frame, facts.frame_rate);
    rows[1] = field("Release ", facts.release, 40) + field("", length, 32) + "Voices " +
              std::to_string(facts.voices);
    for (std::string& row : rows)
        while (!row.empty() && row.back() == ' ') row.pop_back();
    return rows;
}

std::string title_view_caption(const dirrec& entry) {
    if (entry.is_dir) return entry.caption;
    std::string caption = title_and_author(facts_of(entry.name));
    if (caption.empty()) caption = entry.caption;
    const size_t room = console::screen_columns - 2 * length_room;
    if (caption.size() > room) caption = caption.substr(0, room - 2) + "..";
    return caption;
}
const std::string_view key_row = "Up Down PgUp PgDn Home End  Return open/play  Alt+Return full screen  Escape end";

int highlighted_entry() { return sel_top + sel_row; }

int neighbour_song(int entry, int direction) {
    if (!dir_list) return -1;
    for (int k = entry + direction; k >= 0 && k < dir_count; k += direction)
        if (!(*dir_list)[k].is_dir) return k;
    return -1;
}

std::string place_bar(int entry) {
    if (!dir_list || entry < 0 || entry >= dir_count) return {};
    const page_limits limits = derive_limits();
    if (entry < sel_top) {
        sel_top = static_cast<uint16_t>(entry);
    } else if (entry > sel_top + limits.last_row) {
        sel_top = static_cast<uint16_t>(std::min(entry - limits.last_row, limits.max_top));
    }
    sel_row = static_cast<uint8_t>(entry - sel_top);
    return (*dir_list)[entry].name;
}

std::string song_after(const std::string& name) {
    const std::string here = working_directory();
    // Below the starting folder the walk starts there; elsewhere (above it,
    // beside it) it covers the folder shown.
    const bool below_start = !start_dir.empty() && (here == start_dir || here.starts_with(start_dir + "/"));
    const std::string root = below_start ? start_dir : here;
    const std::vector<std::string> songs = songs_under(root);
    const std::string current = here + "/" + name;
    for (size_t k = 0; k + 1 < songs.size(); ++k)
        if (songs[k] == current) return songs[k + 1];
    return {};
}

int go_to_song(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || chdir(path.substr(0, slash).c_str()) != 0) return -1;
    rescan();
    facts_cache.clear();
    show_folder_title();
    const std::string name = path.substr(slash + 1);
    for (int k = 0; k < dir_count; ++k) {
        if (!(*dir_list)[k].is_dir && (*dir_list)[k].name == name) {
            place_bar(k);
            return k;
        }
    }
    sel_row = 0;
    sel_top = 0;
    return -1;
}

void write_highlighted_list() {
    const dirrec& entry = highlighted();
    const bool of_folder = entry.is_dir && entry.name != "..";
    const std::string folder = of_folder ? entry.name : ".";
    const std::string list_name = (of_folder ? entry.name : last_part(working_directory())) + ".m3u";
    const std::vector<std::string> songs = songs_under(folder);
    if (songs.empty()) {
        show_notice("No songs to list in " + (of_folder ? entry.name : std::string("this folder")));
        return;
    }
    if (const std::string why = write_play_list(list_name, songs); !why.empty()) {
        show_notice("Cannot write " + list_name + ": " + why);
        return;
    }
    show_notice("Wrote " + list_name + ": " + std::to_string(songs.size()) + " songs");
}

void show_notice(std::string_view text) { notice = std::string(text.substr(0, console::screen_columns)); }

page_limits derive_limits() {
    const int rows = std::clamp<int>(page_rows, 1, most_page_rows);
    if (rows > dir_count) return {0, dir_count - 1};
    return {dir_count - rows, rows - 1};
}

void selector_start() {
    dir_list.reset(new (std::nothrow) tdirarr{});
    if (!dir_list) failure::fail(failure::heap_overflow);
    dir_list->resize(initial_list_size);
    // An unreadable working directory leaves start_dir empty; going back to
    // it at the end then fails like any other lost start directory.
    start_dir = working_directory();
    rescan();
    facts_cache.clear();
    sel_state = state_browsing;
    sel_top = 0;
    sel_row = 0;
}

void selector_stop() {
    if (chdir(start_dir.c_str()) != 0) failure::fail_system_error(errno);
    dir_list.reset();
    dir_count = 0;
}

void selector_reset() {
    dir_list.reset();
    dir_count = 0;
    sel_state = state_browsing;
    sel_row = 0;
    sel_top = 0;
    page_rows = default_page_rows;
    start_dir.clear();
    root_dir.clear();
    notice.clear();
    facts_cache.clear();
    title_view = false;
    click_opened = false;
}

void draw_entry(uint8_t row, std::string_view caption, uint8_t is_dir) {
    console::text_attr = is_dir ? dir_attr : file_attr;
    if (row == sel_row + first_list_row) {
        console::text_attr = is_dir ? dir_bar_attr : file_bar_attr;
        console::go_to(0, row);
        console::clear_to_eol();
    }
    // Captions are at most 78 characters, so the column is never negative.
    const int column = std::max(0, 39 - static_cast<int>(caption.size()) / 2);
    console::go_to(static_cast<uint8_t>(column), row);
    console::write_line(caption);
    console::text_attr = file_attr;
}

void draw_list() {
    console::clear_screen();
    console::text_attr = banner_attr;
    console::write_line(banner);  // fills row 0; row 1 holds the notice, if any
    if (!notice.empty()) {
        console::text_attr = notice_attr;
        console::write_text_at(0, 1, notice);
    }
    // The key row lies below the longest page the screen can show.
    if (first_list_row + page_rows < console::screen_rows) {
        console::text_attr = key_row_attr;
        console::write_text_at(0, console::screen_rows - 1, key_row);
    }
    console::text_attr = dir_attr;
    sel_state = state_browsing;
    const page_limits limits = derive_limits();
    if (list_is_empty()) return;
    for (int k = 0; k <= limits.last_row; ++k) {
        const dirrec& entry = (*dir_list)[static_cast<std::size_t>(sel_top + k)];
        const auto row = static_cast<uint8_t>(first_list_row + k);
        if (!title_view) {
            draw_entry(row, entry.caption, entry.is_dir);
            continue;
        }
        draw_entry(row, title_view_caption(entry), entry.is_dir);
        const song_facts& facts = entry.is_dir ? song_facts{} : facts_of(entry.name);
        if (!facts.is_song) continue;
        const std::string length = short_length_text(facts.frames, facts.frame_rate);
        console::text_attr = k == sel_row ? file_bar_attr : file_attr;
        console::write_text_at(static_cast<uint8_t>(console::screen_columns - 1 - length.size()), row, length);
        console::text_attr = file_attr;
    }
    // The highlighted song's facts on the rows above the key row, where
    // the page leaves them room; a folder shows none.
    if (first_list_row + page_rows + facts_rows < console::screen_rows && !highlighted().is_dir) {
        const auto rows = facts_text(facts_of(highlighted().name));
        console::text_attr = facts_attr;
        for (int k = 0; k < facts_rows; ++k)
            console::write_text_at(0, static_cast<uint8_t>(console::screen_rows - 1 - facts_rows + k), rows[k]);
    }
}

void handle_key(uint32_t key, uint32_t modifiers) {
    click_opened = false;  // a key between two clicks makes them no double click
    if (key == SDLK_RETURN && (modifiers & alt_keys) != 0) {
        console::set_video_mode(true);
        return;
    }
    if (key == SDLK_ESCAPE) {
        sel_state = state_cancelled;
        return;
    }
    // With nothing listed there is no bar to move and nothing to open.
    if (list_is_empty()) return;
    const page_limits limits = derive_limits();
    switch (key) {
        case SDLK_RETURN: open_highlighted(); break;
        case SDLK_t: title_view = !title_view; break;
        case SDLK_w: write_highlighted_list(); break;
        case SDLK_p:
            if (highlighted().is_dir && highlighted().name != "..") sel_state = state_folder_chosen;
            break;
        case SDLK_UP:
            if (sel_row > 0) {
                --sel_row;
            } else if (sel_top > 0) {
                --sel_top;
            }
            break;
        case SDLK_DOWN:
            if (sel_row < limits.last_row) {
                ++sel_row;
            } else if (sel_top < limits.max_top) {
                ++sel_top;
            }
            break;
        case SDLK_HOME:
            sel_row = 0;
            sel_top = 0;
            break;
        case SDLK_END:
            sel_row = static_cast<uint8_t>(limits.last_row);
            sel_top = limits.max_top;
            break;
        // Page Up and Page Down move the bar within the page when they can
        // and scroll the page otherwise, by exactly 12 rows or not at all.
        // Page Down never lands on the last row or the last page.
        case SDLK_PAGEUP:
            if (sel_row >= page_step) {
                sel_row -= page_step;
            } else if (sel_top >= page_step) {
                sel_top -= page_step;
            }
            break;
        case SDLK_PAGEDOWN:
            if (sel_row + page_step < limits.last_row) {
                sel_row += page_step;
            } else if (sel_top + page_step < limits.max_top) {
                sel_top += page_step;
            }
            break;
        default: break;
    }
}

void handle_pointer(const console::pointer_event& pointer) {
    const bool after_opening = click_opened;
    click_opened = false;
    if (list_is_empty()) return;
    switch (pointer.kind) {
        case console::pointer_kind::double_click:
            if (!after_opening) click_row(pointer.row - first_list_row, true);
            break;
        case console::pointer_kind::click: click_row(pointer.row - first_list_row, false); break;
        case console::pointer_kind::scroll: scroll_list(pointer.amount); break;
        default: break;
    }
}

// The screen changes only after a key or the pointer, so a pass presents
// only what changed and then sleeps until the next event arrives.
void selector_pass() {
    draw_list();
    console::refresh_changed_screen();
    if (console::wait_input(idle_wait_ms)) {
        notice.clear();
        if (console::last_pointer.kind != console::pointer_kind::none) {
            handle_pointer(console::last_pointer);
        } else {
            handle_key(console::last_event.key.keysym.sym, console::last_event.key.keysym.mod);
        }
    }
}

void (*each_pass)() = nullptr;

// A request to quit (the window's close button, SIGINT, SIGTERM) leaves the
// selector as Escape does, and no song is chosen after it.
bool select_file(std::string& name) {
    sel_state = state_browsing;
    show_folder_title();
    console::clear_screen();
    while (sel_state != state_chosen && sel_state != state_cancelled) {
        if (console::quit_requested()) {
            sel_state = state_cancelled;
            break;
        }
        selector_pass();
        if (each_pass != nullptr) each_pass();
    }
    name = list_is_empty() ? std::string() : highlighted().name;
    return sel_state != state_cancelled && !console::quit_requested();
}

}  // namespace selector
