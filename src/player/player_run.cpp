// Playing a song on the player screen with SDL's audio device: opening it,
// the loop that runs a pass every 50 ms, the loop passes of a play list and
// the report of a device that cannot be opened.
#include <SDL.h>

#include "audio/sdl_device.hpp"
#include "console/console.hpp"
#include "player/player.hpp"
#include "synth/synth.hpp"

namespace player {

namespace {

// The two lines shown when the audio device cannot be opened; a key press
// returns to the caller.
void report_audio_failure(const std::string& reason) {
    console::write_line("?Audio: " + reason + "  ERROR");
    console::write_line("..press any key to continue..");
    console::refresh_screen();
    while (!console::poll_key() && !console::quit_requested()) SDL_Delay(10);
}

// The window names the song file, without the folders before it.
void show_song_title(std::string_view file_name) {
    const size_t slash = file_name.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? file_name : file_name.substr(slash + 1);
    console::set_window_title("playtun - " + std::string(name) + playing.title_suffix);
}

// Counts the passes of the loop section: the song position jumping back
// without a key having moved it is the start of a new pass. The last pass
// plays with the loop switched off, so the song ends where it would end
// without one.
struct pass_counter {
    uint32_t passes_left = 0;
    uint32_t previous_frame = 0;
    bool key_moved_position = false;

    void after_iteration() {
        if (passes_left > 1 && screen.shown_frame < previous_frame && !key_moved_position) {
            if (--passes_left == 1) player_engine().loop_enabled.store(false, std::memory_order_relaxed);
        }
        key_moved_position = screen.position_moved;
        screen.position_moved = false;
        previous_frame = screen.shown_frame;
    }
};

void set_passes(pass_counter& counter, uint32_t passes) {
    if (passes == 0) return;
    // A loop frame at or past the end leaves no loop section to repeat.
    const bool has_loop_section =
        static_cast<int64_t>(player_engine().song.loop_frame) < static_cast<int64_t>(player_engine().song.frame_total);
    counter.passes_left = has_loop_section ? passes : 1;
    player_engine().loop_enabled.store(counter.passes_left > 1, std::memory_order_relaxed);
}

}  // namespace

// A paused device asks the renderer for nothing, so the song resumes at
// the very sample where it stopped.
void pause_sound(bool paused) { audio::pause_audio(paused); }

player_result run_player_screen(std::string& song_file_name, const play_options& options) {
    player_result result;
    player_engine().song_ended.store(false, std::memory_order_relaxed);
    result.opening = open_song_file(player_engine(), song_file_name);
    if (!result.opening.ok) {
        result.refused = true;
        return result;
    }
    screen = screen_state{};
    playing = options;
    pass_counter passes;
    set_passes(passes, options.passes);
    show_song_title(song_file_name);
    const std::string named = song_file_name;
    song_file_name = shortened_name(song_file_name);
    synth::seek_to_frame(player_engine(), 0);
    // The voices restart at phase 0, and every song starts from the voices'
    // start state with a tick before its first sample, so that it sounds
    // exactly as its recording does whatever played before it. Done before
    // the device exists, so the audio thread's first callback sees it
    // without any further hand-over.
    player_engine().voices = {};
    player_engine().frame_countdown = 0;
    synth::reset_voice_phases(player_engine());

    if (!audio::open_audio_device(player_engine())) {
        result.audio_failed = true;
        result.audio_error = SDL_GetError();
        report_audio_failure(result.audio_error);
        song::release_song(player_engine().song);
        return result;
    }
    draw_fixed_screen(song_file_name);
    now_playing.active = true;
    ++now_playing.number;
    now_playing.file_name = named;
    audio::start_audio();

    // A request to quit (the window's close button, SIGINT, SIGTERM) leaves
    // the song as Escape does.
    while (!player_engine().song_ended.load(std::memory_order_relaxed) && !console::quit_requested()) {
        SDL_Delay(50);
        player_iteration();
        if (each_pass != nullptr) each_pass();
        passes.after_iteration();
    }
    now_playing.active = false;

    console::new_line();
    audio::close_audio_device();
    song::release_song(player_engine().song);
    result.leave = screen.leave;
    return result;
}

}  // namespace player
