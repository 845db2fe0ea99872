// The C API as another program uses it: songs of every kind rendered through
// it give record mode's frames and, with loops, length, fade and mutes,
// tuntool render's; open errors give their codes; songs rendered together,
// in one thread or in eight, give exactly what they give alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "song/aplib_pack.hpp"
#include "program_run.hpp"
#include "song_bytes.hpp"
#include "tonera/tonera.h"

namespace {

using test_support::song_header;

struct song_closer {
    void operator()(tonera_song* song) const { tonera_close(song); }
};
using song_handle = std::unique_ptr<tonera_song, song_closer>;

song_handle open_song(const std::vector<uint8_t>& bytes) {
    tonera_song* song = nullptr;
    const int error = tonera_open(bytes.data(), bytes.size(), &song);
    EXPECT_EQ(error, 0) << tonera_strerror(error);
    return song_handle(song);
}

// Every sample to the end, in chunks of the given sizes taken in turn.
std::vector<int16_t> render_all(tonera_song* song, std::vector<size_t> chunks = {4096}) {
    std::vector<int16_t> out;
    std::vector<int16_t> buffer(2 * 8192);
    for (size_t k = 0;; ++k) {
        const size_t count = chunks[k % chunks.size()];
        const size_t got = tonera_render_s16(song, buffer.data(), count);
        EXPECT_LE(got, count);
        out.insert(out.end(), buffer.begin(), buffer.begin() + 2 * static_cast<ptrdiff_t>(got));
        if (got < count) break;
    }
    EXPECT_EQ(tonera_render_s16(song, buffer.data(), 100), 0u) << "nothing after the end";
    return out;
}

// Records that use every control bit, sync and ring included, with pitches,
// pans and pulses that change from frame to frame.
test_support::record_values busy_record(uint32_t frame, uint32_t channel) {
    const uint32_t x = (frame * 2654435761u) ^ (channel * 40503u + 17);
    return {static_cast<uint16_t>(x >> 7), static_cast<uint8_t>(x >> 3), static_cast<uint8_t>(x >> 11),
            static_cast<uint8_t>(128 + (x >> 20) % 128), static_cast<uint8_t>(x >> 24)};
}

std::vector<uint8_t> busy_song(const std::string& magic, uint32_t channels, bool interleaved, bool packed,
                               uint32_t frames, uint32_t loop_frame = 0, const std::string& text = "") {
    song_header h;
    h.magic = magic;
    h.flags = static_cast<uint8_t>(channels | (interleaved ? 0x10 : 0));
    h.loop_frame = loop_frame;
    h.text = text;
    auto body = interleaved ? test_support::interleaved_body(channels, frames, busy_record)
                            : test_support::planar_body(channels, frames, busy_record);
    if (packed) {
        h.flags |= 0x40;
        h.unpacked_size = static_cast<uint32_t>(body.size());
        body = packer::aplib_pack(body);
    }
    return test_support::song_bytes(h, body);
}

// The 16-bit samples of a WAV file written by our programs (44-byte header).
std::vector<int16_t> wav_samples(const std::vector<uint8_t>& wav) {
    std::vector<int16_t> samples((wav.size() - 44) / 2);
    std::memcpy(samples.data(), wav.data() + 44, samples.size() * 2);
    return samples;
}

class ToneraApi : public ::testing::Test {
protected:
    void SetUp() override { dir = test_support::make_temp_dir(); }
    void TearDown() override { test_support::remove_tree(dir); }
    std::string dir;
};

TEST_F(ToneraApi, EveryKindOfSongRendersRecordModeFrames) {
    struct row {
        const char* magic;
        uint32_t channels;
        bool interleaved;
        bool packed;
    };
    const row rows[] = {
        {"TQK", 1, true, false},  {"CQK", 1, false, false}, {"TQK", 2, false, true}, {"CQK", 3, true, true},
        {"CQK", 4, false, false}, {"TQK", 5, true, false},  {"CQK", 6, true, false}, {"CQK", 7, false, true},
        {"TQK", 8, false, false}, {"CQK", 8, true, true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.magic) + " " + std::to_string(r.channels) +
                     (r.interleaved ? " interleaved" : " planar") + (r.packed ? " packed" : ""));
        const auto bytes = busy_song(r.magic, r.channels, r.interleaved, r.packed, 130);
        const std::string song_path = dir + "/song.tun";
        test_support::write_file(song_path, bytes);
        const auto run = test_support::run_program(PLAYTUN_BINARY, {song_path, dir + "/out.wav"});
        ASSERT_EQ(run.status, 0) << run.output;
        const auto recorded = wav_samples(test_support::read_file(dir + "/out.wav"));

        const auto song = open_song(bytes);
        ASSERT_TRUE(song);
        EXPECT_EQ(tonera_channels(song.get()), static_cast<int>(r.channels));
        EXPECT_EQ(tonera_variant(song.get()), r.magic[0] == 'C' ? TONERA_VARIANT_CHIP : TONERA_VARIANT_PLAIN);
        const auto rendered = render_all(song.get(), {1000, 1, 4097, 333});
        // Exactly the song's frames, where record mode runs to its block's end.
        ASSERT_EQ(rendered.size(), 2u * 130 * 960);
        ASSERT_LE(rendered.size(), recorded.size());
        EXPECT_TRUE(std::equal(rendered.begin(), rendered.end(), recorded.begin()));
    }
}

