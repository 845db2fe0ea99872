// File selector: the entry list of the working directory (its
// subdirectories and song files, captioned and sorted) and the selector
// screen that browses it and returns the chosen song file's name.
//
// The list holds every subdirectory and song file of the directory (it
// grows as the scan needs; 100,000 entries and more): directories first
// (the parent entry ".." among them), then song files, each with a caption
// of at most 78 characters. The screen shows a title banner on row 0 and one page of
// `page_rows` captions from row 2 on, with a highlight bar that the cursor
// keys move.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "console/pointer.hpp"
#include "selector/entry_order.hpp"
#include "selector/song_facts.hpp"

namespace selector {

// ---- entry list ----

// The entries selector_start makes room for; a scan adds more as needed.
constexpr std::size_t initial_list_size = 1057;
constexpr std::string_view song_ext = ".TUN";

// Allocated by selector_start, released by selector_stop; null otherwise.
// Entries at dir_count and beyond are left-overs of earlier scans.
extern std::unique_ptr<tdirarr> dir_list;
extern int32_t dir_count;

// Rebuilds the list for the working directory: directories, then song
// files, then sorted.
void rescan();
void scan_dirs();
void scan_files(std::string_view ext);

// Sorts dir_list[lo..hi] in place (sort_list of entry_order.hpp).
void sort_entries(int lo, int hi);

// Makes the named subdirectory (or ".." for the parent) the working
// directory; when that fails the working directory stays as it was.
// The root has no parent: ".." there changes nothing.
void enter_dir(std::string_view name);

// The folder above which the selector does not go: in it the list has no
// parent entry. Empty (the program's own setting): no root, every folder
// lists its parent.
extern std::string root_dir;

// Makes the working directory the root.
void set_root_here();

// The working directory's path; empty when it has none that can be read.
std::string working_directory();

// ---- selector screen ----

constexpr uint8_t state_browsing = 0;
constexpr uint8_t state_dir_opened = 1;
constexpr uint8_t state_folder_chosen = 2;  // p on a folder: it plays as a list
constexpr uint8_t state_chosen = 13;     // the key code of Return
constexpr uint8_t state_cancelled = 27;  // the key code of Escape

extern uint8_t sel_state;
extern uint8_t sel_row;    // highlighted row of the page, 0 = first list row
extern int32_t sel_top;    // index of the entry on the first list row
extern uint8_t page_rows;  // list rows per page; 22 unless the program sets it
extern std::string start_dir;

constexpr uint8_t default_page_rows = 22;
constexpr uint8_t first_list_row = 2;

// The 80-character banner on row 0.
extern const std::string_view banner;

// The page geometry for the current list: the largest sel_top that still
// fills the page, and the last row in use (-1 for an empty list).
struct page_limits {
    int max_top;
    int last_row;
};
page_limits derive_limits();

// Allocates the list, remembers the working directory as start_dir and
// scans it; the bar starts on the first entry.
void selector_start();

// Returns to start_dir (a failure ends the program) and releases the list.
void selector_stop();

// Runs the selector screen until a song file is chosen with Return (true)
// or the user presses Escape or asks the program to quit (false). `name`
// receives the highlighted entry's name in both cases (empty when the list
// is empty). The window's title names the folder being listed.
bool select_file(std::string& name);

// Run once every pass of the selector's loop: another source of commands
// (the desktop's media controls). Null for none.
extern void (*each_pass)();

// One pass of the selector loop: draw, present what changed, wait a short
// while for an event and handle it if it is a key press or a pointer event.
void selector_pass();

// Acts on one key press; `modifiers` is the SDL modifier state.
void handle_key(uint32_t key, uint32_t modifiers);

// Acts on a pointer event. A click on a list row puts the bar on it; a
// click on the row under the bar, or a double click, opens its entry as
// Return does. A double click whose first click already opened an entry
// does nothing more. A scroll moves the page by its lines, the bar staying
// on its entry while that is on the page.
void handle_pointer(const console::pointer_event& pointer);

// The index in the list of the entry under the bar.
int highlighted_entry();

// The nearest song file before (direction -1) or after (+1) the entry,
// skipping directories; -1 when there is none.
int neighbour_song(int entry, int direction);

// Puts the bar on the entry, scrolling the page only as far as needed,
// and returns the entry's name.
std::string place_bar(int entry);

// The song that follows the named song of the folder shown when the
// folders under the starting folder are walked in the selector's order
// (songs_under): the first song of the next folder once this folder's are
// done. A path, or empty when nothing follows.
std::string song_after(const std::string& name);

// Shows the song's folder with the bar on the song (a path as song_after
// gives it); returns its entry, or -1 when it is not listed there.
int go_to_song(const std::string& path);

// Writes NAME.m3u in the folder shown: the songs under the highlighted
// folder, or under the folder shown when the bar is on a song (the w key).
// The notice says what was written or why not.
void write_highlighted_list();

// A line shown on row 1 of the list until the next key press (the reason
// a chosen song could not be played).
void show_notice(std::string_view text);

// The keys of the selector, named on its bottom row.
extern const std::string_view key_row;

// The highlighted song's title, author, release, length and voices, on the
// two rows above the key row when the page is short enough to leave them.
constexpr int facts_rows = 2;
// The page that leaves room for them.
constexpr uint8_t page_rows_with_facts = 45;

// The list shows "Title - Author" and each song's length instead of file
// names (the t key); a song without both shows its file name.
extern bool title_view;

// The facts of a song of the folder shown, read once per folder.
const song_facts& facts_of(const std::string& name);

// The facts rows for a song: its reason alone when it is no song.
std::array<std::string, facts_rows> facts_text(const song_facts& facts);

void draw_list();
void draw_entry(uint8_t row, std::string_view caption, uint8_t is_dir);

// Back to the state at program start: no list, everything zero, page_rows
// at its default.
void selector_reset();

}  // namespace selector
