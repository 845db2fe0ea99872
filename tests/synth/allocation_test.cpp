// Rendering must not touch the heap: the render block runs as the audio
// device callback. Global operator new is replaced here by a counting one.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "fake_song.hpp"

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
    if (counting.load()) {
        allocations.fetch_add(1);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

[[gnu::noinline]] void* operator new[](std::size_t size) { return operator new(size); }

[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }

[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }

[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using synth_test::frame;
using synth_test::record;

TEST(RenderAllocation, LongRenderAllocatesNothing) {
    synth_test::reset_engine();
    std::vector<frame> frames(64);
    for (size_t k = 0; k < frames.size(); ++k) {
        frames[k][0] = record(static_cast<uint16_t>(0x0300 + k), static_cast<uint8_t>(k * 4), 0x41, 255, 200);
        frames[k][1] = record(static_cast<uint16_t>(0x0C40 + k), 0x80, 0x43, 180, 255);
        frames[k][2] = record(0x0500, 0x20, 0x15, 200, 90);
    }
    synth_test::install_song(frames, 3, true);
    synth_test::the_song.log_reads = false;
    synth_test::engine().loop_enabled.store(true);
    std::vector<synth::stereo_frame> buffer(2048);

    // The counter must see an allocation when there is one.
    counting.store(true);
    void* volatile probe_block = ::operator new(16);
    ::operator delete(probe_block);
    const long probe = allocations.exchange(0);
    ASSERT_EQ(probe, 1);

    for (int call = 0; call < 200; ++call) {
        synth::render_frames(synth_test::engine(), buffer);
    }
    counting.store(false);
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_GT(synth_test::engine().song.frame_index.load(), 0u);
}

}  // namespace
