#include "audio/wav_output.hpp"

#include <algorithm>
#include <cerrno>

#include "audio/wav_header.hpp"

namespace audio {
namespace {

int open_wav(void* state, const std::string& destination, const stream_format& format) {
    auto& w = *static_cast<wav_writer*>(state);
    w.sample_rate = format.sample_rate;
    w.announced_frames = format.frames;
    w.written_frames = 0;
    w.chunks = w.info_chunk ? info_chunk(format.tags) : std::vector<uint8_t>{};
    if (const int error = output_files::open_output(destination, w.file); error != 0) return error;
    return output_files::write_all(w.file, wav_header(w.sample_rate, w.announced_frames, w.chunks));
}

int write_wav(void* state, std::span<const synth::stereo_frame> frames) {
    auto& w = *static_cast<wav_writer*>(state);
    constexpr size_t frames_per_pass = std::tuple_size_v<decltype(w.bytes)> / bytes_per_frame;
    while (!frames.empty()) {
        const size_t count = std::min(frames.size(), frames_per_pass);
        for (size_t i = 0; i < count; ++i) put_frame(&w.bytes[bytes_per_frame * i], frames[i]);
        const int error =
            output_files::write_all(w.file, std::span<const uint8_t>(w.bytes.data(), bytes_per_frame * count));
        if (error != 0) return error;
        w.written_frames += count;
        frames = frames.subspan(count);
    }
    return 0;
}

int finish_wav(void* state) {
    auto& w = *static_cast<wav_writer*>(state);
    if (w.written_frames != w.announced_frames && output_files::can_patch(w.file)) {
        // The header keeps the form it was written in: the samples follow it.
        const bool rf64 = needs_rf64(w.announced_frames, w.chunks.size());
        int error = !rf64 && needs_rf64(w.written_frames, w.chunks.size()) ? EFBIG : 0;
        if (error == 0)
            error = output_files::write_at(w.file, 0, wav_header(w.sample_rate, w.written_frames, rf64, w.chunks));
        if (error != 0) {
            output_files::discard(w.file);
            return error;
        }
    }
    return output_files::commit(w.file);
}

void abort_wav(void* state) { output_files::discard(static_cast<wav_writer*>(state)->file); }

}  // namespace

output wav_output(wav_writer& writer) { return {&writer, open_wav, write_wav, finish_wav, abort_wav}; }

}  // namespace audio
