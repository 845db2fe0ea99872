// The video side of the console against SDL's dummy video driver: no
// display needed, but a real SDL surface with a real palette.
#include <cstdlib>
#include <cstring>

#include "console_fixture.hpp"

using namespace console;

namespace {

class Video : public Console {
protected:
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 0);
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        Console::SetUp();
    }
    void TearDown() override {
        Console::TearDown();
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
};

bool surface_shows_frame_buffer() {
    if (SDL_LockSurface(video_surface) != 0) return false;
    bool same = true;
    for (int y = 0; y < 400 && same; ++y) {
        const auto* row = static_cast<const uint8_t*>(video_surface->pixels) + y * video_surface->pitch;
        same = std::memcmp(row, &frame_buffer[y * 640], 640) == 0;
    }
    SDL_UnlockSurface(video_surface);
    return same;
}

bool surface_is_fullscreen() { return (video_surface->flags & SDL_FULLSCREEN) != 0; }

SDL_Surface* refuse_fullscreen(int w, int h, int bpp, Uint32 flags) {
    return (flags & SDL_FULLSCREEN) ? nullptr : SDL_SetVideoMode(w, h, bpp, flags);
}

}  // namespace

TEST_F(Video, OpensAWindowOf640By400With8BitsAndThePalette) {
    ASSERT_TRUE(set_video_mode(false));
    ASSERT_NE(video_surface, nullptr);
    EXPECT_EQ(video_surface->w, 640);
    EXPECT_EQ(video_surface->h, 400);
    EXPECT_EQ(video_surface->format->BitsPerPixel, 8);
    EXPECT_FALSE(surface_is_fullscreen());
    EXPECT_EQ(fullscreen, 0);

    const SDL_Palette* surface_palette = video_surface->format->palette;
    ASSERT_NE(surface_palette, nullptr);
    ASSERT_EQ(surface_palette->ncolors, 256);
    struct Case {
        int index, r, g, b;
    } const cases[] = {{0, 0, 0, 0}, {3, 0, 0, 255}, {109, 109, 109, 85}, {224, 255, 0, 0}, {255, 255, 255, 255}};
    for (const auto& c : cases) {
        const SDL_Color& colour = surface_palette->colors[c.index];
        EXPECT_EQ(colour.r, c.r) << c.index;
        EXPECT_EQ(colour.g, c.g) << c.index;
        EXPECT_EQ(colour.b, c.b) << c.index;
    }
}

TEST_F(Video, RefreshPresentsTheWholeFrameBuffer) {
    ASSERT_TRUE(set_video_mode(false));
    write_text_at(3, 4, "TEXT");
    refresh_screen();
    EXPECT_TRUE(surface_shows_frame_buffer());

    // No cell changed, yet a pixel plotted into the frame buffer shows.
    frame_buffer[200 * 640 + 300] = 252;
    refresh_screen();
    ASSERT_EQ(SDL_LockSurface(video_surface), 0);
    EXPECT_EQ(static_cast<const uint8_t*>(video_surface->pixels)[200 * video_surface->pitch + 300], 252);
    SDL_UnlockSurface(video_surface);
}

TEST_F(Video, ToggleSwitchesToFullScreenAndBack) {
    ASSERT_TRUE(set_video_mode(false));
    write_text_at(0, 0, "KEPT");
    refresh_screen();

    const bool expect_fullscreen[] = {true, false, true, false};
    for (const bool want : expect_fullscreen) {
        ASSERT_TRUE(set_video_mode(true));
        EXPECT_EQ(fullscreen, want ? 1 : 0);
        EXPECT_EQ(surface_is_fullscreen(), want);
        EXPECT_EQ(video_surface->format->palette->colors[224].r, 255);
        EXPECT_EQ(cell(0, 0), 0x0F4B);
        // The first refresh after the change shows the complete picture.
        refresh_screen();
        EXPECT_TRUE(surface_shows_frame_buffer());
    }
}

TEST_F(Video, FailedToggleReopensThePreviousMode) {
    ASSERT_TRUE(set_video_mode(false));
    open_video_mode = refuse_fullscreen;
    EXPECT_TRUE(set_video_mode(true));
    ASSERT_NE(video_surface, nullptr);
    EXPECT_EQ(fullscreen, 0);
    EXPECT_FALSE(surface_is_fullscreen());
    EXPECT_EQ(video_surface->w, 640);
}

TEST_F(Video, PollKeyReportsOnlyKeyPresses) {
    ASSERT_TRUE(set_video_mode(false));
    SDL_Event pending;
    while (SDL_PollEvent(&pending)) {}
    EXPECT_FALSE(poll_key()) << "empty queue";

    SDL_Event release{};
    release.type = SDL_KEYUP;
    release.key.keysym.sym = SDLK_a;
    ASSERT_EQ(SDL_PushEvent(&release), 0);
    EXPECT_FALSE(poll_key());
    EXPECT_EQ(last_event.type, SDL_KEYUP);
    EXPECT_FALSE(poll_key()) << "a release is consumed, not reported again";

    SDL_Event press{};
    press.type = SDL_KEYDOWN;
    press.key.keysym.sym = SDLK_RETURN;
    press.key.keysym.mod = KMOD_LALT;
    ASSERT_EQ(SDL_PushEvent(&press), 0);
    EXPECT_TRUE(poll_key());
    EXPECT_EQ(last_event.key.keysym.sym, 13);
    EXPECT_NE(last_event.key.keysym.mod & 0x300, 0);

    SDL_Event quit{};
    quit.type = SDL_QUIT;
    EXPECT_FALSE(quit_requested());
    ASSERT_EQ(SDL_PushEvent(&quit), 0);
    EXPECT_FALSE(poll_key()) << "closing the window is no key press";
    EXPECT_TRUE(window_closed);
    EXPECT_TRUE(quit_requested());
}
