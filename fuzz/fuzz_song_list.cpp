// Feeds arbitrary bytes to what the selector and the play lists read from
// files they did not write: a song's first bytes, whose facts the selector
// shows, and a play list (M3U or PLS, chosen by the first byte) whose lines
// name songs. Both must end in an answer, never a crash, whatever they hold.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "selector/play_list.hpp"
#include "selector/song_facts.hpp"

namespace {

void read_facts(std::span<const uint8_t> data) {
    const selector::song_facts facts = selector::song_facts_from(data, data.size());
    if (!facts.is_song) {
        if (facts.problem.empty()) __builtin_trap();  // a refusal always says why
        return;
    }
    if (facts.voices < 1 || facts.voices > 8 || facts.frame_rate == 0) __builtin_trap();
    (void)selector::length_text(facts.frames, facts.frame_rate);
    (void)selector::title_and_author(facts);
    (void)selector::author_and_title(facts);
}

void read_list(std::span<const uint8_t> data, bool pls) {
    static const std::string folder = "/tmp/playtun-fuzz-list-" + std::to_string(getpid());
    static const bool made = (::mkdir(folder.c_str(), 0700), true);
    (void)made;
    const std::string name = folder + (pls ? "/list.pls" : "/list.m3u");
    FILE* file = std::fopen(name.c_str(), "wb");
    if (file == nullptr) return;
    if (!data.empty()) std::fwrite(data.data(), 1, data.size(), file);
    std::fclose(file);
    const selector::play_list_reading reading = selector::read_play_list(name);
    // Every line gives at most one song or one problem.
    size_t lines = 1;
    for (const uint8_t b : data) lines += b == '\n' || b == '\r';
    if (reading.songs.size() + reading.problems.size() > lines) __builtin_trap();
    for (const std::string& problem : reading.problems)
        for (const char c : problem)
            if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();  // one line, no control bytes
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::span<const uint8_t> rest(data + 1, size - 1);
    switch (data[0] % 3) {
        case 0: read_facts(rest); break;
        case 1: read_list(rest, false); break;
        default: read_list(rest, true); break;
    }
    return 0;
}
