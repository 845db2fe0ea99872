#include "driver/run_modes.hpp"

#include <SDL.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>

#include "base/exit_status.hpp"
#include "base/fail.hpp"
#include "base/messages.hpp"
#include "base/stop_signals.hpp"
#include "base/shown_name.hpp"
#include "console/console.hpp"
#include "console/terminal.hpp"
#include "driver/command_line.hpp"
#include "driver/media_controls.hpp"
#include "driver/record_mode.hpp"
#include "player/player.hpp"
#include "player/song_opening.hpp"
#include "player/title_banner.hpp"
#include "selector/play_list.hpp"
#include "selector/selector.hpp"
#include "synth/synth.hpp"

#ifndef PLAYTUN_VERSION
#error "the build gives the version"
#endif

namespace driver {
namespace {

constexpr uint32_t playback_rate = song::output_rate;
static_assert(song::output_rate == 48000, "the help text names the output rate");

constexpr const char* help_text =
    "Usage: playtun [OPTION]... [SONG.tun [OUT.wav]]\n"
    "       playtun --play [--loops N] [--shuffle] [--repeat] SONG.tun|DIR|LIST.m3u...\n"
    "Plays chip music stored as register dumps (.tun song files).\n"
    "\n"
    "  playtun                   browse the working folder in the file selector;\n"
    "                            a chosen song repeats until Escape\n"
    "  playtun SONG.tun          play the song once on the player screen\n"
    "  playtun -p SONG.tun...    play the songs one after another, each once\n"
    "  playtun SONG.tun OUT.wav  record the song once into a 16-bit stereo\n"
    "                            48000 Hz WAV file (no display needed)\n"
    "  playtun SONG.tun -        the same as a WAV stream on standard output\n"
    "  playtun /?                the title banner and a one-line syntax\n"
    "\n"
    "Options:\n"
    "  -p, --play     the songs named are a play list (any number of them); a\n"
    "                 folder gives every song under it, an M3U or PLS list its songs\n"
    "  --loops N      with --play: play each song's loop section N times in all\n"
    "  -t, --terminal show the screens in this terminal, not in a window\n"
    "  --window       show the screens in a window, never in the terminal\n"
    "  --shuffle      with --play: play the list in a random order\n"
    "  --repeat       with --play: start the list again after its last song\n"
    "  -h, --help     show this help and end\n"
    "  -V, --version  show the version and end\n"
    "  --             the arguments that follow are file names\n"
    "\n"
    "Keys on the player screen include Pause or k (pause), Page Down and\n"
    "Page Up (next and previous song) and h (the list of keys).\n"
    "\n"
    "Record mode never writes over a song file, and a recording that fails\n"
    "leaves an existing OUT.wav as it was. The player screen and the file\n"
    "selector need an X11 display or a terminal; without a display they use the\n"
    "terminal on standard input and output. Keys, messages, exit statuses: man playtun\n";

void write_usage_line() {
    // The banner fills a whole 80-column row, so no line end follows it.
    std::fwrite(player::title_banner.data(), 1, player::title_banner.size(), stdout);
    std::fputs("Syntax: PlayTUN <file.tun> <wavefile.wav>\n", stdout);
    std::fputs("Play lists: playtun --play <file.tun>... (playtun --help)\n", stdout);
}

int bad_option(const std::string& option) {
    return failure::report_usage_error("playtun: unknown option " + names::shown_name(option), "playtun --help");
}

int bad_value(const std::string& why) { return failure::report_usage_error("playtun: " + why, "playtun --help"); }

void say_on_standard_error(const std::string& line) { failure::report_problem(line); }

// The line on standard error for a song whose audio device did not open.
void report_audio_failure(const std::string& song_file, const player::player_result& result) {
    say_on_standard_error(player::named_failure(song_file, "cannot open the audio device: " + result.audio_error));
}

// SDL 1.2 takes the first video driver that starts. Without a display that
// would be one that draws the window as text into the terminal and may not
// give it back, so the interactive modes start only where there is a
// display, or where the user chose a driver.
bool display_available() {
    const char* chosen = std::getenv("SDL_VIDEODRIVER");
    if (chosen != nullptr && *chosen != '\0') return true;
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') return false;
    // An X server that cannot be reached must be reported, not replaced.
    ::setenv("SDL_VIDEODRIVER", "x11", 1);
    return true;
}

void shut_down() {
    stop_media_controls();
    console::terminal::stop();
    SDL_Quit();
    selector::selector_stop();  // back in the starting directory
    console::text_attr = 7;
}

bool run_play_list(const command_line& line);

// A folder chosen in the selector plays as a list: every song under it,
// each once; then the selector shows again.
void play_folder(const std::string& folder) {
    command_line line;
    line.play_list = true;
    line.names = selector::songs_under(folder);
    if (line.names.empty()) {
        selector::show_notice("No songs in " + folder);
        return;
    }
    run_play_list(line);
    player::player_engine().loop_enabled.store(true, std::memory_order_relaxed);
}

// Selector mode: each chosen song repeats from its loop frame until the user
// leaves it, and the selector returns until the user presses Escape there.
// Page Down and Page Up go on to the neighbouring song files of the list
// without showing it; when it comes back its bar stands on the song that
// was playing. A song that cannot be opened shows why in the list.
void run_selector_loop() {
    std::string song_file_name;
    while (selector::select_file(song_file_name)) {
        if (selector::sel_state == selector::state_folder_chosen) {
            play_folder(song_file_name);
            if (console::quit_requested()) break;
            continue;
        }
        int entry = selector::highlighted_entry();
        for (;;) {
            player::player_engine().loop_enabled.store(true, std::memory_order_relaxed);
            console::refresh_screen();
            player::play_options options;
            // After the folder's last song, "next" goes on into the next
            // folder's songs.
            const std::string after =
                selector::neighbour_song(entry, +1) >= 0 ? std::string() : selector::song_after(song_file_name);
            options.has_next = selector::neighbour_song(entry, +1) >= 0 || !after.empty();
            options.has_previous = selector::neighbour_song(entry, -1) >= 0;
            const std::string chosen = song_file_name;
            const player::player_result result = player::run_player_screen(song_file_name, options);
            console::refresh_screen();
            if (result.refused) {
                selector::show_notice(result.opening.line);
                break;
            }
            if (result.audio_failed) report_audio_failure(chosen, result);
            const bool to_neighbour =
                result.leave == player::leave_request::next || result.leave == player::leave_request::previous;
            if (!to_neighbour || console::quit_requested()) break;
            const bool next = result.leave == player::leave_request::next;
            if (next && !after.empty()) {
                entry = selector::go_to_song(after);
                if (entry < 0) break;
                song_file_name = selector::place_bar(entry);
                continue;
            }
            entry = selector::neighbour_song(entry, next ? +1 : -1);
            song_file_name = selector::place_bar(entry);
        }
    }
    player::player_engine().loop_enabled.store(false, std::memory_order_relaxed);
}

// The order a play list is played in: as given, or shuffled.
std::vector<size_t> play_order(size_t count, bool shuffle) {
    std::vector<size_t> order(count);
    std::iota(order.begin(), order.end(), size_t{0});
    if (shuffle) std::shuffle(order.begin(), order.end(), std::mt19937(std::random_device{}()));
    return order;
}

// The player's list row: the place in the list and the song that follows.
std::string list_status(const std::vector<std::string>& names, const std::vector<size_t>& order, size_t position,
                        bool repeat) {
    std::string text = "(";
    text += std::to_string(position + 1);
    text += " of ";
    text += std::to_string(order.size());
    text += ")";
    const size_t next = position + 1 < order.size() ? position + 1 : repeat ? 0 : order.size();
    if (next < order.size()) text += "  next: " + selector::make_caption(names[order[next]]);
    return text;
}

// The songs a --play argument stands for: a folder gives every song under
// it in the selector's order, a play list its songs; anything else is a
// song. What a list cannot give is named on standard error.
std::vector<std::string> expand_play_names(const std::vector<std::string>& names, bool& all_found) {
    std::vector<std::string> songs;
    for (const std::string& name : names) {
        struct stat status {};
        if (::stat(name.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
            const std::vector<std::string> found = selector::songs_under(name);
            if (found.empty()) {
                say_on_standard_error("playtun: " + name + ": no songs in this folder");
                all_found = false;
            }
            songs.insert(songs.end(), found.begin(), found.end());
        } else if (selector::is_play_list_name(name)) {
            const selector::play_list_reading reading = selector::read_play_list(name);
            if (!reading.failure.empty()) say_on_standard_error("playtun: " + name + ": " + reading.failure);
            for (const std::string& problem : reading.problems) say_on_standard_error("playtun: " + problem);
            if (!reading.failure.empty() || !reading.problems.empty()) all_found = false;
            songs.insert(songs.end(), reading.songs.begin(), reading.songs.end());
        } else {
            songs.push_back(name);
        }
    }
    return songs;
}

// Play-list mode: the songs one after another, each `loops` passes of its
// loop section, until the last one ends or Escape. A song that cannot be opened is named with its reason on
// standard error and skipped in the direction the list was going. Returns
// whether every song could be played.
bool run_play_list(const command_line& line) {
    const size_t count = line.names.size();
    std::vector<size_t> order = play_order(count, line.shuffle);
    bool all_played = true;
    size_t position = 0;
    int direction = +1;
    size_t refused_in_a_row = 0;
    while (!console::quit_requested()) {
        std::string song_file_name = line.names[order[position]];
        const std::string named = song_file_name;
        player::play_options options;
        options.title_suffix = " (" + std::to_string(position + 1) + " of " + std::to_string(count) + ")";
        options.list_line = list_status(line.names, order, position, line.repeat);
        options.has_next = true;  // past the last song the list ends (or starts again)
        options.has_previous = position > 0 || line.repeat;
        options.passes = line.loops;
        const player::player_result result = player::run_player_screen(song_file_name, options);
        console::refresh_screen();
        if (result.refused) {
            say_on_standard_error(player::named_failure(named, result.opening.reason));
            all_played = false;
            // A list of songs none of which opens ends after one round.
            if (++refused_in_a_row >= count) break;
        } else {
            refused_in_a_row = 0;
            if (result.leave == player::leave_request::stop) break;  // Escape ends the list
            direction = result.leave == player::leave_request::previous ? -1 : +1;
        }
        if (result.audio_failed) {
            // The next song would meet the same device.
            report_audio_failure(named, result);
            return false;
        }
        // Nothing comes before the first song of a list that does not repeat.
        if (direction < 0 && position == 0 && !line.repeat) direction = +1;
        if (direction < 0) {
            position = position > 0 ? position - 1 : count - 1;
        } else if (++position == count) {
            if (!line.repeat) break;
            position = 0;
            if (line.shuffle) order = play_order(count, true);
        }
    }
    return all_played;
}
// A screen left because of SIGINT or SIGTERM ends as the shell reports a
// program stopped by that signal; the window's close button ends like
// Escape.
int interactive_end_status() {
    const int signal_number = stop_signals::received();
    return signal_number != 0 ? exit_status::after_signal(signal_number) : exit_status::ok;
}

// Whether the screens go to the terminal: when asked for, or where there
// is no display but a terminal on standard input and output.
bool terminal_chosen(const command_line& line) {
    switch (line.screen) {
        case command_line::presenter::terminal: return true;
        case command_line::presenter::window: return false;
        case command_line::presenter::automatic: break;
    }
    return !display_available() && ::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO);
}

// SDL's audio alone (it needs no display), then the terminal. Returns 0
// when the screens may start, else the exit status.
int start_terminal() {
    selector::selector_start();
    selector::page_rows = selector::page_rows_with_facts;
    stop_signals::install(true);
    // A dropped connection ends the screens in order as the other stop
    // signals do.
    stop_signals::also_on_hangup();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0) {
        std::printf("?SDL: %s  ERROR\n", SDL_GetError());
        SDL_Quit();
        selector::selector_stop();
        return exit_status::no_display;
    }
    std::string why;
    if (!console::terminal::start(why)) {
        std::fprintf(messages::stream(), "playtun: the terminal cannot show the screens: %s\n", why.c_str());
        SDL_Quit();
        selector::selector_stop();
        return exit_status::no_display;
    }
    return 0;
}

// SDL and the window. Returns 0 when the screens may start, else the exit
// status.
int start_window() {
    if (!display_available()) {
        std::FILE* out = messages::stream();
        std::fputs(
            "playtun: no display: the player screen and the file selector need an X11 display "
            "(DISPLAY is not set); record mode (playtun SONG.tun OUT.wav) works without one\n",
            out);
        return exit_status::no_display;
    }
    selector::selector_start();
    selector::page_rows = selector::page_rows_with_facts;
    // Our own handlers, before SDL starts: SDL then leaves SIGINT and
    // SIGTERM alone, and the screens end in order at their next pass.
    stop_signals::install(true);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO | SDL_INIT_VIDEO) < 0) {
        std::printf("?SDL: %s  ERROR\n", SDL_GetError());
        SDL_Quit();
        selector::selector_stop();
        return exit_status::no_display;
    }
    console::set_video_mode(false);
    if (console::video_surface == nullptr) {
        std::printf("Could not init video mode: %s\n", SDL_GetError());
        SDL_Quit();
        return exit_status::no_display;
    }
    SDL_EnableKeyRepeat(300, 30);
    return 0;
}

