// The player's displays: one row of raw channel values per voice, the voice
// columns with note labels and level meters, the oscilloscope, and the text
// formatters for hex values and times.
#include <algorithm>
#include <array>
#include <cstdlib>

#include "console/cells.hpp"
#include "player/player.hpp"
#include "song/song.hpp"
#include "synth/engine.hpp"
#include "synth/published.hpp"
#include "synth/waves.hpp"

namespace player {

layout_state layout;
uint16_t scope_scale = 1;

namespace {

constexpr std::string_view hex_digits = "0123456789ABCDEF";

// Sixteen steps of the octave mapped onto twelve note names.
constexpr std::array<std::string_view, 16> wide_note_names = {"C-", "C#", "D-", "D#", "E-", "F-", "F-", "F#",
                                                              "G-", "G#", "G#", "A-", "A-", "A#", "B-", "B-"};
// The same in one character; upper case marks a sharp.
constexpr std::array<std::string_view, 16> narrow_note_names = {"c", "C", "d", "D", "e", "f", "f", "F",
                                                                "g", "G", "G", "a", "a", "A", "b", "b"};
constexpr std::array<std::string_view, 4> left_pan_glyphs = {"[", "(", "<", " "};
constexpr std::array<std::string_view, 4> right_pan_glyphs = {"]", ")", ">", " "};
constexpr std::array<uint8_t, 8> scope_colours = {10, 10, 10, 10, 10, 14, 14, 12};

// The scope area lies under text rows 17..48.
constexpr int scope_top = 136;
constexpr int scope_bottom = 391;
constexpr int scope_centre = 264;

struct shown_channel {
    uint16_t pitch;
    uint8_t pulse, control, volume, filter;
};

shown_channel shown_record_of(uint8_t voice) {
    const auto& r = player_engine().shown_records[voice];
    return {r.pitch.load(std::memory_order_relaxed), r.pulse.load(std::memory_order_relaxed),
            r.control.load(std::memory_order_relaxed), r.volume.load(std::memory_order_relaxed),
            r.filter.load(std::memory_order_relaxed)};
}

std::string note_text(const shown_channel& r, const std::array<std::string_view, 16>& names) {
    std::string text(names[(r.pitch >> 4) & 15]);
    text += static_cast<char>('0' + song::pitch_octave(r.pitch));
    return text;
}

// Volume, pulse and inverted filter as three overlaid bars of bright blue,
// green and red on light grey.
uint8_t level_bar_attribute(const shown_channel& r, int cell) {
    uint8_t sum = 0;
    if ((r.volume >> 2) > cell) sum += 0x11;
    if ((r.pulse >> 2) > cell) sum += 0x22;
    if (((255 - r.filter) >> 2) > cell) sum += 0x44;
    return sum == 0 ? 0x70 : static_cast<uint8_t>((sum & 0x07) | 0x78);
}

// A meter replaces only the background colour of the cells it covers.
void draw_meter(int column, uint8_t value, uint8_t background) {
    const int height = value >> 3;
    for (int row = 49 - height; row <= 48; ++row)
        for (int c = column; c < column + 2; ++c) {
            if (c < 0 || c >= console::screen_columns) continue;
            uint16_t& cell = console::screen_cells[row * console::screen_columns + c];
            cell = static_cast<uint16_t>((cell & 0x0FFF) | background << 12);
        }
}

// A muted voice's number (voice rows) and heading (voice columns) are white
// on red, so a mute shows in both views.
constexpr uint8_t muted_attr = 0x4F;

bool is_muted(uint8_t voice) { return player_engine().voice_muted[voice].load(std::memory_order_relaxed); }

void put_pixel(int x, int y, uint8_t colour) {
    console::frame_buffer[y * console::frame_width + x] = console::colour_map[colour];
}

}  // namespace

std::string hex_text(uint32_t value, uint8_t digits) {
    std::string text(digits, '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) text[i] = hex_digits[value & 15];
    return text;
}

std::string time_text(uint32_t seconds) {
    const uint32_t minutes = std::min<uint32_t>(seconds / 60, 159);
    const uint32_t secs = seconds / 60 > 159 ? 59 : seconds % 60;
    return {hex_digits[minutes / 10], hex_digits[minutes % 10], ':', hex_digits[secs / 10], hex_digits[secs % 10]};
}

std::string definition_text(uint8_t offset) {
    std::string text;
    const auto& definition = player_engine().wave_slots[player_engine().selected_slot].wave_definition;
    for (int i = 0; i < 8; ++i) text += hex_text(definition[offset + i], 2) + " ";
    return text;
}

void set_player_layout() {
    const uint8_t n = std::max<uint8_t>(player_engine().song.channel_count, 1);
    layout.column_width = static_cast<uint8_t>(80 / n);
    layout.wide_layout = n <= 4;
}

void draw_voice_row(uint8_t voice) {
    const shown_channel r = shown_record_of(voice);
    console::text_attr = is_muted(voice) ? muted_attr : 0x70;
    console::go_to(0, static_cast<uint8_t>(7 + voice));
    console::write_text(console::number_text(voice + 1));
    console::text_attr = (r.pitch & song::pitch_noise) ? 0x7F : 0x70;
    console::write_text(r.volume > 0 ? note_text(r, wide_note_names) : "===");
    console::text_attr = 0x70;
    console::write_text(left_pan_glyphs[song::left_pan_code(r.pitch)]);
    console::write_text(hex_text(r.pitch & song::pitch_tone_mask, 3));
    console::write_text(right_pan_glyphs[song::right_pan_code(r.pitch)]);
    console::write_text(hex_text(r.control, 2));
    console::text_attr = 0x71;
    console::write_text(hex_text(r.volume, 2));
    console::text_attr = 0x72;
    console::write_text(hex_text(r.pulse, 2));
    console::text_attr = 0x74;
    console::write_text(hex_text(r.filter, 2));
    for (int cell = 0; cell < 63; ++cell) {
        console::text_attr = level_bar_attribute(r, cell);
        console::write_text("-");
    }
    console::text_attr = 0x70;
}

void draw_voice_column(uint8_t voice) {
    const shown_channel r = shown_record_of(voice);
    const auto& s = player_engine().shown_voices[voice];
    const int x0 = voice * layout.column_width;
    const bool wide = layout.wide_layout;

    console::text_attr = 0x07;
    const std::string separator = wide ? "\xDC" : "";
    std::string heading =
        std::string(wide ? "Frq" : "Fq") + separator + "Wf" + separator + "Vl" + separator + "Pw" + separator + "Co";
    if (is_muted(voice)) {
        // As wide as the heading it replaces, so nothing of it is left.
        heading.replace(0, heading.size(), heading.size(), ' ');
        heading.replace(0, 5, "MUTED");
        console::text_attr = muted_attr;
    }
    console::write_text_at(static_cast<uint8_t>(x0), 17, heading);

    std::string label =
        r.volume > 0 ? note_text(r, wide ? wide_note_names : narrow_note_names) : std::string(wide ? "===" : "==");
    label += wide ? " " : "";
    label += hex_text(r.control, 2);
    console::text_attr = r.volume <= 47 ? 0x08 : r.volume <= 127 ? 0x07 : 0x0F;
    console::go_to(static_cast<uint8_t>(x0), 48);
    console::write_text(label);

    const int first = wide ? 7 : 4;
    const int distance = wide ? 3 : 2;
    draw_meter(x0 + first, s.volume.load(std::memory_order_relaxed), 1);
    draw_meter(x0 + first + distance, s.pulse.load(std::memory_order_relaxed), 2);
    draw_meter(x0 + first + 2 * distance, static_cast<uint8_t>(255 - s.filter.load(std::memory_order_relaxed)), 4);
}

void draw_oscilloscope() {
    std::fill(console::frame_buffer.begin() + scope_top * console::frame_width,
              console::frame_buffer.begin() + (scope_bottom + 1) * console::frame_width, 0);
    const uint32_t frames = std::min(player_engine().block_frames.load(std::memory_order_relaxed), synth::scope_length);
    const auto& wavetable = player_engine().wave_slots[player_engine().selected_slot].wavetable;
    for (int x = 0; x < console::frame_width; ++x) {
        const uint32_t index = static_cast<uint32_t>(x) * frames / 640;
        int s = player_engine().scope_history[index].load(std::memory_order_relaxed) / scope_scale;
        if (std::abs(s) > 127) {
            ++scope_scale;
            s = 0;
        }
        put_pixel(x, scope_top, 7);
        put_pixel(x, scope_bottom, 7);
        put_pixel(x, scope_centre - s, scope_colours[(std::abs(s) >> 4) & 7]);
        if (x >= 64 && x <= 575) put_pixel(x, scope_bottom - wavetable[x - 64].load(std::memory_order_relaxed), 12);
    }
}

}  // namespace player
