// The player's key commands: leaving, restarting and seeking, pause, the
// next and previous song, the view of the lower screen, full screen, mutes
// (i o p for voices 1 to 3, F1 to F8 for voices 1 to 8), the key list, and
// live editing of the selected wave slot. The caller rebuilds the selected
// wavetable after every key.
#include <algorithm>

#include "console/console.hpp"
#include "player/player.hpp"
#include "song/song.hpp"
#include "synth/engine.hpp"
#include "synth/waves.hpp"

namespace player {

view_state view;

namespace {

constexpr SDLMod shift_keys = static_cast<SDLMod>(KMOD_LSHIFT | KMOD_RSHIFT);
constexpr SDLMod alt_keys = static_cast<SDLMod>(KMOD_LALT | KMOD_RALT);

void set_frame(uint32_t frame) {
    synth::seek_to_frame(player_engine(), frame);
    screen.position_moved = true;
}

// Page Down and Page Up leave the song only when there is a song to go to.
void leave_for(leave_request where, bool possible) {
    if (!possible) return;
    screen.leave = where;
    synth::end_song(player_engine());
}

}  // namespace

void go_to_frame(uint32_t frame) {
    const uint32_t total = static_cast<uint32_t>(std::max(player_engine().song.frame_total, 0));
    set_frame(total == 0 ? 0 : std::min(frame, total - 1));
}

void perform(command c) {
    switch (c) {
        case command::stop:
            screen.leave = leave_request::stop;
            synth::end_song(player_engine());
            break;
        case command::toggle_pause: toggle_pause(); break;
        case command::play:
            if (screen.paused) toggle_pause();
            break;
        case command::pause:
            if (!screen.paused) toggle_pause();
            break;
        case command::next: leave_for(leave_request::next, playing.has_next); break;
        case command::previous: leave_for(leave_request::previous, playing.has_previous); break;
        case command::restart: set_frame(0); break;
        case command::second_on: seek_forward(); break;
        case command::second_back: seek_back(); break;
    }
}

namespace {

void toggle(std::atomic<bool>& flag) { flag.store(!flag.load(std::memory_order_relaxed), std::memory_order_relaxed); }

void toggle_view() {
    view.column_view = !view.column_view;
    console::fill_rows(17, 33, 0x00);
    std::fill(console::frame_buffer.begin() + 136 * console::frame_width,
              console::frame_buffer.begin() + 392 * console::frame_width, 0);
}

// The key list: rows 25..48, white on blue, over whatever the lower half
// shows. Every line is at most 80 characters.
constexpr std::string_view key_list[] = {
    " Keys                                                   any key closes this list",
    " Escape          leave the song            Return        restart the song",
    " Pause, k        pause or go on            Alt+Return    window / full screen",
    " Page Down, Up   next, previous song       Tab           voice columns / scope",
    " Right, Left     one second on or back     Backspace     pulse folding on or off",
    " Up, Down        edit wave slot 0 or 1     Space         digits: the other half",
    " 1 .. 8          step a partial of the edited half up; with Shift, down",
    " x c v b n m     wave presets 0 to 5",
    " a s             first half's base: shifted sine, sine",
    " d f             second half's base: shifted sine, sine",
    " q w             clear the first, the second half",
    " e r             randomise the first, the second half",
    " t               swap the halves",
    " i o p           mute or unmute voice 1, 2, 3",
    " F1 .. F8        mute or unmute voice 1 .. 8 (a muted voice's number turns red",
    "                 and its column says MUTED)",
    " h               this list",
};

}  // namespace

// Seeks move by whole seconds and never leave the song.
void seek_forward() {
    const uint32_t frame = synth::playing_frame(player_engine());
    const uint64_t target = static_cast<uint64_t>(frame) + player_engine().song.frame_rate;
    set_frame(target < static_cast<uint64_t>(std::max(player_engine().song.frame_total, 0))
                  ? static_cast<uint32_t>(target)
                  : 0);
}

void seek_back() {
    const uint32_t frame = synth::playing_frame(player_engine());
    set_frame(frame > player_engine().song.frame_rate ? frame - player_engine().song.frame_rate : 0);
}

void toggle_mute(uint8_t voice) {
    if (voice < player_engine().voice_muted.size()) toggle(player_engine().voice_muted[voice]);
}

void draw_key_list() {
    constexpr uint8_t first_row = 25;
    console::fill_rows(first_row, 24, 0x1F);
    console::text_attr = 0x1F;
    uint8_t row = first_row + 1;
    for (const std::string_view line : key_list) console::write_text_at(0, row++, line.substr(0, 80));
}

void handle_player_key() {
    const SDLKey key = console::last_event.key.keysym.sym;
    const auto mods = static_cast<SDLMod>(console::last_event.key.keysym.mod);
    // The key list stays until the next key, which only closes it.
    if (screen.key_list_shown) {
        screen.key_list_shown = false;
        return;
    }
    switch (key) {
        case SDLK_ESCAPE: perform(command::stop); break;
        case SDLK_PAUSE:
        case SDLK_k: perform(command::toggle_pause); break;
        case SDLK_PAGEDOWN: perform(command::next); break;
        case SDLK_PAGEUP: perform(command::previous); break;
        case SDLK_h: screen.key_list_shown = true; break;
        case SDLK_RETURN:
            if (mods & alt_keys)
                console::set_video_mode(true);
            else
                perform(command::restart);
            break;
        case SDLK_RIGHT: perform(command::second_on); break;
        case SDLK_LEFT: perform(command::second_back); break;
        case SDLK_UP: player_engine().selected_slot = 0; break;
        case SDLK_DOWN: player_engine().selected_slot = 1; break;
        case SDLK_TAB: toggle_view(); break;
        case SDLK_BACKSPACE: toggle(player_engine().pulse_fold); break;
        case SDLK_SPACE: view.edit_half = view.edit_half == 0 ? 8 : 0; break;
        case SDLK_1:
        case SDLK_2:
        case SDLK_3:
        case SDLK_4:
        case SDLK_5:
        case SDLK_6:
        case SDLK_7:
        case SDLK_8:
            synth::step_partial(player_engine(), static_cast<uint8_t>(key - SDLK_1 + view.edit_half),
                                (mods & shift_keys) ? -1 : +1);
            break;
        // The bottom letter row holds the presets in order.
        case SDLK_x: synth::apply_preset(player_engine(), 0); break;
        case SDLK_c: synth::apply_preset(player_engine(), 1); break;
        case SDLK_v: synth::apply_preset(player_engine(), 2); break;
        case SDLK_b: synth::apply_preset(player_engine(), 3); break;
        case SDLK_n: synth::apply_preset(player_engine(), 4); break;
        case SDLK_m: synth::apply_preset(player_engine(), 5); break;
        // Base waveforms: a s for half 0, d f for half 1; shifted sine first.
        case SDLK_a: synth::set_wave_base(player_engine(), 0, synth::wave_base::shifted_sine); break;
        case SDLK_s: synth::set_wave_base(player_engine(), 0, synth::wave_base::sine); break;
        case SDLK_d: synth::set_wave_base(player_engine(), 1, synth::wave_base::shifted_sine); break;
        case SDLK_f: synth::set_wave_base(player_engine(), 1, synth::wave_base::sine); break;
        case SDLK_q: synth::clear_wave_half(player_engine(), 0); break;
        case SDLK_w: synth::clear_wave_half(player_engine(), 1); break;
        case SDLK_e: synth::randomise_wave_half(player_engine(), 0); break;
        case SDLK_r: synth::randomise_wave_half(player_engine(), 1); break;
        case SDLK_t: synth::swap_wave_halves(player_engine()); break;
        case SDLK_i: toggle_mute(0); break;
        case SDLK_o: toggle_mute(1); break;
        case SDLK_p: toggle_mute(2); break;
        case SDLK_F1:
        case SDLK_F2:
        case SDLK_F3:
        case SDLK_F4:
        case SDLK_F5:
        case SDLK_F6:
        case SDLK_F7:
        case SDLK_F8: toggle_mute(static_cast<uint8_t>(key - SDLK_F1)); break;
        default: break;
    }
}

}  // namespace player
