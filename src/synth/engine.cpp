#include "synth/engine.hpp"

namespace synth {

engine::engine(uint32_t rate) : sample_rate(rate), shared(tables()), random(shared.random_after_noise) {
    build_pitch_table(pitch_table, rate);
    startup_wave_setup(*this);
}

uint32_t playing_frame(const engine& e) { return e.song.frame_index.load(std::memory_order_relaxed); }

void seek_to_frame(engine& e, uint32_t frame) { e.song.frame_index.store(frame, std::memory_order_relaxed); }

void end_song(engine& e) { e.song_ended.store(true, std::memory_order_relaxed); }

song::header_outcome start_song(engine& e) {
    const song::header_outcome outcome = song::read_header(e.song, e.sample_rate);
    if (outcome != song::header_outcome::ok) return outcome;
    e.song.frame_index.store(0, std::memory_order_relaxed);
    e.frame_countdown = 0;
    e.song_ended.store(false, std::memory_order_relaxed);
    e.kernel = kernel_for(e.song.channel_count, e.song.chip_variant);
    return outcome;
}

}  // namespace synth
