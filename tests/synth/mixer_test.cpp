#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fake_song.hpp"

namespace {

using synth_test::frame;
using synth_test::install_song;
using synth_test::record;
using synth_test::the_song;

struct stereo {
    int16_t left;
    int16_t right;
    bool operator==(const stereo&) const = default;
};

std::ostream& operator<<(std::ostream& out, const stereo& s) { return out << "(" << s.left << ", " << s.right << ")"; }

// Renders `frames` stereo frames through the renderer.
std::vector<stereo> render(uint32_t frames) {
    std::vector<synth::stereo_frame> rendered(frames);
    synth::render_frames(synth_test::engine(), rendered);
    std::vector<stereo> out(frames);
    for (uint32_t i = 0; i < frames; ++i) {
        out[i] = {rendered[i].left, rendered[i].right};
    }
    return out;
}

stereo mix_one() {
    int16_t out[2];
    synth::mix_voices(synth_test::engine(), out, 1);
    return {out[0], out[1]};
}

void fill_wavetable(int slot, uint8_t value) {
    for (auto& s : synth_test::engine().wave_slots[slot].wavetable) {
        s.store(value);
    }
}

class Mixer : public ::testing::Test {
protected:
    void SetUp() override {
        synth_test::reset_engine();
        synth_test::engine().song.channel_count = 1;
    }

