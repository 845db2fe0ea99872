#include "driver/run_modes.hpp"

#include <SDL.h>

#include <cstdio>
#include <atomic>
#include <cstdlib>
#include <string>

#include "base/exit_status.hpp"
#include "base/fail.hpp"
#include "base/messages.hpp"
#include "base/stop_signals.hpp"
#include "console/console.hpp"
#include "driver/command_line.hpp"
#include "driver/record_mode.hpp"
#include "player/player.hpp"
#include "player/title_banner.hpp"
#include "selector/selector.hpp"
#include "synth/synth.hpp"

#ifndef PLAYTUN_VERSION
#error "the build gives the version"
#endif

namespace driver {
namespace {

constexpr uint16_t playback_rate = 48000;

constexpr const char* help_text =
    "Usage: playtun [OPTION]... [SONG.tun [OUT.wav]]\n"
    "Plays chip music stored as register dumps (.tun song files).\n"
    "\n"
    "  playtun                   browse the working folder in the file selector;\n"
    "                            a chosen song repeats until Escape\n"
    "  playtun SONG.tun          play the song once on the player screen\n"
    "  playtun SONG.tun OUT.wav  record the song once into a 16-bit stereo\n"
    "                            48000 Hz WAV file (no display needed)\n"
    "  playtun SONG.tun -        the same as a WAV stream on standard output\n"
    "  playtun /?                the title banner and a one-line syntax\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and end\n"
    "  -V, --version  show the version and end\n"
    "  --             the arguments that follow are file names\n"
    "\n"
    "Record mode never writes over a song file, and a recording that fails\n"
    "leaves an existing OUT.wav as it was. The player screen and the file\n"
    "selector need an X11 display. Keys, messages and exit statuses: man playtun\n";

void write_usage_line() {
    // The banner fills a whole 80-column row, so no line end follows it.
    std::fwrite(player::title_banner.data(), 1, player::title_banner.size(), stdout);
    std::fputs("Syntax: PlayTUN <file.tun> <wavefile.wav>\n", stdout);
}

int bad_option(const std::string& option) {
    std::fprintf(stderr, "playtun: unknown option %s\nTry 'playtun --help'.\n", option.c_str());
    return exit_status::bad_command_line;
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
    SDL_Quit();
    selector::selector_stop();  // back in the starting directory
    console::text_attr = 7;
}

// Selector mode: each chosen song repeats from its loop frame until the user
// leaves it, and the selector returns until the user presses Escape there.
void run_selector_loop() {
    std::string song_file_name;
    bool keep_going = true;
    std::atomic<bool>& loop_enabled = player::player_engine().loop_enabled;
    loop_enabled.store(true, std::memory_order_relaxed);
    while (keep_going) {
        keep_going = selector::select_file(song_file_name);
        loop_enabled.store(keep_going, std::memory_order_relaxed);
        console::refresh_screen();
        // A song the player refuses just brings the list back.
        if (keep_going) player::run_player_screen(song_file_name);
        console::refresh_screen();
    }
}

// A screen left because of SIGINT or SIGTERM ends as the shell reports a
// program stopped by that signal; the window's close button ends like
// Escape.
int interactive_end_status() {
    const int signal_number = stop_signals::received();
    return signal_number != 0 ? exit_status::after_signal(signal_number) : exit_status::ok;
}

// The interactive modes: SDL, the window, then the player screen.
int run_interactive(const std::vector<std::string>& names) {
    if (!display_available()) {
        std::FILE* out = messages::stream();
        std::fputs("playtun: no display: the player screen and the file selector need an X11 display "
                   "(DISPLAY is not set); record mode (playtun SONG.tun OUT.wav) works without one\n",
                   out);
        return exit_status::no_display;
    }
    selector::selector_start();
    selector::page_rows = 47;
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
    // the user must see, after the window has gone.
    if (result.refused) {
        std::puts(song::song_error_message(result.outcome));
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
        case request::usage_line:
            write_usage_line();
            return exit_status::ok;
        case request::help:
            std::fputs(help_text, stdout);
            return exit_status::ok;
        case request::version:
            std::puts("playtun " PLAYTUN_VERSION);
            return exit_status::ok;
        case request::bad_option:
            return bad_option(line.bad);
        case request::run:
            break;
    }

    // Record mode needs no directory scan: only the selector shows one.
    if (line.names.size() == 2) return record(line.names[0], line.names[1], playback_rate);
    return run_interactive(line.names);
}

}  // namespace driver
