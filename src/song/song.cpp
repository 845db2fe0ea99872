#include "song/song.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "base/fail.hpp"
#include "base/output_file.hpp"
#include "song/aplib.hpp"

namespace song {

song_state current;

namespace {

// An image buffer of the given size, or the end of the program when the
// memory cannot be had. The bytes are left uninitialised on purpose: an
// unpacked image can be gigabytes of address space of which a broken stream
// touches only a few pages.
std::unique_ptr<uint8_t[]> allocate_image(uint64_t size) {
    if (size > std::numeric_limits<uint32_t>::max()) failure::fail(failure::heap_overflow);
    auto* block = new (std::nothrow) uint8_t[static_cast<size_t>(size)];
    if (block == nullptr) failure::fail(failure::heap_overflow);
    return std::unique_ptr<uint8_t[]>(block);
}

// A new image has no header read yet: nothing derived from the previous
// song may let a frame reader or song_text() look into it.
void install_image(std::unique_ptr<uint8_t[]> image, uint32_t size) {
    current.image = std::move(image);
    current.image_size = size;
    current.text_length = 0;
    current.frame_total = 0;
    current.frame_reader = nullptr;
}

// Closes the descriptor and ends the program with the failure of the system
// error number taken before the close.
[[noreturn]] void fail_with_file_open(int fd, int error_number) {
    ::close(fd);
    failure::fail_system_error(error_number);
}

// Replaces the image with header, song text and the unpacked body. The image
// is replaced even when unpacking fails, so the song image size is D + U
// afterwards in every case.
bool unpack_body() {
    const uint32_t d = current.data_offset;
    const uint32_t u = current.unpacked_size;
    auto unpacked = allocate_image(static_cast<uint64_t>(d) + u);
    std::memcpy(unpacked.get(), current.image.get(), d);
    const std::span<const uint8_t> stream(current.image.get() + d, current.image_size - d);
    const auto written = aplib_unpack(stream, std::span<uint8_t>(unpacked.get() + d, u));
    current.image = std::move(unpacked);
    current.image_size = d + u;
    return written.has_value() && *written == u;
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
bool frame_in_range(uint32_t frame) {
    return current.frame_total > 0 && frame < static_cast<uint32_t>(current.frame_total);
}

}  // namespace

std::span<const uint8_t> song_text() {
    if (!current.image) return {};
    if (static_cast<uint32_t>(header_size) + current.text_length > current.image_size) return {};
    return {current.image.get() + header_size, current.text_length};
}

bool is_song_file(const std::string& file_name) {
    return has_song_magic(output_files::leading_bytes(file_name, plain_magic.size()));
}

void load_song(const std::string& file_name) {
    // The name is used whole, however long: a name the system cannot take
    // fails with the system's own error.
    const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) failure::fail_system_error(errno);

    struct stat status {};
    if (::fstat(fd, &status) != 0) fail_with_file_open(fd, errno);
    if (S_ISDIR(status.st_mode)) fail_with_file_open(fd, EISDIR);

    const uint64_t size = status.st_size < 0 ? 0 : static_cast<uint64_t>(status.st_size);
    release_song();
    if (size > std::numeric_limits<uint32_t>::max()) {
        ::close(fd);
        failure::fail(failure::heap_overflow);
    }
    auto image = allocate_image(size);

    // One read for the whole file; anything short of its size is a read error.
    const ssize_t got = ::read(fd, image.get(), static_cast<size_t>(size));
    if (got < 0) fail_with_file_open(fd, errno);
    if (static_cast<uint64_t>(got) != size) {
        ::close(fd);
        failure::fail(failure::disk_read_error);
    }
    if (::close(fd) != 0) failure::fail_system_error(errno);

