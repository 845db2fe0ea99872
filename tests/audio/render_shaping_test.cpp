// The length of a rendering and the fade to silence, against values worked
// out by hand from the rules and a floating-point smoothstep.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "audio/fade.hpp"
#include "synth/render_length.hpp"

namespace {

TEST(RenderLength, PassesLimitsAndLoopFramesGiveTheseLengths) {
    struct case_t {
        const char* what;
        synth::song_timing song;        // frames, loop frame, samples per frame
        synth::length_request request;  // passes, limit, exact
        uint64_t frames;
        bool repeats;
    } cases[] = {
        {"nothing asked: record mode's whole blocks", {50, 10, 960}, {0, 0, false}, 12 * 4096, false},
        {"one pass ends on the last frame", {50, 10, 960}, {1, 0, false}, 50 * 960, true},
        {"three passes of frames 10..49", {50, 10, 960}, {3, 0, false}, (50 + 2 * 40) * 960, true},
        {"loop frame 0: the whole song again", {50, 0, 960}, {2, 0, false}, 100 * 960, true},
        {"loop frame at the end: no loop section", {50, 50, 960}, {3, 0, false}, 50 * 960, false},
        {"loop frame past the end", {50, 70, 960}, {3, 0, false}, 50 * 960, false},
        {"a limit within the first pass", {50, 10, 960}, {0, 10000, false}, 10000, true},
        {"a limit repeats the loop section", {50, 10, 960}, {0, 100000, false}, 100000, true},
        {"a limit past a song that does not repeat", {50, 50, 960}, {0, 100000, false}, 50 * 960, false},
        {"passes end before the limit", {50, 10, 960}, {2, 100000, false}, 90 * 960, true},
        {"the limit ends before the passes", {50, 10, 960}, {2, 1000, false}, 1000, true},
        {"a fade ends on the last frame", {50, 10, 960}, {0, 0, true}, 50 * 960, true},
        {"frames shorter than a sample last one", {5, 0, 0}, {1, 0, false}, 5, true},
        {"the longest song, looped most", {2147483647, 0, 48000}, {10000, 0, false}, 1030792150560000000ull, true},
        {"passes past 2^64 frames: no end", {200000, 0, 48000}, {1921535842, 0, true}, UINT64_MAX, true},
        {"the last passes within 2^64 frames",
         {200000, 0, 48000},
         {1921535841, 0, true},
         18446744073600000000ull,
         true},
        {"endless passes", {50, 10, 960}, {synth::endless_passes, 0, true}, UINT64_MAX, true},
        {"endless passes up to a limit", {50, 10, 960}, {synth::endless_passes, 100000, true}, 100000, true},
        {"endless passes of a song that does not repeat",
         {50, 50, 960},
         {synth::endless_passes, 0, true},
         50 * 960,
         false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(synth::rendering_frames(c.song, c.request), c.frames) << c.what;
        EXPECT_EQ(synth::rendering_repeats(c.song, c.request), c.repeats) << c.what;
    }
}

std::vector<uint32_t> gains_of(uint64_t length) {
    synth::fade_curve curve = synth::start_fade(length);
    std::vector<uint32_t> gains;
    for (uint64_t i = 0; i < length; ++i) gains.push_back(synth::next_fade_gain(curve));
    return gains;
}

TEST(FadeCurve, FollowsSmoothstepDownToSilence) {
    for (const uint64_t length : {1ull, 2ull, 3ull, 7ull, 480ull, 65537ull, 480000ull}) {
        const std::vector<uint32_t> gains = gains_of(length);
        EXPECT_EQ(gains.back(), 0u) << length;
        for (uint64_t i = 0; i < length; ++i) {
            const double x = static_cast<double>(i + 1) / static_cast<double>(length);
            const double expected = 65536.0 * (1.0 - x * x * (3.0 - 2.0 * x));
            // x is taken in steps of 1/65536, which moves the curve by at most
            // 1.5 / 65536 of full level.
            ASSERT_NEAR(gains[i], expected, 2.5) << "length " << length << " frame " << i;
            if (i > 0) {
                ASSERT_LE(gains[i], gains[i - 1]) << "length " << length << " frame " << i;
            }
        }
    }
}

TEST(FadeCurve, GainRoundsSamplesToTheNearestAndNeverLouder) {
    struct case_t {
        int16_t sample;
        uint32_t gain;
        int16_t expected;
    } cases[] = {{32767, 65536, 32767}, {-32768, 65536, -32768}, {-32768, 65535, -32767}, {12345, 0, 0},
                 {-12345, 0, 0},        {1000, 32768, 500},      {-1000, 32768, -500},    {3, 21845, 1},
                 {-3, 43691, -2},       {1, 32768, 1},           {-1, 32768, 0},          {1, 32767, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(synth::apply_gain(c.sample, c.gain), c.expected) << c.sample << " at " << c.gain;
}

// An output that keeps the frames it is given.
struct kept_frames {
    std::vector<synth::stereo_frame> frames;
};

audio::output keeping(kept_frames& kept) {
    audio::output out;
    out.state = &kept;
    out.open = [](void*, const std::string&, const audio::stream_format&) { return 0; };
    out.write = [](void* state, std::span<const synth::stereo_frame> frames) {
        auto& k = *static_cast<kept_frames*>(state);
        k.frames.insert(k.frames.end(), frames.begin(), frames.end());
        return 0;
    };
    out.finish = [](void*) { return 0; };
    out.abort = [](void*) {};
    return out;
}

TEST(FadeOutput, FadesTheLastFramesHoweverTheWritesAreSplit) {
    constexpr uint64_t total = 10000;
    constexpr uint64_t fade_frames = 4000;
    const std::vector<synth::stereo_frame> input(total, synth::stereo_frame{1000, -2000});
    const std::vector<uint32_t> gains = gains_of(fade_frames);
    for (const size_t chunk : {size_t{1}, size_t{7}, size_t{4096}, size_t{total}}) {
        kept_frames kept;
        static audio::fader fader;
        const audio::output out = audio::fade_output(fader, keeping(kept), fade_frames);
        audio::stream_format format;
        format.frames = total;
        ASSERT_EQ(out.open(out.state, "", format), 0);
        for (size_t at = 0; at < total; at += chunk)
            ASSERT_EQ(out.write(out.state, std::span(input).subspan(at, std::min<size_t>(chunk, total - at))), 0);
        ASSERT_EQ(kept.frames.size(), total) << chunk;
        for (size_t i = 0; i < total; ++i) {
            const uint32_t gain = i < total - fade_frames ? synth::full_gain : gains[i - (total - fade_frames)];
            ASSERT_EQ(kept.frames[i].left, synth::apply_gain(1000, gain)) << "chunk " << chunk << " frame " << i;
            ASSERT_EQ(kept.frames[i].right, synth::apply_gain(-2000, gain)) << "chunk " << chunk << " frame " << i;
        }
        EXPECT_EQ(kept.frames.back(), (synth::stereo_frame{0, 0}));
    }
}

TEST(FadeOutput, AFadeLongerThanTheStreamFadesAllOfIt) {
    kept_frames kept;
    static audio::fader fader;
    const audio::output out = audio::fade_output(fader, keeping(kept), 1000000);
    audio::stream_format format;
    format.frames = 100;
    ASSERT_EQ(out.open(out.state, "", format), 0);
    const std::vector<synth::stereo_frame> input(100, synth::stereo_frame{20000, 20000});
    ASSERT_EQ(out.write(out.state, input), 0);
    const std::vector<uint32_t> gains = gains_of(100);
    for (size_t i = 0; i < 100; ++i) EXPECT_EQ(kept.frames[i].left, synth::apply_gain(20000, gains[i])) << i;
}

}  // namespace
