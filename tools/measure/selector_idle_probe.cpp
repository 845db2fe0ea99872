// Runs the selector on the working directory with no key pressed for a few
// seconds (Escape arrives from a timer), then prints the CPU time the idle
// loop used. Usage: selector_idle_probe [seconds]
#include <SDL.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/console.hpp"
#include "selector/selector.hpp"

namespace {

Uint32 press_escape(Uint32, void*) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = SDLK_ESCAPE;
    SDL_PushEvent(&event);
    return 0;
}

double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
    selector::selector_start();
    selector::page_rows = 47;
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) < 0) return 254;
    console::console_init();
    if (!console::set_video_mode(false)) return 254;
    SDL_AddTimer(static_cast<Uint32>(seconds * 1000), press_escape, nullptr);

    const double cpu_before = cpu_seconds();
    const auto wall_before = std::chrono::steady_clock::now();
    std::string name;
    selector::select_file(name);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_before).count();
    const double cpu = cpu_seconds() - cpu_before;

    std::printf("idle selector: %.2f s wall, %.2f s CPU (%.0f %% of one core), %s driver\n", wall, cpu,
                100.0 * cpu / wall, std::getenv("SDL_VIDEODRIVER") ? std::getenv("SDL_VIDEODRIVER") : "default");
    SDL_Quit();
    selector::selector_stop();
    return 0;
}
