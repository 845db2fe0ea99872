// PSID import: tiny tunes built here (a few bytes of 6502 code setting the
// chip's registers) run through the player library, and the frames that
// come out: pitch, envelope volume against the chip's published attack and
// release times, gate pulses shorter than a frame, control bits, silenced
// voices, the filter value, and the song text and rate from the header.
#include <gtest/gtest.h>

#include <sidplayfp/SidTune.h>

#include <cmath>
#include <complex>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "call_period.hpp"
#include "loop_search.hpp"
#include "psid_bytes.hpp"
#include "psid_run.hpp"
#include "song_lengths.hpp"
#include "song/channel_record.hpp"

namespace {

using psid_import::import_tune;
using psid_import::imported_tune;
using test_support::code_6502;
using test_support::voice_base;

using routine = std::function<void(code_6502&)>;

// Register offsets inside a voice.
constexpr uint16_t frequency = 0, control = 4, attack_decay = 5, sustain_release = 6;

imported_tune run_tune(const routine& init, const routine& play, uint32_t frames,
                       test_support::psid_header header = {}) {
    psid_import::import_options options;
    options.frames = frames;
    return import_tune(test_support::psid_bytes(header, test_support::tune_code(init, play)), options);
}

// One voice sounding from init on: frequency, waveform with the gate on,
// attack/decay and sustain/release, full master volume.
routine voice_on(int voice, uint16_t freq, uint8_t ctrl, uint8_t ad = 0x00, uint8_t sr = 0xF0) {
    return [=](code_6502& c) {
        const uint16_t base = voice_base(voice);
        c.poke(base + frequency, static_cast<uint8_t>(freq))
            .poke(base + frequency + 1, static_cast<uint8_t>(freq >> 8));
        c.poke(base + attack_decay, ad).poke(base + sustain_release, sr).poke(base + control, ctrl);
        c.poke(test_support::mode_volume, 0x0F);
    };
}

const routine nothing = [](code_6502&) {};

std::vector<int> column(const imported_tune& t, int voice, uint8_t song::channel_record::*field) {
    std::vector<int> out;
    for (size_t f = 0; f < t.frame_count(); ++f) out.push_back(t.records[f * 3 + voice].*field);
    return out;
}

// The frequency the player plays for a pitch word: (256 + mantissa) x
// 2^octave / 16 Hz, in whole hertz.
double played_hz(uint16_t pitch) {
    const unsigned mantissa = pitch & 0xFF, octave = (pitch >> 8) & 7;
    return ((256 + mantissa) << 3) >> (7 - octave);
}

TEST(PsidImport, PitchIsTheFrequencyRegisterAtTheTunesClock) {
    struct case_ {
        uint16_t freq;
        bool ntsc;
        uint8_t ctrl;
        double hz;  // freq x clock / 2^24
    };
    const case_ cases[] = {
        {7493, false, 0x11, 440.03},                                   // A-4 on a PAL machine
        {7217, true, 0x11, 439.94},                                    // the same note at the NTSC clock
        {1024, false, 0x21, 60.13},    {0xFFFF, false, 0x41, 3848.6},  // the top of the range
        {0x2000, false, 0x81, 480.96},                                 // noise
    };
    for (const auto& c : cases) {
        test_support::psid_header h;
        h.flags = c.ntsc ? 0x18 : 0x14;
        const imported_tune t = run_tune(voice_on(1, c.freq, c.ctrl), nothing, 10, h);
        ASSERT_EQ(t.frame_count(), 10u);
        EXPECT_EQ(t.timing.frame_rate, c.ntsc ? 60 : 50);
        const uint16_t pitch = t.records[9 * 3 + 1].pitch;
        EXPECT_NEAR(played_hz(pitch), c.hz, std::max(1.0, c.hz * 0.004)) << c.freq;
        EXPECT_EQ(pitch & song::pitch_noise, c.ctrl & 0x80 ? song::pitch_noise : 0)
            << "noise bit for control " << int(c.ctrl);
        EXPECT_EQ(pitch & 0xF000, 0) << "pan centred";
        EXPECT_EQ(t.records[9 * 3 + 1].control, c.ctrl);
    }
}

TEST(PsidImport, VolumeRisesWithTheAttackRateAndFallsWithTheReleaseRate) {
    // The chip's published times: attack from 0 to full, release from full
    // to 0 (the release takes exponentially longer steps near the bottom).
    const int attack_ms[16] = {2, 8, 16, 24, 38, 56, 68, 80, 100, 250, 500, 800, 1000, 3000, 5000, 8000};
    const int release_ms[16] = {6, 24, 48, 72, 114, 168, 204, 240, 300, 750, 1500, 2400, 3000, 9000, 15000, 24000};
    struct case_ {
        uint8_t attack, release;
    };
    for (const case_ c : {case_{8, 8}, case_{10, 5}, case_{4, 9}, case_{6, 2}}) {
        const int gate_off_call = 50;  // one second in
        const imported_tune t = run_tune(
            voice_on(0, 0x1CD6, 0x21, static_cast<uint8_t>(c.attack << 4), static_cast<uint8_t>(0xF0 | c.release)),
            [&](code_6502& p) {
                p.when(test_support::play_counter, gate_off_call,
                       [](code_6502& b) { b.poke(voice_base(0) + control, 0x20); });
            },
            150);
        const auto volume = column(t, 0, &song::channel_record::volume);
        const auto ctrl = column(t, 0, &song::channel_record::control);
        const std::string which = "attack " + std::to_string(c.attack) + ", release " + std::to_string(c.release);

        const auto first_sound =
            std::find_if(volume.begin(), volume.end(), [](int v) { return v > 0; }) - volume.begin();
        const auto top = std::find_if(volume.begin(), volume.end(), [](int v) { return v >= 250; }) - volume.begin();
        // Frames begin half a frame from the play calls, so the attack
        // starts halfway through the first frame that shows it.
        EXPECT_NEAR(top - first_sound, attack_ms[c.attack] / 20.0 + 0.5, 1.0) << which;
        for (auto f = first_sound; f < top; ++f) EXPECT_LT(volume[f], volume[f + 1]) << which << ", frame " << f;

        const auto gate_off = std::find_if(ctrl.begin() + 1, ctrl.end(), [](int v) { return !(v & 1); }) - ctrl.begin();
        EXPECT_NEAR(gate_off, gate_off_call, 2) << which;
        const auto silent = std::find(volume.begin() + gate_off, volume.end(), 0) - volume.begin();
        EXPECT_NEAR(silent - gate_off, release_ms[c.release] / 20.0, 1.5) << which;
        for (auto f = gate_off; f < silent; ++f) EXPECT_GE(volume[f], volume[f + 1]) << which << ", frame " << f;
    }
}

// A gate-on starts the attack from the level the envelope has reached, as
// the chip does: a note struck again during its release swells from where
// it was, never from silence.
TEST(PsidImport, AttackStartsFromTheCurrentLevel) {
    struct case_ {
        uint8_t attack, release;
        int gate_off_call, gate_on_call;
    };
    for (const case_ c : {case_{8, 9, 50, 60}, case_{10, 8, 50, 55}, case_{9, 10, 40, 70}}) {
        const imported_tune t = run_tune(
            voice_on(0, 0x1CD6, 0x21, static_cast<uint8_t>(c.attack << 4), static_cast<uint8_t>(0xF0 | c.release)),
            [&](code_6502& p) {
                p.when(test_support::play_counter, c.gate_off_call,
                       [](code_6502& b) { b.poke(voice_base(0) + control, 0x20); });
                p.when(test_support::play_counter, c.gate_on_call,
                       [](code_6502& b) { b.poke(voice_base(0) + control, 0x21); });
            },
            120);
        const auto volume = column(t, 0, &song::channel_record::volume);
        const auto ctrl = column(t, 0, &song::channel_record::control);
        const std::string which = "attack " + std::to_string(c.attack) + ", release " + std::to_string(c.release);
        const auto gate_off = std::find_if(ctrl.begin() + 1, ctrl.end(), [](int v) { return !(v & 1); }) - ctrl.begin();
        const auto gate_on =
            std::find_if(ctrl.begin() + gate_off, ctrl.end(), [](int v) { return v & 1; }) - ctrl.begin();
        ASSERT_LT(gate_on, 110) << which;
        const int before = volume[gate_on - 1];
        // Well into the release, far from both ends.
        EXPECT_GT(before, 30) << which;
        EXPECT_LT(before, 240) << which;
        // Frame averages blur where the gate turns within a frame, but a
        // slow attack begun from 0 would sink to a fraction of this level.
        for (auto f = gate_on; f < gate_on + 4; ++f) EXPECT_GE(volume[f], before / 2) << which << ", frame " << f;
        EXPECT_GE(*std::max_element(volume.begin() + gate_on, volume.end()), 250) << which;
    }
}

TEST(PsidImport, GateOffAndOnAgainWithinOneFrameIsKept) {
    // The gate goes off in one play call and on again in the next, with the
    // play routine timed by the CIA at four or two calls a frame: the gap
    // (5 or 10 ms) is shorter than a frame.
    struct case_ {
        int calls_a_frame;
        uint16_t timer;  // 19656 cycles a frame / calls
        int off_call;
    };
    // Consecutive calls put the gap at every place inside a frame.
    for (const case_ c : {case_{4, 4914, 41}, case_{4, 4914, 42}, case_{4, 4914, 43}, case_{4, 4914, 44},
                          case_{2, 9828, 21}, case_{2, 9828, 22}}) {
        test_support::psid_header h;
        h.speed = 1;
        const routine init = [&](code_6502& i) {
            voice_on(2, 0x1CD6, 0x41, 0x00, 0xF0)(i);
            i.poke(test_support::cia_timer_low, static_cast<uint8_t>(c.timer));
            i.poke(test_support::cia_timer_high, static_cast<uint8_t>(c.timer >> 8));
        };
        const routine play = [&](code_6502& p) {
            p.when(test_support::play_counter, static_cast<uint8_t>(c.off_call),
                   [](code_6502& b) { b.poke(voice_base(2) + control, 0x40); });
            p.when(test_support::play_counter, static_cast<uint8_t>(c.off_call + 1),
                   [](code_6502& b) { b.poke(voice_base(2) + control, 0x41); });
        };
        const std::string name =
            std::to_string(c.calls_a_frame) + " calls a frame, gate off in call " + std::to_string(c.off_call);
        const imported_tune t = run_tune(init, play, 30, h);
        const auto ctrl = column(t, 2, &song::channel_record::control);
        const auto volume = column(t, 2, &song::channel_record::volume);
        std::vector<size_t> gate_off;
        for (size_t f = 1; f < ctrl.size(); ++f)
            if (!(ctrl[f] & 1)) gate_off.push_back(f);
        ASSERT_EQ(gate_off.size(), 1u) << name;
        EXPECT_NEAR(static_cast<double>(gate_off[0]), 10.0, 1.5) << name;
        EXPECT_EQ(ctrl[gate_off[0]], 0x40) << name;
        // The envelope fell (release rate 0: 6 ms) and climbed again.
        EXPECT_LT(volume[gate_off[0]], volume[gate_off[0] - 1] - 10) << name;
        EXPECT_EQ(volume[gate_off[0] + 3], 255) << name;
    }
}

TEST(PsidImport, SyncRingAndTestBitsPassThrough) {
    struct case_ {
        uint8_t ctrl;
    };
    for (const case_ c : {case_{0x13}, case_{0x15}, case_{0x19}, case_{0x17}, case_{0x43}, case_{0x28}}) {
        for (int voice = 0; voice < 3; ++voice) {
            const imported_tune t = run_tune(voice_on(voice, 0x1000, c.ctrl), nothing, 5);
            EXPECT_EQ(t.records[4 * 3 + voice].control, c.ctrl) << "voice " << voice << ", control " << int(c.ctrl);
            // A voice held by the test bit makes no sound.
            if (c.ctrl & 0x08) {
                EXPECT_EQ(t.records[4 * 3 + voice].volume, 0) << int(c.ctrl);
            }
        }
    }
}

TEST(PsidImport, SilencedAndFilteredVoices) {
    // Filter routing and mode/volume registers, and what each voice gets.
    struct case_ {
        uint8_t routing, mode_volume;
        int volume[3];  // -1: some volume above 0
        bool filtered[3];
    };
    const case_ cases[] = {
        {0x00, 0x0F, {-1, -1, -1}, {false, false, false}},
        {0x00, 0x8F, {-1, -1, 0}, {false, false, false}},   // voice 3 off
        {0x04, 0x9F, {-1, -1, -1}, {false, false, true}},   // voice 3 off, but it goes through the low-pass
        {0x04, 0x0F, {-1, -1, 0}, {false, false, false}},   // into the filter with no mode: removed
        {0x04, 0x4F, {-1, -1, -1}, {false, false, false}},  // high-pass only: left open
        {0x01, 0x2F, {-1, -1, -1}, {true, false, false}},   // band-pass
        {0x03, 0x1F, {-1, -1, -1}, {true, true, false}},
        {0x00, 0x08, {136, 136, 136}, {false, false, false}},  // master volume 8 of 15 at full level: 255 x 8 / 15
    };
    for (const auto& c : cases) {
        const routine init = [&](code_6502& i) {
            for (int v = 0; v < 3; ++v) voice_on(v, 0x1000, 0x21)(i);
            i.poke(0xD416, 0x40)
                .poke(test_support::filter_routing, c.routing)
                .poke(test_support::mode_volume, c.mode_volume);
        };
        const imported_tune t = run_tune(init, nothing, 10);
        for (int v = 0; v < 3; ++v) {
            const song::channel_record& r = t.records[9 * 3 + v];
            const std::string which = "routing " + std::to_string(c.routing) + ", mode " +
                                      std::to_string(c.mode_volume) + ", voice " + std::to_string(v + 1);
            if (c.volume[v] < 0) {
                EXPECT_GT(r.volume, 200) << which;
            } else {
                EXPECT_NEAR(r.volume, c.volume[v], 1) << which;
            }
            EXPECT_EQ(r.filter != 255, c.filtered[v]) << which;
        }
    }
}

// The gain of the player's one-pole low-pass, y += (x - y) (f + 1) / 256
// per sample at 48 kHz, at a frequency.
double one_pole_gain(int filter, double hz) {
    const double a = (filter + 1) / 256.0;
    const std::complex<double> z = std::polar(1.0, 2 * std::numbers::pi * hz / song::output_rate);
    return std::abs(a / (1.0 - (1.0 - a) / z));
}

TEST(PsidImport, FilterValuePutsThePlayersCutoffOnTheChipsCutoff) {
    for (double hz : {40.0, 200.0, 1000.0, 5000.0, 12000.0}) {
        const int f = psid_import::filter_for_hz(hz);
        EXPECT_LE(one_pole_gain(f - 1, hz), std::sqrt(0.5)) << hz;
        EXPECT_GE(one_pole_gain(f + 1, hz), std::sqrt(0.5)) << hz;
    }
    // The cutoff register moves the filter the same way on both models, the
    // 8580 about 7 Hz per step.
    for (auto model : {psid_import::chip_model::mos6581, psid_import::chip_model::mos8580}) {
        for (uint16_t cutoff = 0; cutoff < 2047; cutoff += 64)
            EXPECT_LE(psid_import::cutoff_hz(cutoff, model),
                      psid_import::cutoff_hz(cutoff + 64 > 2047 ? 2047 : cutoff + 64, model));
    }
    EXPECT_NEAR(psid_import::cutoff_hz(1024, psid_import::chip_model::mos8580), 7168, 200);
}

TEST(PsidImport, SongTextSubtuneAndRateComeFromTheHeader) {
    struct case_ {
        std::string title, author, released;
        uint16_t flags;
        uint16_t songs, start_song;
        unsigned asked;
        std::string text;
        unsigned subtune;
        uint16_t rate;
    };
    const case_ cases[] = {
        {"Tune", "Someone", "1987 Group", 0x14, 1, 1, 0, "Tune by Someone, 1987 Group", 1, 50},
        {"<?>", "Author", "", 0x28, 3, 2, 0, "Author", 2, 60},
        {"K\xE4se", "<?>", "2013", 0x04, 3, 2, 3, "Kase, 2013", 3, 50},
        {"", "", "", 0x00, 2, 1, 2, "", 2, 50},  // clock unknown: PAL
    };
    for (const auto& c : cases) {
        test_support::psid_header h;
        h.title = c.title, h.author = c.author, h.released = c.released;
        h.flags = c.flags, h.songs = c.songs, h.start_song = c.start_song;
        // The init routine gets the subtune, from 0, in A: it becomes the
        // frequency's high byte.
        const auto code = test_support::tune_code(
            [](code_6502& i) { i.sta(voice_base(0) + frequency + 1).poke(voice_base(0) + control, 0x11); }, nothing);
        psid_import::import_options options;
        options.frames = 3;
        options.subtune = c.asked;
        const imported_tune t = import_tune(test_support::psid_bytes(h, code), options);
        EXPECT_EQ(t.text, c.text);
        EXPECT_EQ(t.subtune, c.subtune) << c.text;
        EXPECT_EQ(t.timing.frame_rate, c.rate) << c.text;
        EXPECT_NEAR(played_hz(t.records[2 * 3].pitch),
                    std::max(16.0, (c.subtune - 1) * 256 * t.timing.clock_hz / 16777216.0), 2.0)
            << c.text;
    }
}

// Frames of one voice from a list of pitches: 0 is a silent frame.
std::vector<song::channel_record> voice_frames(const std::vector<int>& pitches) {
    std::vector<song::channel_record> out;
    for (const int p : pitches) {
        song::channel_record r;
        r.pitch = static_cast<uint16_t>(p);
        r.volume = p == 0 ? 0 : 200;
        out.push_back(r);
    }
    return out;
}

std::vector<int> repeated(std::vector<int> intro, const std::vector<int>& body, size_t total) {
    while (intro.size() < total) intro.push_back(body[intro.size() % body.size()]);
    return intro;
}

// Looks every 4200 to 5000 cycles, as the library's slices fall, and a
// play routine called every `period` cycles that writes `delay` cycles into
// the call, plus a varying share of `spread`, on every call or every other
// one: the spans its changes were seen in.
std::vector<psid_import::change_span> seen_changes(uint32_t period, uint32_t delay, uint32_t spread, double seconds,
                                                   int calls_per_write = 1) {
    uint32_t random = 12345;
    const auto next_random = [&random] { return random = random * 1103515245u + 12345u, (random >> 16) & 0x7FFF; };
    const auto end = static_cast<uint64_t>(seconds * 985248);
    std::vector<uint64_t> writes;
    int calls = 0;
    for (uint64_t call = 1000; call < end; call += period)
        if (++calls % calls_per_write == 0) writes.push_back(call + delay + (spread == 0 ? 0 : next_random() % spread));
    std::sort(writes.begin(), writes.end());
    std::vector<psid_import::change_span> spans;
    auto write = writes.begin();
    for (uint64_t look = 0; look < end;) {
        const uint64_t next_look = look + 4200 + next_random() % 800;
        if (write != writes.end() && *write < next_look) spans.push_back({look, next_look});
        while (write != writes.end() && *write < next_look) ++write;
        look = next_look;
    }
    return spans;
}

TEST(CallPeriod, FoundFromTheSpansTheChangesWereSeenIn) {
    struct case_ {
        const char* name;
        std::vector<psid_import::change_span> spans;
        std::optional<uint32_t> period;  // to within a cycle
    };
    const case_ cases[] = {
        {"twice a PAL frame", seen_changes(9828, 300, 400, 10), 9828},
        {"the library's default timer, 60 a second", seen_changes(16422, 100, 0, 10), 16422},
        {"once a frame, writes late in the call, varying", seen_changes(19656, 2500, 1500, 10), 19656},
        {"a slow timer", seen_changes(40000, 0, 0, 10), 40000},
        {"writes on every other call only", seen_changes(8000, 0, 0, 10, 2), 16000},
        {"writes anywhere in the period", seen_changes(9828, 0, 9828, 10), std::nullopt},
        {"calls as close as the looks", seen_changes(3000, 0, 0, 10), std::nullopt},
        {"too few changes", seen_changes(9828, 0, 0, 0.2), std::nullopt},
    };
    for (const auto& c : cases) {
        psid_import::period_search search;
        search.first_pass_until = 2 * 985248;
        const auto found = psid_import::find_call_period(c.spans, search);
        ASSERT_EQ(found.has_value(), c.period.has_value()) << c.name << ": " << found.value_or(0);
        if (c.period) {
            EXPECT_NEAR(double(*found), double(*c.period), 1.0) << c.name;
        }
    }
}

TEST(LoopSearch, FindsWhereTheFramesStartToRepeat) {
    const std::vector<int> body{1, 2, 3, 4, 5, 6, 7};
    struct case_ {
        const char* name;
        std::vector<int> pitches;
        psid_import::loop_rules rules;
        int loop, end;  // -1: no loop
    };
    // repeated() continues the body by position, so a body after an intro
    // of 3 frames starts at body[3].
    const case_ cases[] = {
        {"from the start", repeated({}, body, 40), {1, 10, 0}, 0, 7},
        {"after an intro", repeated({9, 9, 8}, body, 40), {1, 10, 0}, 3, 10},
        {"repeat too short", repeated({9, 9, 8}, body, 12), {1, 10, 0}, -1, 0},
        {"period below the shortest", repeated({}, body, 40), {8, 10, 0}, 0, 14},
        {"length given: end there", repeated({9, 9, 8}, body, 40), {1, 10, 30}, 23, 30},
        {"length before the repeat", repeated({9, 9, 8}, body, 40), {1, 10, 5}, -1, 0},
        {"silence at the end", {1, 2, 3, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 5, 0}, -1, 0},
        {"a held note at the end", {1, 2, 3, 4, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6}, {1, 5, 0}, -1, 0},
        {"no repeat", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {1, 2, 0}, -1, 0},
        {"sound then silence, repeated", repeated({}, {5, 6, 0, 0, 0}, 30), {1, 10, 0}, 0, 5},
    };
    for (const auto& c : cases) {
        const auto found = psid_import::find_loop(voice_frames(c.pitches), 1, c.rules);
        if (c.loop < 0) {
            EXPECT_FALSE(found) << c.name << ": loop " << found->loop_frame << ", end " << found->end_frame;
            continue;
        }
        ASSERT_TRUE(found) << c.name;
        EXPECT_EQ(found->loop_frame, uint32_t(c.loop)) << c.name;
        EXPECT_EQ(found->end_frame, uint32_t(c.end)) << c.name;
    }
}

// A database of one tune: "[Database]" and its digest with lengths.
std::string database_with(const std::vector<uint8_t>& tune, const std::string& lengths) {
    SidTune sid(tune.data(), static_cast<uint_least32_t>(tune.size()));
    char md5[SidTune::MD5_LENGTH + 1];
    const std::string path =
        (std::filesystem::temp_directory_path() / ("lengths-" + std::to_string(::getpid()) + ".md5")).string();
    std::ofstream(path) << "[Database]\n; /tests/tune.sid\n" << sid.createMD5New(md5) << "=" << lengths << "\n";
    return path;
}

TEST(PsidImport, SongEndsWhereTheTuneStartsOverFallsSilentOrItsLengthSays) {
    // Pitch from the play routine's call count: it repeats every 256 calls
    // (5.12 s), from the first call or from call 100 on.
    constexpr uint16_t started = 0x1FFF;  // set from call 100 on
    const auto counting = [](bool intro) {
        return [intro](code_6502& p) {
            if (intro) {
                p.when(test_support::play_counter, 100, [](code_6502& b) { b.poke(started, 1); });
                p.lda_abs(started).cmp(1).op({0xD0, 0x06});  // BNE over the next 6 bytes
            }
            p.lda_abs(test_support::play_counter).sta(voice_base(0) + frequency + 1);
        };
    };
    const routine gate_off_at_call_120 = [](code_6502& p) {
        p.when(test_support::play_counter, 120, [](code_6502& b) { b.poke(voice_base(0) + control, 0x20); });
    };
    struct case_ {
        const char* name;
        routine play;
        std::string lengths;  // a database line's lengths; "" for none
        double silence;
        psid_import::song_end end;
        int frames;  // the song's frames (-1: see loop)
        int loop;    // -1: no repeat found
    };
    const case_ cases[] = {
        {"repeats from the start", counting(false), "", 10, psid_import::song_end::asked, -1, 0},
        {"repeats after an intro", counting(true), "", 10, psid_import::song_end::asked, -1, 100},
        {"falls silent", gate_off_at_call_120, "", 2, psid_import::song_end::silence, 120, -1},
        {"length in the database", counting(false), "0:07", 10, psid_import::song_end::database, 350, 350 - 256},
        {"length in milliseconds", gate_off_at_call_120, "0:04.500 0:10", 2, psid_import::song_end::database, 225, -1},
    };
    for (const auto& c : cases) {
        const routine init = [](code_6502& i) {
            voice_on(0, 0x1000, 0x21, 0x00, 0xF0)(i);
            i.poke(started, 0);
        };
        const auto tune = test_support::psid_bytes({}, test_support::tune_code(init, c.play));
        psid_import::import_options options;
        options.seconds = 30;
        options.silence_seconds = c.silence;
        std::unique_ptr<psid_import::song_lengths> lengths;
        std::string database;
        if (!c.lengths.empty()) {
            database = database_with(tune, c.lengths);
            lengths = std::make_unique<psid_import::song_lengths>(database);
            options.lengths = lengths.get();
        }
        const imported_tune t = import_tune(tune, options);
        if (!database.empty()) std::filesystem::remove(database);
        EXPECT_EQ(t.end, c.end) << c.name;
        EXPECT_EQ(t.loop_found, c.loop >= 0) << c.name;
        if (c.frames >= 0) {
            // Silence is seen at the first frame whose release has ended.
            EXPECT_NEAR(double(t.frame_count()), c.frames, c.end == psid_import::song_end::silence ? 2 : 0) << c.name;
        } else {
            EXPECT_EQ(t.frame_count() - t.loop_frame, 256u) << c.name << ": the loop is one period";
        }
        if (c.loop >= 0) {
            EXPECT_NEAR(double(t.loop_frame), c.loop, c.frames >= 0 ? 0 : 2) << c.name;
        } else {
            EXPECT_EQ(t.loop_frame, 0u) << c.name;
        }
    }
}

}  // namespace

