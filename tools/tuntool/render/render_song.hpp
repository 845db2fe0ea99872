// Rendering one song into its outputs: the work of one render job, run in a
// process of its own. Every output has an engine instance of its own,
// started at the song's start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "progress_line.hpp"
#include "render_options.hpp"

namespace tuntool {

// What a job renders: the song, and either one output for the mix or one
// per voice (stems) with the voice each holds.
struct song_job {
    std::string song;
    std::vector<std::string> outputs;
    bool stems = false;
    std::vector<int> stem_voices;  // with stems: the 0-based voice of each output
    audio_format format = audio_format::wav;
};

// What shapes every song of a render: length, fade and voices.
struct render_settings {
    uint32_t loops = 0;
    uint64_t length_frames = 0;
    uint64_t fade_frames = 0;
    uint8_t muted = 0;      // voices silenced in the mix
    uint8_t soloed = 0;     // when not 0, only these voices sound
    bool wav_tags = false;  // WAV files carry the song's tags (FLAC files always do)
};

// Whether voice (0-based) sounds in the mix the settings ask for.
bool voice_sounds(const render_settings& settings, int voice);

// Renders the job and returns its exit status: 0, 1 after a problem
// (written as one line on standard error, without the song's name), or
// 128 + the signal number after SIGINT or SIGTERM (with the stop signals
// installed in their orderly form, base/stop_signals.hpp). Reports progress on
// progress_fd unless it is -1. Every output is replaced only when it is
// complete; an output abandoned by a problem or a signal leaves nothing.
int render_song(const song_job& job, const render_settings& settings, int progress_fd);

}  // namespace tuntool
