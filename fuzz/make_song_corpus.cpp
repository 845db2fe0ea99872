// Writes the seed corpus for fuzz_song: small songs of both layouts, plain
// and packed, and one raw stream. Usage: make_song_corpus DIRECTORY
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "song/aplib_pack.hpp"
#include "song/format.hpp"

namespace {

using bytes = std::vector<uint8_t>;

// Frame data of slowly moving values, as a register dump would hold.
bytes frames(int channels, int frame_count) {
    bytes out;
    for (int i = 0; i < channels * frame_count * 6; ++i) out.push_back(static_cast<uint8_t>((i / 7) * 3 + (i % 6)));
    return out;
}

bytes song_bytes(const std::array<uint8_t, 3>& magic, uint8_t flags, uint16_t rate, uint32_t loop,
                 const std::string& text, const bytes& body) {
    song::song_header header;
    header.magic = magic;
    header.flags = flags;
    header.frame_rate = rate;
    header.loop_frame = loop;
    header.text_length = static_cast<uint16_t>(text.size());
    const bool packed = (flags & song::flag_compressed) != 0;
    header.unpacked_size = packed ? static_cast<uint32_t>(body.size()) : 0;
    bytes out;
    song::put_header(out, header);
    out.insert(out.end(), text.begin(), text.end());
    const bytes stored = packed ? packer::aplib_pack(body) : body;
    out.insert(out.end(), stored.begin(), stored.end());
    return out;
}

bool write(const std::string& path, const bytes& data) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return out.good();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    struct entry {
        const char* name;
        bytes data;
    };
    const entry entries[] = {
        {"interleaved_3ch.tun", song_bytes(song::plain_magic, 0x13, 50, 0, "", frames(3, 10))},
        {"planar_2ch_text.tun", song_bytes(song::chip_magic, 0x02, 60, 3, "corpus", frames(2, 8))},
        {"packed_interleaved_1ch.tun", song_bytes(song::plain_magic, 0x51, 50, 5, "", frames(1, 20))},
        {"packed_planar_4ch_text.tun", song_bytes(song::chip_magic, 0x44, 50, 0, "packed planar", frames(4, 6))},
        {"interleaved_8ch_ignored_bits.tun", song_bytes(song::plain_magic, 0xB8, 7, 1, "x", frames(8, 2))},
        {"raw_stream.apl", {0x61, 0x29, 0x62, 0x63, 0x03, 0x30, 0x00}},
    };
    for (const auto& e : entries)
        if (!write(dir + "/" + e.name, e.data)) {
            std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), e.name);
            return 1;
        }
    return 0;
}
