// Writes the seed corpus for fuzz_song: small songs of both layouts, plain
// and packed, and one raw stream. Usage: make_song_corpus DIRECTORY
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "aplib_pack.hpp"

namespace {

using bytes = std::vector<uint8_t>;

void put_le(bytes& out, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Frame data of slowly moving values, as a register dump would hold.
bytes frames(int channels, int frame_count) {
    bytes out;
    for (int i = 0; i < channels * frame_count * 6; ++i) out.push_back(static_cast<uint8_t>((i / 7) * 3 + (i % 6)));
    return out;
}

bytes song(const char* magic, uint8_t flags, uint16_t rate, uint32_t loop, const std::string& text,
           const bytes& body) {
    bytes out(magic, magic + 3);
    out.push_back(flags);
    put_le(out, rate, 2);
    put_le(out, loop, 4);
    put_le(out, static_cast<uint32_t>(text.size()), 2);
    const bool packed = (flags & 0x40) != 0;
    put_le(out, packed ? static_cast<uint32_t>(body.size()) : 0, 4);
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
        {"interleaved_3ch.tun", song("TQK", 0x13, 50, 0, "", frames(3, 10))},
        {"planar_2ch_text.tun", song("CQK", 0x02, 60, 3, "corpus", frames(2, 8))},
        {"packed_interleaved_1ch.tun", song("TQK", 0x51, 50, 5, "", frames(1, 20))},
        {"packed_planar_4ch_text.tun", song("CQK", 0x44, 50, 0, "packed planar", frames(4, 6))},
        {"interleaved_8ch_ignored_bits.tun", song("TQK", 0xB8, 7, 1, "x", frames(8, 2))},
        {"raw_stream.apl", {0x61, 0x29, 0x62, 0x63, 0x03, 0x30, 0x00}},
    };
    for (const auto& e : entries)
        if (!write(dir + "/" + e.name, e.data)) {
            std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), e.name);
            return 1;
        }
    return 0;
}