// The interactive modes: SDL, the window or the terminal, then the screens.
int run_interactive(const command_line& given) {
    command_line line = given;
    bool all_found = true;
    if (line.play_list) {
        line.names = expand_play_names(given.names, all_found);
        if (line.names.empty()) {
            say_on_standard_error("playtun: nothing to play");
            return exit_status::failure;
        }
    }
    const std::vector<std::string>& names = line.names;
    if (const int status = terminal_chosen(line) ? start_terminal() : start_window(); status != 0) return status;
    start_media_controls();

    if (line.play_list) {
        const bool all_played = run_play_list(line) && all_found;
        shut_down();
        const int status = interactive_end_status();
        return status == exit_status::ok && !all_played ? exit_status::failure : status;
    }
    if (names.size() != 1) {
        run_selector_loop();
        shut_down();
        return interactive_end_status();
    }

    player::player_engine().loop_enabled.store(false, std::memory_order_relaxed);
    std::string song_file_name = names[0];
    const player::player_result result = player::run_player_screen(song_file_name);
    shut_down();
    // A song given on the command line that cannot be played is a failure
    // the user must see, after the window has gone: the line the program
    // has always printed, and one on standard error that names the file.
    if (result.refused) {
        std::FILE* out = messages::stream();
        std::fprintf(out, "%s\n", result.opening.line.c_str());
        std::fflush(out);
        say_on_standard_error(player::named_failure(names[0], result.opening.reason));
        return result.opening.failure_code != 0 ? failure::exit_status_for(result.opening.failure_code)
                                                : exit_status::failure;
    }
    if (result.audio_failed) {
        report_audio_failure(names[0], result);
        return exit_status::failure;
    }
    return interactive_end_status();
}

}  // namespace

void initialise_modules() {
    failure::install_failure_reporter();
    console::console_init();
}

int run(int argument_count, char** arguments) {
    const command_line line = read_command_line(argument_count, arguments);
    switch (line.what) {
        case request::usage_line: write_usage_line(); return exit_status::ok;
        case request::help: std::fputs(help_text, stdout); return exit_status::ok;
        case request::version: std::puts("playtun " PLAYTUN_VERSION); return exit_status::ok;
        case request::bad_option: return bad_option(line.bad);
        case request::bad_value: return bad_value(line.bad);
        case request::run: break;
    }

    // Record mode needs no directory scan: only the selector shows one.
    if (!line.play_list && line.names.size() == 2) return record(line.names[0], line.names[1], playback_rate);
    return run_interactive(line);
}

}  // namespace driver
