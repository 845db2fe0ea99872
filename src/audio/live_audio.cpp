#include "audio/live_audio.hpp"

#include <SDL.h>

#include "synth/synth.hpp"

namespace audio {

bool open_audio_device() {
    SDL_AudioSpec desired{};
    desired.freq = synth::sample_rate;
    desired.format = AUDIO_S16LSB;
    desired.channels = 2;
    desired.samples = 2048;
    desired.callback = synth::render_block;
    desired.userdata = nullptr;
    // No obtained format: SDL converts, so the callback's format is fixed.
    return SDL_OpenAudio(&desired, nullptr) >= 0;
}

void start_audio() { SDL_PauseAudio(0); }

void close_audio_device() { SDL_CloseAudio(); }

}  // namespace audio
