#include "audio/fade.hpp"

#include <algorithm>

namespace audio {
namespace {

int open_fade(void* state, const std::string& destination, const stream_format& format) {
    auto& f = *static_cast<fader*>(state);
    const synth::fade_window window = synth::fade_window_of(format.frames, f.fade_frames);
    f.fade_start = window.start;
    f.passed = 0;
    f.curve = synth::start_fade(window.frames);
    return f.next.open(f.next.state, destination, format);
}

int write_fade(void* state, std::span<const synth::stereo_frame> frames) {
    auto& f = *static_cast<fader*>(state);
    // Frames before the fade pass unchanged.
    if (f.passed < f.fade_start) {
        const auto count = static_cast<size_t>(std::min<uint64_t>(frames.size(), f.fade_start - f.passed));
        if (const int error = f.next.write(f.next.state, frames.first(count)); error != 0) return error;
        f.passed += count;
        frames = frames.subspan(count);
    }
    while (!frames.empty()) {
        const size_t count = std::min(frames.size(), f.faded.size());
        for (size_t i = 0; i < count; ++i) {
            const uint32_t gain = synth::next_fade_gain(f.curve);
            f.faded[i] = {synth::apply_gain(frames[i].left, gain), synth::apply_gain(frames[i].right, gain)};
        }
        if (const int error = f.next.write(f.next.state, std::span(f.faded).first(count)); error != 0) return error;
        f.passed += count;
        frames = frames.subspan(count);
    }
    return 0;
}

int finish_fade(void* state) {
    auto& f = *static_cast<fader*>(state);
    return f.next.finish(f.next.state);
}

void abort_fade(void* state) {
    auto& f = *static_cast<fader*>(state);
    f.next.abort(f.next.state);
}

}  // namespace

output fade_output(fader& f, const output& next, uint64_t fade_frames) {
    f.next = next;
    f.fade_frames = fade_frames;
    return {&f, open_fade, write_fade, finish_fade, abort_fade};
}

}  // namespace audio
