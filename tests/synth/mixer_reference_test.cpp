// The mixer runs each voice through a whole run of frames at a time. This
// checks it against a plain sample-by-sample mixer written directly from the
// mixing rules, on random voice states and wavetables.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "fake_song.hpp"

namespace {

using voice_array = std::array<synth::voice_state, synth::max_voices + 1>;

uint8_t wave_sample(int slot, int index) { return synth_test::engine().wave_slots[slot].wavetable[index].load(); }

// One output frame, voice by voice in ascending order.
void reference_mix(voice_array& voices, int count, int16_t* out) {
    int32_t left = 0;
    int32_t right = 0;
    for (int i = 0; i < count; ++i) {
        auto& v = voices[i];
        v.phase += v.increment;
        v.wrapped = 0;
        int p = (v.phase >> 16) & 0xFF;
        if ((v.last_phase & 0x80) != 0 && (p & 0x80) == 0) {
            v.latched_pulse = v.pulse;
            v.wrapped = 1;
        }
        if (v.ring_source != 255) {
            p = (p & 0x7F) | (voices[v.ring_source].last_sample & 0x80);
        }
        if (v.sync_source != 255 && voices[v.sync_source].wrapped == 1) {
            v.phase = 0;
            p = 0;
        }
        v.last_phase = static_cast<uint8_t>(p);
        const int x = v.noise_on == 1 ? synth::tables().noise_table[v.phase >> 20] : p;
        const int s = wave_sample(v.wave_slot, synth::tables().phase_map[x][v.latched_pulse]);
        v.last_sample = static_cast<uint8_t>(s);
        const int d = s - v.smoothed;
        const int step = d * (v.filter + 1);
        // floor division by 256
        v.smoothed = static_cast<uint8_t>(v.smoothed + (step >= 0 ? step / 256 : -((-step + 255) / 256)));
        const int c = (v.smoothed - 128) * v.volume;
        const auto shifted = [c](int shift) {
            return c >= 0 ? c / (1 << shift) : -((-c + (1 << shift) - 1) / (1 << shift));
        };
        left += shifted(v.shift_left);
        right += shifted(v.shift_right);
    }
    out[0] = static_cast<int16_t>(left);
    out[1] = static_cast<int16_t>(right);
}

synth::voice_state random_voice(std::mt19937& rng, int index, int source_style) {
    auto byte = [&rng] { return static_cast<uint8_t>(rng() & 0xFF); };
    synth::voice_state v;
    const uint32_t increment_ranges[] = {0x100000, 0x20000, 1600000, 0x01000000};
    v.increment = rng() % increment_ranges[rng() % 4];
    v.pulse = byte();
    v.volume = byte();
    v.filter = (rng() % 3 == 0) ? 255 : byte();
    v.wave_slot = static_cast<uint8_t>(rng() & 1);
    v.noise_on = (rng() % 4 == 0) ? 1 : 0;
    v.smoothed = byte();
    v.shift_left = static_cast<uint8_t>(rng() % 17);
    v.shift_right = static_cast<uint8_t>(rng() % 17);
    v.latched_pulse = byte();
    v.last_phase = byte();
    v.last_sample = byte();
    v.wrapped = static_cast<uint8_t>(rng() & 1);
    v.phase = rng();
    auto source = [&]() -> uint8_t {
        switch (source_style) {
            case 0: return 255;
            case 1: return rng() % 2 ? synth::partner_table[index] : 255;
            case 2: return synth::partner_table[index];
            default: return static_cast<uint8_t>(rng() % 10 == 0 ? 255 : rng() % 9);
        }
    };
    v.sync_source = source();
    v.ring_source = source();
    return v;
}

TEST(MixerReference, RunsMatchSampleBySampleMixing) {
    synth_test::reset_engine();
    std::mt19937 rng(20240229);
    for (int scenario = 0; scenario < 400; ++scenario) {
        for (int slot = 0; slot < 2; ++slot) {
            for (auto& s : synth_test::engine().wave_slots[slot].wavetable) {
                s.store(static_cast<uint8_t>(rng() & 0xFF));
            }
        }
        const int count = 1 + static_cast<int>(rng() % 8);
        const int source_style = scenario % 4;
        synth_test::engine().song.channel_count = static_cast<uint8_t>(count);
        for (int i = 0; i <= synth::max_voices; ++i) {
            synth_test::engine().voices[i] = random_voice(rng, i, source_style);
        }
        voice_array expected_voices = synth_test::engine().voices;
        const uint16_t frames = static_cast<uint16_t>(1 + rng() % 700);

        std::vector<int16_t> expected(2 * frames);
        for (uint16_t f = 0; f < frames; ++f) {
            reference_mix(expected_voices, count, &expected[2 * f]);
        }
        std::vector<int16_t> actual(2 * frames);
        synth::mix_voices(synth_test::engine(), actual.data(), frames);

        ASSERT_EQ(actual, expected) << "scenario " << scenario << ", " << count << " voices";
        for (int i = 0; i <= synth::max_voices; ++i) {
            ASSERT_TRUE(synth_test::engine().voices[i] == expected_voices[i])
                << "scenario " << scenario << ", voice " << i;
        }
    }
}

TEST(MixerReference, RenderBlockMatchesSampleBySampleMixingAcrossTicks) {
    synth_test::reset_engine();
    std::mt19937 rng(7);
    std::vector<synth_test::frame> frames(40);
    for (auto& f : frames) {
        for (auto& r : f) {
            r = song::channel_record{static_cast<uint16_t>(rng()), static_cast<uint8_t>(rng()),
                                     static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                                     static_cast<uint8_t>(rng())};
        }
    }
    synth_test::install_song(frames, 6, true, 333);
    synth_test::engine().loop_enabled.store(true);

    // Reference: a tick before every 333th sample, then one reference frame.
    std::vector<int16_t> expected;
    {
        voice_array mirror{};
        synth_test::the_song.log_reads = false;
        for (int n = 0; n < 5000; ++n) {
            if (n % 333 == 0) {
                synth_test::engine().voices = mirror;
                synth::frame_tick(synth_test::engine());
                mirror = synth_test::engine().voices;
            }
            int16_t out[2];
            reference_mix(mirror, 6, out);
            expected.push_back(out[0]);
            expected.push_back(out[1]);
        }
    }
    // The same song again through the renderer in uneven blocks.
    synth_test::engine().voices = {};
    synth_test::engine().frame_countdown = 0;
    synth_test::engine().loop_enabled.store(true);
    synth_test::engine().song.frame_index.store(0);
    std::vector<synth::stereo_frame> rendered(5000);
    const int blocks[] = {1, 300, 2048, 17, 1000, 1634};
    int at = 0;
    for (int b : blocks) {
        synth::render_frames(synth_test::engine(), std::span(rendered).subspan(at, b));
        at += b;
    }
    ASSERT_EQ(at, 5000);
    for (int n = 0; n < 5000; ++n) {
        ASSERT_EQ(rendered[n].left, expected[2 * n]) << "sample " << n;
        ASSERT_EQ(rendered[n].right, expected[2 * n + 1]) << "sample " << n;
    }
}

}  // namespace

