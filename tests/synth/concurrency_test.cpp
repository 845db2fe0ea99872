// The audio thread renders while the screen thread edits waves, mutes voices,
// seeks and reads the displayed values; run under ThreadSanitizer this shows
// that the shared values are race-free.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "fake_song.hpp"

namespace {

void render_while_screen_edits_and_reads(uint8_t channels, synth::mixer_kernel kernel) {
    synth_test::reset_engine();
    synth_test::engine().kernel = kernel;
    std::vector<synth_test::frame> frames(100);
    for (size_t k = 0; k < frames.size(); ++k) {
        for (int c = 0; c < channels; ++c) {
            frames[k][c] = synth_test::record(static_cast<uint16_t>(0x0300 + 0x40 * c + k), 0x40, 0x43, 200, 255);
        }
    }
    synth_test::install_song(frames, channels, true, 96);
    synth_test::the_song.log_reads = false;
    synth_test::engine().loop_enabled.store(true);
    synth::reset_voice_phases(synth_test::engine());

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread audio([&stop, &blocks] {
        std::vector<synth::stereo_frame> buffer(2048);
        while (!stop.load()) {
            synth::render_frames(synth_test::engine(), buffer);
            ++blocks;
        }
    });
    uint32_t seen = 0;
    // The screen side goes on until the audio side has rendered a while too.
    for (int round = 0; round < 200 || blocks.load() < 20; ++round) {
        synth_test::engine().voice_muted[round % channels].store(round % 2 == 0);
        synth_test::engine().pulse_fold.store(round % 5 != 0);
        synth::step_partial(synth_test::engine(), static_cast<uint8_t>(round % 16), +1);
        synth::build_wavetable(synth_test::engine(), synth_test::engine().selected_slot);
        if (round % 50 == 0) {
            synth_test::engine().song.frame_index.store(0);
        }
        seen += synth_test::engine().shown_records[0].pitch.load(std::memory_order_relaxed);
        seen += synth_test::engine().shown_voices[1].volume.load(std::memory_order_relaxed);
        seen += static_cast<uint32_t>(synth_test::engine().scope_history[round % 1000].load(std::memory_order_relaxed));
        seen += synth_test::engine().block_frames.load(std::memory_order_relaxed) +
                synth_test::engine().play_time.load(std::memory_order_relaxed);
        std::this_thread::yield();
    }
    stop.store(true);
    audio.join();
    EXPECT_GT(synth_test::engine().play_time.load(), 0u);
    EXPECT_FALSE(synth_test::engine().song_ended.load());
    (void)seen;
}

TEST(SynthThreads, RenderingWhileScreenEditsAndReads) {
    for (const uint8_t channels : {3, 8}) {
        for (const auto kernel : {synth::mixer_kernel::one_at_a_time, synth::mixer_kernel::side_by_side,
                                  synth::mixer_kernel::side_by_side_avx2}) {
            if (synth::kernel_available(kernel)) render_while_screen_edits_and_reads(channels, kernel);
        }
    }
}

}  // namespace
