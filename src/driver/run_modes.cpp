#include "driver/run_modes.hpp"

#include <SDL.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "audio/wav_record.hpp"
#include "console/console.hpp"
#include "base/exit_status.hpp"
#include "base/fail.hpp"
#include "base/stop_signals.hpp"
#include "player/player.hpp"
#include "player/title_banner.hpp"
#include "selector/selector.hpp"
#include "synth/synth.hpp"

namespace driver {
namespace {

constexpr uint16_t playback_rate = 48000;

void write_usage() {
    // The banner fills a whole 80-column row, so no line end follows it.
    std::fwrite(player::title_banner.data(), 1, player::title_banner.size(), stdout);
    std::fputs("Syntax: PlayTUN <file.tun> <wavefile.wav>\n", stdout);
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
    synth::loop_enabled.store(true, std::memory_order_relaxed);
    while (keep_going) {
        keep_going = selector::select_file(song_file_name);
        synth::loop_enabled.store(keep_going, std::memory_order_relaxed);
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
int run_interactive(int argument_count, char** arguments) {
    selector::page_rows = 47;
    // Our own handlers, before SDL starts: SDL then leaves SIGINT and
    // SIGTERM alone, and the screens end in order at their next pass.
    stop_signals::install(true);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO | SDL_INIT_VIDEO) < 0) {
        std::printf("?SDL: %s  ERROR\n", SDL_GetError());
        SDL_Quit();
        selector::selector_stop();
        return 254;
    }
    console::set_video_mode(false);
    if (console::video_surface == nullptr) {
        std::printf("Could not init video mode: %s\n", SDL_GetError());
        SDL_Quit();
        return 254;
    }
    SDL_EnableKeyRepeat(300, 30);

    if (argument_count != 1) {
        run_selector_loop();
        shut_down();
        return interactive_end_status();
    }

    synth::loop_enabled.store(false, std::memory_order_relaxed);
    std::string song_file_name = arguments[0];
    const player::player_result result = player::run_player_screen(song_file_name);
    shut_down();
    // A song given on the command line that cannot be played is a failure
    // the user must see, after the window has gone.
    if (result.refused) {
        std::puts(audio::song_error_message(result.outcome));
        return 1;
    }
    return interactive_end_status();
}

}  // namespace

void initialise_modules() {
    failure::install_failure_reporter();
    synth::initialise_synth_tables();
    console::console_init();
}

int run(int argument_count, char** arguments) {
    if (argument_count == 1 && std::string_view(arguments[0]) == "/?") {
        write_usage();
        return 0;
    }

    synth::set_sample_rate(playback_rate);
    // The first directory scan runs in every mode, record mode included.
    selector::selector_start();
    synth::startup_wave_setup();

    if (argument_count == 2) audio::record(arguments[0], arguments[1]);

    return run_interactive(argument_count, arguments);
}

}  // namespace driver
