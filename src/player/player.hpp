// The player screen: plays one song while showing what the engine does, and
// takes the keys that seek, mute and edit the wave definitions live.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "console/pointer.hpp"
#include "player/song_opening.hpp"
#include "song/song.hpp"
#include "synth/engine.hpp"

namespace player {

// The engine instance the player plays every song on: one for the whole
// program, so wave edits, mutes, pulse folding and the play time carry over
// from song to song, as the player's keys left them.
synth::engine& player_engine();

// ---- displays ----

// Column layout of the voice columns, computed for each song.
struct layout_state {
    uint8_t column_width = 80;  // 80 div channel_count
    bool wide_layout = true;    // 1..4 voices
};
extern layout_state layout;

// Divisor of the oscilloscope's samples; only grows until the history resets.
extern uint16_t scope_scale;

void set_player_layout();
void draw_voice_row(uint8_t voice);
void draw_voice_column(uint8_t voice);
void draw_oscilloscope();

// The value's lowest 4 x digits bits as upper-case hexadecimal.
std::string hex_text(uint32_t value, uint8_t digits);
// Minutes and seconds as "MM:SS"; minutes 100..159 show A..F as their first
// character, and longer times stay at "F9:59".
std::string time_text(uint32_t seconds);
// Two hex digits and a space for each of the eight definition bytes from
// offset (0 or 8) of the selected slot.
std::string definition_text(uint8_t offset);

// ---- key commands ----

// View settings that live for the whole process.
struct view_state {
    bool column_view = true;  // rows 17..48 show voice columns, else the oscilloscope
    uint8_t edit_half = 0;    // 0 or 8: the half the digit keys edit
};
extern view_state view;

// What the listener can ask of the player screen, by a key or from the
// desktop's media controls: both go through perform, so they act alike.
enum class command : uint8_t {
    stop,          // Escape: this song and the list it belongs to
    toggle_pause,  // Pause, k
    play,          // goes on when paused
    pause,         // pauses when playing
    next,          // Page Down
    previous,      // Page Up
    restart,       // Return
    second_on,     // Right
    second_back,   // Left
};
void perform(command c);

// Moves the song to the frame, at most its last one (a seek from outside;
// the keys move by seconds).
void go_to_frame(uint32_t frame);

// Acts on the key press in console::last_event. While the key list is
// shown, a key press only closes it.
void handle_player_key();

// The key list shown over the lower half of the screen (the h key).
void draw_key_list();

// One second on or back (Right, Left): forward from the last second wraps
// to the start, backward from the first stops there.
void seek_forward();
void seek_back();

// Mutes or unmutes the voice (i o p, F1 .. F8).
void toggle_mute(uint8_t voice);

// ---- pointer commands ----

// Acts on a pointer event as the keys would. A click on a voice's row of
// raw values or, in the column view, on its column's heading mutes or
// unmutes it; a click anywhere else pauses or resumes. A scroll seeks one
// second per wheel step (three lines, as they add up), a swipe one second
// per swipe_columns columns, forward for down and right. While the key list
// is shown, any pointer event only closes it. A double click does nothing
// more: its first click acted already.
void handle_player_pointer(const console::pointer_event& pointer);

// The columns a swipe travels for each second it seeks.
constexpr int swipe_columns = 4;

// The voice whose row or heading lies under the cell, or -1.
int voice_under(uint8_t column, uint8_t row);

// Stops or resumes the sound and the song position (Pause and k); the
// Playing line says which.
void toggle_pause();

// Stops or resumes whatever sounds the song (the audio device, or the web
// page's audio worklet); toggle_pause calls it.
void pause_sound(bool paused);

// Blanks rows 17..49 and the pixels plotted over them.
void clear_lower_screen();

// ---- the screen ----

// Where the listener wants to go after this song.
enum class leave_request : uint8_t {
    none,      // the song ended, or a request to quit
    stop,      // Escape: this song and the list it belongs to
    next,      // Page Down
    previous,  // Page Up
};

// How a song is played: its place among other songs and how often it
// repeats.
struct play_options {
    std::string title_suffix;   // after the name in the window title, " (2 of 5)"
    std::string list_line;      // on row 2 of the screen: "(2 of 5)  next: b.tun"
    bool has_next = false;      // Page Down leaves the song only when there is a song to go to
    bool has_previous = false;  // likewise Page Up
    // 0: the song repeats as the caller's loop setting says; N: its loop
    // section plays N times in all, the first pass included.
    uint32_t passes = 0;
};

// Per-song state of the screen loop.
struct screen_state {
    bool paused = false;
    bool key_list_shown = false;
    leave_request leave = leave_request::none;
    // A key moved the song position in this pass: a backward jump is then
    // no pass of the loop section.
    bool position_moved = false;
    uint8_t history_step = 1;
    // Lines scrolled that do not make a whole wheel step yet (signed).
    int16_t scroll_lines = 0;
    uint16_t marquee_tick = 0;
    // Runs 1 .. L + 79 for a song text of L bytes, and L goes up to 65,519.
    uint32_t marquee_pos = 0;
    uint32_t shown_frame = 0;
    uint32_t history_frame = 0;
    std::string shown_name;  // the name on the Playing line
};
extern screen_state screen;

// The place of the song being played (set by run_player_screen).
extern play_options playing;

// The song the player screen plays, while its loop runs.
struct song_in_play {
    bool active = false;
    uint32_t number = 0;    // counts the songs started, the same file again included
    std::string file_name;  // as named, before it is shortened for the screen
};
extern song_in_play now_playing;

// Run once every pass of the screen loop, after the keys: another source
// of commands (the desktop's media controls). Null for none.
extern void (*each_pass)();

// How a run of the player screen ended.
struct player_result {
    bool refused = false;  // the song could not be opened: `opening` says why
    song_opening opening;
    bool audio_failed = false;
    std::string audio_error;  // SDL's reason when the device could not be opened
    leave_request leave = leave_request::none;
};

// Plays the named song (the name is shortened in place for display) until
// it ends, the user leaves it or asks the program to quit. A song that
// cannot be opened returns at once, drawing nothing. The window's title
// names the song file, followed by the options' title suffix.
player_result run_player_screen(std::string& song_file_name, const play_options& options = {});

void reset_history();

// The Playing line of the fixed screen; while paused it begins with
// "Paused " instead, and the rest keeps its columns.
std::string playing_line(std::string_view shown_name, bool paused = false);
// Names longer than 28 characters keep their last 28 after "...".
std::string shortened_name(std::string_view name);

// Runs one iteration of the screen loop after its sleep (tests drive it).
void player_iteration();
// Every third call scrolls the song text on row 4 one column to the left.
void marquee_step();
// Draws the fixed parts of the screen for the current song.
void draw_fixed_screen(std::string_view shown_name);

// Returns the module to its start state, with a new engine instance (tests).
void reset_player_state();

}  // namespace player
