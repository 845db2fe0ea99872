// The player's pointer commands: a click pauses and resumes or, on a
// voice's row or heading, mutes it; the wheel and a swipe seek.
#include <algorithm>
#include <cstdlib>

#include "player/player.hpp"
#include "synth/engine.hpp"

namespace player {

namespace {

constexpr uint8_t first_voice_row = 7;
constexpr uint8_t heading_row = 17;

// Seeks `seconds` seconds, forward when positive, as that many presses
// of Right or Left.
void seek_seconds(int seconds) {
    for (int k = 0; k < std::abs(seconds); ++k) seconds > 0 ? seek_forward() : seek_back();
}

// Adds the lines to those waiting and seeks the whole wheel steps they make.
void scroll_seek(int16_t lines) {
    const int waiting = screen.scroll_lines + lines;
    const int steps = waiting / console::wheel_lines;  // towards zero: a part step waits
    screen.scroll_lines = static_cast<int16_t>(waiting - steps * console::wheel_lines);
    seek_seconds(steps);
}

void swipe_seek(int16_t columns) {
    const int seconds = std::max(1, std::abs(columns) / swipe_columns);
    if (columns != 0) seek_seconds(columns > 0 ? seconds : -seconds);
}

}  // namespace

int voice_under(uint8_t column, uint8_t row) {
    const int voices = std::min<int>(player_engine().song.channel_count, synth::max_voices);
    if (row >= first_voice_row && row < first_voice_row + voices) return row - first_voice_row;
    if (row == heading_row && view.column_view) {
        const int voice = column / std::max<int>(layout.column_width, 1);
        if (voice < voices) return voice;
    }
    return -1;
}

void handle_player_pointer(const console::pointer_event& pointer) {
    if (screen.key_list_shown) {
        screen.key_list_shown = false;
        return;
    }
    switch (pointer.kind) {
        case console::pointer_kind::click:
            if (const int voice = voice_under(pointer.column, pointer.row); voice >= 0)
                toggle_mute(static_cast<uint8_t>(voice));
            else
                toggle_pause();
            break;
        case console::pointer_kind::scroll: scroll_seek(pointer.amount); break;
        case console::pointer_kind::swipe: swipe_seek(pointer.amount); break;
        default: break;
    }
}

}  // namespace player
