// Input: the keyboard and mouse poll, the wait for a key, and the requests
// to quit (the window's close button, SIGINT, SIGTERM).
#include "base/stop_signals.hpp"
#include "console/console.hpp"

namespace console {

SDL_Event last_event{};
pointer_event last_pointer{};
click_timer window_clicks;
bool window_closed = false;

namespace {

// How often a waiting screen looks for a new event. SDL produces repeated
// key presses only while its events are pumped, so this also bounds how
// late a repeat can come; a few milliseconds keep the repeat interval at
// what the driver asks for.
constexpr uint32_t wait_step_ms = 2;

// The pointer event of a mouse button press. The window shows the frame
// at its own size (a full-screen mode may be larger); a presenter's
// presses come at pixels of the frame itself.
pointer_event pointer_of_button(const SDL_MouseButtonEvent& button) {
    const bool window = active_presenter == nullptr && video_surface != nullptr;
    const cell_position cell = cell_at(button.x, button.y, window ? video_surface->w : frame_width,
                                       window ? video_surface->h : frame_height);
    pointer_event pointer{pointer_kind::none, cell.column, cell.row, 0};
    switch (button.button) {
        case SDL_BUTTON_LEFT: pointer.kind = classify_click(window_clicks, cell.column, cell.row, SDL_GetTicks()); break;
        case SDL_BUTTON_WHEELUP:
            pointer.kind = pointer_kind::scroll;
            pointer.amount = -wheel_lines;
            break;
        case SDL_BUTTON_WHEELDOWN:
            pointer.kind = pointer_kind::scroll;
            pointer.amount = wheel_lines;
            break;
        default: break;
    }
    return pointer;
}

// Fetches one pending event into last_event; false when there is none.
bool fetch_event(uint32_t wait_ms = 0) {
    last_pointer = pointer_event{};
    if (active_presenter != nullptr) {
        if (!active_presenter->fetch_event(last_event, wait_ms)) return false;
    } else {
        if (SDL_PollEvent(&last_event) != 1) return false;
        if (last_event.type == SDL_QUIT) window_closed = true;
    }
    if (last_event.type == SDL_MOUSEBUTTONDOWN) last_pointer = pointer_of_button(last_event.button);
    return true;
}

bool is_input() { return last_event.type == SDL_KEYDOWN || last_pointer.kind != pointer_kind::none; }

// Waits as wait_key does; true when the event that came is `wanted`.
template <typename Wanted>
bool wait_event(uint32_t timeout_ms, Wanted wanted) {
    // A terminal wakes the wait itself when a key arrives.
    if (active_presenter != nullptr) return !quit_requested() && fetch_event(timeout_ms) && wanted();
    for (uint32_t waited = 0;; waited += wait_step_ms) {
        if (fetch_event()) return wanted();
        if (quit_requested() || waited >= timeout_ms) return false;
        SDL_Delay(wait_step_ms);
    }
}

}  // namespace

bool poll_key() { return fetch_event() && last_event.type == SDL_KEYDOWN; }

bool poll_event() { return fetch_event(); }

bool wait_key(uint32_t timeout_ms) {
    return wait_event(timeout_ms, [] { return last_event.type == SDL_KEYDOWN; });
}

bool wait_input(uint32_t timeout_ms) { return wait_event(timeout_ms, is_input); }

bool quit_requested() {
    // A quit waiting behind a backlog of events is taken out of the queue
    // at once.
    SDL_Event quit;
    if (active_presenter == nullptr && !window_closed && SDL_PeepEvents(&quit, 1, SDL_GETEVENT, SDL_QUITMASK) == 1)
        window_closed = true;
    return window_closed || stop_signals::received() != 0;
}

}  // namespace console