namespace {

std::vector<synth::mixer_kernel> available_kernels() {
    std::vector<synth::mixer_kernel> kernels;
    for (auto k : {synth::mixer_kernel::one_at_a_time, synth::mixer_kernel::side_by_side,
                   synth::mixer_kernel::side_by_side_avx2}) {
        if (synth::kernel_available(k)) kernels.push_back(k);
    }
    return kernels;
}

// Which partner each voice follows, by voice: 'n' none, 's' sync, 'r' ring,
// 'b' both (always the partner the frame tick names).
synth::voice_state voice_following(std::mt19937& rng, int index, char use) {
    synth::voice_state v = random_voice(rng, index, 0);
    const uint8_t partner = synth::partner_table[index];
    v.sync_source = (use == 's' || use == 'b') ? partner : synth::no_partner;
    v.ring_source = (use == 'r' || use == 'b') ? partner : synth::no_partner;
    return v;
}

TEST(MixerReference, EveryKernelMatchesSampleBySampleMixing) {
    struct partner_case {
        const char* uses;  // one letter per voice 0..7 (and the ninth state)
        int count;
    };
    const partner_case cases[] = {
        {"nnnnnnnnn", 8},                                      // independent voices
        {"nnnnnnnnn", 4},                                      // lanes left empty
        {"nsrnsrnsn", 8},                                      // chains from the first voice of each group
        {"rnsbnsrnn", 8},                                      // chains that start at the group's last voice
        {"bbbnnnnnn", 8},                                      // a cycle beside independent voices
        {"bbbbbbbbn", 8},                                      // cycles only, and voice 6 follows the ninth state
        {"nnnsnnnnn", 4},                                      // voice 3 follows voice 5, which is not mixed
        {"sssssssnn", 7},                                      // voice 6 follows the ninth state
        {"rnrnrnrnn", 5}, {"nbsbnsbrn", 6}, {"bnnnnnbnn", 8},  // a first voice following its group's last voice
        {"nrbrbnnrn", 8},
    };
    std::mt19937 rng(31337);
    for (const auto kernel : available_kernels()) {
        for (const auto& c : cases) {
            for (int round = 0; round < 25; ++round) {
                synth_test::reset_engine();
                synth::engine& e = synth_test::engine();
                e.kernel = kernel;
                for (int slot = 0; slot < 2; ++slot) {
                    for (auto& s : e.wave_slots[slot].wavetable) s.store(static_cast<uint8_t>(rng()));
                }
                e.song.channel_count = static_cast<uint8_t>(c.count);
                for (int i = 0; i <= synth::max_voices; ++i) e.voices[i] = voice_following(rng, i, c.uses[i]);
                voice_array expected_voices = e.voices;
                const uint16_t frames = static_cast<uint16_t>(1 + rng() % 600);
                std::vector<int16_t> expected(2 * frames);
                for (uint16_t f = 0; f < frames; ++f) reference_mix(expected_voices, c.count, &expected[2 * f]);
                std::vector<int16_t> actual(2 * frames);
                synth::mix_voices(e, actual.data(), frames);
                ASSERT_EQ(actual, expected) << "kernel " << int(kernel) << ", voices " << c.uses << ", round " << round;
                for (int i = 0; i <= synth::max_voices; ++i) {
                    ASSERT_TRUE(e.voices[i] == expected_voices[i])
                        << "kernel " << int(kernel) << ", voices " << c.uses << ", voice " << i;
                }
            }
        }
    }
}

// Random records with every control bit, in both variants and for every
// voice count, rendered in uneven blocks; between blocks the wave slots
// change and voices are muted and unmuted. Every kernel gives the frames of
// the one-voice-at-a-time mixer.
TEST(MixerReference, EveryKernelRendersTheSameSongs) {
    std::mt19937 rng(4242);
    const int blocks[] = {1, 700, 2048, 5, 333, 960, 1500, 17};
    for (int count = 1; count <= 8; ++count) {
        for (const bool chip : {false, true}) {
            std::vector<synth_test::frame> frames(30);
            for (auto& f : frames) {
                for (auto& r : f) {
                    r = song::channel_record{static_cast<uint16_t>(rng()), static_cast<uint8_t>(rng()),
                                             static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                                             static_cast<uint8_t>(rng())};
                }
            }
            std::vector<synth::stereo_frame> expected;
            for (const auto kernel : available_kernels()) {
                synth_test::reset_engine();
                synth::engine& e = synth_test::engine();
                e.kernel = kernel;
                synth_test::install_song(frames, static_cast<uint8_t>(count), chip, 200);
                synth_test::the_song.log_reads = false;
                e.loop_enabled.store(true);
                std::mt19937 edits(count * 2 + chip);
                std::vector<synth::stereo_frame> rendered;
                for (const int b : blocks) {
                    std::vector<synth::stereo_frame> block(b);
                    synth::render_frames(e, block);
                    rendered.insert(rendered.end(), block.begin(), block.end());
                    e.voice_muted[edits() % synth::max_voices].store(edits() % 2 == 0);
                    synth::step_partial(e, static_cast<uint8_t>(edits() % 16), edits() % 2 ? +1 : -1);
                    e.selected_slot = static_cast<uint8_t>(edits() % 2);
                    synth::build_wavetable(e, e.selected_slot);
                }
                if (kernel == synth::mixer_kernel::one_at_a_time) {
                    expected = rendered;
                    continue;
                }
                for (size_t n = 0; n < rendered.size(); ++n) {
                    ASSERT_EQ(rendered[n], expected[n])
                        << "kernel " << int(kernel) << ", " << count << " voices, chip " << chip << ", frame " << n;
                }
            }
        }
    }
}

}  // namespace
