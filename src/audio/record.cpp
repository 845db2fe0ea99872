#include "audio/record.hpp"

#include <algorithm>
#include <array>

#include "base/stop_signals.hpp"
#include "synth/renderer.hpp"

namespace audio {

recording render_into(std::span<const engine_output> targets, uint64_t frames, block_listener listener) {
    std::array<synth::stereo_frame, synth::record_block_frames> buffer;
    recording result;
    while (result.frames < frames) {
        if ((result.stop_signal = stop_signals::received()) != 0) break;
        const auto count = static_cast<size_t>(std::min<uint64_t>(buffer.size(), frames - result.frames));
        const std::span<synth::stereo_frame> block(buffer.data(), count);
        for (size_t k = 0; k < targets.size(); ++k) {
            synth::render_frames(*targets[k].engine, block);
            if ((result.error = targets[k].out.write(targets[k].out.state, block)) != 0) {
                result.failed = k;
                return result;
            }
        }
        result.frames += count;
        if (listener.heard != nullptr) listener.heard(listener.context, result.frames);
    }
    return result;
}

}  // namespace audio
