// The player's key commands: leaving, restarting and seeking, the view of
// the lower screen, full screen, mutes (i o p for voices 1 to 3, F1 to F8
// for voices 1 to 8), and live editing of the selected wave slot. The
// caller rebuilds the selected wavetable after every key.
#include <algorithm>

#include "console/console.hpp"
#include "player/player.hpp"
#include "song/song.hpp"
#include "synth/controls.hpp"

namespace player {

view_state view;

namespace {

constexpr SDLMod shift_keys = static_cast<SDLMod>(KMOD_LSHIFT | KMOD_RSHIFT);
constexpr SDLMod alt_keys = static_cast<SDLMod>(KMOD_LALT | KMOD_RALT);

void set_frame(uint32_t frame) { synth::seek_to_frame(player_engine(), frame); }

// Seeks move by whole seconds and never leave the song: forward from the
// last second wraps to the start, backward from the first stops there.
void seek_forward() {
    const song::song_state& s = player_engine().song;
    const uint32_t frame = synth::playing_frame(player_engine());
    const uint64_t target = static_cast<uint64_t>(frame) + s.frame_rate;
    set_frame(target < static_cast<uint64_t>(std::max(s.frame_total, 0))
                  ? static_cast<uint32_t>(target)
                  : 0);
}

void seek_back() {
    const uint16_t rate = player_engine().song.frame_rate;
    const uint32_t frame = synth::playing_frame(player_engine());
    set_frame(frame > rate ? frame - rate : 0);
}

void toggle(std::atomic<bool>& flag) { flag.store(!flag.load(std::memory_order_relaxed), std::memory_order_relaxed); }

void toggle_view() {
    view.column_view = !view.column_view;
    console::fill_rows(17, 33, 0x00);
    std::fill(console::frame_buffer.begin() + 136 * console::frame_width,
              console::frame_buffer.begin() + 392 * console::frame_width, 0);
}

}  // namespace

void handle_player_key() {
    synth::engine& e = player_engine();
    const SDLKey key = console::last_event.key.keysym.sym;
    const SDLMod mods = console::last_event.key.keysym.mod;
    switch (key) {
        case SDLK_ESCAPE: synth::end_song(e); break;
        case SDLK_RETURN:
            if (mods & alt_keys) console::set_video_mode(true);
            else set_frame(0);
            break;
        case SDLK_RIGHT: seek_forward(); break;
        case SDLK_LEFT: seek_back(); break;
        case SDLK_UP: e.selected_slot = 0; break;
        case SDLK_DOWN: e.selected_slot = 1; break;
        case SDLK_TAB: toggle_view(); break;
        case SDLK_BACKSPACE: toggle(e.pulse_fold); break;
        case SDLK_SPACE: view.edit_half = view.edit_half == 0 ? 8 : 0; break;
        case SDLK_1: case SDLK_2: case SDLK_3: case SDLK_4:
        case SDLK_5: case SDLK_6: case SDLK_7: case SDLK_8:
            synth::step_partial(e, static_cast<uint8_t>(key - SDLK_1 + view.edit_half), (mods & shift_keys) ? -1 : +1);
            break;
        // The bottom letter row holds the presets in order.
        case SDLK_x: synth::apply_preset(e, 0); break;
        case SDLK_c: synth::apply_preset(e, 1); break;
        case SDLK_v: synth::apply_preset(e, 2); break;
        case SDLK_b: synth::apply_preset(e, 3); break;
        case SDLK_n: synth::apply_preset(e, 4); break;
        case SDLK_m: synth::apply_preset(e, 5); break;
        // Base waveforms: a s for half 0, d f for half 1; shifted sine first.
        case SDLK_a: synth::set_wave_base(e, 0, synth::wave_base::shifted_sine); break;
        case SDLK_s: synth::set_wave_base(e, 0, synth::wave_base::sine); break;
        case SDLK_d: synth::set_wave_base(e, 1, synth::wave_base::shifted_sine); break;
        case SDLK_f: synth::set_wave_base(e, 1, synth::wave_base::sine); break;
        case SDLK_q: synth::clear_wave_half(e, 0); break;
        case SDLK_w: synth::clear_wave_half(e, 1); break;
        case SDLK_e: synth::randomise_wave_half(e, 0); break;
        case SDLK_r: synth::randomise_wave_half(e, 1); break;
        case SDLK_t: synth::swap_wave_halves(e); break;
        case SDLK_i: toggle(e.voice_muted[0]); break;
        case SDLK_o: toggle(e.voice_muted[1]); break;
        case SDLK_p: toggle(e.voice_muted[2]); break;
        case SDLK_F1: case SDLK_F2: case SDLK_F3: case SDLK_F4:
        case SDLK_F5: case SDLK_F6: case SDLK_F7: case SDLK_F8:
            toggle(e.voice_muted[key - SDLK_F1]);
            break;
        default: break;
    }
}

}  // namespace player
