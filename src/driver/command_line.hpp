// The command line: options first looked for anywhere, then the run mode
// from the number of remaining arguments.
#pragma once

#include <string>
#include <vector>

namespace driver {

enum class request {
    run,          // a run mode, chosen by the number of names
    help,         // -h, --help
    version,      // -V, --version
    usage_line,   // exactly "/?" as the only argument
    bad_option,   // an option this program does not have
};

struct command_line {
    request what = request::run;
    std::vector<std::string> names;  // the arguments that are not options
    std::string bad;                 // the option not understood
};

// "-" alone is a name (standard output as the WAV file), and every argument
// after "--" is a name, whatever it starts with.
command_line read_command_line(int argument_count, char** arguments);

}  // namespace driver
