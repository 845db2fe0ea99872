#include "audio/record.hpp"

#include <algorithm>
#include <array>

#include "base/stop_signals.hpp"

namespace audio {
namespace {

std::array<synth::stereo_frame, record_block_frames> record_buffer;

}  // namespace

uint64_t recording_frames(uint32_t frame_total, uint32_t samples_per_frame) {
    // A frame shorter than one sample still lasts one sample.
    const uint64_t frame_length = samples_per_frame == 0 ? 1 : samples_per_frame;
    const uint64_t last_tick = (frame_total == 0 ? 0 : frame_total - 1) * frame_length;
    return (last_tick / record_block_frames + 1) * record_block_frames;
}

recording render_into(const output& out, uint64_t frames, block_listener listener) {
    recording result;
    while (result.frames < frames) {
        if ((result.stop_signal = stop_signals::received()) != 0) break;
        const auto count = static_cast<size_t>(std::min<uint64_t>(record_buffer.size(), frames - result.frames));
        const std::span<synth::stereo_frame> block(record_buffer.data(), count);
        synth::render_frames(block);
        if ((result.error = out.write(out.state, block)) != 0) break;
        result.frames += count;
        if (listener.heard != nullptr) listener.heard(listener.context, result.frames);
    }
    return result;
}

}  // namespace audio
