#include <gtest/gtest.h>

#include <vector>

#include "fake_song.hpp"

namespace {

using synth_test::frame;
using synth_test::install_song;
using synth_test::record;
using synth_test::the_song;

class FrameTick : public ::testing::Test {
protected:
    void SetUp() override { synth_test::reset_engine(); }

    // A song of `count` frames, each with the given record on every channel.
    static std::vector<frame> repeated(const song::channel_record& r, int count = 4) {
        frame f{};
        f.fill(r);
        return std::vector<frame>(count, f);
    }
};

TEST_F(FrameTick, SongEndsAfterLastFrameOrLoops) {
    install_song(repeated(record(0x0400, 0, 0, 255, 255), 3), 1);
    for (int tick = 0; tick < 3; ++tick) {
        EXPECT_FALSE(synth_test::engine().song_ended.load()) << "before tick " << tick;
        synth::frame_tick(synth_test::engine());
    }
    EXPECT_TRUE(synth_test::engine().song_ended.load());
    EXPECT_EQ(the_song.frames_read, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(synth_test::engine().song.frame_index.load(), 3u);

    // Ticks in the tail of the last block never address a frame past the end.
    synth::frame_tick(synth_test::engine());
    synth::frame_tick(synth_test::engine());
    EXPECT_EQ(synth_test::engine().song.frame_index.load(), 3u);

    install_song(repeated(record(0x0400, 0, 0, 255, 255), 3), 1);
    synth_test::engine().song_ended.store(false);
    synth_test::engine().loop_enabled.store(true);
    synth_test::engine().song.loop_frame = 1;
    for (int tick = 0; tick < 8; ++tick) {
        synth::frame_tick(synth_test::engine());
    }
    EXPECT_EQ(the_song.frames_read, (std::vector<uint32_t>{0, 1, 2, 1, 2, 1, 2, 1}));
    EXPECT_FALSE(synth_test::engine().song_ended.load());
}

TEST_F(FrameTick, PositionOutsideTheSongStaysInside) {
    struct position_case {
        bool loop;
        uint32_t loop_frame;
        uint32_t start;
        uint32_t index_after;
        bool ended;
    };
    const position_case cases[] = {
        {false, 0, 10, 3, true},  // seek past the end
        {true, 7, 2, 7, false},   // loop frame beyond the song
        {true, 7, 7, 7, false},
        {true, 0, 50, 0, false},
    };
    for (const auto& c : cases) {
        install_song(repeated(record(0x0400, 0, 0, 255, 255), 3), 1);
        synth_test::engine().song_ended.store(false);
        synth_test::engine().loop_enabled.store(c.loop);
        synth_test::engine().song.loop_frame = c.loop_frame;
        synth_test::engine().song.frame_index.store(c.start);
        synth::frame_tick(synth_test::engine());
        EXPECT_EQ(synth_test::engine().song.frame_index.load(), c.index_after) << "start " << c.start;
        EXPECT_EQ(synth_test::engine().song_ended.load(), c.ended) << "start " << c.start;
    }
}

TEST_F(FrameTick, PlayTimeAdvancesByFrameDurationAndSticksAtLimit) {
    struct rate_case {
        uint16_t frame_rate;
        uint32_t per_tick;
    };
    const rate_case cases[] = {{50, 6000}, {60, 5000}, {7, 42857}, {1, 300000}};
    for (const auto& c : cases) {
        install_song(repeated(record(0, 0, 0, 0, 0), 2), 1, false, 960, c.frame_rate);
        synth_test::engine().loop_enabled.store(true);
        synth_test::engine().play_time.store(1000);
        synth::frame_tick(synth_test::engine());
        EXPECT_EQ(synth_test::engine().play_time.load(), 1000 + c.per_tick) << "rate " << c.frame_rate;
    }

    install_song(repeated(record(0, 0, 0, 0, 0), 2), 1, false, 960, 50);
    synth_test::engine().loop_enabled.store(true);
    synth_test::engine().play_time.store(0);
    the_song.log_reads = false;
    for (int tick = 0; tick < 299999; ++tick) {
        synth::frame_tick(synth_test::engine());
    }
    EXPECT_EQ(synth_test::engine().play_time.load(), 1799994000u);
    synth::frame_tick(synth_test::engine());
    EXPECT_EQ(synth_test::engine().play_time.load(), 1799999999u);
    synth::frame_tick(synth_test::engine());
    EXPECT_EQ(synth_test::engine().play_time.load(), 1799999999u);
}

TEST_F(FrameTick, ChipVariantReadsControlAsVoiceRegister) {
    struct control_case {
        uint8_t control;
        uint8_t record_pulse;
        bool fold;
        uint8_t previous_slot;
        uint8_t shown_record_pulse;
        uint8_t voice_pulse;
        uint8_t slot;
        uint8_t volume;
        uint8_t sync_source;
        uint8_t ring_source;
    };
    constexpr uint8_t none = 255;
    const control_case cases[] = {
        {0x41, 0x40, true, 1, 0x40, 0x81, 0, 200, none, none},  // pulse only, folded
        {0x41, 0x40, false, 1, 0x40, 0x40, 0, 200, none, none},
        {0x11, 0x33, true, 0, 0x80, 0x80, 1, 200, none, none},   // triangle
        {0x21, 0x33, true, 0, 0x00, 0x00, 1, 200, none, none},   // sawtooth
        {0x15, 0x33, false, 0, 0x80, 0x80, 1, 200, none, 2},     // ring from partner
        {0x43, 0x10, false, 1, 0x10, 0x10, 0, 200, 2, none},     // sync from partner
        {0x01, 0x33, false, 1, 0x33, 0x33, 1, 0, none, none},    // no waveform: silent
        {0x31, 0x33, false, 1, 0x33, 0x33, 1, 200, none, none},  // keeps slot 1
        {0x31, 0x33, false, 0, 0x33, 0x33, 0, 200, none, none},  // keeps slot 0
        {0x81, 0x33, false, 0, 0x33, 0x33, 1, 200, none, none},  // noise only
        {0x51, 0xC0, true, 0, 0xC0, 0x7F, 1, 200, none, none},   // pulse + triangle, folded
        {0xC1, 0x33, false, 0, 0x33, 0x33, 1, 200, none, none},  // pulse + noise
        {0x91, 0x33, false, 0, 0x33, 0x33, 0, 200, none, none},  // triangle + noise keeps
        {0x45, 0x10, true, 0, 0x80, 0xFF, 0, 200, none, 2},      // ring forces 0x80 before fold
    };
    for (const auto& c : cases) {
        install_song(repeated(record(0x0400, c.record_pulse, c.control, 200, 77)), 1, true);
        synth_test::engine().pulse_fold.store(c.fold);
        synth_test::engine().voices[0].wave_slot = c.previous_slot;
        synth::frame_tick(synth_test::engine());
        const auto& v = synth_test::engine().voices[0];
        SCOPED_TRACE(::testing::Message() << std::hex << "control 0x" << int(c.control));
        EXPECT_EQ(synth_test::engine().song.channel_records[0].pulse, c.shown_record_pulse);
        EXPECT_EQ(synth_test::engine().shown_records[0].pulse.load(), c.shown_record_pulse);
        EXPECT_EQ(v.pulse, c.voice_pulse);
        EXPECT_EQ(synth_test::engine().shown_voices[0].pulse.load(), c.voice_pulse);
        EXPECT_EQ(v.wave_slot, c.slot);
        EXPECT_EQ(v.volume, c.volume);
        EXPECT_EQ(synth_test::engine().shown_voices[0].volume.load(), c.volume);
        EXPECT_EQ(synth_test::engine().shown_records[0].volume.load(), 200);
        EXPECT_EQ(v.sync_source, c.sync_source);
        EXPECT_EQ(v.ring_source, c.ring_source);
        EXPECT_EQ(v.filter, 77);
        EXPECT_EQ(v.increment, 89478u);
    }
}

TEST_F(FrameTick, ChipTestBitResetsPhase) {
    install_song(repeated(record(0x0400, 0, 0x49, 200, 255)), 1, true);
    synth_test::engine().voices[0].phase = 0x12345678;
    synth_test::engine().voices[0].last_phase = 0x34;
    synth_test::engine().voices[0].smoothed = 99;
    synth::frame_tick(synth_test::engine());
    EXPECT_EQ(synth_test::engine().voices[0].phase, 0u);
    EXPECT_EQ(synth_test::engine().voices[0].last_phase, 0);
    EXPECT_EQ(synth_test::engine().voices[0].smoothed, 99);

    install_song(repeated(record(0x0400, 0, 0x41, 200, 255)), 1, true);
    synth_test::engine().voices[0].phase = 0x12345678;
    synth::frame_tick(synth_test::engine());
    EXPECT_EQ(synth_test::engine().voices[0].phase, 0x12345678u);
}

TEST_F(FrameTick, PlainVariantKnowsOnlyThreeControlValues) {
    struct plain_case {
        uint8_t control;
        uint8_t record_pulse;
        bool fold;
        uint8_t voice_pulse;
    };
    const plain_case cases[] = {
        {0x10, 0x40, true, 0x00},  {0x20, 0x40, true, 0x80}, {0x00, 0x40, true, 0x81}, {0x00, 0x40, false, 0x40},
        {0x00, 0xFF, true, 0x01},  {0x00, 0x7F, true, 0xFF}, {0x41, 0x40, true, 0x40}, {0x01, 0x33, false, 0x33},
        {0x08, 0x33, false, 0x33}, {0x15, 0x33, true, 0x33},
    };
    for (const auto& c : cases) {
        install_song(repeated(record(0x0C00, c.record_pulse, c.control, 200, 9)), 1, false);
        synth_test::engine().pulse_fold.store(c.fold);
        synth_test::engine().voices[0].wave_slot = 1;
        synth_test::engine().voices[0].phase = 0x1000;
        synth::frame_tick(synth_test::engine());
        const auto& v = synth_test::engine().voices[0];
        SCOPED_TRACE(::testing::Message() << std::hex << "control 0x" << int(c.control));
        EXPECT_EQ(v.pulse, c.voice_pulse);
        EXPECT_EQ(v.volume, 200);
        EXPECT_EQ(v.wave_slot, 0);
        EXPECT_EQ(v.sync_source, 255);
        EXPECT_EQ(v.ring_source, 255);
        EXPECT_EQ(v.noise_on, 1);
        EXPECT_EQ(v.filter, 9);
        EXPECT_EQ(v.phase, 0x1000u);
    }
}

TEST_F(FrameTick, OutputShiftsCombineHeadroomAndPan) {
    struct shift_case {
        uint8_t channels;
        uint16_t pitch;
        uint8_t left;
        uint8_t right;
    };
    const shift_case cases[] = {
        {1, 0x0000, 0, 0}, {1, 0x4000, 1, 0}, {1, 0x8000, 3, 0},  {1, 0xF000, 16, 16}, {2, 0x0000, 1, 1},
        {2, 0x4000, 2, 1}, {2, 0x1000, 1, 2}, {2, 0xC000, 16, 1}, {2, 0x3000, 1, 16},  {2, 0x2000, 1, 4},
        {3, 0x5000, 3, 3}, {4, 0x8000, 5, 2}, {8, 0x8000, 6, 3},  {8, 0xC000, 16, 3},  {5, song::pitch_noise, 3, 3},
    };
    for (const auto& c : cases) {
        install_song(repeated(record(c.pitch, 0, 0x41, 200, 255)), c.channels, false);
        synth::frame_tick(synth_test::engine());
        for (int i = 0; i < c.channels; ++i) {
            EXPECT_EQ(synth_test::engine().voices[i].shift_left, c.left)
                << c.channels << " channels, pitch 0x" << std::hex << c.pitch;
            EXPECT_EQ(synth_test::engine().voices[i].shift_right, c.right)
                << c.channels << " channels, pitch 0x" << std::hex << c.pitch;
        }
    }
}

TEST_F(FrameTick, MutedVoiceIsSilentButKeepsRunning) {
    // Voice 0 plays and is muted; voice 1 is hard-synced and ring-modulated
    // by it.
    frame f{};
    f[0] = record(0x0400, 0x80, 0x41, 255, 255);
    f[1] = record(0x0200, 0x80, 0x47, 255, 255);
    install_song(std::vector<frame>(4, f), 2, true);
    for (uint8_t mute : {0, 1}) {
        synth_test::engine().voice_muted[0].store(mute == 1);
        synth_test::engine().voices = {};
        synth_test::engine().song.frame_index.store(0);
        synth_test::engine().frame_countdown = 0;
        std::vector<synth::stereo_frame> stream(200);
        synth::render_frames(synth_test::engine(), stream);
        const auto& v0 = synth_test::engine().voices[0];
        const auto& v1 = synth_test::engine().voices[1];
        EXPECT_EQ(v0.volume, mute ? 0 : 255);
        EXPECT_EQ(synth_test::engine().shown_voices[0].volume.load(), mute ? 0 : 255);
        EXPECT_EQ(synth_test::engine().shown_records[0].volume.load(), 255);
        EXPECT_EQ(v0.phase, 200u * 89478u);
        // Voice 0 wrapped at sample 188 and synced voice 1 in the same step.
        EXPECT_EQ(v1.phase, 12u * synth_test::engine().pitch_table[64]);
        EXPECT_EQ(v1.last_phase >> 7, v0.last_sample >> 7);
    }
}

}  // namespace