namespace {

// Notes of a fast envelope (attack 2 ms, decay 6 ms, release 6 ms), which
// a frame's volume follows to within a few milliseconds: the gate goes on
// every 8th call and off 4 calls later, the pitch steps every 8 calls, and
// the whole repeats every 64 calls. With `drift`, the play routine first
// waits 1.3 to 5.2 ms (by its call count), so that its writes fall at
// other moments of the frame from call to call.
routine fast_notes(bool drift) {
    return [drift](code_6502& p) {
        if (drift) {
            // LDA count / AND #3 / TAY / INY; then Y x 256 turns of DEX/BNE.
            p.lda_abs(test_support::play_counter).op({0x29, 0x03, 0xA8, 0xC8});
            p.op({0xA2, 0x00, 0xCA, 0xD0, 0xFD, 0x88, 0xD0, 0xF8});
        }
        // Pitch: count & 0x38 into the frequency's high byte.
        p.lda_abs(test_support::play_counter).op({0x29, 0x38}).sta(voice_base(0) + frequency + 1);
        // Gate: on while bit 2 of the count is clear (LSR LSR, AND #1, EOR #$21).
        p.lda_abs(test_support::play_counter).op({0x4A, 0x4A, 0x29, 0x01, 0x49, 0x21}).sta(voice_base(0) + control);
    };
}

// The routine also writes its call count (mod 64) to voice 1's pulse
// width, so that the registers change at every call: a routine that
// changes them only every fourth call looks like one called a fourth as
// often.
routine every_call(const routine& body) {
    return [body](code_6502& p) {
        p.lda_abs(test_support::play_counter).op({0x29, 0x3F}).sta(voice_base(0) + 2);
        body(p);
    };
}

}  // namespace

