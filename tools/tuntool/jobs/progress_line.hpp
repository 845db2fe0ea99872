// Progress of a render on a terminal: one line per song, redrawn in place
// while the song renders (name, percent, position and length, speed as a
// multiple of real time), and left standing when it is done. The lines of
// the songs being rendered stay together at the bottom; finished songs and
// messages settle above them. Off the terminal nothing of it is written,
// and messages go out as plain lines.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tuntool {

// A job's progress as it reports it (a render's or an import's): frames done in the current pass (one
// per output) of passes, each `length` frames long.
struct progress_report {
    uint32_t pass = 0;
    uint32_t passes = 0;
    uint64_t frames = 0;
    uint64_t length = 0;
};

using progress_clock = std::chrono::steady_clock;

struct progress_entry {
    size_t job = 0;
    std::string name;
    progress_report report;
    progress_clock::time_point start;
};

struct progress_display {
    bool shown = false;  // on a terminal and not asked to be quiet
    int fd = 2;
    size_t width = 80;
    std::vector<progress_entry> live;
    std::string settled;  // lines that stay, not yet written
    size_t drawn = 0;     // live lines on the screen
    progress_clock::time_point last_draw;
};

// A display on standard error, shown when it is a terminal and not quiet.
progress_display progress_on_standard_error(bool quiet);

void progress_begin(progress_display& d, size_t job, const std::string& name);
void progress_update(progress_display& d, size_t job, const progress_report& report);
// The job's line leaves the live lines; a completed job's last line stays.
void progress_end(progress_display& d, size_t job, bool completed);
// A line that stays (a problem with a song).
void progress_message(progress_display& d, const std::string& line);
// Redraws at most ten times a second unless `now`.
void progress_draw(progress_display& d, bool now);

// One song's line, at most width - 1 columns (the name is shortened from
// the left to fit).
std::string progress_line(const std::string& name, const progress_report& report, double seconds, size_t width);

}  // namespace tuntool