// Loops, length, fade and mutes shape the rendering as tuntool render's
// options do, sample for sample.
TEST_F(ToneraApi, ShapedRenderingsEqualTuntoolRender) {
    struct row {
        std::vector<std::string> options;
        int loops;
        uint64_t length_ms;
        uint32_t fade_ms;
        unsigned mute;
    };
    const row rows[] = {
        {{}, 0, 0, 0, 0},
        {{"--loops", "3"}, 3, 0, 0, 0},
        {{"--length", "7.5"}, 0, 7500, 0, 0},
        {{"--loops", "2", "--fade", "1.5"}, 2, 0, 1500, 0},
        {{"--length", "4", "--fade", "10"}, 0, 4000, 10000, 0},
        {{"--mute", "1,3"}, 0, 0, 0, 0b101},
    };
    // 3 voices in one sync/ring group, a loop section from frame 40.
    const auto bytes = busy_song("CQK", 3, true, false, 150, 40);
    const std::string song_path = dir + "/shaped.tun";
    test_support::write_file(song_path, bytes);
    for (const auto& r : rows) {
        std::string what;
        for (const auto& o : r.options) what += o + " ";
        SCOPED_TRACE(what);
        std::vector<std::string> arguments{"render", "-q"};
        arguments.insert(arguments.end(), r.options.begin(), r.options.end());
        arguments.insert(arguments.end(), {"-o", dir + "/shaped.wav", song_path});
        const auto run = test_support::run_program(TUNTOOL_BINARY, arguments);
        ASSERT_EQ(run.status, 0) << run.output;
        auto expected = wav_samples(test_support::read_file(dir + "/shaped.wav"));

        const auto song = open_song(bytes);
        ASSERT_EQ(tonera_set_loops(song.get(), r.loops), 0);
        ASSERT_EQ(tonera_set_length_ms(song.get(), r.length_ms), 0);
        ASSERT_EQ(tonera_set_fade_ms(song.get(), r.fade_ms), 0);
        ASSERT_EQ(tonera_set_mute_mask(song.get(), r.mute), 0);
        auto rendered = render_all(song.get(), {2500, 7});
        EXPECT_EQ(tonera_length_frames(song.get()), rendered.size() / 2);
        if (r.loops == 0 && r.length_ms == 0) {
            // Unshaped, render writes record mode's bytes, which end with the
            // block in which the last frame starts; the API ends with the song.
            EXPECT_EQ(rendered.size(), 2u * 150 * 960);
            const size_t common = std::min(rendered.size(), expected.size());
            expected.resize(common);
            rendered.resize(common);
        }
        EXPECT_EQ(rendered, expected);
    }
}

