// The render command line: times, voice lists, and every bad value refused
// with a message that names its option.
#include <gtest/gtest.h>

#include "render_options.hpp"
#include "song/channel_record.hpp"

namespace {

using tuntool::parse_render_options;

TEST(RenderOptions, TimesAreSecondsOrMinutesAndSeconds) {
    struct case_t {
        const char* text;
        std::optional<uint64_t> microseconds;
    } cases[] = {
        {"10", 10000000},
        {"0.5", 500000},
        {"90.25", 90250000},
        {"1:02", 62000000},
        {"1:02.5", 62500000},
        {"0:59.999999", 59999999},
        {"125:00", 7500000000},
        {"1.0000001", std::nullopt},
        {"1:60", std::nullopt},
        {"1:5", std::nullopt},
        {"1:05:00", 3900000000},
        {"", std::nullopt},
        {"-3", std::nullopt},
        {"1e3", std::nullopt},
        {".5", std::nullopt},
        {"5.", std::nullopt},
        {":30", std::nullopt},
        {"0", 0},
        {"2:03:04.5", 7384500000},
        {"100:00:00", 360000000000},
        {"1:5:00", std::nullopt},
        {"1:60:00", std::nullopt},
        {"1:00:60", std::nullopt},
        {"1:00:5", std::nullopt},
        {"1::00", std::nullopt},
        {"1:00:00:00", std::nullopt},
        {"1:00.5:00", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(tuntool::parse_time(c.text), c.microseconds) << c.text;
    // To the nearest frame at the output rate, 48 kHz.
    EXPECT_EQ(tuntool::frames_for_time(62500000, song::output_rate), 3000000u);
    EXPECT_EQ(tuntool::frames_for_time(10, song::output_rate), 0u);
    EXPECT_EQ(tuntool::frames_for_time(11, song::output_rate), 1u);
}

TEST(RenderOptions, ValuesInEveryFormLandInTheirFields) {
    const auto parsed =
        parse_render_options({"--loops=3", "a.tun", "-ofolder", "--fade", "2.5", "--length", "1:00", "--mute", "2,3",
                              "--solo=1", "-j2", "--format=flac", "-q", "--stems", "--tags", "--", "-b.tun"});
    ASSERT_EQ(parsed.error, "");
    const tuntool::render_options& o = parsed.options;
    EXPECT_EQ(o.loops, 3u);
    EXPECT_EQ(o.output, "folder");
    EXPECT_EQ(o.fade_frames, 120000u);
    EXPECT_EQ(o.length_frames, 2880000u);
    EXPECT_EQ(o.muted, 0b110);
    EXPECT_EQ(o.soloed, 0b1);
    EXPECT_EQ(o.jobs, 2u);
    EXPECT_EQ(o.format, tuntool::audio_format::flac);
    EXPECT_TRUE(o.quiet && o.stems && o.tags);
    EXPECT_EQ(o.songs, (std::vector<std::string>{"a.tun", "-b.tun"}));
    // A fade of 0 is none; H:MM:SS lengths.
    const auto zero = parse_render_options({"--fade", "0", "--length", "1:00:00", "a.tun"});
    ASSERT_EQ(zero.error, "");
    EXPECT_EQ(zero.options.fade_frames, 0u);
    EXPECT_EQ(zero.options.length_frames, 3600u * 48000);
}

TEST(RenderOptions, BadValuesAreRefusedNamingTheirOption) {
    struct case_t {
        std::vector<std::string> args;
        const char* named;
    } cases[] = {
        {{"--loops", "0", "a.tun"}, "--loops"},
        {{"--loops", "10001", "a.tun"}, "--loops"},
        {{"--loops", "two", "a.tun"}, "--loops"},
        {{"--fade", "-1", "a.tun"}, "--fade"},
        {{"--fade", "x", "a.tun"}, "--fade"},
        {{"--length", "0:00", "a.tun"}, "--length"},
        {{"--length", "100:00:01", "a.tun"}, "--length"},
        {{"--length", "6000:01", "a.tun"}, "--length"},
        {{"--fade", "100:00:00.1", "a.tun"}, "--fade"},
        {{"--length", "0", "a.tun"}, "--length"},
        {{"--mute", "9", "a.tun"}, "--mute"},
        {{"--mute", "1,,2", "a.tun"}, "--mute"},
        {{"--solo", "0", "a.tun"}, "--solo"},
        {{"--solo", "", "a.tun"}, "--solo"},
        {{"-j", "0", "a.tun"}, "-j"},
        {{"--jobs=many", "a.tun"}, "--jobs"},
        {{"--format", "mp3", "a.tun"}, "--format"},
        {{"a.tun", "--loops"}, "--loops"},
        {{"--speed", "2", "a.tun"}, "--speed"},
        {{"-o", "-", "a.tun", "b.tun"}, "-o"},
        {{"-o", "-", "--stems", "a.tun"}, "--stems"},
        {{"--loops", "2"}, "song"},
    };
    for (const auto& c : cases) {
        const auto parsed = parse_render_options(c.args);
        EXPECT_NE(parsed.error.find(c.named), std::string::npos) << c.args[0] << ": " << parsed.error;
    }
}

}  // namespace
