// Live playback through the SDL audio device, opened once per song. The
// device pulls its frames: SDL calls device_callback from its own thread,
// which runs the renderer and feeds the oscilloscope.
#pragma once

#include <cstdint>

#include "audio/output.hpp"

namespace audio {

// Opens the device for signed 16-bit little-endian stereo at the engine's
// sample rate, 2048 frames per callback buffer, playing the given engine
// instance, which must outlive the open device. SDL converts to whatever the
// hardware takes, so the callback always sees exactly this format. The
// device opens paused. False when it cannot be opened (SDL_GetError says why).
bool open_audio_device(synth::engine& e);

// Lets the device call the renderer from its own thread.
void start_audio();

// Pauses the device (true) or lets it go on (false). A paused device calls
// no renderer and plays silence, so playback resumes at the sample where
// it stopped.
void pause_audio(bool paused);

// Closes the device; once this returns no callback runs any more.
void close_audio_device();

// The device as an output for the engine: open opens it (paused; the
// destination is not used), finish and abort close it. It has no write: it
// pulls its frames.
output sdl_device_output(synth::engine& e);

// Fills len / 4 stereo frames of little-endian signed 16-bit samples from
// the renderer, and publishes the block's length and left samples for the
// oscilloscope (userdata is the engine instance).
void device_callback(void* userdata, uint8_t* stream, int len);

}  // namespace audio
