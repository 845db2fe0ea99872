#include "psid_run.hpp"

#include <algorithm>
#include <cmath>
#include <array>
#include <numbers>
#include <vector>

#include <sidplayfp/SidConfig.h>
#include <sidplayfp/SidTune.h>
#include <sidplayfp/SidTuneInfo.h>
#include <sidplayfp/builders/resid.h>
#include <sidplayfp/sidplayfp.h>

#include "call_period.hpp"
#include "loop_search.hpp"
#include "song_lengths.hpp"

namespace psid_import {
namespace {

std::string library_reason(const char* what, const char* detail) {
    std::string reason = what;
    if (detail != nullptr && *detail != '\0') reason += std::string(": ") + detail;
    return reason;
}

// The library's own emulation of the chip must exist for it to hold the
// registers; the cheapest one will do, since its sound is thrown away.
SidConfig library_config(sidbuilder& builder, const chip_timing& timing, chip_model model) {
    SidConfig config;
    config.frequency = 8000;
    config.playback = SidConfig::MONO;
    config.sidEmulation = &builder;
    config.defaultC64Model = timing.frame_rate == ntsc_timing.frame_rate ? SidConfig::NTSC : SidConfig::PAL;
    config.forceC64Model = true;
    config.defaultSidModel = model == chip_model::mos8580 ? SidConfig::MOS8580 : SidConfig::MOS6581;
    config.forceSidModel = true;
    // A fixed delay: the same file gives the same song every time.
    config.powerOnDelay = 0;
    config.fastSampling = true;
    config.samplingMethod = SidConfig::INTERPOLATE;
    return config;
}

// A PSID tune whose init routine writes 0 to every chip register:
//   1000 LDA #0 / LDX #$18 / STA $D400,X / DEX / BPL 1004 / RTS
// and whose play routine is that RTS.
std::vector<uint8_t> register_clearing_tune() {
    std::vector<uint8_t> tune(0x7C, 0);
    std::copy_n("PSID", 4, tune.begin());
    tune[5] = 2;      // version
    tune[7] = 0x7C;   // data offset
    tune[8] = 0x10;   // load address 0x1000
    tune[10] = 0x10;  // init address 0x1000
    tune[12] = 0x10;  // play address 0x100A
    tune[13] = 0x0A;
    tune[15] = tune[17] = 1;  // one song, the first
    tune.insert(tune.end(), {0xA9, 0x00, 0xA2, 0x18, 0x9D, 0x00, 0xD4, 0xCA, 0x10, 0xFA, 0x60});
    return tune;
}

// The library reports the last value written to each register; a register
// not yet written reads as whatever its memory held before (seen: bytes of
// a pointer, or the registers of the tune run before in the same process).
// Running a tune that writes 0 to every register first gives every
// register the value it has after a reset of the chip, and later loads
// keep the chip and these values.
void clear_registers(sidplayfp& engine) {
    const std::vector<uint8_t> bytes = register_clearing_tune();
    SidTune clearing(bytes.data(), static_cast<uint_least32_t>(bytes.size()));
    clearing.selectSong(1);
    short sound[8];
    uint8_t registers[32];
    if (!clearing.getStatus() || !engine.load(&clearing) || engine.play(sound, 8) < 8 ||
        !engine.getSidStatus(0, registers) ||
        std::any_of(registers, registers + chip_register_count, [](uint8_t r) { return r != 0; }))
        throw import_error(library_reason("the player library cannot clear the chip's registers", engine.error()));
}

uint32_t frames_of(double seconds, const chip_timing& timing) {
    return static_cast<uint32_t>(std::max(1l, std::lround(seconds * timing.frame_rate)));
}

uint32_t frames_wanted(const import_options& options, const chip_timing& timing) {
    if (options.frames) return *options.frames;
    return frames_of(options.seconds, timing);
}

// Counts the frames at the end of the capture in which every voice is silent.
struct silence_watch {
    size_t checked = 0;  // frames looked at
    uint32_t run = 0;    // silent frames up to there