TEST_F(ToneraApi, OpenErrorsReturnTheCodesTheirTextsDescribe) {
    const auto good = busy_song("TQK", 2, true, false, 10);
    auto wrong_magic = good;
    wrong_magic[1] = 'X';
    auto truncated_text = good;
    truncated_text[10] = 0xFF;  // a text longer than the file
    auto no_frame = std::vector<uint8_t>(good.begin(), good.begin() + 16 + 11);
    auto rate_zero = good;
    rate_zero[4] = rate_zero[5] = 0;
    auto channels_zero = good;
    channels_zero[3] = 0x10;
    auto channels_nine = good;
    channels_nine[3] = 0x19;
    auto packed = busy_song("TQK", 2, true, true, 10);
    auto unpacked_zero = packed;
    std::fill(unpacked_zero.begin() + 12, unpacked_zero.begin() + 16, 0);
    auto broken_stream = packed;
    broken_stream.resize(broken_stream.size() - 3);
    auto huge_claim = packed;
    std::fill(huge_claim.begin() + 12, huge_claim.begin() + 16, 0xFF);

    struct row {
        const char* what;
        std::vector<uint8_t> bytes;
        int error;
    };
    const row rows[] = {
        {"empty", {}, TONERA_E_NOT_A_SONG},
        {"short", {'T', 'Q', 'K', 0x11, 50}, TONERA_E_NOT_A_SONG},
        {"wrong magic", wrong_magic, TONERA_E_NOT_A_SONG},
        {"text past the end", truncated_text, TONERA_E_NOT_A_SONG},
        {"no whole frame", no_frame, TONERA_E_NOT_A_SONG},
        {"frame rate 0", rate_zero, TONERA_E_NOT_A_SONG},
        {"0 channels", channels_zero, TONERA_E_CHANNEL_COUNT},
        {"9 channels", channels_nine, TONERA_E_CHANNEL_COUNT},
        {"unpacked size 0", unpacked_zero, TONERA_E_COMPRESSED_DATA},
        {"truncated stream", broken_stream, TONERA_E_DECOMPRESSION},
        {"unpacked size 4 GiB", huge_claim, TONERA_E_TOO_LARGE},
    };
    std::vector<std::string> texts;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        tonera_song* song = reinterpret_cast<tonera_song*>(&texts);  // must be reset to NULL
        EXPECT_EQ(tonera_open(r.bytes.data(), r.bytes.size(), &song), r.error);
        EXPECT_EQ(song, nullptr);
        texts.push_back(tonera_strerror(r.error));
    }
    tonera_song* song = nullptr;
    EXPECT_EQ(tonera_open(nullptr, 5, &song), TONERA_E_INVALID);
    EXPECT_EQ(tonera_open(good.data(), good.size(), nullptr), TONERA_E_INVALID);
    // Each code has a text of its own.
    std::sort(texts.begin(), texts.end());
    texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
    EXPECT_EQ(texts.size(), 5u);
    EXPECT_STREQ(tonera_strerror(12345), "unknown error");
    tonera_close(nullptr);
}

