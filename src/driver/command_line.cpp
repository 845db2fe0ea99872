#include "driver/command_line.hpp"

#include <charconv>
#include <string_view>

namespace driver {
namespace {

constexpr uint32_t most_loops = 1000000;

// A whole decimal number of passes, 1 or more.
bool read_loops(std::string_view text, uint32_t& loops) {
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > most_loops) return false;
    loops = value;
    return true;
}

void refuse(command_line& line, request what, std::string why) {
    if (line.what != request::run) return;  // the first problem is the one reported
    line.what = what;
    line.bad = std::move(why);
}

}  // namespace

command_line read_command_line(int argument_count, char** arguments) {
    command_line line;
    // "/?" keeps its meaning only as the one and only argument.
    if (argument_count == 1 && std::string_view(arguments[0]) == "/?") {
        line.what = request::usage_line;
        return line;
    }
    bool options_end = false;
    bool loops_given = false;
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
        } else if (argument == "-p" || argument == "--play") {
            line.play_list = true;
        } else if (argument == "-t" || argument == "--terminal") {
            line.screen = command_line::presenter::terminal;
        } else if (argument == "--window") {
            line.screen = command_line::presenter::window;
        } else if (argument == "--shuffle") {
            line.shuffle = true;
        } else if (argument == "--repeat") {
            line.repeat = true;
        } else if (argument == "--loops" || argument.starts_with("--loops=")) {
            loops_given = true;
            std::string_view value;
            if (argument == "--loops") {
                if (i + 1 < argument_count)
                    value = arguments[++i];
                else
                    refuse(line, request::bad_value, "--loops needs a number of passes");
            } else {
                value = argument.substr(8);
            }
            if (line.what == request::run && !read_loops(value, line.loops))
                refuse(line, request::bad_value,
                       "--loops takes a whole number of passes from 1 to 1000000, not '" + std::string(value) + "'");
        } else {
            refuse(line, request::bad_option, std::string(argument));
        }
    }
    if (!line.play_list && (loops_given || line.shuffle || line.repeat))
        refuse(line, request::bad_value, "--loops, --shuffle and --repeat go with --play");
    if (line.play_list && line.names.empty()) refuse(line, request::bad_value, "--play needs at least one song");
    return line;
}

}  // namespace driver
