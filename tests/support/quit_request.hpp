// A request to quit that arrives from outside while a screen loop runs, for
// the tests of the player screen and the selector.
#pragma once

#include <SDL.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace test_support {

// After `delay`, another thread asks the program to quit: request 0
// presses the window's close button (an SDL quit event, behind
// `keys_before` key presses of F9, which has no command), a signal number
// sends that signal to the process. Should the loop still run three seconds
// later, `fallback` ends it as Escape would, so that a loop deaf to the
// request fails its test instead of running for ever.
class quit_request {
public:
    quit_request(int request, std::chrono::milliseconds delay, void (*fallback)(), int keys_before = 0)
        : worker([this, request, delay, fallback, keys_before] { run(request, delay, fallback, keys_before); }) {}
    ~quit_request() {
        finished.store(true);
        worker.join();
    }
    quit_request(const quit_request&) = delete;
    quit_request& operator=(const quit_request&) = delete;

private:
    void run(int request, std::chrono::milliseconds delay, void (*fallback)(), int keys_before) {
        std::this_thread::sleep_for(delay);
        if (request != 0) {
            ::kill(::getpid(), request);
        } else {
            SDL_Event key{};
            key.type = SDL_KEYDOWN;
            key.key.keysym.sym = SDLK_F9;
            for (int i = 0; i < keys_before; ++i) SDL_PushEvent(&key);
            SDL_Event quit{};
            quit.type = SDL_QUIT;
            SDL_PushEvent(&quit);
        }
        for (int waited = 0; waited < 300 && !finished.load(); ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!finished.load()) fallback();
    }

    std::atomic<bool> finished{false};
    std::thread worker;
};

}  // namespace test_support