TEST_F(ToneraApi, SongsRenderedTogetherGiveWhatTheyGiveAlone) {
    const std::vector<std::vector<uint8_t>> songs{
        busy_song("CQK", 8, true, false, 60),   busy_song("TQK", 3, false, true, 90, 10),
        busy_song("CQK", 5, false, false, 45),  busy_song("TQK", 1, true, false, 200),
        busy_song("CQK", 3, true, true, 75),    busy_song("TQK", 8, true, false, 30),
        busy_song("CQK", 2, false, false, 120), busy_song("CQK", 6, true, false, 50),
    };
    std::vector<std::vector<int16_t>> alone;
    for (const auto& bytes : songs) alone.push_back(render_all(open_song(bytes).get()));

    // Two in one thread, in alternating chunks of different sizes.
    auto first = open_song(songs[0]);
    auto second = open_song(songs[1]);
    std::vector<int16_t> a, b, buffer(2 * 4096);
    for (size_t k = 0; a.size() < alone[0].size() || b.size() < alone[1].size(); ++k) {
        const size_t got_a = tonera_render_s16(first.get(), buffer.data(), 1 + k * 37 % 1500);
        a.insert(a.end(), buffer.begin(), buffer.begin() + 2 * static_cast<ptrdiff_t>(got_a));
        const size_t got_b = tonera_render_s16(second.get(), buffer.data(), 4096 - k * 101 % 4000);
        b.insert(b.end(), buffer.begin(), buffer.begin() + 2 * static_cast<ptrdiff_t>(got_b));
    }
    EXPECT_EQ(a, alone[0]);
    EXPECT_EQ(b, alone[1]);

    // Eight threads, eight songs, all at once.
    std::vector<std::vector<int16_t>> together(songs.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < songs.size(); ++i) {
        threads.emplace_back([&, i] {
            tonera_song* song = nullptr;
            if (tonera_open(songs[i].data(), songs[i].size(), &song) != 0) return;
            together[i] = render_all(song, {static_cast<size_t>(300 + 97 * i)});
            tonera_close(song);
        });
    }
    for (auto& t : threads) t.join();
    for (size_t i = 0; i < songs.size(); ++i) EXPECT_EQ(together[i], alone[i]) << "song " << i;
}

TEST_F(ToneraApi, SeeksLandOnFrameStartsAndRepeatExactly) {
    const auto bytes = busy_song("CQK", 3, true, false, 100, 60);
    const auto song = open_song(bytes);
    const uint32_t spf = tonera_samples_per_frame(song.get());
    ASSERT_EQ(spf, 960u);
    EXPECT_EQ(tonera_duration_ms(song.get()), 2000u);
    const auto from_start = render_all(song.get());

    struct row {
        uint64_t ms;
        int loops;
        uint32_t frame;     // the song frame it lands on
        uint64_t position;  // stereo frames into the rendering
    };
    const row rows[] = {
        {0, 0, 0, 0},
        {1019, 0, 50, 50 * 960},  // 50.95 frames: the frame before
        {1999, 0, 99, 99 * 960},
        {5000, 0, 100, 100 * 960},      // past the end: the end
        {2500, 3, 60 + 25, 125 * 960},  // the second pass of the loop section
        {3500, 3, 60 + 35, 175 * 960},  // the third
        {3800, 3, 100, 180 * 960},      // past the end of the third: the end
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.ms);
        ASSERT_EQ(tonera_set_loops(song.get(), r.loops), 0);
        ASSERT_EQ(tonera_seek_ms(song.get(), r.ms), 0);
        EXPECT_EQ(tonera_song_frame(song.get()), r.frame);
        EXPECT_EQ(tonera_position_frames(song.get()), r.position);
    }
    // After a seek the voices start as at open: a seek to 0 renders the song
    // from the start again, and a seek elsewhere gives the same every time.
    ASSERT_EQ(tonera_set_loops(song.get(), 0), 0);
    ASSERT_EQ(tonera_seek_frame(song.get(), 0), 0);
    EXPECT_EQ(render_all(song.get(), {777}), from_start);
    ASSERT_EQ(tonera_seek_frame(song.get(), 37), 0);
    const auto once = render_all(song.get());
    ASSERT_EQ(tonera_seek_frame(song.get(), 37), 0);
    EXPECT_EQ(render_all(song.get(), {50}), once);
    EXPECT_EQ(once.size(), 2u * 63 * 960);
    EXPECT_EQ(tonera_seek_frame(song.get(), 101), TONERA_E_INVALID);
}