    // Voice 0 at full volume, unfiltered, centred, not moving.
    static synth::voice_state& plain_voice() {
        auto& v = synth_test::engine().voices[0];
        v = {};
        v.volume = 255;
        v.filter = 255;
        v.sync_source = synth::no_partner;
        v.ring_source = synth::no_partner;
        return v;
    }
};

TEST_F(Mixer, ContributionScalesSmoothedSampleByVolumeAndShift) {
    struct level_case {
        uint8_t wave_value;
        uint8_t volume;
        uint8_t shift_left;
        uint8_t shift_right;
        stereo expected;
    };
    const level_case cases[] = {
        {255, 255, 0, 0, {32385, 32385}}, {0, 255, 0, 0, {-32640, -32640}}, {0, 0, 0, 0, {0, 0}},
        {255, 0, 0, 0, {0, 0}},           {0, 255, 16, 0, {-1, -32640}},    {255, 255, 16, 16, {0, 0}},
        {0, 255, 1, 3, {-16320, -4080}},  {255, 255, 2, 15, {8096, 0}},     {0, 1, 0, 16, {-128, -1}},
        {128, 255, 0, 0, {0, 0}},
    };
    for (const auto& c : cases) {
        fill_wavetable(0, c.wave_value);
        auto& v = plain_voice();
        v.volume = c.volume;
        v.shift_left = c.shift_left;
        v.shift_right = c.shift_right;
        v.smoothed = c.wave_value;  // settled
        v.increment = 0x01234567;
        EXPECT_EQ(mix_one(), c.expected) << "wave " << int(c.wave_value) << " volume " << int(c.volume);
        EXPECT_EQ(mix_one(), c.expected) << "wave " << int(c.wave_value) << " volume " << int(c.volume);
    }
}

TEST_F(Mixer, LowPassFollowsFilterCoefficient) {
    struct filter_case {
        uint8_t filter;
        uint8_t start;
        uint8_t wave_value;
        int steps;
        uint8_t smoothed_after;
    };
    const filter_case cases[] = {
        {0, 200, 100, 10, 190},                          // falls by exactly 1 per sample
        {0, 200, 100, 150, 100},                         // ... and reaches the sample
        {0, 50, 200, 100, 50},                           // never rises
        {255, 50, 200, 1, 200},                          // follows exactly
        {255, 200, 3, 1, 3},     {127, 0, 255, 1, 127},  // 255 * 128 / 256 = 127.5 -> 127
        {127, 255, 0, 1, 127},                           // -255 * 128 / 256 = -127.5 -> -128
        {1, 100, 227, 1, 100},                           // 127 * 2 / 256 < 1: stops short
        {1, 100, 0, 1, 99},                              // -100 * 2 / 256 rounds down to -1
    };
    for (const auto& c : cases) {
        fill_wavetable(0, c.wave_value);
        auto& v = plain_voice();
        v.filter = c.filter;
        v.smoothed = c.start;
        for (int i = 0; i < c.steps; ++i) {
            mix_one();
        }
        EXPECT_EQ(v.smoothed, c.smoothed_after)
            << "filter " << int(c.filter) << " from " << int(c.start) << " to " << int(c.wave_value);
        EXPECT_EQ(v.last_sample, c.wave_value);
    }
}

// First half of the table low, second half high: the output shows which
// half the phase map chose.
void split_wavetable() {
    for (int i = 0; i < 512; ++i) {
        synth_test::engine().wave_slots[0].wavetable[i].store(i < 256 ? 0 : 255);
    }
}

TEST_F(Mixer, PulseTakesEffectOnlyAtCycleStart) {
    split_wavetable();
    auto& v = plain_voice();
    v.increment = 0x10000;  // one phase byte per sample
    v.pulse = 0x80;
    v.latched_pulse = 0x80;
    const stereo high{32385, 32385};
    const stereo low{-32640, -32640};
    // Phase bytes 1..64 lie in 0..128: second half.
    for (int p = 1; p <= 64; ++p) {
        ASSERT_EQ(mix_one(), high) << "phase " << p;
    }
    v.pulse = 0x10;
    for (int p = 65; p <= 128; ++p) {
        ASSERT_EQ(mix_one(), high) << "phase " << p;
    }
    for (int p = 129; p <= 255; ++p) {
        ASSERT_EQ(mix_one(), low) << "phase " << p;
    }
    EXPECT_EQ(v.latched_pulse, 0x80);
    // Phase byte 0: the cycle restarts and the new pulse is latched.
    ASSERT_EQ(mix_one(), high);
    EXPECT_EQ(v.latched_pulse, 0x10);
    EXPECT_EQ(v.wrapped, 1);
    for (int p = 1; p <= 16; ++p) {
        ASSERT_EQ(mix_one(), high) << "phase " << p;
    }
    EXPECT_EQ(v.wrapped, 0);
    ASSERT_EQ(mix_one(), low) << "phase 17";
}

TEST_F(Mixer, HardSyncRestartsAtSecondHalf) {
    // Only wavetable index 256 differs from silence.
    fill_wavetable(0, 128);
    synth_test::engine().wave_slots[0].wavetable[256].store(200);
    synth_test::engine().song.channel_count = 3;
    for (int i = 0; i < 3; ++i) {
        auto& v = synth_test::engine().voices[i];
        v.sync_source = synth::no_partner;
        v.ring_source = synth::no_partner;
        v.filter = 255;
    }
    // Voice 0 wraps in the first step.
    auto& v0 = synth_test::engine().voices[0];
    v0.phase = 0x00FF0000;
    v0.last_phase = 0xFF;
    v0.increment = 0x10000;
    // Voice 1 follows voice 0 (lower index): restarts in the same step.
    auto& v1 = synth_test::engine().voices[1];
    v1.sync_source = 0;
    v1.phase = 0x00500000;
    v1.last_phase = 0x50;
    v1.increment = 0x10000;
    v1.latched_pulse = 0x40;
    v1.volume = 1;
    // Voice 2 follows voice 0 too; then voice 0 follows voice 2 (higher index).
    auto& v2 = synth_test::engine().voices[2];
    v2.phase = 0x00FE0000;
    v2.last_phase = 0xFE;
    v2.increment = 0x10000;

    EXPECT_EQ(mix_one(), (stereo{72, 72}));
    EXPECT_EQ(v1.phase, 0u);
    EXPECT_EQ(v1.last_phase, 0);
    EXPECT_EQ(v0.wrapped, 1);

    // Voice 2 wraps in the second step; voice 0, processed before it, only
    // sees that in the third step.
    v1.sync_source = synth::no_partner;
    v0.sync_source = 2;
    mix_one();
    EXPECT_EQ(v2.wrapped, 1);
    EXPECT_EQ(v0.phase, 0x01010000u);
    mix_one();
    EXPECT_EQ(v0.phase, 0u);
    EXPECT_EQ(v2.wrapped, 0);
    mix_one();
    EXPECT_EQ(v0.phase, 0x10000u);
}

TEST_F(Mixer, RingModulationTakesPartnerSampleTopBit) {
    split_wavetable();
    synth_test::engine().song.channel_count = 2;
    auto& v0 = plain_voice();
    v0.latched_pulse = 0xFF;  // whole cycle in the second half: sample 255
    v0.increment = 0x10000;
    auto& v1 = synth_test::engine().voices[1];
    v1 = v0;
    v1.ring_source = 0;
    v1.latched_pulse = 0x00;
    v1.phase = 0x00100000;
    v1.last_phase = 0x10;
    mix_one();
    // Phase byte 0x11 gets bit 7 from the partner's sample 255: 0x91.
    EXPECT_EQ(v1.last_phase, 0x91);
    EXPECT_EQ(v1.phase, 0x00110000u);
}

TEST_F(Mixer, NoiseReadsTopTwelvePhaseBits) {
    auto& v = plain_voice();
    for (int i = 0; i < 512; ++i) {
        synth_test::engine().wave_slots[0].wavetable[i].store(static_cast<uint8_t>(i));
    }
    v.noise_on = 1;
    v.latched_pulse = 0xFF;  // index 256 + noise byte
    v.increment = 0x00100000;
    v.phase = 0x12300000 - 0x00100000;
    v.last_phase = 0x20;
    mix_one();
    EXPECT_EQ(v.last_sample, synth::tables().noise_table[0x123]);
}

TEST_F(Mixer, WorkedExampleFromStartupWaves) {
    frame f{};
    f[0] = record(0x0400, 0x80, 0x00, 255, 255);
    install_song(std::vector<frame>(10, f), 1);
    const auto first = render(4);
    EXPECT_EQ(first, (std::vector<stereo>{{1785, 1785}, {3825, 3825}, {7650, 7650}, {9690, 9690}}));
    const auto& v = synth_test::engine().voices[0];
    EXPECT_EQ(v.increment, 89478u);
    EXPECT_EQ(v.pulse, 255);
    EXPECT_EQ(v.latched_pulse, 0);
    render(187 - 4);
    EXPECT_EQ(v.latched_pulse, 0);
    const auto wrap = render(1);
    EXPECT_EQ(wrap[0], (stereo{0, 0}));
    EXPECT_EQ(v.latched_pulse, 255);
    EXPECT_EQ(the_song.frames_read.size(), 1u);
}

TEST_F(Mixer, TicksFallEverySamplesPerFrameAcrossBlocks) {
    // Odd frames are loud, even frames silent, so the output shows where each
    // tick landed.
    fill_wavetable(0, 255);
    synth_test::engine().voices[0].smoothed = 255;
    std::vector<frame> frames(20);
    for (size_t k = 0; k < frames.size(); ++k) {
        frames[k][0] = record(0x0400, 0, 0x10, k % 2 ? 255 : 0, 255);
    }
    install_song(frames, 1, false, 960);
    for (uint32_t block = 0; block < 3; ++block) {
        const auto out = render(4096);
        for (uint32_t i = 0; i < 4096; ++i) {
            const uint32_t n = 4096 * block + i;
            const int16_t expected = (n / 960) % 2 ? 32385 : 0;
            ASSERT_EQ(out[i], (stereo{expected, expected})) << "stream sample " << n;
        }
        // Ticks before samples 0, 960, ... up to the end of this block.
        EXPECT_EQ(the_song.frames_read.size(), (4096 * (block + 1) + 959) / 960) << "block " << block;
    }
}

TEST_F(Mixer, SamplesPerFrameZeroTicksBeforeEverySample) {
    install_song(std::vector<frame>(50), 1, false, 0);
    render(10);
    EXPECT_EQ(the_song.frames_read.size(), 10u);
}

}  // namespace
