#include "audio/record.hpp"

#include <algorithm>
#include <array>

#include "base/stop_signals.hpp"
#include "synth/renderer.hpp"

namespace audio {

recording render_into(synth::engine& e, const output& out, uint64_t frames, block_listener listener) {
    std::array<synth::stereo_frame, synth::record_block_frames> buffer;
    recording result;
    while (result.frames < frames) {
        if ((result.stop_signal = stop_signals::received()) != 0) break;
        const auto count = static_cast<size_t>(std::min<uint64_t>(buffer.size(), frames - result.frames));
        const std::span<synth::stereo_frame> block(buffer.data(), count);
        synth::render_frames(e, block);
        if ((result.error = out.write(out.state, block)) != 0) break;
        result.frames += count;
        if (listener.heard != nullptr) listener.heard(listener.context, result.frames);
    }
    return result;
}

}  // namespace audio
