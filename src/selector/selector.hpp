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

namespace selector {

// ---- entry list ----

struct dirrec {
    uint8_t is_dir = 0;   // 1 directory, 0 song file
    std::string name;     // the name as the directory listing gives it
    std::string caption;  // the text shown in the list, at most 78 characters
};

// The entries selector_start makes room for; a scan adds more as needed.
constexpr std::size_t initial_list_size = 1057;
constexpr std::string_view song_ext = ".TUN";

using tdirarr = std::vector<dirrec>;

// Allocated by selector_start, released by selector_stop; null otherwise.
// Entries at dir_count and beyond are left-overs of earlier scans.
extern std::unique_ptr<tdirarr> dir_list;
extern int32_t dir_count;

// Rebuilds the list for the working directory: directories, then song
// files, then sorted.
void rescan();
void scan_dirs();
void scan_files(std::string_view ext);

// The shown form of a name: "/" counts as a backslash, everything up to the
// first ":" and then up to the last backslash is dropped.
std::string make_caption(std::string_view name);

// Directories before files; within a kind, the upper-cased captions
// compared byte by byte as unsigned values, a prefix before the longer text.
bool entry_before(const dirrec& a, const dirrec& b);

// Sorts dir_list[lo..hi] in place (quicksort with the middle entry as pivot).
// The recursion goes into the smaller part only, so its depth stays below
// log2 of the entry count.
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

// A line shown on row 1 of the list until the next key press (the reason
// a chosen song could not be played).
void show_notice(std::string_view text);

// The keys of the selector, named on its bottom row.
extern const std::string_view key_row;

void draw_list();
void draw_entry(uint8_t row, std::string_view caption, uint8_t is_dir);

// Back to the state at program start: no list, everything zero, page_rows
// at its default.
void selector_reset();

}  // namespace selector
