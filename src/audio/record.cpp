#include "audio/record.hpp"

#include <array>

#include "base/stop_signals.hpp"
#include "synth/published.hpp"

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

recording record_song(const output& out) {
    recording result;
    // song_ended is looked at only between blocks, so the block in which
    // the last tick raises it is rendered and written whole.
    while (!synth::song_ended.load(std::memory_order_relaxed)) {
        if ((result.stop_signal = stop_signals::received()) != 0) break;
        synth::render_frames(record_buffer);
        if ((result.error = out.write(out.state, record_buffer)) != 0) break;
        result.frames += record_buffer.size();
    }
    return result;
}

}  // namespace audio
