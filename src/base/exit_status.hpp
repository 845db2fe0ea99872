// The exit statuses the programs end with, besides the failure codes of the
// failure reporter.
#pragma once

namespace exit_status {

inline constexpr int ok = 0;
// The work could not be done: a refused song, an output that would
// destroy a song, a song error.
inline constexpr int failure = 1;
// The command line was not understood.
inline constexpr int bad_command_line = 2;
// SDL or the video mode could not be started, or there is no display.
inline constexpr int no_display = 254;

// A program stopped by a signal it caught ends as a shell reports a
// program killed by it: 130 for SIGINT, 143 for SIGTERM.
constexpr int after_signal(int signal_number) { return 128 + signal_number; }

}  // namespace exit_status
