// The audio device's callback: the renderer's frames as little-endian
// bytes, and the block length and left samples for the oscilloscope.
#include <gtest/gtest.h>

#include <vector>

#include "audio/sdl_device.hpp"
#include "fake_song.hpp"

namespace {

using synth_test::frame;
using synth_test::install_song;
using synth_test::record;
using synth_test::the_song;

class DeviceCallback : public ::testing::Test {
protected:
    void SetUp() override { synth_test::reset_engine(); }
};

TEST_F(DeviceCallback, WritesWholeFramesAsLittleEndianBytesAndScopeHistory) {
    frame f{};
    f[0] = record(0x0533, 0x40, 0x00, 255, 200);
    f[1] = record(0x4722, 0x90, 0x00, 180, 255);
    install_song(std::vector<frame>(10, f), 2);
    synth_test::engine().loop_enabled.store(true);

    std::vector<uint8_t> bytes(16384);
    audio::device_callback(&synth_test::engine(), bytes.data(), 16384);
    EXPECT_EQ(synth_test::engine().block_frames.load(), 4096u);
    int nonzero = 0;
    for (uint32_t i = 0; i < 4096; ++i) {
        const auto left = static_cast<int16_t>(bytes[4 * i] | (bytes[4 * i + 1] << 8));
        ASSERT_EQ(synth_test::engine().scope_history[i].load(), left) << "frame " << i;
        nonzero += left != 0;
    }
    EXPECT_GT(nonzero, 2000);

    struct length_case {
        int length;
        uint32_t frames_written;
    };
    const length_case cases[] = {{10, 2}, {4, 1}, {7, 1}, {3, 0}, {0, 0}, {-4, 0}};
    for (const auto& c : cases) {
        std::vector<uint8_t> buffer(16, 0xAB);
        const auto ticks_before = the_song.frames_read.size();
        synth_test::engine().block_frames.store(777);
        audio::device_callback(&synth_test::engine(), buffer.data(), c.length);
        for (uint32_t i = 4 * c.frames_written; i < buffer.size(); ++i) {
            EXPECT_EQ(buffer[i], 0xAB) << "length " << c.length << " byte " << i;
        }
        EXPECT_EQ(synth_test::engine().block_frames.load(), c.frames_written ? c.frames_written : 777u);
        if (c.frames_written == 0) {
            EXPECT_EQ(the_song.frames_read.size(), ticks_before);
        }
    }
}

TEST_F(DeviceCallback, OversizedBlockStillRendersButKeepsScopeBounded) {
    install_song(std::vector<frame>(10), 1);
    synth_test::engine().loop_enabled.store(true);
    const uint32_t frames = 70000;
    std::vector<uint8_t> bytes(4 * frames + 4, 0xCD);
    audio::device_callback(&synth_test::engine(), bytes.data(), static_cast<int>(4 * frames));
    EXPECT_EQ(synth_test::engine().block_frames.load(), frames);
    EXPECT_EQ(bytes[4 * frames - 1], 0x00);
    EXPECT_EQ(bytes[4 * frames], 0xCD);
    EXPECT_EQ(the_song.frames_read.size(), (frames + 959) / 960);
}

}  // namespace
