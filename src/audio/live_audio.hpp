// Live playback: the SDL audio device, opened once per song with the render
// block as its callback.
#pragma once

namespace audio {

// Opens the device for signed 16-bit little-endian stereo at the engine's
// sample rate, 2048 frames per callback buffer. SDL converts to whatever the
// hardware takes, so the render block always sees exactly this format. The
// device opens paused. False when it cannot be opened (SDL_GetError says why).
bool open_audio_device();

// Lets the device call the render block from its own thread.
void start_audio();

// Closes the device; once this returns no callback runs any more.
void close_audio_device();

}  // namespace audio
