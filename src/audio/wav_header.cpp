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

}  // namespace

bool needs_rf64(uint64_t frames) { return frames > max_classic_data_bytes / bytes_per_frame; }

std::vector<uint8_t> wav_header(uint32_t sample_rate, uint64_t frames) {
    return wav_header(sample_rate, frames, needs_rf64(frames));
}

std::vector<uint8_t> wav_header(uint32_t sample_rate, uint64_t frames, bool rf64) {
    const uint64_t data_bytes = frames * bytes_per_frame;
    std::vector<uint8_t> out;
    out.reserve(80);
    if (!rf64) {
        put_text(out, "RIFF");
        little_endian::put_u32(out, static_cast<uint32_t>(36 + data_bytes));
        put_text(out, "WAVE");
        put_format_chunk(out, sample_rate);
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
    little_endian::put_u64(out, rf64_header_bytes - 8 + data_bytes);  // RIFF size
    little_endian::put_u64(out, data_bytes);
    little_endian::put_u64(out, frames);  // sample count
    little_endian::put_u32(out, 0);       // no table of other chunk sizes
    put_format_chunk(out, sample_rate);
    put_text(out, "data");
    little_endian::put_u32(out, 0xFFFFFFFFu);
    return out;
}

}  // namespace audio