    void look(const std::vector<song::channel_record>& records) {
        for (; checked < records.size() / voice_count; ++checked) {
            bool silent = true;
            for (unsigned v = 0; v < voice_count; ++v)
                silent = silent && records[checked * voice_count + v].volume == 0;
            run = silent ? run + 1 : 0;
        }
    }
};

// Where the song's frames begin. A play routine called once a frame runs
// at the same moment of every frame; its writes are seen at the next look
// and placed halfway since the last one, so a frame boundary near that
// moment would put the same call now in one frame, now in the next, as the
// looks drift against the frames. The boundaries go half a frame away from
// the mean moment of the changes seen in the tune's first seconds; for a
// play routine called on the video frame, the changes are then placed at
// that moment, the middle of their frame (chip_frames.hpp). Changes spread
// over the whole frame (a play routine called at another rate) leave the
// boundaries where they are and the changes halfway between the looks.
class frame_phase {
public:
    explicit frame_phase(const chip_timing& timing) : frame_cycles_(timing.frame_cycles) {}

    void look(uint64_t cycle, const chip_registers& registers) {
        if (registers != last_) {
            const double moment = (double(last_cycle_) + double(cycle)) / 2.0;
            const double angle = 2.0 * std::numbers::pi * std::fmod(moment, frame_cycles_) / frame_cycles_;
            x_ += std::cos(angle), y_ += std::sin(angle);
            ++changes_;
            last_ = registers;
        }
        last_cycle_ = cycle;
    }

    // The changes gather at one moment of the frame.
    bool settled() const { return changes_ != 0 && std::hypot(x_, y_) >= 0.5 * changes_; }

    // Cycles to add to the tune's time so that frames start at the chosen
    // moment: the first frame is then shorter.
    uint64_t shift() const {
        if (!settled()) return 0;
        double start = std::atan2(y_, x_) / (2.0 * std::numbers::pi) * frame_cycles_ + frame_cycles_ / 2.0;
        start = std::fmod(start + 2.0 * frame_cycles_, frame_cycles_);
        return static_cast<uint64_t>(std::lround(frame_cycles_ - start)) % static_cast<uint64_t>(frame_cycles_);
    }

private:
    double frame_cycles_;
    chip_registers last_{};
    uint64_t last_cycle_ = 0;
    double x_ = 0, y_ = 0;
    uint64_t changes_ = 0;
};

// The tune's first seconds settle where its frames begin.
constexpr double phase_seconds = 2.0;

// The registers, slice after slice of the tune's time. The looks can be
// kept and then served again from the first one, before the run goes on:
// the run of a tune that times its own calls is searched for their period
// first and then captured from its start, without running it twice.
class register_looks {
public:
    register_looks(sidplayfp& engine, const chip_timing& timing) : engine_(engine), clock_hz_(timing.clock_hz) {}

    // Runs one slice; false when the library stopped the tune (a jammed
    // processor stops the machine: the library then still returns sound,
    // but no longer plays) or its machine's time stands still.
    bool next() {
        if (replaying_) {
            if (served_ < kept_.size()) {
                last_time_ = kept_[served_].ms;
                registers_ = kept_[served_].registers;
                ++served_, ++count_;
                return true;
            }
            replaying_ = false;
            kept_ = {};
            if (ended_) return false;
        }
        if (!run_slice()) {
            ended_ = true;
            return false;
        }
        ++count_;
        if (keeping_) kept_.push_back({last_time_, registers_});
        return true;
    }

    // From here on every look is kept.
    void keep() { keeping_ = true; }
    // The next looks are the kept ones from the first, then the run goes
    // on where it stopped (or ends again where it ended).
    void replay() {
        keeping_ = false;
        replaying_ = true;
        served_ = 0;
        count_ = 0;
    }

    // The library tells its time in whole milliseconds, cut down: the
    // registers were seen at a moment of the millisecond from ms() on.
    uint32_t ms() const { return last_time_; }
    uint64_t cycle_of(uint64_t ms) const { return ms * clock_hz_ / 1000; }
    uint64_t cycle() const { return cycle_of(last_time_); }
    const chip_registers& registers() const { return registers_; }
    uint64_t count() const { return count_; }
    bool stalled() const { return stalled_; }

private:
    struct look {
        uint32_t ms;
        chip_registers registers;
    };

    bool run_slice() {
        // The few samples asked for are only there because the library
        // wants somewhere to put sound: however few, a call runs one slice.
        short sound[8];
        if (engine_.play(sound, 8) < 8 || !engine_.isPlaying()) return false;
        if (engine_.timeMs() != last_time_) {
            last_time_ = engine_.timeMs();
            calls_at_last_time_ = 0;
        } else if (++calls_at_last_time_ == 1000) {
            stalled_ = true;
            return false;
        }
        uint8_t all_registers[32];
        if (!engine_.getSidStatus(0, all_registers)) throw import_error("the player library shows no sound chip");
        std::copy_n(all_registers, registers_.size(), registers_.begin());
        return true;
    }

