// Screen state, palette, video mode and refresh.
#include "console/console.hpp"

#include <algorithm>
#include <cstring>

namespace console {

tconsoletype screen_cells{};
tconsoletype shadow_cells{};
std::array<uint8_t, frame_bytes> frame_buffer{};
std::array<SDL_Color, 256> palette{};
std::array<uint8_t, 256 * glyph_size> font{};
SDL_Surface* video_surface = nullptr;
uint8_t fullscreen = 0;
video_mode_opener open_video_mode = SDL_SetVideoMode;

// The sixteen text colours as entries of the colour cube.
const std::array<uint8_t, 16> colour_map = {
    0,    // black
    2,    // blue
    16,   // green
    18,   // cyan
    128,  // red
    130,  // magenta
    144,  // brown
    182,  // light grey
    109,  // dark grey
    3,    // light blue
    28,   // light green
    31,   // light cyan
    224,  // light red
    227,  // light magenta
    252,  // yellow
    255,  // white
};

namespace {

// The surface does not show the frame buffer yet: a mode was opened since
// the last present.
bool surface_outdated = false;

// Entry i of the palette is the colour cube point r = bits 5-7,
// g = bits 2-4, b = bits 0-1, each scaled so its top step is 255.
void build_palette() {
    for (int i = 0; i < 256; ++i) {
        const int r = i >> 5;
        const int g = (i >> 2) & 7;
        const int b = i & 3;
        palette[i] = SDL_Color{static_cast<Uint8>(r * 255 / 7),
                               static_cast<Uint8>(g * 255 / 7),
                               static_cast<Uint8>(b * 85), 0};
    }
}

void rasterise_cell(int row, int column, uint16_t cell) {
    const uint8_t* glyph = &font[(cell & 0xFF) * glyph_size];
    const uint8_t foreground = colour_map[(cell >> 8) & 0x0F];
    const uint8_t background = colour_map[cell >> 12];
    uint8_t* pixel = &frame_buffer[(row * glyph_size) * frame_width + column * glyph_size];
    for (int k = 0; k < glyph_size; ++k, pixel += frame_width) {
        for (int p = 0; p < glyph_size; ++p) {
            pixel[p] = (glyph[k] & (0x80 >> p)) ? foreground : background;
        }
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
    screen_cells.fill(0);
    shadow_cells.fill(0);
    frame_buffer.fill(0);
    palette.fill(SDL_Color{0, 0, 0, 0});
    font.fill(0);
    video_surface = nullptr;
    fullscreen = 0;
    open_video_mode = SDL_SetVideoMode;
    text_attr = 15;
    cursor_x = 0;
    cursor_y = 0;
    last_event = SDL_Event{};
    window_closed = false;
    surface_outdated = false;
}

bool set_video_mode(bool toggle) {
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
    for (int row = 0; row < screen_rows; ++row) {
        for (int column = 0; column < screen_columns; ++column) {
            const int i = row * screen_columns + column;
            if (screen_cells[i] != shadow_cells[i]) rasterise_cell(row, column, screen_cells[i]);
        }
    }
    shadow_cells = screen_cells;
    present_frame();
}

void refresh_changed_screen() {
    if (surface_outdated || screen_cells != shadow_cells) refresh_screen();
}

void set_window_title(std::string_view title) {
    const std::string text(title);
    SDL_WM_SetCaption(text.c_str(), text.c_str());
}

}  // namespace console
