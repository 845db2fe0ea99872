// tuntool render as a program, its samples read back from the WAV files it
// writes: record mode's bytes when nothing is asked, lengths that end on
// the frame they name, a fade into silence, stems that sum to the mix, and
// muted voices that still drive their sync and ring partners.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "program_run.hpp"

namespace {

using test_support::program_result;
using test_support::read_file;

// The bundled lullaby: 2352 frames at 50 a second (960 samples each), loop
// frame 336.
constexpr uint64_t lullaby_frames = 2352;
constexpr uint64_t lullaby_loop = 336;
constexpr uint64_t frame_samples = 960;

// The interleaved samples of a classic 16-bit stereo WAV.
std::vector<int16_t> wav_samples(const std::vector<uint8_t>& wav) {
    EXPECT_GE(wav.size(), 44u);
    if (wav.size() < 44) return {};
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
    const uint32_t data = wav[40] | wav[41] << 8 | wav[42] << 16 | static_cast<uint32_t>(wav[43]) << 24;
    EXPECT_EQ(data, wav.size() - 44);
    std::vector<int16_t> samples((wav.size() - 44) / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(wav[44 + 2 * i] | wav[45 + 2 * i] << 8);
    return samples;
}

class RenderProgram : public ::testing::Test {
public:
    void SetUp() override { dir = test_support::make_temp_dir(); }
    void TearDown() override { test_support::remove_tree(dir); }
    std::string path(const std::string& name) const { return dir + "/" + name; }

    // Renders with the given options into OUT and returns its bytes.
    std::vector<uint8_t> render(const std::string& song, std::vector<std::string> options,
                                const std::string& out = "out.wav") {
        options.insert(options.begin(), {"render", "-q", "-o", path(out)});
        options.push_back(song);
        const program_result r = test_support::run_program(TUNTOOL_BINARY, options);
        EXPECT_EQ(r.status, 0) << r.output;
        return read_file(path(out));
    }
    std::vector<int16_t> samples(const std::string& song, const std::vector<std::string>& options) {
        return wav_samples(render(song, options));
    }
    std::vector<uint8_t> record(const std::string& song) {
        const program_result r = test_support::run_program(PLAYTUN_BINARY, {song, path("recorded.wav")});
        EXPECT_EQ(r.status, 0) << r.output;
        return read_file(path("recorded.wav"));
    }
    std::string build(const std::string& name, const std::string& score) {
        test_support::write_file(path(name + ".txt"), std::vector<uint8_t>(score.begin(), score.end()));
        const program_result r =
            test_support::run_program(TUNTOOL_BINARY, {"build", path(name + ".txt"), path(name + ".tun")});
        EXPECT_EQ(r.status, 0) << r.output;
        return path(name + ".tun");
    }

    std::string dir;
};

const std::string lullaby = SONGS_DIR "/lullaby.tun";
const std::string circuit = SONGS_DIR "/chip/circuit.tun";  // six voices with sync and ring

TEST_F(RenderProgram, WithoutShapingOptionsTheBytesAreRecordModes) {
    for (const std::string& song :
         {lullaby, circuit, std::string(SONGS_DIR "/plain/meadow.tun"), std::string(SONGS_DIR "/wide/panorama.tun")}) {
        const std::vector<uint8_t> recorded = record(song);
        EXPECT_EQ(render(song, {}), recorded) << song;
        EXPECT_EQ(render(song, {"-j", "1", "--format", "wav"}), recorded) << song;
    }
}

TEST_F(RenderProgram, LengthsEndOnTheFrameTheyName) {
    // A copy of the lullaby whose loop frame lies past its end: it never repeats.
    std::vector<uint8_t> once = read_file(lullaby);
    once[6] = once[7] = once[8] = once[9] = 0xFF;
    test_support::write_file(path("once.tun"), once);
    const uint64_t section = lullaby_frames - lullaby_loop;
    struct case_t {
        std::string song;
        std::vector<std::string> options;
        uint64_t frames;
    } cases[] = {
        {lullaby, {"--loops", "1"}, lullaby_frames * frame_samples},
        {lullaby, {"--loops", "3"}, (lullaby_frames + 2 * section) * frame_samples},
        {lullaby, {"--fade", "2"}, lullaby_frames * frame_samples},
        {lullaby, {"--length", "1:02.5"}, 3000000},
        {lullaby, {"--length", "10", "--loops", "3"}, 480000},
        {lullaby, {"--length", "9:00", "--loops", "2"}, (lullaby_frames + section) * frame_samples},
        {path("once.tun"), {"--loops", "3"}, lullaby_frames * frame_samples},
        {path("once.tun"), {"--length", "9:00"}, lullaby_frames * frame_samples},
    };
    const std::vector<int16_t> recorded = wav_samples(record(lullaby));
    for (const auto& c : cases) {
        const std::vector<int16_t> got = samples(c.song, c.options);
        EXPECT_EQ(got.size(), 2 * c.frames) << c.options[0] << " " << c.options[1];
        // The first pass is what record mode plays.
        const size_t fade = c.options[0] == "--fade" ? 2 * 2 * 48000 : 0;
        const size_t first = std::min<size_t>(got.size(), 2 * lullaby_frames * frame_samples) - fade;
        EXPECT_TRUE(std::equal(got.begin(), got.begin() + static_cast<ptrdiff_t>(first), recorded.begin()))
            << c.options[0] << " " << c.options[1];
    }
}

TEST_F(RenderProgram, FadeEndsInSilenceWithoutAStep) {
    for (const std::vector<std::string>& shape : {std::vector<std::string>{"--loops", "2"}, {"--length", "1:10"}}) {
        const std::vector<int16_t> plain = samples(lullaby, shape);
        std::vector<std::string> faded_options = shape;
        faded_options.insert(faded_options.end(), {"--fade", "3"});
        const std::vector<int16_t> faded = samples(lullaby, faded_options);
        ASSERT_EQ(faded.size(), plain.size());
        const size_t fade_start = plain.size() - 2 * 3 * 48000;
        EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + static_cast<ptrdiff_t>(fade_start), faded.begin()));
        // At its start the fade is at full level, and it never makes a sample louder.
        EXPECT_LE(std::abs(faded[fade_start] - plain[fade_start]), 1);
        EXPECT_LE(std::abs(faded[fade_start + 1] - plain[fade_start + 1]), 1);
        int loudest_plain = 0;
        int loudest_in_last_10ms = 0;
        for (size_t i = fade_start; i < plain.size(); ++i) {
            ASSERT_LE(std::abs(faded[i]), std::abs(plain[i])) << i;
            loudest_plain = std::max(loudest_plain, std::abs(plain[i]));
            if (i >= plain.size() - 2 * 480) loudest_in_last_10ms = std::max(loudest_in_last_10ms, std::abs(faded[i]));
        }
        EXPECT_EQ(faded[faded.size() - 2], 0);
        EXPECT_EQ(faded.back(), 0);
        EXPECT_GT(loudest_plain, 1000);
        EXPECT_LE(loudest_in_last_10ms, 2);
    }
}

