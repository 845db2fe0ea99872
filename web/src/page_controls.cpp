// What the page's buttons, seek bar and the browser's media controls need
// from the player screen: its state in one record, the song's credits, a
// seek to any second, and the neighbours of a song from the page's own
// play list. Everything else the buttons do goes through the keys
// (page_key), as a key press would.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "player/player.hpp"
#include "song/song.hpp"
#include "synth/engine.hpp"
#include "synth/synth.hpp"
#include "text/song_text_fields.h"

namespace {

synth::engine& engine() { return player::player_engine(); }

// Read by page.js as consecutive 32-bit integers.
struct controls_state {
    int32_t frame = 0;        // the song frame playing
    int32_t frame_total = 0;  // the song's frames
    int32_t frame_rate = 50;  // frames a second
    int32_t paused = 0;
    int32_t voices = 0;  // the song's voices, 1..8 once a song is open
    uint32_t mute_mask = 0;
    int32_t has_next = 0;      // Page Down has a song to go to
    int32_t has_previous = 0;  // likewise Page Up
    int32_t leave = 0;         // how the last song was left: 0 ended, 1 stop, 2 next, 3 previous
};
controls_state state;

// The credit asked for last.
std::string credit;

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE const controls_state* page_state() {
    const synth::engine& e = engine();
    state.frame = static_cast<int32_t>(synth::playing_frame(e));
    state.frame_total = std::max(e.song.frame_total, 0);
    state.frame_rate = std::max<int32_t>(e.song.frame_rate, 1);
    state.paused = player::screen.paused ? 1 : 0;
    state.voices = e.song.image ? e.song.channel_count : 0;
    state.mute_mask = 0;
    for (int v = 0; v < synth::max_voices; ++v)
        if (e.voice_muted[v].load(std::memory_order_relaxed)) state.mute_mask |= 1u << v;
    state.has_next = player::playing.has_next ? 1 : 0;
    state.has_previous = player::playing.has_previous ? 1 : 0;
    state.leave = static_cast<int32_t>(player::screen.leave);
    return &state;
}

// 0 title, 1 author, 2 release: "" when the song's text holds no credits.
// The text is printable ASCII when it holds them.
EMSCRIPTEN_KEEPALIVE const char* page_credit(int which) {
    if (which < 0 || which > 2) return "";
    credit.clear();
    const std::span<const uint8_t> text = song::song_text(engine().song);
    song_text_fields fields;
    if (!song_text_fields_find(text.data(), text.size(), &fields)) return "";
    const song_text_part parts[3] = {fields.title, fields.author, fields.release};
    const song_text_part& p = parts[which];
    credit.assign(reinterpret_cast<const char*>(text.data()) + p.start, p.length);
    return credit.c_str();
}

// Moves the song to `frame` (clamped to the song) as the seek keys do; the
// next pass tells the worklet.
EMSCRIPTEN_KEEPALIVE void page_seek(double frame) {
    const int32_t total = std::max(engine().song.frame_total, 0);
    if (total == 0) return;
    const double last = static_cast<double>(total - 1);
    synth::seek_to_frame(engine(), static_cast<uint32_t>(std::clamp(frame, 0.0, last)));
    player::screen.position_moved = true;
}

// The song playing belongs to the page's play list, which has a song after
// it (next) or before it (previous): Page Down and Page Up then leave it,
// and the page opens that song.
EMSCRIPTEN_KEEPALIVE void page_set_neighbours(int next, int previous) {
    player::playing.has_next = next != 0;
    player::playing.has_previous = previous != 0;
}

}  // extern "C"
