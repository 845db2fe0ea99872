// Render throughput of the synth engine on a synthetic song held in memory:
// notes that change every frame, noise, hard sync and ring modulation.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "song/song.hpp"
#include "synth/synth.hpp"

namespace {

constexpr uint32_t song_frames = 256;
constexpr uint32_t output_rate = 48000;
constexpr int block_frames = 2048;  // as the audio device asks

std::vector<std::array<song::channel_record, song::max_channels>> synthetic_frames;

void read_synthetic_frame()
{
    const uint32_t index = song::current.frame_index.load(std::memory_order_relaxed);
    if (index >= synthetic_frames.size()) {
        return;
    }
    for (int c = 0; c < song::current.channel_count; ++c) {
        song::current.channel_records[c] = synthetic_frames[index][c];
    }
}

// Voice c cycles through a scale; every third voice plays noise, voices 1
// and 4 are hard-synced, voices 2 and 5 ring-modulated (chip variant).
void make_song(int channels, bool chip_variant)
{
    static const uint8_t scale[] = {0x00, 0x20, 0x40, 0x55, 0x80, 0xAA, 0xC0, 0xF0};
    synthetic_frames.assign(song_frames, {});
    for (uint32_t f = 0; f < song_frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            const uint16_t octave = static_cast<uint16_t>((2 + c % 5) << 8);
            const uint16_t noise = (c % 3 == 2 && f % 4 == 0) ? 0x0800 : 0;
            const uint16_t pan = static_cast<uint16_t>((c % 2) << 14 | ((c + 1) % 2) << 12);
            uint8_t control = 0x41;
            if (chip_variant) {
                control = (c % 3 == 1) ? 0x43 : (c % 3 == 2) ? 0x15 : 0x41;
            } else {
                control = (f % 8 == 0) ? 0x10 : 0x00;
            }
            synthetic_frames[f][c] = song::channel_record{
                static_cast<uint16_t>(scale[(f + c) % 8] | octave | noise | pan),
                static_cast<uint8_t>(f * 7 + c * 31),
                control,
                static_cast<uint8_t>(160 + (f + c) % 96),
                static_cast<uint8_t>(c % 4 == 3 ? 60 : 255),
            };
        }
    }
    song::reset_song_state();
    synth::reset_synth_state();
    song::current.channel_count = static_cast<uint8_t>(channels);
    song::current.chip_variant = chip_variant;
    song::current.frame_rate = 50;
    song::current.samples_per_frame = output_rate / 50;
    song::current.frame_total = song_frames;
    song::current.frame_reader = read_synthetic_frame;
    synth::loop_enabled.store(true);
}

void render_throughput(benchmark::State& state)
{
    static bool tables_ready = false;
    if (!tables_ready) {
        synth::initialise_synth_tables();
        synth::set_sample_rate(static_cast<uint16_t>(output_rate));
        synth::startup_wave_setup();
        tables_ready = true;
    }
    make_song(static_cast<int>(state.range(0)), state.range(1) != 0);
    std::vector<synth::stereo_frame> buffer(block_frames);
    for (auto _ : state) {
        synth::render_frames(buffer);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    const int64_t frames = state.iterations() * block_frames;
    state.SetItemsProcessed(frames);
    // Seconds of 48 kHz audio rendered per second of work.
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(frames) / output_rate, benchmark::Counter::kIsRate);
}

BENCHMARK(render_throughput)
    ->ArgNames({"voices", "chip"})
    ->Args({1, 0})
    ->Args({3, 0})
    ->Args({8, 0})
    ->Args({1, 1})
    ->Args({3, 1})
    ->Args({8, 1});

}  // namespace