// The stems of song (voices 1..voices) as written by --stems, each checked
// against --solo of its voice.
std::vector<std::vector<int16_t>> stems_of(RenderProgram& test, const std::string& song, int voices,
                                           const std::vector<std::string>& shape) {
    std::vector<std::string> options{"render", "-q", "--stems", "-o", test.path("stem.wav")};
    options.insert(options.end(), shape.begin(), shape.end());
    options.push_back(song);
    const program_result r = test_support::run_program(TUNTOOL_BINARY, options);
    EXPECT_EQ(r.status, 0) << r.output;
    std::vector<std::vector<int16_t>> stems;
    for (int voice = 1; voice <= voices; ++voice) {
        stems.push_back(wav_samples(read_file(test.path("stem-" + std::to_string(voice) + ".wav"))));
        std::vector<std::string> solo = shape;
        solo.insert(solo.end(), {"--solo", std::to_string(voice)});
        EXPECT_EQ(test.samples(song, solo), stems.back()) << "voice " << voice;
    }
    return stems;
}

// The largest difference between the mix and the sum of the stems.
int worst_sum_error(const std::vector<int16_t>& mix, const std::vector<std::vector<int16_t>>& stems) {
    int worst = 0;
    for (size_t i = 0; i < mix.size(); ++i) {
        int sum = 0;
        for (const auto& stem : stems) sum += stem.at(i);
        worst = std::max(worst, std::abs(sum - mix[i]));
    }
    return worst;
}

