// What one table read in eight lanes costs on this processor: AVX2's gather
// against eight scalar loads, from a table that stays in the first-level
// cache, as the side-by-side mixer's wavetable and phase map reads do.
#include <benchmark/benchmark.h>
#include <immintrin.h>

#include <array>
#include <cstdint>

namespace {

alignas(64) std::array<int32_t, 1024> table;

// Eight independent chains of reads per round, so that the processor can
// overlap them: the figure is the reads' throughput, not their latency.
[[gnu::target("avx2")]] void gathers(benchmark::State& state) {
    for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<int32_t>((k * 389) % 1024);
    __m256i index[8];
    for (int c = 0; c < 8; ++c) index[c] = _mm256_setr_epi32(c, 9 * c, 3, 700, 64 + c, 5, 1000, 513);
    for (auto _ : state) {
        for (int round = 0; round < 64; ++round) {
            for (int c = 0; c < 8; ++c) index[c] = _mm256_i32gather_epi32(table.data(), index[c], 4);
        }
        benchmark::DoNotOptimize(index);
    }
    state.SetItemsProcessed(state.iterations() * 64 * 8);
}

[[gnu::target("avx2")]] void scalar_loads(benchmark::State& state) {
    for (size_t k = 0; k < table.size(); ++k) table[k] = static_cast<int32_t>((k * 389) % 1024);
    alignas(32) int32_t index[8][8];
    for (int c = 0; c < 8; ++c) {
        for (int l = 0; l < 8; ++l) index[c][l] = (c * 37 + l * 101) % 1024;
    }
    for (auto _ : state) {
        for (int round = 0; round < 64; ++round) {
            for (int c = 0; c < 8; ++c) {
                for (int l = 0; l < 8; ++l) index[c][l] = table[static_cast<uint32_t>(index[c][l])];
            }
        }
        benchmark::DoNotOptimize(index);
    }
    state.SetItemsProcessed(state.iterations() * 64 * 8);
}

void register_if_avx2() {
    __builtin_cpu_init();
    if (!__builtin_cpu_supports("avx2")) return;
    benchmark::RegisterBenchmark("gather_8_lanes", gathers);
    benchmark::RegisterBenchmark("scalar_loads_8_lanes", scalar_loads);
}

const int registered = (register_if_avx2(), 0);

}  // namespace
