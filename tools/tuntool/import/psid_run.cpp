#include "psid_run.hpp"

#include <algorithm>
#include <cmath>
#include <array>
#include <vector>

#include <sidplayfp/SidConfig.h>
#include <sidplayfp/SidTune.h>
#include <sidplayfp/SidTuneInfo.h>
#include <sidplayfp/builders/resid.h>
#include <sidplayfp/sidplayfp.h>

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
    tune[5] = 2;           // version
    tune[7] = 0x7C;        // data offset
    tune[8] = 0x10;        // load address 0x1000
    tune[10] = 0x10;       // init address 0x1000
    tune[12] = 0x10;       // play address 0x100A
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

uint32_t frames_wanted(const import_options& options, const chip_timing& timing) {
    if (options.frames) return *options.frames;
    return static_cast<uint32_t>(std::max(1l, std::lround(options.seconds * timing.frame_rate)));
}

}  // namespace

imported_tune import_tune(std::span<const uint8_t> file, const import_options& options) {
    imported_tune tune;
    tune.header = read_psid_header(file);
    tune.timing = tune.header.ntsc ? ntsc_timing : pal_timing;
    tune.model = options.model.value_or(tune.header.model);
    tune.text = song_text(tune.header);

    SidTune sid_tune(file.data(), static_cast<uint_least32_t>(file.size()));
    if (!sid_tune.getStatus()) throw import_error(library_reason("the player library cannot load it", sid_tune.statusString()));
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

    ReSIDBuilder builder("playtun import");
    builder.create(1);
    if (!builder.getStatus()) throw import_error(library_reason("the player library has no chip emulation", builder.error()));
    sidplayfp engine;
    if (!engine.config(library_config(builder, tune.timing, tune.model)))
        throw import_error(library_reason("the player library refuses to start", engine.error()));
    clear_registers(engine);
    if (!engine.load(&sid_tune)) throw import_error(library_reason("the player library cannot run it", engine.error()));

    // At most an hour, at the tune's own frame rate.
    const auto longest_frames = static_cast<uint32_t>(longest_capture_seconds * tune.timing.frame_rate);
    if (options.frames && *options.frames > longest_frames)
        throw import_error("--frames " + std::to_string(*options.frames) + " is more than an hour of this tune (" +
                           std::to_string(longest_frames) + " frames at " + std::to_string(tune.timing.frame_rate) +
                           " a second)");
    const uint32_t frames = frames_wanted(options, tune.timing);
    frame_builder builder_of_frames(tune.timing, tune.model, frames);
    // Each call runs one slice of emulated time; the few samples asked for
    // are only there because the library wants somewhere to put sound.
    short sound[8];
    chip_registers registers{};
    uint8_t all_registers[32];
    uint64_t looks = 0;
    uint32_t last_time = 0, calls_at_last_time = 0;
    while (!builder_of_frames.complete()) {
        // A jammed processor stops the machine; the library then still
        // returns sound, but no longer plays and its time stands still.
        if (engine.play(sound, 8) < 8 || !engine.isPlaying())
            throw import_error(library_reason("the player library stopped the tune", engine.error()));
        if (engine.timeMs() != last_time) {
            last_time = engine.timeMs();
            calls_at_last_time = 0;
        } else if (++calls_at_last_time == 1000) {
            throw import_error("the player library's machine does not advance");
        }
        if (!engine.getSidStatus(0, all_registers)) throw import_error("the player library shows no sound chip");
        std::copy_n(all_registers, registers.size(), registers.begin());
        const uint64_t cycle = uint64_t{engine.timeMs()} * tune.timing.clock_hz / 1000;
        builder_of_frames.observe(cycle, registers);
        ++looks;
    }
    tune.sample_period_ms = looks == 0 ? 0.0 : engine.timeMs() / static_cast<double>(looks);
    tune.records = builder_of_frames.records();
    return tune;
}

}  // namespace psid_import
