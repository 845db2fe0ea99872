// The web page's side of the player: the console's display and key queue
// for a canvas, and the selector and the player screen driven one pass at a
// time by the page's timer instead of a loop that sleeps. The drawing is
// the programs' own (console cells, player screen, selector); the sound is
// made elsewhere, by libtonera in an audio worklet, and what it plays comes
// back here as snapshots that the player screen's engine publishes as its
// audio thread would.
#include <emscripten/emscripten.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>

#include "audio/wav_header.hpp"
#include "console/console.hpp"
#include "player/player.hpp"
#include "selector/selector.hpp"
#include "synth/synth.hpp"
#include "tonera/tonera.h"

// ---- the console on a canvas ----

namespace console {

std::array<SDL_Color, 256> palette{};
SDL_Surface* video_surface = nullptr;
uint8_t fullscreen = 0;
video_mode_opener open_video_mode = nullptr;
SDL_Event last_event{};
pointer_event last_pointer{};
click_timer window_clicks;
bool window_closed = false;

namespace {

// A key press, or a pointer event on the canvas (then `event` is empty).
struct waiting_input {
    SDL_Event event;
    pointer_event pointer;
};
std::deque<waiting_input> waiting_keys;
bool presented_once = false;

}  // namespace

void console_init() { font = font_glyphs; }

void console_reset() { reset_cells(); }

// The page shows the canvas at the largest whole multiple that fits; the
// full-screen key asks the browser for the whole screen.
bool set_video_mode(bool toggle) {
    if (toggle) {
        fullscreen ^= 1;
        EM_ASM(
            {
                if (globalThis.playtunToggleFullscreen) globalThis.playtunToggleFullscreen($0);
            },
            fullscreen);
    }
    return true;
}

void refresh_screen() {
    rasterise_changed_cells();
    presented_once = true;
    EM_ASM({
        if (globalThis.playtunPresent) globalThis.playtunPresent();
    });
}

void refresh_changed_screen() {
    if (!presented_once || screen_cells != shadow_cells) refresh_screen();
}

void set_window_title(std::string_view title) {
    const std::string text(title);
    EM_ASM({ document.title = UTF8ToString($0); }, text.c_str());
}

bool poll_event() {
    if (waiting_keys.empty()) return false;
    last_event = waiting_keys.front().event;
    last_pointer = waiting_keys.front().pointer;
    waiting_keys.pop_front();
    return true;
}

bool poll_key() { return poll_event() && last_event.type == SDL_KEYDOWN; }

// The page never waits: a pass takes what came since the last one.
bool wait_key(uint32_t) { return poll_key(); }

bool wait_input(uint32_t) {
    return poll_event() && (last_event.type == SDL_KEYDOWN || last_pointer.kind != pointer_kind::none);
}

bool quit_requested() { return false; }

void queue_key(SDLKey key, SDLMod mods) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = key;
    event.key.keysym.mod = mods;
    waiting_keys.push_back({event, pointer_event{}});
}

void queue_pointer(const pointer_event& pointer) { waiting_keys.push_back({SDL_Event{}, pointer}); }

bool keys_waiting() { return !waiting_keys.empty(); }

// Clicks and taps not yet taken were aimed at the screen on show; a song
// opened from outside (a chosen file, a link) replaces that screen, so they
// are dropped rather than given to the player (where a click pauses).
void drop_waiting_pointer_events() {
    std::erase_if(waiting_keys, [](const waiting_input& w) { return w.pointer.kind != pointer_kind::none; });
}

}  // namespace console

// ---- the player's sound is the worklet's ----

namespace {

// What the page must tell the worklet after a pass.
struct worklet_requests {
    int32_t seek_frame = -1;  // a key moved the song position here
    int32_t paused = 0;
    uint32_t mute_mask = 0;
    int32_t pulse_fold = 1;
    int32_t leave = 0;  // 0 playing, 1 stop, 2 next, 3 previous, 4 ended
    uint8_t definitions[2][16]{};
    int32_t bases[2][2]{};
};
worklet_requests requests;

}  // namespace

namespace player {

void pause_sound(bool paused) { requests.paused = paused ? 1 : 0; }

}  // namespace player

