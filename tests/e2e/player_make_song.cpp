// Writes a steady three-voice song for the Xvfb session:
//   player_make_song OUT.tun SECONDS
// 50 frames a second; every voice loud with a mid pulse and an open filter,
// so its level meters and voice row are lit all the time.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "program_run.hpp"
#include "song_bytes.hpp"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: player_make_song OUT.tun SECONDS\n");
        return 2;
    }
    const uint32_t frames = static_cast<uint32_t>(std::atoi(argv[2])) * 50;
    test_support::song_header h;
    h.text = "A steady chord for the screenshot session.";
    const auto source = [](uint32_t f, uint32_t c) {
        return test_support::record_values{static_cast<uint16_t>(0x0420 + 0x100 * c + (f / 50 % 8) * 0x10), 0x60,
                                           static_cast<uint8_t>(0x41 + c), 0xE0, 0x40};
    };
    test_support::write_file(argv[1], test_support::song_bytes(h, test_support::interleaved_body(3, frames, source)));
    return 0;
}
