#include "stored_song.hpp"

#include <string>

#include "base/limits.hpp"
#include "song/aplib.hpp"
#include "song/aplib_pack.hpp"

namespace tuntool {
namespace {

using song::header_size;
using song::max_text_length;

void require_channel_count(unsigned channels) {
    if (channels < 1 || channels > 8)
        throw tool_error("channel count " + std::to_string(channels) + " is outside 1..8");
}

}  // namespace

stored_song parse_song_file(std::span<const uint8_t> bytes) {
    if (!song::has_song_magic(bytes)) throw tool_error("not a song file (no TQK or CQK magic)");
    if (bytes.size() < header_size) throw tool_error("not a song file (shorter than its 16-byte header)");
    const song::song_header header = song::header_fields(bytes);
    stored_song song;
    static_cast<song::song_header&>(song) = header;
    const size_t text_length = header.text_length;
    if (bytes.size() < header_size + text_length) throw tool_error("not a song file (shorter than its song text)");
    song.text.assign(bytes.begin() + header_size, bytes.begin() + header_size + text_length);
    song.body.assign(bytes.begin() + header_size + text_length, bytes.end());
    return song;
}

std::string unpacked_size_problem(std::span<const uint8_t> bytes) {
    if (!song::has_song_magic(bytes) || bytes.size() < header_size) return "";
    const song::song_header header = song::header_fields(bytes);
    if ((header.flags & flag_compressed) == 0 || header.unpacked_size <= limits::max_song_bytes) return "";
    return "its frame data claims to unpack to " + std::to_string(header.unpacked_size) +
           " bytes, more than any song holds (" + std::to_string(limits::max_song_bytes) + ")";
}

std::vector<uint8_t> song_file_bytes(const stored_song& song) {
    if (song.text.size() > max_text_length)
        throw tool_error("song text of " + std::to_string(song.text.size()) + " bytes is longer than " +
                         std::to_string(max_text_length));
    song::song_header header = song;
    header.text_length = static_cast<uint16_t>(song.text.size());
    std::vector<uint8_t> out;
    out.reserve(header_size + song.text.size() + song.body.size());
    song::put_header(out, header);
    out.insert(out.end(), song.text.begin(), song.text.end());
    out.insert(out.end(), song.body.begin(), song.body.end());
    return out;
}

std::vector<uint8_t> frame_data(const stored_song& song) {
    if (!song.compressed()) return song.body;
    if (song.unpacked_size == 0) throw tool_error("compressed song with an unpacked size of 0");
    if (song.unpacked_size > limits::max_song_bytes)
        throw tool_error("unpacked size of " + std::to_string(song.unpacked_size) +
                         " bytes, more than any song holds (" + std::to_string(limits::max_song_bytes) + ")");
    std::vector<uint8_t> data(song.unpacked_size);
    const auto written = song::aplib_unpack(song.body, data);
    if (!written) throw tool_error("compressed body is damaged");
    if (*written != song.unpacked_size)
        throw tool_error("compressed body unpacks to " + std::to_string(*written) + " bytes, the header says " +
                         std::to_string(song.unpacked_size));
    return data;
}

stored_song pack_song(const stored_song& song) {
    if (song.compressed()) throw tool_error("the song is already compressed");
    if (song.body.empty()) throw tool_error("the song has no frame data to compress");
    stored_song packed = song;
    packed.body = packer::aplib_pack(song.body);
    packed.flags = static_cast<uint8_t>(song.flags | flag_compressed);
    packed.unpacked_size = static_cast<uint32_t>(song.body.size());
    return packed;
}

stored_song unpack_song(const stored_song& song) {
    if (!song.compressed()) throw tool_error("the song is not compressed");
    stored_song unpacked = song;
    unpacked.body = frame_data(song);
    unpacked.flags = static_cast<uint8_t>(song.flags & ~flag_compressed);
    unpacked.unpacked_size = 0;
    return unpacked;
}

std::vector<uint8_t> interleaved_to_planar(std::span<const uint8_t> data, unsigned channels) {
    require_channel_count(channels);
    const size_t frame_size = song::record_size * channels, frames = data.size() / frame_size,
                 plane = channels * frames;
    std::vector<uint8_t> out(data.size());
    for (size_t f = 0; f < frames; ++f)
        for (size_t c = 0; c < channels; ++c)
            for (size_t k = 0; k < song::record_size; ++k)
                out[song::plane_of_record_byte[k] * plane + c * frames + f] =
                    data[f * frame_size + song::record_size * c + k];
    std::copy(data.begin() + frames * frame_size, data.end(), out.begin() + frames * frame_size);
    return out;
}

std::vector<uint8_t> planar_to_interleaved(std::span<const uint8_t> data, unsigned channels) {
    require_channel_count(channels);
    const size_t frame_size = song::record_size * channels, frames = data.size() / frame_size,
                 plane = channels * frames;
    std::vector<uint8_t> out(data.size());
    for (size_t f = 0; f < frames; ++f)
        for (size_t c = 0; c < channels; ++c)
            for (size_t k = 0; k < song::record_size; ++k)
                out[f * frame_size + song::record_size * c + k] =
                    data[song::plane_of_record_byte[k] * plane + c * frames + f];
    std::copy(data.begin() + frames * frame_size, data.end(), out.begin() + frames * frame_size);
    return out;
}

stored_song relayout_song(const stored_song& song, bool to_interleaved) {
    require_channel_count(song.channel_count());
    if (song.interleaved() == to_interleaved) return song;
    const std::vector<uint8_t> data = frame_data(song);
    stored_song out = song;
    out.body = to_interleaved ? planar_to_interleaved(data, song.channel_count())
                              : interleaved_to_planar(data, song.channel_count());
    out.flags = static_cast<uint8_t>(to_interleaved ? song.flags | flag_interleaved : song.flags & ~flag_interleaved);
    if (song.compressed()) {
        out.body = packer::aplib_pack(out.body);
        out.unpacked_size = static_cast<uint32_t>(data.size());
    }
    return out;
}

}  // namespace tuntool
