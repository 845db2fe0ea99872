#include "audio/flac_output.hpp"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

namespace audio {
namespace {

constexpr unsigned compression_level = 5;
// The largest length the stream header can state (36 bits); a longer
// stream states none.
constexpr uint64_t max_announced_frames = (uint64_t{1} << 36) - 1;

FLAC__StreamEncoder* encoder_of(flac_writer& w) { return static_cast<FLAC__StreamEncoder*>(w.encoder); }

FLAC__StreamEncoderWriteStatus write_bytes(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                           uint32_t, uint32_t, void* client) {
    auto& w = *static_cast<flac_writer*>(client);
    if (w.discarding) return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    if (w.error == 0) w.error = output_files::write_all(w.file, std::span<const uint8_t>(buffer, bytes));
    return w.error == 0 ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
}

// Only a file being written through its temporary file is seeked.
FLAC__StreamEncoderSeekStatus seek_to(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* client) {
    auto& w = *static_cast<flac_writer*>(client);
    if (w.discarding || !output_files::can_patch(w.file)) return FLAC__STREAM_ENCODER_SEEK_STATUS_UNSUPPORTED;
    if (::lseek(w.file.fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        if (w.error == 0) w.error = errno;
        return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
    }
    return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
}

FLAC__StreamEncoderTellStatus tell(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* client) {
    auto& w = *static_cast<flac_writer*>(client);
    if (w.discarding || !output_files::can_patch(w.file)) return FLAC__STREAM_ENCODER_TELL_STATUS_UNSUPPORTED;
    const off_t at = ::lseek(w.file.fd, 0, SEEK_CUR);
    if (at < 0) return FLAC__STREAM_ENCODER_TELL_STATUS_ERROR;
    *offset = static_cast<FLAC__uint64>(at);
    return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

void delete_encoder(flac_writer& w) {
    if (w.encoder != nullptr) FLAC__stream_encoder_delete(encoder_of(w));
    w.encoder = nullptr;
    if (w.comments != nullptr) FLAC__metadata_object_delete(static_cast<FLAC__StreamMetadata*>(w.comments));
    w.comments = nullptr;
}

// A Vorbis comment block with the tags that are not empty; null without tags.
FLAC__StreamMetadata* comment_block(const stream_tags& tags) {
    if (tags.empty()) return nullptr;
    FLAC__StreamMetadata* block = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    if (block == nullptr) return nullptr;
    const std::pair<const char*, const std::string*> fields[] = {
        {"TITLE", &tags.title}, {"ARTIST", &tags.artist}, {"DATE", &tags.date}, {"COMMENT", &tags.comment},
        {"TRACKNUMBER", &tags.track_number}};
    for (const auto& [name, value] : fields) {
        if (value->empty()) continue;
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name, value->c_str())) {
            FLAC__metadata_object_delete(block);
            return nullptr;
        }
        // The entry's bytes pass to the block (copy = false) when it takes them.
        if (!FLAC__metadata_object_vorbiscomment_append_comment(block, entry, false)) {
            std::free(entry.entry);
            FLAC__metadata_object_delete(block);
            return nullptr;
        }
    }
    return block;
}

int open_flac(void* state, const std::string& destination, const stream_format& format) {
    auto& w = *static_cast<flac_writer*>(state);
    w.error = 0;
    w.discarding = false;
    if (const int error = output_files::open_output(destination, w.file); error != 0) return error;
    FLAC__StreamEncoder* encoder = FLAC__stream_encoder_new();
    if (encoder == nullptr) return ENOMEM;
    w.encoder = encoder;
    bool set = FLAC__stream_encoder_set_channels(encoder, 2);
    set = set && FLAC__stream_encoder_set_bits_per_sample(encoder, 16);
    set = set && FLAC__stream_encoder_set_sample_rate(encoder, format.sample_rate);
    set = set && FLAC__stream_encoder_set_compression_level(encoder, compression_level);
    set = set && FLAC__stream_encoder_set_total_samples_estimate(
                     encoder, format.frames <= max_announced_frames ? format.frames : 0);
    if (!format.tags.empty()) {
        FLAC__StreamMetadata* block = comment_block(format.tags);
        if (block == nullptr) return ENOMEM;
        w.comments = block;
        set = set && FLAC__stream_encoder_set_metadata(encoder, &block, 1);
    }
    if (!set) return EINVAL;
    const FLAC__StreamEncoderInitStatus status =
        FLAC__stream_encoder_init_stream(encoder, write_bytes, seek_to, tell, nullptr, &w);
    if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) return w.error != 0 ? w.error : EINVAL;
    return 0;
}

int write_flac(void* state, std::span<const synth::stereo_frame> frames) {
    auto& w = *static_cast<flac_writer*>(state);
    while (!frames.empty()) {
        const size_t count = std::min(frames.size(), flac_pass_frames);
        for (size_t i = 0; i < count; ++i) {
            w.samples[2 * i] = frames[i].left;
            w.samples[2 * i + 1] = frames[i].right;
        }
        if (!FLAC__stream_encoder_process_interleaved(encoder_of(w), w.samples.data(), static_cast<uint32_t>(count)))
            return w.error != 0 ? w.error : EIO;
        frames = frames.subspan(count);
    }
    return 0;
}

int finish_flac(void* state) {
    auto& w = *static_cast<flac_writer*>(state);
    const bool finished = FLAC__stream_encoder_finish(encoder_of(w));
    delete_encoder(w);
    if (!finished || w.error != 0) {
        const int error = w.error != 0 ? w.error : EIO;
        output_files::discard(w.file);
        return error;
    }
    return output_files::commit(w.file);
}

void abort_flac(void* state) {
    auto& w = *static_cast<flac_writer*>(state);
    // Deleting an encoder finishes it: what it still has goes nowhere.
    w.discarding = true;
    delete_encoder(w);
    output_files::discard(w.file);
}

}  // namespace

output flac_output(flac_writer& writer) { return {&writer, open_flac, write_flac, finish_flac, abort_flac}; }

}  // namespace audio
