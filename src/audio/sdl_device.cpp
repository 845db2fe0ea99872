#include "audio/sdl_device.hpp"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "audio/frame_bytes.hpp"
#include "synth/engine.hpp"
#include "synth/renderer.hpp"

namespace audio {
namespace {

constexpr auto relaxed = std::memory_order_relaxed;

int open_device(void* state, const std::string&, const stream_format&) {
    return open_audio_device(*static_cast<synth::engine*>(state)) ? 0 : EIO;
}

int close_device(void*) {
    close_audio_device();
    return 0;
}

void abort_device(void*) { close_audio_device(); }

}  // namespace

void device_callback(void* userdata, uint8_t* stream, int len) {
    if (len < 4 || stream == nullptr || userdata == nullptr) return;
    synth::engine& e = *static_cast<synth::engine*>(userdata);
    // The renderer's frames before they become bytes.
    std::array<synth::stereo_frame, 2048> device_frames;
    const uint32_t frames = static_cast<uint32_t>(len) / bytes_per_frame;
    e.block_frames.store(frames, relaxed);
    for (uint32_t done = 0; done < frames;) {
        const uint32_t count = std::min<uint32_t>(frames - done, device_frames.size());
        synth::render_frames(e, std::span<synth::stereo_frame>(device_frames.data(), count));
        for (uint32_t k = 0; k < count; ++k) {
            put_frame(stream + bytes_per_frame * (done + k), device_frames[k]);
            if (done + k < synth::scope_length) e.scope_history[done + k].store(device_frames[k].left, relaxed);
        }
        done += count;
    }
}

bool open_audio_device(synth::engine& e) {
    SDL_AudioSpec desired{};
    desired.freq = static_cast<int>(e.sample_rate);
    desired.format = AUDIO_S16LSB;
    desired.channels = 2;
    desired.samples = 2048;
    desired.callback = device_callback;
    desired.userdata = &e;
    // No obtained format: SDL converts, so the callback's format is fixed.
    return SDL_OpenAudio(&desired, nullptr) >= 0;
}

void start_audio() { SDL_PauseAudio(0); }

void pause_audio(bool paused) { SDL_PauseAudio(paused ? 1 : 0); }

void close_audio_device() { SDL_CloseAudio(); }

output sdl_device_output(synth::engine& e) { return {&e, open_device, nullptr, close_device, abort_device}; }

}  // namespace audio