TEST_F(RenderProgram, StemsSumToTheMix) {
    // Exactly without a fade, within one unit per voice with one.
    struct case_t {
        std::vector<std::string> shape;
        int allowed;
    } cases[] = {{{}, 0}, {{"--loops", "2"}, 0}, {{"--length", "40", "--fade", "5"}, 6}};
    for (const auto& c : cases) {
        const auto stems = stems_of(*this, circuit, 6, c.shape);
        const std::vector<int16_t> mix = samples(circuit, c.shape);
        EXPECT_LE(worst_sum_error(mix, stems), c.allowed);
    }
}

// --stems writes one file for each voice the mix holds and none for the
// others; with every voice muted there is no stem, as the mix is silence.
TEST_F(RenderProgram, StemsAreTheVoicesTheMixHolds) {
    struct case_t {
        std::vector<std::string> options;
        std::vector<int> stems;
    } cases[] = {
        {{}, {1, 2, 3, 4, 5, 6}},
        {{"--mute", "2"}, {1, 3, 4, 5, 6}},
        {{"--mute", "1,6", "--mute", "3"}, {2, 4, 5}},
        {{"--solo", "4"}, {4}},
        {{"--solo", "2,5", "--mute", "5"}, {2}},
        {{"--mute", "1,2,3,4,5,6"}, {}},
    };
    for (const auto& c : cases) {
        const std::string folder = test_support::make_temp_dir();
        std::vector<std::string> options{"render", "-q", "--stems", "-o", folder + "/s.wav"};
        options.insert(options.end(), c.options.begin(), c.options.end());
        options.push_back(circuit);
        const program_result r = test_support::run_program(TUNTOOL_BINARY, options);
        EXPECT_EQ(r.status, 0) << r.output;
        std::vector<int> written;
        for (int voice = 1; voice <= 8; ++voice)
            if (std::filesystem::exists(folder + "/s-" + std::to_string(voice) + ".wav")) written.push_back(voice);
        EXPECT_EQ(written, c.stems) << (c.options.empty() ? "" : c.options[0] + " " + c.options[1]);
        test_support::remove_tree(folder);
    }
}

TEST_F(RenderProgram, MutingEveryVoiceGivesSilence) {
    const std::vector<int16_t> silent = samples(circuit, {"--mute", "1,2,3", "--mute", "4,5,6"});
    EXPECT_EQ(silent.size(), wav_samples(record(circuit)).size());
    EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](int16_t s) { return s == 0; }));
}

TEST_F(RenderProgram, MutedVoicesStillDriveTheirSyncAndRingPartners) {
    // Voice 2 takes hard sync from voice 1, voice 3 ring modulation from
    // voice 2. Each stem has its partners muted; if a muted voice stopped
    // running, the stems would no longer add up to the mix.
    const std::string score = R"(variant chip
rate 50
tempo 6
channels 3
instrument base    wave=saw vol=200 pan=L
instrument synced  wave=saw SYNC vol=200 pan=C
instrument ringed  wave=tri RING vol=200 pan=R
pattern p
  1: @base C-3 . E-3 . G-3 . C-4 .
  2: @synced C-5 . . . D-5 . . .
  3: @ringed E-5 . . . F-5 . . .
play p p
)";
    auto with = [&](const std::string& sync, const std::string& ring) {
        std::string s = score;
        s.replace(s.find("SYNC"), 4, sync);
        s.replace(s.find("RING"), 4, ring);
        return s;
    };
    const std::string coupled = build("coupled", with("sync=on", "ring=on"));
    const std::string apart = build("apart", with("", ""));
    const auto stems = stems_of(*this, coupled, 3, {});
    EXPECT_EQ(worst_sum_error(samples(coupled, {}), stems), 0);
    // The coupling is heard: without it voices 2 and 3 sound otherwise.
    const auto apart_stems = stems_of(*this, apart, 3, {});
    EXPECT_EQ(stems[0], apart_stems[0]);
    EXPECT_NE(stems[1], apart_stems[1]);
    EXPECT_NE(stems[2], apart_stems[2]);
}

}  // namespace
