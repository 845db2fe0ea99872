// Input: the keyboard poll, the wait for a key, and the requests to quit
// (the window's close button, SIGINT, SIGTERM).
#include "base/stop_signals.hpp"
#include "console/console.hpp"

namespace console {

SDL_Event last_event{};
bool window_closed = false;

namespace {

// How often a waiting screen looks for a new event. SDL produces repeated
// key presses only while its events are pumped, so this also bounds how
// late a repeat can come; a few milliseconds keep the repeat interval at
// what the driver asks for.
constexpr uint32_t wait_step_ms = 2;

// Fetches one pending event into last_event; false when there is none.
bool fetch_event() {
    if (active_presenter != nullptr) return active_presenter->fetch_event(last_event, 0);
    if (SDL_PollEvent(&last_event) != 1) return false;
    if (last_event.type == SDL_QUIT) window_closed = true;
    return true;
}

}  // namespace

bool poll_key() { return fetch_event() && last_event.type == SDL_KEYDOWN; }

bool poll_event() { return fetch_event(); }

bool wait_key(uint32_t timeout_ms) {
    // A terminal wakes the wait itself when a key arrives.
    if (active_presenter != nullptr)
        return !quit_requested() && active_presenter->fetch_event(last_event, timeout_ms) &&
               last_event.type == SDL_KEYDOWN;
    for (uint32_t waited = 0;; waited += wait_step_ms) {
        if (fetch_event()) return last_event.type == SDL_KEYDOWN;
        if (quit_requested() || waited >= timeout_ms) return false;
        SDL_Delay(wait_step_ms);
    }
}

bool quit_requested() {
    // A quit waiting behind a backlog of events is taken out of the queue
    // at once.
    SDL_Event quit;
    if (active_presenter == nullptr && !window_closed && SDL_PeepEvents(&quit, 1, SDL_GETEVENT, SDL_QUITMASK) == 1)
        window_closed = true;
    return window_closed || stop_signals::received() != 0;
}

}  // namespace console
