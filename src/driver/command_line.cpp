#include "driver/command_line.hpp"

#include <string_view>

namespace driver {

command_line read_command_line(int argument_count, char** arguments) {
    command_line line;
    // "/?" keeps its meaning only as the one and only argument.
    if (argument_count == 1 && std::string_view(arguments[0]) == "/?") {
        line.what = request::usage_line;
        return line;
    }
    bool options_end = false;
    for (int i = 0; i < argument_count; ++i) {
        const std::string_view argument = arguments[i];
        if (options_end || argument == "-" || !argument.starts_with("-")) {
            line.names.emplace_back(argument);
        } else if (argument == "--") {
            options_end = true;
        } else if (argument == "-h" || argument == "--help") {
            line.what = request::help;
            return line;
        } else if (argument == "-V" || argument == "--version") {
            line.what = request::version;
            return line;
        } else if (line.what != request::bad_option) {
            line.what = request::bad_option;
            line.bad = argument;
        }
    }
    return line;
}

}  // namespace driver
