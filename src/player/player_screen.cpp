// The player screen: the fixed rows, the marquee, and one pass of the loop
// that redraws twenty times a second and takes every waiting key press and
// pointer event.
// What starts a song and sounds it lies in player_run.cpp (SDL's audio
// device) or in the web page (an audio worklet).

#include <algorithm>
#include <memory>

#include "console/console.hpp"
#include "player/player.hpp"
#include "player/title_banner.hpp"
#include "synth/synth.hpp"

namespace player {

namespace {

std::unique_ptr<synth::engine>& engine_slot() {
    static std::unique_ptr<synth::engine> engine = std::make_unique<synth::engine>();
    return engine;
}

}  // namespace

synth::engine& player_engine() { return *engine_slot(); }

screen_state screen;
play_options playing;
song_in_play now_playing;
void (*each_pass)() = nullptr;

namespace {

constexpr size_t shown_name_length = 28;

uint16_t cell(uint8_t character, uint8_t attribute) { return static_cast<uint16_t>(attribute << 8 | character); }

void fill_border_row(int row, uint8_t character, uint8_t attribute) {
    for (int c = 0; c < console::screen_columns; ++c)
        console::screen_cells[row * console::screen_columns + c] = cell(character, attribute);
}

void set_cell_attribute(int row, int column, uint8_t attribute) {
    uint16_t& c = console::screen_cells[row * console::screen_columns + column];
    c = static_cast<uint16_t>(attribute << 8 | (c & 0xFF));
}

// Labels climb one row per scroll and form a note history per voice; a
// backward jump never scrolls.
void history_scroll() {
    const int32_t advance = static_cast<int32_t>(screen.shown_frame - screen.history_frame);
    if (advance > screen.history_step) {
        screen.history_frame = screen.shown_frame;
        console::scroll_rows_up(19, 30);
    }
}

void draw_play_time_and_present() {
    console::text_attr = 0x07;
    // The time played in this run, over every song: labelled, as the song
    // position on row 1 is another clock.
    std::string shown_time = " played ";
    shown_time += time_text(player_engine().play_time.load(std::memory_order_relaxed) / 300000);
    console::write_text_at(67, 49, shown_time);
    console::refresh_screen();
    // The play time lives only in the presented frames, never in the cells.
    console::write_text_at(67, 49, std::string(shown_time.size(), ' '));
}

}  // namespace

// Blanks rows 17..49 and the pixels plotted over them.
void clear_lower_screen() {
    console::fill_rows(17, 33, 0x00);
    std::fill(console::frame_buffer.begin() + 136 * console::frame_width,
              console::frame_buffer.begin() + 392 * console::frame_width, 0);
}

namespace {

// Takes every key press and pointer event waiting in the queue; other
// events (key releases above all) cost nothing. Keys after one that leaves
// the song stay queued for the screen that comes next.
void take_waiting_keys() {
    while (!player_engine().song_ended.load(std::memory_order_relaxed) && console::poll_event()) {
        const bool pointer = console::last_pointer.kind != console::pointer_kind::none;
        if (console::last_event.type != SDL_KEYDOWN && !pointer) continue;
        const bool list_was_shown = screen.key_list_shown;
        if (pointer)
            handle_player_pointer(console::last_pointer);
        else
            handle_player_key();
        if (list_was_shown) clear_lower_screen();
        synth::build_wavetable(player_engine(), player_engine().selected_slot);
    }
}

}  // namespace

// The song text enters at the right edge in dark grey, character by
// character up to its last one, is white in the middle and dims again at
// the left edge; 79 blank steps carry its last character across the row.
void marquee_step() {
    if (++screen.marquee_tick != 3) return;
    screen.marquee_tick = 0;
    const auto text = song::song_text(player_engine().song);
    const size_t length = text.size();  // marquee_pos is 1-based: character 1 is text[0]
    if (++screen.marquee_pos >= length + 80) screen.marquee_pos = 1;
    const uint8_t saved = console::text_attr;
    console::text_attr = 0x1F;
    console::shift_row_left(4);
    console::text_attr = saved;
    for (int c : {0, 1, 78}) set_cell_attribute(4, c, 0x18);
    for (int c : {2, 3, 4, 5, 74, 75, 76, 77}) set_cell_attribute(4, c, 0x17);
    uint16_t& entering = console::screen_cells[4 * console::screen_columns + 79];
    entering = screen.marquee_pos <= length ? cell(text[screen.marquee_pos - 1], 0x18) : cell(0, 0x10);
}

// A long path loses the middle of its folders, so that both where it
// starts and the whole file name stay readable: "music/auth.../song.tun".
// A file name too long for that keeps its last characters after "...".
std::string shortened_name(std::string_view name) {
    if (name.size() <= shown_name_length) return std::string(name);
    const size_t slash = name.rfind('/');
    const size_t room = shown_name_length + 3;  // all that "..." and 28 characters take
    if (slash != std::string_view::npos && slash > 0) {
        const std::string_view file = name.substr(slash);  // with its slash
        if (file.size() + 3 < room) return std::string(name.substr(0, room - 3 - file.size())) + "..." + std::string(file);
    }
    return "..." + std::string(name.substr(name.size() - shown_name_length));
}

std::string playing_line(std::string_view shown_name, bool paused) {
    return (paused ? "Paused  " : "Playing ") + std::string(shown_name) + " at " +
           console::number_text(player_engine().song.frame_rate) + "hz on Tonera" +
           console::number_text(player_engine().song.channel_count) + " (" +
           console::number_text(player_engine().sample_rate / 1000) + "khz)";
}

void reset_history() {
    screen.shown_frame = synth::playing_frame(player_engine());
    screen.history_frame = screen.shown_frame;
    console::text_attr = 0x00;
    console::fill_rows(17, 33, 0x00);
    scope_scale = 1;
}

void toggle_pause() {
    screen.paused = !screen.paused;
    pause_sound(screen.paused);
    console::text_attr = 0x07;
    console::write_text_at(0, 1, playing_line(screen.shown_name, screen.paused));
}

void draw_fixed_screen(std::string_view shown_name) {
    screen.shown_name = shown_name;
    console::text_attr = 0x07;
    console::clear_screen();
    console::text_attr = 0x0F;
    console::write_text(title_banner);
    console::text_attr = 0x07;
    console::write_line(playing_line(shown_name));
    // A song of a list: its place in it and the song that comes next.
    if (!playing.list_line.empty()) console::write_text_at(0, 2, playing.list_line.substr(0, console::screen_columns));
    set_player_layout();
    const int n = player_engine().song.channel_count;
    fill_border_row(3, 0xDC, 0x09);
    fill_border_row(5, 0xDF, 0x09);
    fill_border_row(6, 0xDC, 0x0F);
    fill_border_row(7 + n, 0xDF, 0x0F);
    console::fill_rows(17, 33, 0x00);
    scope_scale = 1;
}

void player_iteration() {
    const uint8_t n = player_engine().song.channel_count;
    console::go_to(0, 0);
    console::text_attr = player_engine().pulse_fold.load(std::memory_order_relaxed) ? 0xF8 : 0xF0;
    console::write_text(hex_text(screen.history_step + 1, 2));

    console::text_attr = 0x1F;
    screen.shown_frame = synth::playing_frame(player_engine());
    marquee_step();

    console::text_attr = view.edit_half == 0 ? 0x07 : 0x08;
    console::write_text_at(8, 16, definition_text(0));
    console::text_attr = view.edit_half == 8 ? 0x07 : 0x08;
    console::write_text_at(48, 16, definition_text(8));

    const uint16_t rate = player_engine().song.frame_rate;
    const uint32_t total = static_cast<uint32_t>(std::max(player_engine().song.frame_total, 0));
    console::text_attr = 0x07;
    console::write_text_at(69, 1, time_text(screen.shown_frame / rate) + "/" + time_text(total / rate));

    for (uint8_t v = 0; v < n; ++v) {
        draw_voice_row(v);
        if (view.column_view) draw_voice_column(v);
    }

    if (screen.key_list_shown) draw_key_list();

    draw_play_time_and_present();

    if (view.column_view) {
        for (uint8_t x = 0; x < 80; ++x) {
            console::plot_half_block(x, 35, 7);
            console::plot_half_block(x, 98, 7);
        }
        console::clear_backgrounds(18, 31);
        // The key list must not climb into the note history.
        if (!screen.key_list_shown) history_scroll();
    } else {
        console::fill_rows(17, 33, 0x00);
        draw_oscilloscope();
    }

    take_waiting_keys();

    if (screen.shown_frame < screen.history_frame) reset_history();
}

void reset_player_state() {
    engine_slot() = std::make_unique<synth::engine>();
    layout = layout_state{};
    scope_scale = 1;
    view = view_state{};
    screen = screen_state{};
    playing = play_options{};
    now_playing = song_in_play{};
}

}  // namespace player