TEST_F(ToneraApi, FactsTextAndSnapshots) {
    // Code page 437: 0x82 is e acute, 0x01 a smiling face, 0x00 a blank cell.
    const auto bytes = busy_song("TQK", 2, true, false, 20, 5, std::string("Caf\x82 \x01", 6) + '\0');
    const auto song = open_song(bytes);
    const uint8_t* raw = nullptr;
    ASSERT_EQ(tonera_text(song.get(), &raw), 7u);
    EXPECT_EQ(raw[3], 0x82);
    const std::string expected = "Caf\xC3\xA9 \xE2\x98\xBA ";
    char text[64];
    EXPECT_EQ(tonera_text_utf8(song.get(), text, sizeof text), expected.size());
    EXPECT_EQ(text, expected);
    // Cut short at a character boundary, always terminated.
    EXPECT_EQ(tonera_text_utf8(song.get(), text, 5), expected.size());
    EXPECT_STREQ(text, "Caf");
    EXPECT_EQ(tonera_frame_rate(song.get()), 50);
    EXPECT_EQ(tonera_frames(song.get()), 20u);
    EXPECT_EQ(tonera_loop_frame(song.get()), 5u);
    EXPECT_STREQ(tonera_version(), TONERA_EXPECTED_VERSION);

    std::vector<int16_t> frames(2 * 1500);
    ASSERT_EQ(tonera_render_s16(song.get(), frames.data(), 1500), 1500u);
    tonera_snapshot snapshot;
    ASSERT_EQ(tonera_get_snapshot(song.get(), &snapshot), 0);
    EXPECT_EQ(snapshot.song_frame, 2u);  // frames 0 and 1 have been read
    EXPECT_EQ(snapshot.position_frames, 1500u);
    EXPECT_EQ(snapshot.records[1].pitch, busy_record(1, 1).pitch);
    EXPECT_EQ(snapshot.records[1].volume, busy_record(1, 1).volume);
    ASSERT_EQ(snapshot.scope_frames, static_cast<uint32_t>(TONERA_SCOPE_FRAMES));
    EXPECT_EQ(snapshot.scope[2 * TONERA_SCOPE_FRAMES - 1], frames[2 * 1500 - 1]);
    EXPECT_EQ(snapshot.scope[0], frames[2 * (1500 - TONERA_SCOPE_FRAMES)]);

    // A muted voice shows volume 0 from the next frame on.
    ASSERT_EQ(tonera_set_mute_mask(song.get(), 0b10), 0);
    EXPECT_EQ(tonera_mute_mask(song.get()), 0b10u);
    EXPECT_EQ(tonera_set_mute_mask(song.get(), 0x100), TONERA_E_INVALID);
    ASSERT_EQ(tonera_render_s16(song.get(), frames.data(), 960), 960u);
    ASSERT_EQ(tonera_get_snapshot(song.get(), &snapshot), 0);
    EXPECT_EQ(snapshot.voice_volume[1], 0);
    EXPECT_NE(snapshot.voice_volume[0], 0);
}

// The wave editing operations of the player's keys: they change what the
// song sounds like at once, and only for that song.
TEST_F(ToneraApi, WaveEditsChangeOnlyTheirSong) {
    const auto bytes = busy_song("TQK", 2, true, false, 40);
    const auto plain = render_all(open_song(bytes).get());
    const auto edited = open_song(bytes);
    const auto untouched = open_song(bytes);
    uint8_t before[16], after[16];
    ASSERT_EQ(tonera_wave_definition(edited.get(), 0, before), 0);
    struct row {
        const char* what;
        int result;
    };
    const row rows[] = {
        {"select 0", tonera_wave_select(edited.get(), 0)},
        {"preset 1", tonera_wave_preset(edited.get(), 1)},
        {"base", tonera_wave_set_base(edited.get(), 1, TONERA_BASE_SHIFTED_SINE)},
        {"step", tonera_wave_step_partial(edited.get(), 3, +1)},
        {"randomise", tonera_wave_randomise(edited.get(), 1)},
        {"swap", tonera_wave_swap_halves(edited.get())},
        {"clear", tonera_wave_clear(edited.get(), 0)},
        {"fold", tonera_set_pulse_fold(edited.get(), 0)},
    };
    for (const auto& r : rows) EXPECT_EQ(r.result, 0) << r.what;
    EXPECT_EQ(tonera_wave_select(edited.get(), 2), TONERA_E_INVALID);
    EXPECT_EQ(tonera_wave_preset(edited.get(), 6), TONERA_E_INVALID);
    EXPECT_EQ(tonera_wave_step_partial(edited.get(), 16, 1), TONERA_E_INVALID);
    ASSERT_EQ(tonera_wave_definition(edited.get(), 0, after), 0);
    EXPECT_NE(std::memcmp(before, after, 16), 0);
    EXPECT_EQ(tonera_pulse_fold(edited.get()), 0);
    EXPECT_NE(render_all(edited.get()), plain);
    EXPECT_EQ(render_all(untouched.get()), plain);
}

