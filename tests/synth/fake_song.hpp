// An in-memory song for synth tests: frames of channel records, a frame
// reader that copies them into the engine's song and a log of the frames
// read.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
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

// The engine instance under test, made anew by reset_engine.
inline std::unique_ptr<synth::engine>& engine_slot() {
    static std::unique_ptr<synth::engine> slot = std::make_unique<synth::engine>(song::output_rate);
    return slot;
}
inline synth::engine& engine() { return *engine_slot(); }

// Copies frame frame_index; leaves the records unchanged past the end.
inline void read_fake_frame(song::song_state& s) {
    const uint32_t index = s.frame_index.load();
    if (the_song.log_reads) {
        the_song.frames_read.push_back(index);
    }
    if (index >= the_song.frames.size()) {
        return;
    }
    for (int c = 0; c < s.channel_count; ++c) {
        s.channel_records[c] = the_song.frames[index][c];
    }
}

// Installs the frames as the engine's song, positioned at frame 0.
inline void install_song(std::vector<frame> frames, uint8_t channel_count, bool chip_variant = false,
                         uint32_t samples_per_frame = 960, uint16_t frame_rate = 50) {
    the_song.frames = std::move(frames);
    the_song.frames_read.clear();
    song::song_state& s = engine().song;
    s.channel_count = channel_count;
    s.chip_variant = chip_variant;
    s.frame_rate = frame_rate;
    s.samples_per_frame = samples_per_frame;
    s.frame_total = static_cast<int32_t>(the_song.frames.size());
    s.loop_frame = 0;
    s.frame_index.store(0);
    s.frame_reader = read_fake_frame;
}

inline song::channel_record record(uint16_t pitch, uint8_t pulse, uint8_t control, uint8_t volume, uint8_t filter) {
    return song::channel_record{pitch, pulse, control, volume, filter};
}

// Every test starts from a new engine instance: tables for the output rate, the
// start-up wave slots, every voice and flag in its start state, no song.
inline void reset_engine() {
    engine_slot() = std::make_unique<synth::engine>(song::output_rate);
    the_song = fake_song{};
}

}  // namespace synth_test
