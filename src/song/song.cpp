#include "song/song.hpp"

#include <cstring>
#include <new>

#include "song/aplib.hpp"

namespace song {

namespace {

// Replaces the image with header, song text and the unpacked body. The image
// is replaced even when unpacking fails, so the song image size is D + U
// afterwards in every case.
header_outcome unpack_body(song_state& s) {
    const uint32_t d = s.data_offset;
    const uint32_t u = s.unpacked_size;
    if (static_cast<uint64_t>(d) + u > max_song_bytes) return header_outcome::too_large;
    auto unpacked = allocate_image(static_cast<uint64_t>(d) + u);
    if (!unpacked) return header_outcome::out_of_memory;
    std::memcpy(unpacked.get(), s.image.get(), d);
    const std::span<const uint8_t> stream(s.image.get() + d, s.image_size - d);
    const auto written = aplib_unpack(stream, std::span<uint8_t>(unpacked.get() + d, u));
    s.image = std::move(unpacked);
    s.image_size = d + u;
    return written.has_value() && *written == u ? header_outcome::ok : header_outcome::decompression_failed;
}

void copy_record(const uint8_t* p, channel_record& record) {
    record.pitch = static_cast<uint16_t>(p[0] | p[1] << 8);
    record.pulse = p[2];
    record.control = p[3];
    record.volume = p[4];
    record.filter = p[5];
}

// The frame about to be read, or nothing when it lies outside the body: the
// records then keep their values.
bool frame_in_range(const song_state& s, uint32_t frame) {
    return s.frame_total > 0 && frame < static_cast<uint32_t>(s.frame_total);
}

}  // namespace

// The bytes are left uninitialised on purpose: an unpacked image can be
// hundreds of megabytes of address space of which a broken stream touches
// only a few pages.
std::unique_ptr<uint8_t[]> allocate_image(uint64_t size) {
    if (size > max_song_bytes) return nullptr;
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[static_cast<size_t>(size)]);
}

// A new image has no header read yet: nothing derived from the previous
// song may let a frame reader or song_text() look into it.
void install_image(song_state& s, std::unique_ptr<uint8_t[]> image, uint32_t size) {
    s.image = std::move(image);
    s.image_size = s.image ? size : 0;
    s.text_length = 0;
    s.frame_total = 0;
    s.frame_reader = nullptr;
}

std::span<const uint8_t> song_text(const song_state& s) {
    if (!s.image) return {};
    if (static_cast<uint32_t>(header_size) + s.text_length > s.image_size) return {};
    return {s.image.get() + header_size, s.text_length};
}

header_outcome load_song_bytes(song_state& s, std::span<const uint8_t> bytes) {
    release_song(s);
    if (bytes.size() > max_song_bytes) return header_outcome::too_large;
    auto image = allocate_image(bytes.size());
    if (!image) return header_outcome::out_of_memory;
    if (!bytes.empty()) std::memcpy(image.get(), bytes.data(), bytes.size());
    install_image(s, std::move(image), static_cast<uint32_t>(bytes.size()));
    return header_outcome::ok;
}

header_outcome read_header(song_state& s, uint32_t sample_rate) {
    // Until the end, the image has no frames to read.
    s.frame_total = 0;

    // An image without a whole header cannot even hold the magic and sizes.
    if (!s.image || s.image_size < header_size) return header_outcome::not_a_song_file;
    const uint8_t* header = s.image.get();

    std::memcpy(s.header_copy.data(), header, s.header_copy.size());
    const std::span<const uint8_t> header_bytes(header, header_size);
    if (!has_song_magic(header_bytes)) return header_outcome::not_a_song_file;
    const song_header fields = header_fields(header_bytes);
    s.chip_variant = fields.chip_variant();

    // The data offset is a 16-bit value, and the text must lie inside the file.
    const uint32_t text_length = fields.text_length;
    if (text_length > max_text_length) return header_outcome::not_a_song_file;
    if (header_size + text_length > s.image_size) return header_outcome::not_a_song_file;
    s.frame_rate = fields.frame_rate;
    s.loop_frame = fields.loop_frame;
    s.text_length = fields.text_length;
    s.unpacked_size = fields.unpacked_size;
    s.data_offset = static_cast<uint16_t>(header_size + text_length);

    const uint8_t flags = fields.flags;
    s.frame_reader = (flags & flag_interleaved) ? read_frame_interleaved : read_frame_planar;

    if (flags & flag_compressed) {
        if (s.unpacked_size == 0) return header_outcome::compressed_data_invalid;
        if (const header_outcome unpacked = unpack_body(s); unpacked != header_outcome::ok) return unpacked;
    }

    const uint8_t n = flags & flag_channel_mask;
    s.channel_count = n;
    s.frame_size = static_cast<uint8_t>(record_size * n);
    if (static_cast<uint8_t>(n - 1) > 7) return header_outcome::channel_count_invalid;

    // A song without a frame rate has no frame length.
    if (s.frame_rate == 0) return header_outcome::not_a_song_file;
    s.samples_per_frame = sample_rate / s.frame_rate;

    const int64_t body = static_cast<int64_t>(s.image_size) - s.data_offset;
    const auto frame_total = static_cast<int32_t>(body / s.frame_size);
    // A song without a single whole frame has nothing to play and no end.
    if (frame_total <= 0) return header_outcome::not_a_song_file;
    s.frame_total = frame_total;
    return header_outcome::ok;
}

void read_frame_interleaved(song_state& s) {
    const uint32_t frame = s.frame_index.load(std::memory_order_relaxed);
    if (!frame_in_range(s, frame)) return;
    const uint8_t* p = s.image.get() + s.data_offset + static_cast<size_t>(frame) * s.frame_size;
    for (uint8_t c = 0; c < s.channel_count; ++c, p += 6) copy_record(p, s.channel_records[c]);
}

void read_frame_planar(song_state& s) {
    const uint32_t frame = s.frame_index.load(std::memory_order_relaxed);
    if (!frame_in_range(s, frame)) return;
    const size_t frames = static_cast<size_t>(s.frame_total);
    const size_t plane = s.channel_count * frames;
    const uint8_t* image = s.image.get();
    for (uint8_t c = 0; c < s.channel_count; ++c) {
        const size_t q = s.data_offset + c * frames + frame;
        uint8_t record[record_size];
        for (size_t k = 0; k < record_size; ++k) record[k] = image[q + plane_of_record_byte[k] * plane];
        copy_record(record, s.channel_records[c]);
    }
}

void read_frame(song_state& s) {
    if (s.frame_reader != nullptr) s.frame_reader(s);
}

void release_song(song_state& s) {
    s.image.reset();
    s.image_size = 0;
    s.text_length = 0;
    s.frame_total = 0;
    s.frame_reader = nullptr;
}

}  // namespace song
