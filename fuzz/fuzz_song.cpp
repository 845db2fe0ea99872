// Feeds arbitrary bytes to the song code: as a song image through the header
// reader and both frame readers, as a raw stream to the decoder, and as data
// to the encoder, whose stream must unpack to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "song/aplib_pack.hpp"
#include "song/aplib.hpp"
#include "song/song.hpp"

namespace {

constexpr size_t max_round_trip = 1u << 16;
// Frames read from the start of an accepted song; the end is read too.
constexpr uint32_t frames_read = 4096;

// Every claimed unpacked size is tried: the song size limit, and the
// fuzzer's memory limit behind it, keep a large claim bounded.
void read_song(std::span<const uint8_t> data) {
    song::song_state s;
    if (song::load_song_bytes(s, data) != song::header_outcome::ok) __builtin_trap();
    const auto outcome = song::read_header(s, song::output_rate);
    if (outcome == song::header_outcome::ok) {
        const auto total = static_cast<uint32_t>(s.frame_total);
        if (total == 0 || s.channel_count < 1 || s.channel_count > 8) __builtin_trap();
        if (s.image_size > song::max_song_bytes) __builtin_trap();
        for (uint32_t frame = 0; frame < total && frame < frames_read; ++frame) {
            s.frame_index.store(frame, std::memory_order_relaxed);
            song::read_frame(s);
        }
        // The last frame, past the end and the other layout's reader on the
        // same image.
        for (uint32_t frame : {total - 1, total, total + 1, s.loop_frame, 0xFFFFFFFFu}) {
            s.frame_index.store(frame, std::memory_order_relaxed);
            song::read_frame_interleaved(s);
            song::read_frame_planar(s);
        }
    }
    volatile size_t text_size = song::song_text(s).size();
    (void)text_size;
}

void unpack_raw(std::span<const uint8_t> data) {
    static std::vector<uint8_t> output(1u << 16);
    const auto written = song::aplib_unpack(data, output);
    if (written && *written > output.size()) __builtin_trap();
    // A smaller room must give the same bytes or fail.
    if (written && *written > 0) {
        std::vector<uint8_t> exact(*written);
        const auto again = song::aplib_unpack(data, exact);
        if (!again || *again != *written || std::memcmp(exact.data(), output.data(), *written) != 0) __builtin_trap();
    }
}

void round_trip(std::span<const uint8_t> data) {
    if (data.empty() || data.size() > max_round_trip) return;
    const auto stream = packer::aplib_pack(data);
    std::vector<uint8_t> output(data.size());
    const auto written = song::aplib_unpack(stream, output);
    if (!written || *written != data.size() || std::memcmp(output.data(), data.data(), data.size()) != 0)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> input(data, size);
    read_song(input);
    unpack_raw(input);
    round_trip(input);
    return 0;
}
