// Songs in the listener's order: every song under a folder as the selector
// would show them, folder by folder, and play lists read from M3U and PLS
// files or written as extended M3U.
#pragma once

#include <string>
#include <vector>

namespace selector {

// Every song file under the folder, descending into its folders: in each
// folder its folders first and then its songs, each part in the selector's
// order. A folder reached again through a link is not walked twice. The
// names begin with `folder` + "/".
std::vector<std::string> songs_under(const std::string& folder);

// The name ends in .m3u, .m3u8 or .pls (any letter case).
bool is_play_list_name(const std::string& name);

struct play_list_reading {
    std::vector<std::string> songs;     // the songs found, in the list's order
    std::vector<std::string> problems;  // one line for each line skipped, naming it
    std::string failure;                // set when the list itself cannot be read
};

// Reads an M3U (or M3U8) or PLS list. A relative name is taken from the
// list's folder. Comments and the lists' own fields are read over; lines
// that name no file (a web address, text that is no name) and songs that
// are not there are skipped, each with a line in `problems`.
play_list_reading read_play_list(const std::string& list_name);

// The text of an extended M3U list of the songs, each with its length in
// seconds and "Author - Title", the names relative to `list_folder`.
std::string extended_m3u(const std::vector<std::string>& songs, const std::string& list_folder);

// Writes the list of the songs to the file (an M3U) through a temporary
// file, never over one of the songs. Returns "" or why it failed.
std::string write_play_list(const std::string& list_name, const std::vector<std::string>& songs);

}  // namespace selector
