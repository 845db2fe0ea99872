// How an engine comes by its mixer kernel: a name in TONERA_KERNEL that this
// processor can run, otherwise a measurement made once per voice count and
// variant, from whichever threads ask first.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "synth/synth.hpp"

namespace {

using synth::mixer_kernel;

TEST(KernelChoice, NamesStandForKernels) {
    const struct {
        const char* name;
        std::optional<mixer_kernel> kernel;
    } cases[] = {
        {"plain", mixer_kernel::one_at_a_time},
        {"vector", mixer_kernel::side_by_side},
        {"avx2", mixer_kernel::side_by_side_avx2},
        {"", std::nullopt},
        {"auto", std::nullopt},
        {"AVX2", std::nullopt},
        {"avx2 ", std::nullopt},
        {"avx512", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(synth::kernel_named(c.name), c.kernel) << '"' << c.name << '"';
}

// Every thread measures or finds the measurement, and all later answers
// agree with the first one kept.
TEST(KernelChoice, MeasuredOnceForEachConfigurationFromManyThreads) {
    std::vector<std::thread> threads;
    std::vector<std::vector<mixer_kernel>> answers(4);
    for (auto& a : answers) {
        threads.emplace_back([&a] {
            for (int voices = 1; voices <= synth::max_voices; ++voices) {
                for (const bool chip : {false, true}) a.push_back(synth::measured_kernel(voices, chip));
            }
        });
    }
    for (auto& t : threads) t.join();
    size_t n = 0;
    for (int voices = 1; voices <= synth::max_voices; ++voices) {
        for (const bool chip : {false, true}) {
            const mixer_kernel kept = synth::measured_kernel(voices, chip);
            EXPECT_TRUE(synth::kernel_available(kept)) << voices << " voices, chip " << chip;
            for (int repeat = 0; repeat < 3; ++repeat) EXPECT_EQ(synth::measured_kernel(voices, chip), kept);
            for (const auto& a : answers) EXPECT_TRUE(synth::kernel_available(a[n]));
            ++n;
        }
    }
}

TEST(KernelChoice, TheEnvironmentForcesAKernelTheProcessorRuns) {
    for (const char* name : {"plain", "vector", "avx2", "fastest", ""}) {
        ASSERT_EQ(setenv("TONERA_KERNEL", name, 1), 0);
        for (const int voices : {1, 3, 8}) {
            const std::optional<mixer_kernel> named = synth::kernel_named(name);
            const mixer_kernel expected = named && synth::kernel_available(*named)
                                              ? *named
                                              : synth::measured_kernel(voices, true);
            EXPECT_EQ(synth::kernel_for(voices, true), expected) << name << ", " << voices << " voices";
        }
    }
    ASSERT_EQ(unsetenv("TONERA_KERNEL"), 0);
    EXPECT_EQ(synth::kernel_for(8, false), synth::measured_kernel(8, false));
}

}  // namespace