TEST(PsidImport, NotesOfAFastEnvelopeRepeatWhereTheTuneDoes) {
    // The looks at the registers drift against the frames (one every
    // 4.6 ms or so, a frame 20 ms), so a change seen at a look moves inside
    // its frame from one time round to the next; the songs must still
    // repeat frame for frame, volumes too.
    constexpr uint16_t started = 0x1FFF;  // set from call 37 on
    const auto intro = [](const routine& body) {
        return routine([body](code_6502& p) {
            p.when(test_support::play_counter, 37, [](code_6502& b) { b.poke(started, 1); });
            // Until then the voice plays one long note; the count runs on.
            p.lda_abs(started).cmp(1).op({0xF0, 0x03}).jmp(0);  // BEQ over the JMP
            const size_t jump = p.bytes.size() - 2;
            body(p);
            const uint16_t end = p.here();
            p.bytes[jump] = static_cast<uint8_t>(end), p.bytes[jump + 1] = static_cast<uint8_t>(end >> 8);
        });
    };
    // A play routine timed by the CIA timer gets frames of its own period:
    // one call in each, as with the video frame.
    struct case_ {
        const char* name;
        routine play;
        int loop;                         // the frame the song loops to, to within 2
        std::optional<uint16_t> timer{};  // CIA-timed, with this timer (0: the library's own)
        uint16_t frame_rate = 50;
    };
    const case_ cases[] = {
        {"writes at the call's start", fast_notes(false), 0},
        {"writes after a delay varying by call", fast_notes(true), 0},
        {"after an intro of 37 calls", intro(fast_notes(false)), 37},
        {"after an intro, with the delay", intro(fast_notes(true)), 37},
        {"CIA, twice a frame", every_call(fast_notes(false)), 0, 9827, 100},
        {"CIA, twice a frame, after an intro", intro(every_call(fast_notes(false))), 37, 9827, 100},
        {"CIA, the library's timer (60 a second)", every_call(fast_notes(false)), 0, 0, 60},
    };
    for (const auto& c : cases) {
        const routine init = [&c](code_6502& i) {
            voice_on(0, 0x1000, 0x20, 0x00, 0x80)(i);
            i.poke(started, 0);
            if (c.timer.value_or(0) != 0)
                i.poke(test_support::cia_timer_low, static_cast<uint8_t>(*c.timer))
                    .poke(test_support::cia_timer_high, static_cast<uint8_t>(*c.timer >> 8));
        };
        test_support::psid_header h;
        h.speed = c.timer ? 1 : 0;
        psid_import::import_options options;
        options.seconds = 30;
        const imported_tune t =
            import_tune(test_support::psid_bytes(h, test_support::tune_code(init, c.play)), options);
        EXPECT_EQ(t.timing.frame_rate, c.frame_rate) << c.name;
        ASSERT_TRUE(t.loop_found) << c.name;
        // A loop lasts at least a second, so at 100 frames a second it
        // takes two periods. A released note's envelope steps by the
        // chip's rate counter, which runs on through the periods: its
        // volume may differ by a step from one period to the next until
        // the counter comes round to the same moment of the period.
        const size_t loop = t.frame_count() - t.loop_frame;
        EXPECT_EQ(loop % 64, 0u) << c.name << ": the loop is " << loop << " frames, not whole periods";
        EXPECT_LE(loop, c.timer ? 192u : 64u) << c.name;
        EXPECT_NEAR(double(t.loop_frame), c.loop, c.timer ? 4 : 2) << c.name;
        // The notes are there: the volume goes up and down in each period.
        const auto volume = column(t, 0, &song::channel_record::volume);
        const auto [low, high] = std::minmax_element(volume.begin() + t.loop_frame, volume.end());
        EXPECT_LT(*low, 20) << c.name;
        EXPECT_GT(*high, 120) << c.name;  // sustain level 136
    }
}
