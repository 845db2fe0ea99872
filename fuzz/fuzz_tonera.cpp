// Drives the C API with arbitrary input: the first bytes choose a split, the
// rest is a song image followed by a script of calls (render, seeks, loops,
// length, fade, mutes, wave edits, snapshots) in any order. Nothing may
// crash, and what the API promises must hold: renders never pass their
// count or the length, positions never pass the length.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "tonera/tonera.h"

namespace {

struct script {
    const uint8_t* at;
    const uint8_t* end;
    bool done() const { return at >= end; }
    uint8_t byte() { return at < end ? *at++ : 0; }
    uint32_t word() {
        uint32_t w = 0;
        for (int i = 0; i < 4; ++i) w = w << 8 | byte();
        return w;
    }
};

void check(bool promise) {
    if (!promise) __builtin_trap();
}

void run(tonera_song* song, script& s) {
    static std::vector<int16_t> frames(2 * 8192);
    static std::vector<float> floats(2 * 8192);
    static tonera_snapshot snapshot;
    for (int step = 0; step < 64 && !s.done(); ++step) {
        const uint8_t op = s.byte();
        switch (op % 12) {
            case 0: {
                const size_t count = s.word() % 8193;
                const uint64_t before = tonera_position_frames(song);
                const size_t got = tonera_render_s16(song, frames.data(), count);
                check(got <= count);
                check(tonera_position_frames(song) == before + got);
                break;
            }
            case 1: check(tonera_render_f32(song, floats.data(), s.word() % 8193) <= 8192); break;
            case 2: tonera_seek_frame(song, s.word()); break;
            case 3: tonera_seek_ms(song, s.word()); break;
            case 4:
                check(tonera_set_loops(song, static_cast<int8_t>(s.byte())) == 0 || static_cast<int8_t>(s.at[-1]) < -1);
                break;
            case 5: tonera_set_length_ms(song, s.word()); break;
            case 6: tonera_set_fade_ms(song, s.word() % 600000); break;
            case 7: tonera_set_mute_mask(song, s.byte()); break;
            case 8: {
                const uint8_t what = s.byte();
                const int a = s.byte() % 3;
                const int b = s.byte() % 3;
                switch (what % 8) {
                    case 0: tonera_wave_select(song, a); break;
                    case 1: tonera_wave_preset(song, s.byte() % 7); break;
                    case 2: tonera_wave_set_base(song, a, b); break;
                    case 3: tonera_wave_randomise(song, a); break;
                    case 4: tonera_wave_clear(song, a); break;
                    case 5: tonera_wave_swap_halves(song); break;
                    case 6: tonera_wave_step_partial(song, s.byte() % 17, b - 1); break;
                    default: tonera_set_pulse_fold(song, a); break;
                }
                break;
            }
            case 9:
                check(tonera_get_snapshot(song, &snapshot) == 0 && snapshot.scope_frames <= TONERA_SCOPE_FRAMES);
                break;
            case 10: {
                char text[64];
                const size_t n = tonera_text_utf8(song, text, s.byte() % sizeof text);
                (void)n;
                check(strlen(tonera_title(song)) <= 32 && strlen(tonera_author(song)) <= 32 &&
                      strlen(tonera_released(song)) <= 32);
                break;
            }
            default: {
                uint8_t definition[16];
                check(tonera_wave_definition(song, 0, definition) == 0);
                break;
            }
        }
        check(tonera_position_frames(song) <= tonera_length_frames(song));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const size_t split = 2 + ((data[0] << 8 | data[1]) % (size - 1));
    tonera_song* song = nullptr;
    const int error = tonera_open(data + 2, split - 2, &song);
    if (error != 0) {
        check(song == nullptr && error < 0);
        check(std::strlen(tonera_strerror(error)) > 0);
        return 0;
    }
    check(tonera_channels(song) >= 1 && tonera_channels(song) <= 8 && tonera_frames(song) > 0);
    script s{data + split, data + size};
    run(song, s);
    tonera_close(song);
    return 0;
}