namespace {

enum class page_mode : int32_t { selector = 0, player = 1 };
page_mode mode = page_mode::selector;
// The list entry playing in selector mode; -1 for a song from outside the list.
int playing_entry = -1;
std::string chosen_path;
std::string chosen_name;  // as the Playing line shows it

synth::engine& engine() { return player::player_engine(); }

// Maps the keys the page gets (DOM key codes, see page.js) onto SDL's.
SDLKey sdl_key(int code) {
    switch (code) {
        case 8: return SDLK_BACKSPACE;
        case 9: return SDLK_TAB;
        case 13: return SDLK_RETURN;
        case 19: return SDLK_PAUSE;
        case 27: return SDLK_ESCAPE;
        case 32: return SDLK_SPACE;
        case 33: return SDLK_PAGEUP;
        case 34: return SDLK_PAGEDOWN;
        case 35: return SDLK_END;
        case 36: return SDLK_HOME;
        case 37: return SDLK_LEFT;
        case 38: return SDLK_UP;
        case 39: return SDLK_RIGHT;
        case 40: return SDLK_DOWN;
        default: break;
    }
    if (code >= '0' && code <= '9') return static_cast<SDLKey>(SDLK_0 + (code - '0'));
    if (code >= 'A' && code <= 'Z') return static_cast<SDLKey>(SDLK_a + (code - 'A'));
    if (code >= 112 && code <= 119) return static_cast<SDLKey>(SDLK_F1 + (code - 112));
    return SDLK_UNKNOWN;
}

uint32_t mute_mask() {
    uint32_t mask = 0;
    for (int v = 0; v < synth::max_voices; ++v)
        if (engine().voice_muted[v].load(std::memory_order_relaxed)) mask |= 1u << v;
    return mask;
}

void gather_requests() {
    requests.mute_mask = mute_mask();
    requests.pulse_fold = engine().pulse_fold.load(std::memory_order_relaxed) ? 1 : 0;
    for (int slot = 0; slot < synth::wave_slot_count; ++slot) {
        const synth::wave_slot& s = engine().wave_slots[slot];
        std::memcpy(requests.definitions[slot], s.wave_definition.data(), 16);
        for (int half = 0; half < 2; ++half)
            requests.bases[slot][half] =
                s.base_table[half] == synth::tables().sine_table ? TONERA_BASE_SINE : TONERA_BASE_SHIFTED_SINE;
    }
}

// As the program's selector mode starts a song: the screen's state anew,
// the title, the fixed rows.
void start_player_screen(std::string name, bool has_next, bool has_previous) {
    player::play_options options;
    options.has_next = has_next;
    options.has_previous = has_previous;
    player::screen = player::screen_state{};
    player::playing = options;
    const size_t slash = name.rfind('/');
    console::set_window_title("playtun - " + (slash == std::string::npos ? name : name.substr(slash + 1)));
    name = player::shortened_name(name);
    synth::seek_to_frame(engine(), 0);
    engine().song_ended.store(false, std::memory_order_relaxed);
    requests = worklet_requests{};
    requests.seek_frame = -1;
    player::draw_fixed_screen(name);
    mode = page_mode::player;
}

void back_to_selector() {
    song::release_song(engine().song);
    mode = page_mode::selector;
    console::clear_screen();
    console::refresh_screen();
}

// Opens a song file for the player screen, shown by `name` as the program
// shows the name it was given; a song that cannot be opened leaves the
// loader's line on the selector, as in the program.
bool open_for_player(const std::string& path, const std::string& name, int entry) {
    engine().song_ended.store(false, std::memory_order_relaxed);
    const player::song_opening opening = player::open_song_file(engine(), path);
    if (!opening.ok) {
        selector::show_notice(opening.line);
        mode = page_mode::selector;
        return false;
    }
    playing_entry = entry;
    chosen_path = path;
    chosen_name = name;
    const bool in_list = entry >= 0;
    start_player_screen(name, in_list && selector::neighbour_song(entry, +1) >= 0,
                        in_list && selector::neighbour_song(entry, -1) >= 0);
    return true;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void page_init(const char* folder) {
    console::console_init();
    console::text_attr = 7;
    if (chdir(folder) != 0) return;
    // The bundled songs' folder is all the page lists: the rest of the
    // page's file system is not the listener's.
    selector::set_root_here();
    selector::selector_start();
    console::clear_screen();
}

static_assert(sizeof(tonera_snapshot) == 4192, "tonera_module.js copies snapshots of this size");

EMSCRIPTEN_KEEPALIVE const uint16_t* page_cells() { return console::screen_cells.data(); }

EMSCRIPTEN_KEEPALIVE const uint8_t* page_frame() { return console::frame_buffer.data(); }

// 256 entries of red, green and blue.
EMSCRIPTEN_KEEPALIVE const uint8_t* page_palette() {
    static std::array<uint8_t, 3 * 256> colours{};
    for (int i = 0; i < 256; ++i) {
        const console::rgb c = console::palette_colour(i);
        colours[3 * i] = c.r;
        colours[3 * i + 1] = c.g;
        colours[3 * i + 2] = c.b;
    }
    return colours.data();
}

// A pointer event on the canvas (pointer.js), at a cell of the screen:
// kind 0 a click or tap, 1 a double click or tap that the page recognised
// itself, 2 a vertical scroll of `amount` lines (positive: towards the
// end), 3 a horizontal swipe of `amount` columns (positive: rightwards).
// Clicks become double clicks by the same rule as in the window.
EMSCRIPTEN_KEEPALIVE void page_pointer(int kind, int column, int row, int amount) {
    console::pointer_event pointer;
    pointer.column = static_cast<uint8_t>(std::clamp(column, 0, console::screen_columns - 1));
    pointer.row = static_cast<uint8_t>(std::clamp(row, 0, console::screen_rows - 1));
    pointer.amount = static_cast<int16_t>(std::clamp(amount, -32767, 32767));
    switch (kind) {
        case 0: {
            const auto now = static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now()));
            pointer.kind = console::classify_click(console::window_clicks, pointer.column, pointer.row, now);
            break;
        }
        case 1: pointer.kind = console::pointer_kind::double_click; break;
        case 2: pointer.kind = console::pointer_kind::scroll; break;
        case 3: pointer.kind = console::pointer_kind::swipe; break;
        default: return;
    }
    if (pointer.amount == 0 && kind >= 2) return;
    console::queue_pointer(pointer);
}

