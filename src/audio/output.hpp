// Outputs: where rendered sound goes. Every kind of output (a WAV file or
// stream, the audio device, and whatever else takes frames) is one small
// record of functions over its own state, so the loops that render a song
// do not care where the frames end up:
//
//   open    prepares the destination for a stream of frames;
//   write   takes the next frames (null for an output that pulls its frames
//           from the renderer itself, as the audio device does);
//   finish  completes the output (a file takes its final name only now);
//   abort   abandons it and leaves nothing behind.
//
// Each returns 0 or the system error number of the failure.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "song/channel_record.hpp"
#include "synth/renderer.hpp"

namespace audio {

// What a file says about its song, as UTF-8; empty fields are left out.
// Either the song's title, artist and date, or a comment holding the whole
// song text when it does not say which is which.
struct stream_tags {
    std::string title;
    std::string artist;
    std::string date;
    std::string comment;
    std::string track_number;  // a stem's voice, 1 for the first

    bool empty() const {
        return title.empty() && artist.empty() && date.empty() && comment.empty() && track_number.empty();
    }
};

struct stream_format {
    uint32_t sample_rate = song::output_rate;
    // The frames that will be written. A stream that cannot be patched
    // afterwards announces this length in its header.
    uint64_t frames = 0;
    // Written by the outputs that carry tags (FLAC; WAV when asked to).
    stream_tags tags;
};

struct output {
    void* state = nullptr;
    int (*open)(void* state, const std::string& destination, const stream_format& format) = nullptr;
    int (*write)(void* state, std::span<const synth::stereo_frame> frames) = nullptr;
    int (*finish)(void* state) = nullptr;
    void (*abort)(void* state) = nullptr;
};

}  // namespace audio
