// Recording through the output interface: the length known before the
// first block, the frames an output receives, the stop after a signal, and
// the WAV header in both of its forms.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "audio/record.hpp"
#include "audio/wav_header.hpp"
#include "base/stop_signals.hpp"
#include "fake_song.hpp"

namespace {

using synth_test::frame;

// An output that keeps what it is given.
struct memory_output {
    std::vector<synth::stereo_frame> frames;
    int writes = 0;
    int raise_on_write = 0;  // a signal to raise during this write (1-based), or 0
};

audio::output memory(memory_output& m) {
    audio::output out;
    out.state = &m;
    out.write = [](void* state, std::span<const synth::stereo_frame> frames) {
        auto& mem = *static_cast<memory_output*>(state);
        mem.frames.insert(mem.frames.end(), frames.begin(), frames.end());
        if (++mem.writes == mem.raise_on_write) std::raise(SIGINT);
        return 0;
    };
    return out;
}

uint32_t u32_at(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint64_t u64_at(const std::vector<uint8_t>& b, size_t at) {
    return u32_at(b, at) | static_cast<uint64_t>(u32_at(b, at + 4)) << 32;
}

class Recording : public ::testing::Test {
protected:
    void SetUp() override {
        synth_test::reset_engine();
        stop_signals::reset_received();
    }
};

TEST_F(Recording, LengthIsKnownBeforeTheFirstBlockAndMatchesWhatIsWritten) {
    // The last tick falls on sample (frames - 1) x samples_per_frame; its
    // block is the last one.
    struct case_t {
        uint32_t frames;
        uint32_t samples_per_frame;
        uint64_t expected;
    } cases[] = {{50, 960, 12 * 4096}, {1, 960, 4096}, {5, 960, 4096},
                 {6, 960, 2 * 4096},   {3, 0, 4096},   {9000, 6857, 15065 * 4096}};
    for (const auto& c : cases) {
        EXPECT_EQ(synth::recording_frames(c.frames, c.samples_per_frame), c.expected) << c.frames;
        if (c.frames > 100) continue;  // rendering the long ones proves nothing more
        synth_test::reset_engine();
        synth_test::install_song(std::vector<frame>(c.frames), 1, false, c.samples_per_frame);
        // The song is still playing a block before the end, and its last
        // tick has come by the end of the last block.
        memory_output m;
        audio::recording made =
            audio::render_into(synth_test::engine(), memory(m), c.expected - synth::record_block_frames);
        EXPECT_FALSE(synth_test::engine().song_ended.load()) << c.frames;
        made.frames += audio::render_into(synth_test::engine(), memory(m), synth::record_block_frames).frames;
        EXPECT_TRUE(synth_test::engine().song_ended.load()) << c.frames;
        EXPECT_EQ(made.frames, c.expected) << c.frames;
        EXPECT_EQ(m.frames.size(), c.expected) << c.frames;
        EXPECT_EQ(made.stop_signal, 0);
    }
}

TEST_F(Recording, OutputReceivesTheRenderersFramesAndAStopEndsAfterTheBlock) {
    frame f{};
    f[0] = synth_test::record(0x0533, 0x40, 0x00, 255, 200);
    synth_test::install_song(std::vector<frame>(200, f), 1);
    std::vector<synth::stereo_frame> direct(3 * synth::record_block_frames);
    synth::render_frames(synth_test::engine(), direct);

    synth_test::reset_engine();
    synth_test::install_song(std::vector<frame>(200, f), 1);
    stop_signals::install(true);
    memory_output m;
    m.raise_on_write = 3;
    const audio::recording made =
        audio::render_into(synth_test::engine(), memory(m), synth::recording_frames(200, 960));
    EXPECT_EQ(made.stop_signal, SIGINT);
    EXPECT_EQ(made.frames, 3u * synth::record_block_frames);
    EXPECT_EQ(m.frames, direct);
    stop_signals::reset_received();
}

TEST(WavHeader, ClassicUpToTheLast32BitSizeThenRf64) {
    const uint64_t last_classic = audio::max_classic_data_bytes / 4;
    struct case_t {
        uint64_t frames;
        size_t size;
    } cases[] = {{0, 44}, {4096, 44}, {last_classic, 44}, {last_classic + 1, 80}, {uint64_t{3} << 32, 80}};
    for (const auto& c : cases) {
        const auto h = audio::wav_header(song::output_rate, c.frames);
        ASSERT_EQ(h.size(), c.size) << c.frames;
        const std::string riff(h.begin(), h.begin() + 4);
        const uint64_t data = 4 * c.frames;
        if (c.size == 44) {
            EXPECT_EQ(riff, "RIFF");
            EXPECT_EQ(u32_at(h, 4), 36 + data);
            EXPECT_EQ(u32_at(h, 24), 48000u);
            EXPECT_EQ(u32_at(h, 28), 192000u);
            EXPECT_EQ(u32_at(h, 40), data);
        } else {
            EXPECT_EQ(riff, "RF64");
            EXPECT_EQ(u32_at(h, 4), 0xFFFFFFFFu);
            EXPECT_EQ(std::string(h.begin() + 12, h.begin() + 16), "ds64");
            EXPECT_EQ(u64_at(h, 20), 72 + data);  // file size - 8
            EXPECT_EQ(u64_at(h, 28), data);
            EXPECT_EQ(u64_at(h, 36), c.frames);
            EXPECT_EQ(std::string(h.begin() + 72, h.begin() + 76), "data");
            EXPECT_EQ(u32_at(h, 76), 0xFFFFFFFFu);
        }
    }
}

TEST(WavHeader, TagsMakeAListChunkOfTheTagsThatAreThere) {
    using namespace std::string_literals;
    struct case_t {
        audio::stream_tags tags;
        std::string chunk;
    } cases[] = {
        {{}, ""},
        {{"Song", "Ann", "1990", "", ""},
         "LIST\x2C\0\0\0INFO"s + "INAM\5\0\0\0Song\0\0"s + "IART\4\0\0\0Ann\0"s +
             "ICRD\5\0\0\0"
             "1990\0\0"s},
        {{"", "", "", "A b", ""}, "LIST\x10\0\0\0INFO"s + "ICMT\4\0\0\0A b\0"s},
        // UTF-8 goes in as it is; an odd size gets a pad byte, an even one none.
        {{"Caf\xC3\xA9", "", "", "", ""}, "LIST\x12\0\0\0INFO"s + "INAM\6\0\0\0Caf\xC3\xA9\0"s},
        {{"", "", "x", "", ""}, "LIST\x0E\0\0\0INFO"s + "ICRD\2\0\0\0x\0"s},
    };
    for (const auto& c : cases) {
        const auto chunk = audio::info_chunk(c.tags);
        EXPECT_EQ(std::string(chunk.begin(), chunk.end()), c.chunk) << c.tags.title << c.tags.comment;
        EXPECT_EQ(chunk.size() % 2, 0u);
    }
}

TEST(WavHeader, OtherChunksComeBeforeTheSamplesAndCountInTheSizes) {
    const auto chunk = audio::info_chunk({"Song", "Ann", "1990", "", ""});
    const uint64_t frames = 4096;
    const auto h = audio::wav_header(song::output_rate, frames, chunk);
    ASSERT_EQ(h.size(), 44 + chunk.size());
    EXPECT_EQ(u32_at(h, 4), 36 + chunk.size() + 4 * frames);
    EXPECT_EQ(std::vector<uint8_t>(h.begin() + 36, h.begin() + 36 + chunk.size()), chunk);
    EXPECT_EQ(std::string(h.end() - 8, h.end() - 4), "data");
    EXPECT_EQ(u32_at(h, h.size() - 4), 4 * frames);

    const auto big = audio::wav_header(song::output_rate, uint64_t{3} << 32, chunk);
    ASSERT_EQ(big.size(), 80 + chunk.size());
    EXPECT_EQ(u64_at(big, 20), 72 + chunk.size() + (uint64_t{12} << 32));
    EXPECT_EQ(std::vector<uint8_t>(big.begin() + 72, big.begin() + 72 + chunk.size()), chunk);

    // The chunk's bytes move the last length the 32-bit fields hold.
    const uint64_t last_classic = (audio::max_classic_data_bytes - chunk.size()) / 4;
    EXPECT_FALSE(audio::needs_rf64(last_classic, chunk.size()));
    EXPECT_TRUE(audio::needs_rf64(last_classic + 1, chunk.size()));
    EXPECT_FALSE(audio::needs_rf64(last_classic + 1));
}

}  // namespace
