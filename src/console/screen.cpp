// The palette, the video mode and the refresh of an SDL 1.2 surface.
#include "console/console.hpp"

#include <algorithm>
#include <cstring>

namespace console {

std::array<SDL_Color, 256> palette{};
SDL_Surface* video_surface = nullptr;
uint8_t fullscreen = 0;
video_mode_opener open_video_mode = SDL_SetVideoMode;
const presenter* active_presenter = nullptr;

namespace {

// The surface does not show the frame buffer yet: a mode was opened since
// the last present.
bool surface_outdated = false;

void build_palette() {
    for (int i = 0; i < 256; ++i) {
        const rgb colour = palette_colour(i);
        palette[i] = SDL_Color{colour.r, colour.g, colour.b, 0};
    }
}

// Copies the frame buffer into the surface row by row at the surface's own
// pitch. A surface that cannot be locked skips the copy; the next refresh
// copies the whole frame again anyway.
void present_frame() {
    if (video_surface == nullptr) return;
    if (SDL_LockSurface(video_surface) == 0) {
        auto* target = static_cast<uint8_t*>(video_surface->pixels);
        const int rows = std::min<int>(frame_height, video_surface->h);
        const int width = std::min<int>(frame_width, video_surface->pitch);
        for (int y = 0; y < rows; ++y) {
            std::memcpy(target + y * video_surface->pitch, &frame_buffer[y * frame_width], width);
        }
        SDL_UnlockSurface(video_surface);
    }
    SDL_UpdateRect(video_surface, 0, 0, 0, 0);
    surface_outdated = false;
}

SDL_Surface* open_mode() {
    Uint32 flags = SDL_HWPALETTE;
    if (fullscreen) flags |= SDL_FULLSCREEN;
    return open_video_mode(frame_width, frame_height, 8, flags);
}

}  // namespace

void console_init() {
    font = font_glyphs;
    build_palette();
}

void console_reset() {
    reset_cells();
    palette.fill(SDL_Color{0, 0, 0, 0});
    video_surface = nullptr;
    fullscreen = 0;
    open_video_mode = SDL_SetVideoMode;
    last_event = SDL_Event{};
    last_pointer = pointer_event{};
    window_clicks = click_timer{};
    window_closed = false;
    surface_outdated = false;
}

bool set_video_mode(bool toggle) {
    // A terminal has no full screen to switch to.
    if (active_presenter != nullptr) return true;
    if (toggle) fullscreen ^= 1;
    SDL_Surface* surface = open_mode();
    if (surface == nullptr && toggle) {
        // The other mode is not available: go back to the one we had.
        fullscreen ^= 1;
        surface = open_mode();
    }
    video_surface = surface;
    if (video_surface == nullptr) return false;
    SDL_SetColors(video_surface, palette.data(), 0, 256);
    surface_outdated = true;
    return true;
}

void refresh_screen() {
    rasterise_changed_cells();
    if (active_presenter != nullptr)
        active_presenter->present();
    else
        present_frame();
}

void refresh_changed_screen() {
    if (surface_outdated || screen_cells != shadow_cells) refresh_screen();
}

void set_window_title(std::string_view title) {
    if (active_presenter != nullptr) {
        active_presenter->set_title(title);
        return;
    }
    const std::string text(title);
    SDL_WM_SetCaption(text.c_str(), text.c_str());
}

}  // namespace console