// A slot (definition and bases) handed over from another song makes this song sound as the
// song whose edits made it, and the selected slot does not move.
TEST_F(ToneraApi, WaveSlotHandedOverSoundsAsTheEditedSong) {
    const auto bytes = busy_song("CQK", 3, true, false, 40);
    struct row {
        const char* what;
        int slot;
        void (*edit)(tonera_song*);
    };
    const row rows[] = {
        {"preset 3 in slot 0", 0, [](tonera_song* s) { tonera_wave_preset(s, 3); }},
        {"randomised halves in slot 1", 1,
         [](tonera_song* s) {
             tonera_wave_select(s, 1);
             tonera_wave_randomise(s, 0);
             tonera_wave_randomise(s, 1);
         }},
        {"stepped partial in slot 1", 1,
         [](tonera_song* s) {
             tonera_wave_select(s, 1);
             tonera_wave_step_partial(s, 9, +1);
         }},
    };
    const auto plain = render_all(open_song(bytes).get());
    for (const auto& r : rows) {
        const auto edited = open_song(bytes);
        r.edit(edited.get());
        uint8_t definition[16];
        int bases[2];
        ASSERT_EQ(tonera_wave_definition(edited.get(), r.slot, definition), 0) << r.what;
        ASSERT_EQ(tonera_wave_bases(edited.get(), r.slot, bases), 0) << r.what;
        const auto handed = open_song(bytes);
        // Pulse folding is no part of a slot: the preset switches it on.
        tonera_set_pulse_fold(handed.get(), tonera_pulse_fold(edited.get()));
        ASSERT_EQ(tonera_wave_set_slot(handed.get(), r.slot, definition, bases), 0) << r.what;
        const auto expected = render_all(edited.get());
        EXPECT_NE(expected, plain) << r.what;
        EXPECT_EQ(render_all(handed.get()), expected) << r.what;
    }
    const auto song = open_song(bytes);
    const uint8_t zeros[16] = {};
    const int sines[2] = {TONERA_BASE_SINE, TONERA_BASE_SINE};
    const int unknown[2] = {TONERA_BASE_SINE, 7};
    int bases[2];
    ASSERT_EQ(tonera_wave_bases(song.get(), 1, bases), 0);  // a new song: slot 1 on shifted sines
    EXPECT_EQ(bases[0], TONERA_BASE_SHIFTED_SINE);
    EXPECT_EQ(bases[1], TONERA_BASE_SHIFTED_SINE);
    EXPECT_EQ(tonera_wave_set_slot(song.get(), 2, zeros, sines), TONERA_E_INVALID);
    EXPECT_EQ(tonera_wave_set_slot(song.get(), 0, nullptr, sines), TONERA_E_INVALID);
    EXPECT_EQ(tonera_wave_set_slot(song.get(), 0, zeros, unknown), TONERA_E_INVALID);
    EXPECT_EQ(tonera_wave_set_slot(nullptr, 0, zeros, sines), TONERA_E_INVALID);
    EXPECT_EQ(tonera_wave_bases(song.get(), 2, bases), TONERA_E_INVALID);
}

}  // namespace
