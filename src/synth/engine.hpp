// The engine instance: everything one song needs while it plays, from the
// song image and position through the voices and wave slots to what it
// publishes for the screens. Instances share nothing but the read-only
// tables, so any number of songs play at once, in any threads, each exactly
// as it would alone.
//
// Threads: one thread renders (render_frames, frame_tick, mix_voices); the
// fields marked as controls may be changed from one other thread while it
// does, and the published fields read from it; both are atomics that the
// rendering thread never waits for. Everything else belongs to whichever
// thread renders.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <random>

#include "song/song.hpp"
#include "synth/frame_tick.hpp"
#include "synth/lane_mixer.hpp"
#include "synth/mixer.hpp"
#include "synth/published.hpp"
#include "synth/tables.hpp"
#include "synth/waves.hpp"

namespace synth {

struct engine {
    // A new instance: no song, every voice and flag in its start state, the
    // start-up wave slots built, tables for the given output rate.
    explicit engine(uint32_t rate = song::output_rate);
    engine(const engine&) = delete;
    engine& operator=(const engine&) = delete;

    uint32_t sample_rate;
    pitch_table_type pitch_table;
    const shared_tables& shared;

    song::song_state song;
    voice_bank voices{};
    // Samples left in the current song frame; a tick runs when it reaches 0.
    uint16_t frame_countdown = 0;
    // How the mixer runs the voices (set before rendering, never while);
    // start_song picks the one for the song (kernel_for).
    mixer_kernel kernel = mixer_kernel::one_at_a_time;
    // The side-by-side kernels' wave rows, kept from block to block.
    lane_mix::wave_rows lane_rows;

    // ---- controls ----
    // When set, the song repeats from its loop frame instead of ending.
    std::atomic<bool> loop_enabled{false};
    // A muted voice keeps running (its partners still follow it) but is
    // silent: the tick gives it volume 0.
    std::array<std::atomic<bool>, max_voices> voice_muted{};
    // Folds mirrored pulse widths onto one value in the frame tick.
    std::atomic<bool> pulse_fold{false};
    // The wave slots and the slot the editing operations act on.
    std::array<wave_slot, wave_slot_count> wave_slots;
    uint8_t selected_slot = 0;
    // The random stream of the wave editor.
    std::mt19937 random;

    // ---- published ----
    std::array<shown_record, max_voices> shown_records;
    std::array<shown_voice, max_voices> shown_voices;
    // Song time in units of 1/300000 s, advanced by every frame tick.
    std::atomic<uint32_t> play_time{0};
    // Raised by the frame tick after the last frame of a song that does not
    // repeat, and by end_song.
    std::atomic<bool> song_ended{false};
    // The oscilloscope's source, filled by whoever takes the frames: the
    // frames of the latest block and the left sample of each of them.
    std::atomic<uint32_t> block_frames{2048};
    std::array<std::atomic<int16_t>, scope_length> scope_history{};
};

// The frame the song position stands at: the next one the tick reads.
uint32_t playing_frame(const engine& e);

// Moves the song position; a tick that runs at the same moment may win.
void seek_to_frame(engine& e, uint32_t frame);

// Ends playback at the next pass of the screen loop (the quit key).
void end_song(engine& e);

// Takes the song image in `e.song` (loaded by the caller) and reads its
// header for the engine's rate; on success the song stands at its first
// frame, the next sample starts a new frame, and the engine has the mixer
// kernel for the song's voice count and variant (kernel_for, which may take
// a measurement once per process).
song::header_outcome start_song(engine& e);

}  // namespace synth
