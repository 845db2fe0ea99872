// Render throughput of the synth engine on a synthetic song held in memory:
// notes that change every frame, noise, hard sync and ring modulation.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "song/format.hpp"
#include "song/song.hpp"
#include "synth/synth.hpp"
#include "tonera/tonera.h"

namespace {

constexpr uint32_t song_frames = 256;
constexpr uint32_t output_rate = song::output_rate;
constexpr int block_frames = 2048;  // as the audio device asks

std::vector<std::array<song::channel_record, song::max_channels>> synthetic_frames;

void read_synthetic_frame(song::song_state& s) {
    const uint32_t index = s.frame_index.load(std::memory_order_relaxed);
    if (index >= synthetic_frames.size()) {
        return;
    }
    for (int c = 0; c < s.channel_count; ++c) {
        s.channel_records[c] = synthetic_frames[index][c];
    }
}

// Voice c cycles through a scale; every third voice plays noise, voices 1
// and 4 are hard-synced, voices 2 and 5 ring-modulated (chip variant).
void make_song(int channels, bool chip_variant) {
    static const uint8_t scale[] = {0x00, 0x20, 0x40, 0x55, 0x80, 0xAA, 0xC0, 0xF0};
    synthetic_frames.assign(song_frames, {});
    for (uint32_t f = 0; f < song_frames; ++f) {
        for (int c = 0; c < channels; ++c) {
            const uint16_t octave = static_cast<uint16_t>((2 + c % 5) << 8);
            const uint16_t noise = (c % 3 == 2 && f % 4 == 0) ? song::pitch_noise : 0;
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
}

// The same frames as a song file: interleaved, looping from frame 0.
std::vector<uint8_t> song_bytes(int channels, bool chip_variant) {
    song::song_header header;
    header.magic = chip_variant ? song::chip_magic : song::plain_magic;
    header.flags = static_cast<uint8_t>(song::flag_interleaved | channels);
    std::vector<uint8_t> bytes;
    song::put_header(bytes, header);
    for (const auto& f : synthetic_frames) {
        for (int c = 0; c < channels; ++c) {
            song::put_record(bytes, f[c].pitch, f[c].pulse, f[c].control, f[c].volume, f[c].filter);
        }
    }
    return bytes;
}

// The engine instance directly, as the programs use it, with the mixer
// kernel given by the third argument (0 one voice at a time, 1 side by side
// in the build's vectors, 2 side by side in AVX2, 3 the one chosen for the
// song).
void render_throughput(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    make_song(channels, state.range(1) != 0);
    const bool chip = state.range(1) != 0;
    // 3: the kernel an engine would pick for the song (measured, or named
    // by TONERA_KERNEL).
    const auto kernel = state.range(2) == 3 ? synth::kernel_for(channels, chip)
                                            : static_cast<synth::mixer_kernel>(state.range(2));
    if (!synth::kernel_available(kernel)) {
        state.SkipWithError("kernel not available here");
        return;
    }
    synth::engine engine(output_rate);
    engine.kernel = kernel;
    song::song_state& s = engine.song;
    s.channel_count = static_cast<uint8_t>(channels);
    s.chip_variant = state.range(1) != 0;
    s.frame_rate = 50;
    s.samples_per_frame = output_rate / 50;
    s.frame_total = song_frames;
    s.frame_reader = read_synthetic_frame;
    engine.loop_enabled.store(true);
    std::vector<synth::stereo_frame> buffer(block_frames);
    for (auto _ : state) {
        synth::render_frames(engine, buffer);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    const int64_t frames = state.iterations() * block_frames;
    state.SetItemsProcessed(frames);
    // Seconds of 48 kHz audio rendered per second of work.
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(frames) / output_rate, benchmark::Counter::kIsRate);
}

// 1, 3 and 8 voices of both variants.
void song_kinds(benchmark::internal::Benchmark* b) {
    b->ArgNames({"voices", "chip"});
    for (const int chip : {0, 1}) {
        for (const int voices : {1, 3, 8}) {
            b->Args({voices, chip});
        }
    }
}

// The same song through the C API, as other programs use it.
void api_render_throughput(benchmark::State& state) {
    const int channels = static_cast<int>(state.range(0));
    make_song(channels, state.range(1) != 0);
    const std::vector<uint8_t> bytes = song_bytes(channels, state.range(1) != 0);
    tonera_song* song = nullptr;
    if (tonera_open(bytes.data(), bytes.size(), &song) != 0) {
        state.SkipWithError("the song does not open");
        return;
    }
    tonera_set_loops(song, TONERA_LOOP_FOREVER);
    std::vector<int16_t> buffer(2 * block_frames);
    for (auto _ : state) {
        tonera_render_s16(song, buffer.data(), block_frames);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    tonera_close(song);
    const int64_t frames = state.iterations() * block_frames;
    state.SetItemsProcessed(frames);
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(frames) / output_rate, benchmark::Counter::kIsRate);
}

BENCHMARK(api_render_throughput)->Apply(song_kinds);

BENCHMARK(render_throughput)->ArgNames({"voices", "chip", "kernel"})->ArgsProduct({{1, 3, 8}, {0, 1}, {0, 1, 2, 3}});

}  // namespace
