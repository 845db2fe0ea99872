#include "audio/wav_header.hpp"

#include <string_view>

#include "base/little_endian.hpp"

namespace audio {
namespace {

void put_text(std::vector<uint8_t>& out, std::string_view four) {
    for (const char c : four) out.push_back(static_cast<uint8_t>(c));
}

void put_format_chunk(std::vector<uint8_t>& out, uint32_t sample_rate) {
    put_text(out, "fmt ");
    little_endian::put_u32(out, 16);
    little_endian::put_u16(out, 1);  // PCM
    little_endian::put_u16(out, 2);  // stereo
    little_endian::put_u32(out, sample_rate);
    little_endian::put_u32(out, sample_rate * bytes_per_frame);
    little_endian::put_u16(out, bytes_per_frame);
    little_endian::put_u16(out, 16);  // bits per sample
}

void put_info_text(std::vector<uint8_t>& out, std::string_view id, const std::string& text) {
    if (text.empty()) return;
    put_text(out, id);
    little_endian::put_u32(out, static_cast<uint32_t>(text.size() + 1));
    put_text(out, text);
    out.push_back(0);
    if (out.size() % 2 != 0) out.push_back(0);
}

}  // namespace

bool needs_rf64(uint64_t frames, uint64_t chunk_bytes) {
    return chunk_bytes > max_classic_data_bytes || frames > (max_classic_data_bytes - chunk_bytes) / bytes_per_frame;
}

std::vector<uint8_t> wav_header(uint32_t sample_rate, uint64_t frames, std::span<const uint8_t> chunks) {
    return wav_header(sample_rate, frames, needs_rf64(frames, chunks.size()), chunks);
}

std::vector<uint8_t> wav_header(uint32_t sample_rate, uint64_t frames, bool rf64, std::span<const uint8_t> chunks) {
    const uint64_t data_bytes = frames * bytes_per_frame;
    std::vector<uint8_t> out;
    out.reserve(80 + chunks.size());
    if (!rf64) {
        put_text(out, "RIFF");
        little_endian::put_u32(out, static_cast<uint32_t>(36 + chunks.size() + data_bytes));
        put_text(out, "WAVE");
        put_format_chunk(out, sample_rate);
        out.insert(out.end(), chunks.begin(), chunks.end());
        put_text(out, "data");
        little_endian::put_u32(out, static_cast<uint32_t>(data_bytes));
        return out;
    }
    constexpr uint64_t rf64_header_bytes = 80;
    put_text(out, "RF64");
    little_endian::put_u32(out, 0xFFFFFFFFu);
    put_text(out, "WAVE");
    put_text(out, "ds64");
    little_endian::put_u32(out, 28);
    little_endian::put_u64(out, rf64_header_bytes - 8 + chunks.size() + data_bytes);  // RIFF size
    little_endian::put_u64(out, data_bytes);
    little_endian::put_u64(out, frames);  // sample count
    little_endian::put_u32(out, 0);       // no table of other chunk sizes
    put_format_chunk(out, sample_rate);
    out.insert(out.end(), chunks.begin(), chunks.end());
    put_text(out, "data");
    little_endian::put_u32(out, 0xFFFFFFFFu);
    return out;
}

std::vector<uint8_t> info_chunk(const stream_tags& tags) {
    if (tags.empty()) return {};
    std::vector<uint8_t> out;
    put_text(out, "LIST");
    little_endian::put_u32(out, 0);  // the size, once known
    put_text(out, "INFO");
    put_info_text(out, "INAM", tags.title);
    put_info_text(out, "IART", tags.artist);
    put_info_text(out, "ICRD", tags.date);
    put_info_text(out, "ICMT", tags.comment);
    put_info_text(out, "ITRK", tags.track_number);
    const auto size = static_cast<uint32_t>(out.size() - 8);
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<uint8_t>(size >> 8 * i);
    return out;
}

}  // namespace audio
