// The entries of a folder as the selector lists them: what each entry
// shows, and the order they stand in. Everything that walks folders in the
// listener's order (the selector, a folder played as a list, a written
// play list) sorts with this one rule.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace selector {

struct dirrec {
    uint8_t is_dir = 0;   // 1 directory, 0 song file
    std::string name;     // the name as the directory listing gives it
    std::string caption;  // the text shown in the list, at most 78 characters
};

using tdirarr = std::vector<dirrec>;

// The shown form of a name: "/" counts as a backslash, everything up to the
// first ":" and then up to the last backslash is dropped.
std::string make_caption(std::string_view name);

// Directories before files; within a kind, the upper-cased captions
// compared byte by byte as unsigned values, a prefix before the longer text.
bool entry_before(const dirrec& a, const dirrec& b);

// Sorts list[lo..hi] in place (quicksort with the middle entry as pivot).
// The recursion goes into the smaller part only, so its depth stays below
// log2 of the entry count.
void sort_list(tdirarr& list, int lo, int hi);

}  // namespace selector
