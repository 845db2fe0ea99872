// The command line: options first looked for anywhere, then the run mode
// from the number of remaining arguments (or a play list with --play).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace driver {

enum class request {
    run,         // a run mode, chosen by the number of names
    help,        // -h, --help
    version,     // -V, --version
    usage_line,  // exactly "/?" as the only argument
    bad_option,  // an option this program does not have
    bad_value,   // an option whose value is missing or wrong, or one out of place
};

struct command_line {
    request what = request::run;
    std::vector<std::string> names;  // the arguments that are not options
    std::string bad;                 // the option not understood, or what is wrong with a value
    // --play (-p): the names are a play list; each song plays `loops` passes
    // of its loop section, the list in a random order with --shuffle and
    // over and over with --repeat.
    bool play_list = false;
    uint32_t loops = 1;
    bool shuffle = false;
    bool repeat = false;
    // Where the screens go: the terminal (-t, --terminal), the window
    // (--window), or, with neither, the window where there is a display
    // and the terminal where there is none.
    enum class presenter : uint8_t { automatic, terminal, window };
    presenter screen = presenter::automatic;
};

// "-" alone is a name (standard output as the WAV file), and every argument
// after "--" is a name, whatever it starts with. --loops takes its value as
// the next argument or after "=".
command_line read_command_line(int argument_count, char** arguments);

}  // namespace driver
