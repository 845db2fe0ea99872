// The player screen's requests to quit: the window's close button, SIGINT
// and SIGTERM end a song that would otherwise repeat for ever.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>

#include "base/stop_signals.hpp"
#include "player_fixture.hpp"
#include "quit_request.hpp"
#include "song_bytes.hpp"

namespace {

using namespace player_test;

// A request to quit ends a song that would otherwise repeat for ever,
// within a pass of the loop, however many key presses wait before it: the
// audio device is closed when the screen returns.
class QuitRequests : public PlayerWindow {
protected:
    void SetUp() override {
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
        PlayerWindow::SetUp();
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_AUDIO), 0) << SDL_GetError();
        stop_signals::install(true);
        char pattern[] = "/tmp/player_quit_XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override {
        std::remove((folder + "/song.tun").c_str());
        ::rmdir(folder.c_str());
        stop_signals::reset_received();
        PlayerWindow::TearDown();
    }
    std::string folder;
};

void end_song() { player::player_engine().song_ended.store(true); }

TEST_F(QuitRequests, CloseButtonAndStopSignalsEndTheScreen) {
    test_support::song_header h;
    h.flags = 0x13;
    const auto bytes = test_support::song_bytes(h, test_support::interleaved_body(3, 3000, [](uint32_t, uint32_t) {
                                                    return test_support::record_values{0x0400, 0x80, 0x41, 200, 0x80};
                                                }));
    std::ofstream(folder + "/song.tun", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    for (const int request : {0, SIGINT, SIGTERM}) {
        SCOPED_TRACE(request);
        for (SDL_Event left; SDL_PollEvent(&left) == 1;) {}
        console::window_closed = false;
        stop_signals::reset_received();
        player::player_engine().loop_enabled.store(true);
        std::string name = folder + "/song.tun";
        const auto started = std::chrono::steady_clock::now();
        player::player_result result;
        {
            // The close button comes behind three seconds' worth of keys.
            const test_support::quit_request quit(request, std::chrono::milliseconds(300), end_song, 60);
            result = player::run_player_screen(name);
        }
        const auto took = std::chrono::steady_clock::now() - started;
        EXPECT_FALSE(result.refused);
        EXPECT_FALSE(result.audio_failed);
        EXPECT_GE(took, std::chrono::milliseconds(300)) << "the song played until the request";
        EXPECT_LT(took, std::chrono::milliseconds(1300));
        EXPECT_EQ(SDL_GetAudioStatus(), SDL_AUDIO_STOPPED) << "the audio device is closed";
        EXPECT_TRUE(console::quit_requested());
        EXPECT_EQ(console::window_closed, request == 0);
        EXPECT_EQ(stop_signals::received(), request);
        char* title = nullptr;
        char* icon = nullptr;
        SDL_WM_GetCaption(&title, &icon);
        ASSERT_NE(title, nullptr);
        EXPECT_STREQ(title, "playtun - song.tun");
    }
}

}  // namespace
