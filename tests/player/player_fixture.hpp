// Shared set-up of the player tests: every module back at its start state,
// the tables and start-up waves built at 48 kHz, and a song position that
// the tests set field by field.
#pragma once

#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/console.hpp"
#include "player/player.hpp"
#include "song/song.hpp"
#include "synth/synth.hpp"

namespace player_test {

inline uint16_t& cell(int column, int row) { return console::screen_cells[row * 80 + column]; }
inline uint8_t attribute_at(int column, int row) { return static_cast<uint8_t>(cell(column, row) >> 8); }
inline char character_at(int column, int row) { return static_cast<char>(cell(column, row) & 0xFF); }
inline uint8_t background_at(int column, int row) { return static_cast<uint8_t>(cell(column, row) >> 12); }
inline uint8_t& pixel(int x, int y) { return console::frame_buffer[y * 640 + x]; }

// The characters of a row between two columns (inclusive).
inline std::string row_text(int row, int first, int last) {
    std::string text;
    for (int c = first; c <= last; ++c) text += character_at(c, row);
    return text;
}

inline void set_record(int voice, uint16_t pitch, uint8_t pulse, uint8_t control, uint8_t volume, uint8_t filter) {
    auto& r = player::player_engine().shown_records[voice];
    r.pitch.store(pitch);
    r.pulse.store(pulse);
    r.control.store(control);
    r.volume.store(volume);
    r.filter.store(filter);
}

inline void set_voice(int voice, uint8_t volume, uint8_t pulse, uint8_t filter) {
    auto& s = player::player_engine().shown_voices[voice];
    s.volume.store(volume);
    s.pulse.store(pulse);
    s.filter.store(filter);
}

inline void reset_all_modules() {
    console::console_reset();
    console::console_init();
    player::reset_player_state();
}

// No window: the module state is inspected directly.
class PlayerState : public ::testing::Test {
protected:
    void SetUp() override {
        reset_all_modules();
        player::player_engine().song.channel_count = 3;
        player::player_engine().song.frame_rate = 50;
        player::player_engine().song.frame_total = 1000;
    }
    void TearDown() override { reset_all_modules(); }
};

// A real surface from SDL's dummy video driver, so that whole iterations,
// presents and full-screen switches run as in the program.
class PlayerWindow : public PlayerState {
protected:
    void SetUp() override {
        ::setenv("SDL_VIDEODRIVER", "dummy", 1);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        PlayerState::SetUp();
        ASSERT_TRUE(console::set_video_mode(false));
        ASSERT_NE(console::video_surface, nullptr);
        // Nothing left over from an earlier test in the event queue.
        SDL_Event ignored;
        while (SDL_PollEvent(&ignored) == 1) {}
    }
    void TearDown() override {
        PlayerState::TearDown();
        SDL_Quit();
    }

    static void push_key(SDLKey key, SDLMod mod = KMOD_NONE) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.type = SDL_KEYDOWN;
        event.key.state = SDL_PRESSED;
        event.key.keysym.sym = key;
        event.key.keysym.mod = mod;
        ASSERT_EQ(SDL_PushEvent(&event), 0);
    }
};

// The key press that handle_player_key reads.
inline void press(SDLKey key, SDLMod mod = KMOD_NONE) {
    console::last_event = SDL_Event{};
    console::last_event.type = SDL_KEYDOWN;
    console::last_event.key.type = SDL_KEYDOWN;
    console::last_event.key.keysym.sym = key;
    console::last_event.key.keysym.mod = mod;
    player::handle_player_key();
}

}  // namespace player_test
