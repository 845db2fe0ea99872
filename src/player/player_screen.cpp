// The player screen: song start, the fixed rows, and the loop that redraws
// twenty times a second and takes one key per pass until the song ends.
#include <SDL.h>

#include <algorithm>
#include <memory>

#include "audio/sdl_device.hpp"
#include "base/fail.hpp"
#include "console/console.hpp"
#include "player/player.hpp"
#include "player/title_banner.hpp"
#include "song/song_file.hpp"
#include "synth/synth.hpp"

namespace player {

screen_state screen;

namespace {

std::unique_ptr<synth::engine>& engine_slot() {
    static std::unique_ptr<synth::engine> engine = std::make_unique<synth::engine>();
    return engine;
}

}  // namespace

synth::engine& player_engine() { return *engine_slot(); }

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
    std::string shown_time = " ";
    shown_time += time_text(player_engine().play_time.load(std::memory_order_relaxed) / 300000);
    console::write_text_at(74, 49, shown_time);
    console::refresh_screen();
    // The play time lives only in the presented frames, never in the cells.
    console::write_text_at(74, 49, "      ");
}

// The two lines shown when the audio device cannot be opened; a key press
// returns to the caller.
void report_audio_failure() {
    console::write_line(std::string("?Audio: ") + SDL_GetError() + "  ERROR");
    console::write_line("..press any key to continue..");
    console::refresh_screen();
    while (!console::poll_key() && !console::quit_requested()) SDL_Delay(10);
}

// The window names the song file, without the folders before it.
void show_song_title(std::string_view file_name) {
    const size_t slash = file_name.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? file_name : file_name.substr(slash + 1);
    console::set_window_title("playtun - " + std::string(name));
}

}  // namespace

// The song text enters at the right edge in dark grey, is white in the
// middle and dims again at the left edge; 80 blank steps follow it.
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
    entering = screen.marquee_pos < length ? cell(text[screen.marquee_pos - 1], 0x18) : cell(0, 0x10);
}

std::string shortened_name(std::string_view name) {
    if (name.size() <= shown_name_length) return std::string(name);
    return "..." + std::string(name.substr(name.size() - shown_name_length));
}

std::string playing_line(std::string_view shown_name) {
    const synth::engine& e = player_engine();
    return "Playing " + std::string(shown_name) + " at " + console::number_text(e.song.frame_rate) +
           "hz on Tonera" + console::number_text(e.song.channel_count) + " (" +
           console::number_text(e.sample_rate / 1000) + "khz)";
}

void reset_history() {
    screen.shown_frame = synth::playing_frame(player_engine());
    screen.history_frame = screen.shown_frame;
    console::text_attr = 0x00;
    console::fill_rows(17, 33, 0x00);
    scope_scale = 1;
}

void draw_fixed_screen(std::string_view shown_name) {
    console::text_attr = 0x07;
    console::clear_screen();
    console::text_attr = 0x0F;
    console::write_text(title_banner);
    console::text_attr = 0x07;
    console::write_line(playing_line(shown_name));
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
    synth::engine& e = player_engine();
    const uint8_t n = e.song.channel_count;
    console::go_to(0, 0);
    console::text_attr = e.pulse_fold.load(std::memory_order_relaxed) ? 0xF8 : 0xF0;
    console::write_text(hex_text(screen.history_step + 1, 2));

    console::text_attr = 0x1F;
    screen.shown_frame = synth::playing_frame(e);
    marquee_step();

    console::text_attr = view.edit_half == 0 ? 0x07 : 0x08;
    console::write_text_at(8, 16, definition_text(0));
    console::text_attr = view.edit_half == 8 ? 0x07 : 0x08;
    console::write_text_at(48, 16, definition_text(8));

    const uint16_t rate = e.song.frame_rate;
    const uint32_t total = static_cast<uint32_t>(std::max(e.song.frame_total, 0));
    console::text_attr = 0x07;
    console::write_text_at(69, 1, time_text(screen.shown_frame / rate) + "/" + time_text(total / rate));

    for (uint8_t v = 0; v < n; ++v) {
        draw_voice_row(v);
        if (view.column_view) draw_voice_column(v);
    }

    draw_play_time_and_present();

    if (view.column_view) {
        for (uint8_t x = 0; x < 80; ++x) {
            console::plot_half_block(x, 35, 7);
            console::plot_half_block(x, 98, 7);
        }
        console::clear_backgrounds(18, 31);
        history_scroll();
    } else {
        console::fill_rows(17, 33, 0x00);
        draw_oscilloscope();
    }

    if (console::poll_key()) {
        handle_player_key();
        synth::build_wavetable(e, e.selected_slot);
    }

    if (screen.shown_frame < screen.history_frame) reset_history();
}

player_result run_player_screen(std::string& song_file_name) {
    player_result result;
    synth::engine& e = player_engine();
    e.song_ended.store(false, std::memory_order_relaxed);
    song::load_song_file(e.song, song_file_name);
    result.outcome = song::read_header(e.song, e.sample_rate);
    if (result.outcome == song::header_outcome::out_of_memory) failure::fail(failure::heap_overflow);
    if (result.outcome != song::header_outcome::ok) {
        result.refused = true;
        return result;
    }
    screen = screen_state{};
    show_song_title(song_file_name);
    song_file_name = shortened_name(song_file_name);
    synth::seek_to_frame(e, 0);
    // The voices restart at phase 0. Done before the device exists, so the
    // audio thread's first callback sees it without any further hand-over.
    synth::reset_voice_phases(e);

    if (!audio::open_audio_device(e)) {
        report_audio_failure();
        result.audio_failed = true;
        return result;
    }
    draw_fixed_screen(song_file_name);
    audio::start_audio();

    // A request to quit (the window's close button, SIGINT, SIGTERM) leaves
    // the song as Escape does.
    while (!e.song_ended.load(std::memory_order_relaxed) && !console::quit_requested()) {
        SDL_Delay(50);
        player_iteration();
    }

    console::new_line();
    audio::close_audio_device();
    song::release_song(e.song);
    return result;
}

void reset_player_state() {
    engine_slot() = std::make_unique<synth::engine>();
    layout = layout_state{};
    scope_scale = 1;
    view = view_state{};
    screen = screen_state{};
}

}  // namespace player
