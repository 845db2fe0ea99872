#include "song/format.hpp"

#include "base/little_endian.hpp"

namespace song {

bool has_song_magic(std::span<const uint8_t> bytes) {
    if (bytes.size() < plain_magic.size()) return false;
    const bool variant_letter = bytes[0] == plain_magic[0] || bytes[0] == chip_magic[0];
    return variant_letter && bytes[1] == plain_magic[1] && bytes[2] == plain_magic[2];
}

song_header header_fields(std::span<const uint8_t> bytes) {
    song_header header;
    header.magic = {bytes[0], bytes[1], bytes[2]};
    header.flags = bytes[flags_offset];
    header.frame_rate = little_endian::get_u16(bytes, frame_rate_offset);
    header.loop_frame = little_endian::get_u32(bytes, loop_frame_offset);
    header.text_length = little_endian::get_u16(bytes, text_length_offset);
    header.unpacked_size = little_endian::get_u32(bytes, unpacked_size_offset);
    return header;
}

void put_header(std::vector<uint8_t>& out, const song_header& header) {
    out.insert(out.end(), header.magic.begin(), header.magic.end());
    out.push_back(header.flags);
    little_endian::put_u16(out, header.frame_rate);
    little_endian::put_u32(out, header.loop_frame);
    little_endian::put_u16(out, header.text_length);
    little_endian::put_u32(out, header.unpacked_size);
}

void put_record(std::vector<uint8_t>& out, uint16_t pitch, uint8_t pulse, uint8_t control, uint8_t volume,
                uint8_t filter) {
    little_endian::put_u16(out, pitch);
    out.push_back(pulse);
    out.push_back(control);
    out.push_back(volume);
    out.push_back(filter);
}

const char* song_error_message(header_outcome outcome) {
    switch (outcome) {
        case header_outcome::not_a_song_file: return "?No SID-DUMP file  ERROR";
        case header_outcome::compressed_data_invalid: return "?Compressed Data  ERROR";
        case header_outcome::decompression_failed: return "?Decompression  ERROR";
        case header_outcome::channel_count_invalid: return "?Channel count  ERROR";
        case header_outcome::too_large: return "?Song too large  ERROR";
        case header_outcome::out_of_memory: return "?Out of memory  ERROR";
        case header_outcome::ok: break;
    }
    return "";
}

}  // namespace song
