// An in-memory song for synth tests: frames of channel records, a frame
// reader that copies them into song::current and a log of the frames read.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "song/song.hpp"
#include "synth/synth.hpp"

namespace synth_test {

using frame = std::array<song::channel_record, song::max_channels>;

struct fake_song {
    std::vector<frame> frames;
    std::vector<uint32_t> frames_read;
    bool log_reads = true;
};

inline fake_song the_song;

// Copies frame frame_index; leaves the records unchanged past the end.
inline void read_fake_frame()
{
    const uint32_t index = song::current.frame_index.load();
    if (the_song.log_reads) {
        the_song.frames_read.push_back(index);
    }
    if (index >= the_song.frames.size()) {
        return;
    }
    for (int c = 0; c < song::current.channel_count; ++c) {
        song::current.channel_records[c] = the_song.frames[index][c];
    }
}

// Installs the frames as the current song, positioned at frame 0.
inline void install_song(std::vector<frame> frames, uint8_t channel_count, bool chip_variant = false,
                         uint32_t samples_per_frame = 960, uint16_t frame_rate = 50)
{
    the_song.frames = std::move(frames);
    the_song.frames_read.clear();
    song::current.channel_count = channel_count;
    song::current.chip_variant = chip_variant;
    song::current.frame_rate = frame_rate;
    song::current.samples_per_frame = samples_per_frame;
    song::current.frame_total = static_cast<int32_t>(the_song.frames.size());
    song::current.loop_frame = 0;
    song::current.frame_index.store(0);
    song::current.frame_reader = read_fake_frame;
}

inline song::channel_record record(uint16_t pitch, uint8_t pulse, uint8_t control, uint8_t volume,
                                   uint8_t filter)
{
    return song::channel_record{pitch, pulse, control, volume, filter};
}

// Every test starts from the start state of the song and synth modules, with
// the tables built for 48000 Hz and the start-up wave slots.
inline void reset_engine()
{
    song::reset_song_state();
    synth::initialise_synth_tables();
    synth::set_sample_rate(48000);
    synth::reset_synth_state();
    synth::startup_wave_setup();
    the_song = fake_song{};
}

}  // namespace synth_test