    sidplayfp& engine_;
    uint64_t clock_hz_;
    chip_registers registers_{};
    uint32_t last_time_ = 0, calls_at_last_time_ = 0;
    uint64_t count_ = 0;
    bool stalled_ = false;
    bool ended_ = false;  // the run stopped
    bool keeping_ = false, replaying_ = false;
    std::vector<look> kept_;
    size_t served_ = 0;
};

// A tune that times its own play calls is run this long first, to find
// their period.
constexpr double probe_seconds = 10.0;

// The period of the play calls of a tune that times them itself: the tune
// runs for a while and the spans in which its registers changed are
// searched (call_period.hpp). The looks are kept, and the capture starts
// with them.
std::optional<uint32_t> probe_call_period(register_looks& looks, const chip_timing& timing) {
    looks.keep();
    std::vector<change_span> changes;
    chip_registers last{};
    uint32_t last_ms = 0;
    while (looks.ms() < probe_seconds * 1000 && looks.next()) {
        if (looks.registers() != last) changes.push_back({looks.cycle_of(last_ms), looks.cycle_of(looks.ms() + 1)});
        last = looks.registers();
        last_ms = looks.ms();
    }
    looks.replay();
    period_search search;
    search.first_pass_until = uint64_t{2} * timing.clock_hz;
    return find_call_period(changes, search);
}

// Cuts the captured frames to the song: up to where they start to repeat,
// else up to where the silence began or the length given.
void shape_song(imported_tune& tune, uint32_t end_at, uint32_t silent_frames) {
    const uint32_t captured = tune.captured_frames;
    loop_rules rules;
    rules.shortest_period = frames_of(shortest_loop_seconds, tune.timing);
    rules.shortest_repeat = frames_of(repeat_seconds, tune.timing);
    rules.end_at = end_at;
    uint32_t end = end_at != 0 ? std::min(end_at, captured) : captured;
    if (const auto loop = find_loop(tune.records, voice_count, rules)) {
        tune.loop_found = true;
        tune.loop_frame = loop->loop_frame;
        end = loop->end_frame;
    } else if (tune.end == song_end::silence) {
        end = std::max<uint32_t>(1, captured - silent_frames);
    }
    tune.records.resize(size_t{end} * voice_count);
}

}  // namespace

void prepare_player_library() {
    ReSIDBuilder builder("playtun import");
    builder.create(1);
}

imported_tune import_tune(std::span<const uint8_t> file, const import_options& options) {
    imported_tune tune;
    tune.header = read_psid_header(file);
    tune.timing = tune.header.ntsc ? ntsc_timing : pal_timing;
    tune.model = options.model.value_or(tune.header.model);
    tune.text = song_text(tune.header);

    SidTune sid_tune(file.data(), static_cast<uint_least32_t>(file.size()));
    if (!sid_tune.getStatus())
        throw import_error(library_reason("the player library cannot load it", sid_tune.statusString()));
    const unsigned songs = tune.songs = sid_tune.getInfo()->songs();
    // The library would take a start song past the song count as the first
    // tune without a word; that is a damaged header, not a choice.
    if (options.subtune == 0 && (tune.header.start_song < 1 || tune.header.start_song > songs))
        throw import_error("its start song " + std::to_string(tune.header.start_song) + " is not one of its " +
                           std::to_string(songs) + (songs == 1 ? " tune" : " tunes") + "; choose one with --subtune");
    tune.subtune = options.subtune == 0 ? sid_tune.getInfo()->startSong() : options.subtune;
    if (tune.subtune < 1 || tune.subtune > songs)
        throw import_error("no subtune " + std::to_string(tune.subtune) + " (the file has " + std::to_string(songs) +
                           (songs == 1 ? " tune)" : " tunes)"));
    sid_tune.selectSong(tune.subtune);
    if (sid_tune.getInfo()->compatibility() == SidTuneInfo::COMPATIBILITY_R64 ||
        sid_tune.getInfo()->compatibility() == SidTuneInfo::COMPATIBILITY_BASIC)
        throw import_error("an RSID tune, which needs a whole machine; only PSID tunes can be imported");

    // The library calls the play routine once every video frame, unless the
    // tune is timed by the CIA timer or calls its own routine (no play
    // address): those run at rates of their own.
    const bool video_timed =
        sid_tune.getInfo()->songSpeed() == SidTuneInfo::SPEED_VBI && sid_tune.getInfo()->playAddr() != 0;

    ReSIDBuilder builder("playtun import");
    builder.create(1);
    // The chip's registers are all that is read: its filter's sound is not
    // worth the time it takes to compute.
    builder.filter(false);
    if (!builder.getStatus())
        throw import_error(library_reason("the player library has no chip emulation", builder.error()));
    sidplayfp engine;
    if (!engine.config(library_config(builder, tune.timing, tune.model)))
        throw import_error(library_reason("the player library refuses to start", engine.error()));
    clear_registers(engine);
    if (!engine.load(&sid_tune)) throw import_error(library_reason("the player library cannot run it", engine.error()));
    // A tune that times its own calls gets song frames of its call period,
    // one call in each, when the period shows. The looks at the registers
    // do not depend on the frames, so the run that found the period is
    // captured from its start.
    register_looks looks(engine, tune.timing);
    bool timed_calls = video_timed;
    if (!video_timed) {
        if (const auto period = probe_call_period(looks, tune.timing)) {
            tune.timing.frame_cycles = *period;
            tune.timing.frame_rate = static_cast<uint16_t>(std::lround(double(tune.timing.clock_hz) / *period));
            timed_calls = true;
        }
    }

    // At most an hour, at the tune's own frame rate.
    const auto longest_frames = static_cast<uint32_t>(longest_capture_seconds * tune.timing.frame_rate);
    if (options.frames && *options.frames > longest_frames)
        throw import_error("--frames " + std::to_string(*options.frames) + " is more than an hour of this tune (" +
                           std::to_string(longest_frames) + " frames at " + std::to_string(tune.timing.frame_rate) +
                           " a second)");
    // A length from the database, with time after it to see the repeat;
    // else the most asked for, or less when the tune falls silent.
    uint32_t end_at = 0;
    uint32_t frames = frames_wanted(options, tune.timing);
    if (const auto ms = options.lengths != nullptr ? options.lengths->length_ms(file, tune.subtune) : std::nullopt) {
        tune.end = song_end::database;
        end_at = std::min(longest_frames, static_cast<uint32_t>(std::max<uint64_t>(
                                              1, (uint64_t{*ms} * tune.timing.frame_rate + 500) / 1000)));
        frames = end_at + frames_of(repeat_seconds, tune.timing);
    }
    const uint32_t silence_ends = tune.end == song_end::database || !(options.silence_seconds > 0)
                                      ? 0
                                      : frames_of(options.silence_seconds, tune.timing);
    silence_watch silence;
    frame_builder builder_of_frames(tune.timing, tune.model, frames);
    frame_phase phase(tune.timing);
    const uint64_t phase_until =
        std::min<uint64_t>(uint64_t(phase_seconds * tune.timing.clock_hz), uint64_t{frames} * tune.timing.frame_cycles);
    std::vector<std::pair<uint64_t, chip_registers>> first_looks;
    bool phase_known = false;
    uint64_t shift = 0;
    while (!builder_of_frames.complete()) {
        if (!looks.next()) {
            if (looks.stalled()) throw import_error("the player library's machine does not advance");
            throw import_error(library_reason("the player library stopped the tune", engine.error()));
        }
        const uint64_t cycle = looks.cycle();
        const chip_registers& registers = looks.registers();
        if (!phase_known) {
            phase.look(cycle, registers);
            first_looks.emplace_back(cycle, registers);
            if (cycle < phase_until) continue;
            phase_known = true;
            shift = phase.shift();
            if (timed_calls && phase.settled()) builder_of_frames.place_at_play_call();
            for (const auto& [at, seen] : first_looks) builder_of_frames.observe(at + shift, seen);
            first_looks = {};
        } else {
            builder_of_frames.observe(cycle + shift, registers);
        }
        if (silence_ends != 0) {
            silence.look(builder_of_frames.records());
            if (silence.run >= silence_ends) {
                tune.end = song_end::silence;
                break;
            }
        }
        if (options.progress && looks.count() % 64 == 0)
            options.progress(static_cast<uint32_t>(builder_of_frames.records().size() / voice_count), frames);
    }
    tune.sample_period_ms = looks.count() == 0 ? 0.0 : looks.ms() / static_cast<double>(looks.count());
    tune.records = builder_of_frames.records();
    tune.captured_frames = static_cast<uint32_t>(tune.records.size() / voice_count);
    shape_song(tune, end_at, silence.run);
    if (options.progress) options.progress(tune.captured_frames, tune.captured_frames);
    return tune;
}

}  // namespace psid_import