EMSCRIPTEN_KEEPALIVE void page_key(int code, int shift, int alt) {
    const SDLKey key = sdl_key(code);
    if (key == SDLK_UNKNOWN) return;
    int mods = KMOD_NONE;
    if (shift) mods |= KMOD_LSHIFT;
    if (alt) mods |= KMOD_LALT;
    console::queue_key(key, static_cast<SDLMod>(mods));
}

// The worklet's latest snapshot, published as the audio thread publishes
// it natively; `played_frames` counts the frames sounded so far. The
// oscilloscope's trace is the worklet's latest `trace_frames` left samples,
// oldest first, as the program's audio device block of 2048 frames (the
// snapshot's own 1024 would draw half the time across the screen).
EMSCRIPTEN_KEEPALIVE void page_snapshot(const tonera_snapshot* s, double played_frames, const int16_t* trace,
                                        uint32_t trace_frames) {
    synth::engine& e = engine();
    e.song.frame_index.store(s->song_frame, std::memory_order_relaxed);
    for (int v = 0; v < synth::max_voices; ++v) {
        const tonera_channel& r = s->records[v];
        e.shown_records[v].pitch.store(r.pitch, std::memory_order_relaxed);
        e.shown_records[v].pulse.store(r.pulse, std::memory_order_relaxed);
        e.shown_records[v].control.store(r.control, std::memory_order_relaxed);
        e.shown_records[v].volume.store(r.volume, std::memory_order_relaxed);
        e.shown_records[v].filter.store(r.filter, std::memory_order_relaxed);
        e.shown_voices[v].volume.store(s->voice_volume[v], std::memory_order_relaxed);
        e.shown_voices[v].pulse.store(s->voice_pulse[v], std::memory_order_relaxed);
        e.shown_voices[v].filter.store(s->voice_filter[v], std::memory_order_relaxed);
    }
    const uint32_t frames = std::clamp<uint32_t>(trace_frames, 1, synth::scope_length);
    e.block_frames.store(frames, std::memory_order_relaxed);
    for (uint32_t i = 0; i < frames; ++i) e.scope_history[i].store(trace[i], std::memory_order_relaxed);
    // Song time in 1/300000 s: 300000 / 48000 = 25 / 4 per frame.
    const double time = played_frames * 25.0 / 4.0;
    e.play_time.store(static_cast<uint32_t>(std::min<double>(time, synth::play_time_limit)), std::memory_order_relaxed);
}

