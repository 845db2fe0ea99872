// The batch form of "tuntool import": tunes and folders of tunes into a
// folder of songs, each tune in a process of its own (the player library
// is run as a new process has it, and a tune that crashes it takes only
// itself down), up to `parallel` at a time. What a song holds does not
// depend on how many run at once.
//
// The children are a job pool (job_pool.hpp): a child's standard error
// comes back through a pipe, each line going out as "tuntool: TUNE: line"; its progress comes through a second pipe, one
// line per song on a terminal. SIGINT and SIGTERM stop the batch: no new
// tune starts, the running ones are told (an unfinished song is never
// left behind), and the batch ends with 130 or 143.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "psid_run.hpp"
#include "progress_line.hpp"

namespace tuntool {

// How the songs of a tune are made and written.
struct song_making {
    psid_import::import_options options;
    bool all_subtunes = false;
    bool interleaved = false;
    bool compressed = true;
};

// One tune and where its songs go: OUT.tun for one subtune, OUT-K.tun for
// each subtune K with all_subtunes (`stem` is OUT).
struct import_job {
    std::string tune;
    std::string stem;
};

std::string song_path(const std::string& stem, bool all_subtunes, unsigned subtune);

// The longest path the batch searches or writes: the system opens none
// longer, and it bounds the depth of a search.
inline constexpr size_t longest_path = 4095;

// The tunes under a folder (files named *.sid, any case, links to files
// followed), in name order, found with memory for the folders on the way
// down only: links to folders are not followed (they could lead round in
// a circle), folders the user may not read are passed by, and folders
// whose paths would be longer than longest_path are not searched.
struct found_tune {
    std::string path;      // the folder as given, then the tune's place in it
    std::string relative;  // the tune's place in the folder
};
struct tune_search {
    std::vector<found_tune> tunes;
    std::vector<std::string> problems;  // "PATH: what went wrong", the folder's path shown
};
tune_search find_tunes(const std::string& folder);

// A tune file's bytes, at most largest_tune_file of them (a larger file is
// refused with import_error, unread). Throws tool_error when it cannot be read.
std::vector<uint8_t> read_tune_file(const std::string& path);

// The song of an imported tune, in the layout asked for.
struct stored_song;
stored_song song_of(const psid_import::imported_tune& tune, bool interleaved, bool compressed);

// What one song of a tune became, for its report line.
std::string song_summary(const std::string& path, const psid_import::imported_tune& tune, bool interleaved,
                         size_t packed_bytes);

// What a running child reports, in binary records on its progress pipe.
struct import_report {
    uint32_t subtune_index = 0;  // 0-based among the songs of the tune
    uint32_t subtunes = 0;
    uint32_t frames = 0;  // captured so far of the subtune
    uint32_t most = 0;
    uint16_t frame_rate = 50;
    uint8_t written = 0;  // the song is written
};

// Imports one tune's songs, reporting on report_fd (-1: none). Returns 0, or
// 1 when any of its songs failed (each named with its reason on standard
// error). Outputs' folders are made as needed.
int import_one_tune(const import_job& job, const song_making& making, int report_fd);

struct batch_outcome {
    size_t tunes_done = 0;
    size_t songs_written = 0;
    std::vector<std::string> failed;  // tunes, in the order they ended
    int stop_signal = 0;
};

batch_outcome run_import_jobs(const std::vector<import_job>& jobs, const song_making& making, unsigned parallel,
                              progress_display& progress);

}  // namespace tuntool