    install_image(std::move(image), static_cast<uint32_t>(size));
}

void load_song_bytes(std::span<const uint8_t> bytes) {
    release_song();
    auto image = allocate_image(bytes.size());
    if (!bytes.empty()) std::memcpy(image.get(), bytes.data(), bytes.size());
    install_image(std::move(image), static_cast<uint32_t>(bytes.size()));
}

header_outcome read_header(uint32_t sample_rate) {
    // Until the end, the image has no frames to read.
    current.frame_total = 0;

    // An image without a whole header cannot even hold the magic and sizes.
    if (!current.image || current.image_size < header_size) return header_outcome::not_a_song_file;
    const uint8_t* header = current.image.get();

    std::memcpy(current.header_copy.data(), header, current.header_copy.size());
    const std::span<const uint8_t> header_bytes(header, header_size);
    if (!has_song_magic(header_bytes)) return header_outcome::not_a_song_file;
    const song_header fields = header_fields(header_bytes);
    current.chip_variant = fields.chip_variant();

    // The data offset is a 16-bit value, and the text must lie inside the file.
    const uint32_t text_length = fields.text_length;
    if (text_length > max_text_length) return header_outcome::not_a_song_file;
    if (header_size + text_length > current.image_size) return header_outcome::not_a_song_file;
    current.frame_rate = fields.frame_rate;
    current.loop_frame = fields.loop_frame;
    current.text_length = fields.text_length;
    current.unpacked_size = fields.unpacked_size;
    current.data_offset = static_cast<uint16_t>(header_size + text_length);

    const uint8_t flags = fields.flags;
    current.frame_reader = (flags & flag_interleaved) ? read_frame_interleaved : read_frame_planar;

    if (flags & flag_compressed) {
        if (current.unpacked_size == 0) return header_outcome::compressed_data_invalid;
        if (!unpack_body()) return header_outcome::decompression_failed;
    }

    const uint8_t n = flags & flag_channel_mask;
    current.channel_count = n;
    current.frame_size = static_cast<uint8_t>(record_size * n);
    if (static_cast<uint8_t>(n - 1) > 7) return header_outcome::channel_count_invalid;

    // A song without a frame rate has no frame length.
    if (current.frame_rate == 0) return header_outcome::not_a_song_file;
    current.samples_per_frame = sample_rate / current.frame_rate;

    const int64_t body = static_cast<int64_t>(current.image_size) - current.data_offset;
    const auto frame_total = static_cast<int32_t>(body / current.frame_size);
    // A song without a single whole frame has nothing to play and no end.
    if (frame_total <= 0) return header_outcome::not_a_song_file;
    current.frame_total = frame_total;
    return header_outcome::ok;
}

void read_frame_interleaved() {
    const uint32_t frame = current.frame_index.load(std::memory_order_relaxed);
    if (!frame_in_range(frame)) return;
    const uint8_t* p = current.image.get() + current.data_offset + static_cast<size_t>(frame) * current.frame_size;
    for (uint8_t c = 0; c < current.channel_count; ++c, p += 6) copy_record(p, current.channel_records[c]);
}

void read_frame_planar() {
    const uint32_t frame = current.frame_index.load(std::memory_order_relaxed);
    if (!frame_in_range(frame)) return;
    const size_t frames = static_cast<size_t>(current.frame_total);
    const size_t plane = current.channel_count * frames;
    const uint8_t* image = current.image.get();
    for (uint8_t c = 0; c < current.channel_count; ++c) {
        const size_t q = current.data_offset + c * frames + frame;
        uint8_t record[record_size];
        for (size_t k = 0; k < record_size; ++k) record[k] = image[q + plane_of_record_byte[k] * plane];
        copy_record(record, current.channel_records[c]);
    }
}

void read_frame() {
    if (current.frame_reader != nullptr) current.frame_reader();
}

void release_song() {
    current.image.reset();
    current.image_size = 0;
    current.text_length = 0;
    current.frame_total = 0;
    current.frame_reader = nullptr;
}

void reset_song_state() {
    release_song();
    current.header_copy = {};
    current.chip_variant = false;
    current.frame_rate = 50;
    current.loop_frame = 0;
    current.unpacked_size = 0;
    current.data_offset = header_size;
    current.channel_count = 0;
    current.frame_size = 0;
    current.samples_per_frame = 0;
    current.frame_index.store(0, std::memory_order_relaxed);
    current.channel_records = {};
}

}  // namespace song