// The song came to its end in the worklet.
EMSCRIPTEN_KEEPALIVE void page_song_ended() { synth::end_song(engine()); }

// Opens a song file (in the page's file system) from outside the list: a
// file dropped or chosen, shown by its own name, or a song from a URL.
EMSCRIPTEN_KEEPALIVE int page_open(const char* path, const char* name) {
    console::drop_waiting_pointer_events();
    return open_for_player(path, name, -1) ? 1 : 0;
}

// A line on the selector for a song the page refused before the loader saw
// it (a link to another site, a body over the size limit, a stalled
// download): the player screen, if on show, gives way to the selector.
EMSCRIPTEN_KEEPALIVE void page_notice(const char* line) {
    if (mode == page_mode::player) back_to_selector();
    selector::show_notice(line);
}

// The path of the song the player screen plays.
EMSCRIPTEN_KEEPALIVE const char* page_song_path() { return chosen_path.c_str(); }

// The name the Playing line shows for it.
EMSCRIPTEN_KEEPALIVE const char* page_song_name() { return chosen_name.c_str(); }

EMSCRIPTEN_KEEPALIVE int page_mode_now() { return static_cast<int>(mode); }

EMSCRIPTEN_KEEPALIVE const worklet_requests* page_requests() { return &requests; }

// One pass of the screen on show, then what the worklet must hear.
// Returns 1 when a new song starts (page_song_path names it), else 0.
EMSCRIPTEN_KEEPALIVE int page_pass() {
    if (mode == page_mode::selector) {
        do {
            selector::selector_pass();
        } while (console::keys_waiting() && selector::sel_state == selector::state_browsing);
        if (selector::sel_state == selector::state_dir_opened) selector::selector_pass();
        if (selector::sel_state != selector::state_chosen) return 0;
        selector::sel_state = selector::state_browsing;
        const int entry = selector::highlighted_entry();
        const std::string& name = (*selector::dir_list)[entry].name;
        const bool opened = open_for_player(name, name, entry);
        if (!opened) selector::selector_pass();
        return opened ? 1 : 0;
    }
    requests.seek_frame = -1;
    player::player_iteration();
    // A seek is told once: later passes must not pull the worklet back to
    // the position of an older snapshot.
    if (player::screen.position_moved) requests.seek_frame = static_cast<int32_t>(synth::playing_frame(engine()));
    player::screen.position_moved = false;
    gather_requests();
    if (!engine().song_ended.load(std::memory_order_relaxed)) return 0;
    const player::leave_request leave = player::screen.leave;
    const bool to_neighbour =
        playing_entry >= 0 && (leave == player::leave_request::next || leave == player::leave_request::previous);
    if (!to_neighbour) {
        if (playing_entry >= 0) selector::place_bar(playing_entry);
        back_to_selector();
        return 0;
    }
    const int entry = selector::neighbour_song(playing_entry, leave == player::leave_request::next ? +1 : -1);
    const std::string name = selector::place_bar(entry);
    song::release_song(engine().song);
    if (!open_for_player(name, name, entry)) {
        back_to_selector();
        return 0;
    }
    return 1;
}

// The header of record mode's WAV for a rendering of `frames` frames.
EMSCRIPTEN_KEEPALIVE int page_wav_header(double frames, uint8_t* out) {
    const std::vector<uint8_t> header = audio::wav_header(TONERA_SAMPLE_RATE, static_cast<uint64_t>(frames));
    std::memcpy(out, header.data(), header.size());
    return static_cast<int>(header.size());
}

}  // extern "C"
