#include "chip_frames.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "song/pitch.hpp"

namespace psid_import {
namespace {

// Register offsets inside a voice's seven registers, and the shared ones.
constexpr int frequency_low = 0, frequency_high = 1, pulse_low = 2, pulse_high = 3, control = 4, attack_decay = 5,
              sustain_release = 6;
constexpr int cutoff_low = 21, cutoff_high = 22, routing = 23, mode_volume = 24;

constexpr uint8_t gate_bit = 0x01, test_bit = 0x08, noise_bit = 0x80;
constexpr uint8_t voice_3_off = 0x80, low_pass = 0x10, band_pass = 0x20, high_pass = 0x40;

uint8_t reg(const chip_registers& r, int voice, int offset) { return r[static_cast<size_t>(7 * voice + offset)]; }

// The -3 dB frequency of the chip's low-pass filter at cutoff register
// values 0, 64, 128, ..., 1984 and 2047 on a 6581, measured from filtered
// noise rendered by the player library's chip emulation (the program
// tools/measure/filter_curve_probe.cpp makes these figures). The 6581 barely
// moves below register 256 and rises steeply above it.
constexpr std::array<double, 33> cutoff_6581_hz{
    316,   340,   352,   352,   363,   434,   621,   1066,  1500,  2238,  3469,  4230,  5016,  6785,  7582,  9352, 9445,
    10277, 11238, 12902, 13336, 15621, 15773, 16008, 16535, 17777, 18398, 19125, 19863, 20555, 21188, 21844, 22406};
// The 8580's cutoff is close to a straight line: about 7 Hz per register
// step in the same measurement (within 3 % from register 64 up).
constexpr double cutoff_8580_hz_per_step = 7.0;

}  // namespace

uint16_t pitch_for(uint16_t frequency_register, uint32_t clock_hz, bool noise) {
    const double hz = frequency_register * static_cast<double>(clock_hz) / 16777216.0;
    return static_cast<uint16_t>(song::pitch_word(hz) | (noise ? song::pitch_noise : 0));
}

double cutoff_hz(uint16_t cutoff_register, chip_model model) {
    const unsigned c = std::min<unsigned>(cutoff_register, 2047);
    if (model == chip_model::mos8580) return c * cutoff_8580_hz_per_step;
    // Straight lines between the measured points.
    const unsigned i = std::min(c / 64, 31u);
    const double start = i * 64.0, end = i == 31 ? 2047.0 : start + 64.0;
    const double t = (c - start) / (end - start);
    return cutoff_6581_hz[i] + t * (cutoff_6581_hz[i + 1] - cutoff_6581_hz[i]);
}

uint8_t filter_for_hz(double hz) {
    // The player's filter is y += (x - y) a per sample with a = (filter + 1)
    // / 256. Its gain is 1/sqrt(2) at angular frequency w where
    // a^2 + 2 (1 - cos w) a - 2 (1 - cos w) = 0.
    const double w = std::min(2.0 * std::numbers::pi * hz / player_sample_rate, std::numbers::pi);
    const double k = 1.0 - std::cos(w);
    const double a = -k + std::sqrt(k * k + 2.0 * k);
    return static_cast<uint8_t>(std::clamp(std::lround(256.0 * a) - 1, 0l, 255l));
}

frame_builder::frame_builder(chip_timing timing, chip_model model, uint32_t frames)
    : timing_(timing), model_(model), frame_limit_(frames) {
    records_.reserve(static_cast<size_t>(frames) * 3);
}

uint64_t frame_builder::frame_end(uint32_t frame) const { return (uint64_t{frame} + 1) * timing_.frame_cycles; }

void frame_builder::observe(uint64_t cycle, const chip_registers& registers) {
    if (complete()) return;
    cycle = std::max(cycle, last_seen_);
    const uint64_t frame = timing_.frame_cycles;
    // The middle of the frame a moment falls in.
    const auto play_call = [frame](uint64_t at) { return at / frame * frame + frame / 2; };
    if (registers != current_) {
        const uint64_t halfway = last_seen_ + (cycle - last_seen_) / 2;
        // Changes seen at two looks of one frame both go to its play call:
        // the time up to there is run only once (below).
        advance_to(at_play_call_ ? play_call(halfway) : halfway);
        if (complete()) return;
        apply(registers);
    }
    last_seen_ = cycle;
    // A later change goes no earlier than the play call of this look's
    // frame, so the time up to there is settled.
    advance_to(at_play_call_ ? std::min(cycle, play_call(cycle)) : cycle);
}

// The level a voice is heard at, as envelope level x 0..15.
unsigned frame_builder::audible_volume(int voice) const {
    const uint8_t modes = current_[mode_volume];
    const bool filtered = (current_[routing] >> voice) & 1;
    if (reg(current_, voice, control) & test_bit) return 0;
    // Switching voice 3 off removes it from the direct path only.
    if (voice == 2 && (modes & voice_3_off) && !filtered) return 0;
    if (filtered && !(modes & (low_pass | band_pass | high_pass))) return 0;
    return modes & 0x0F;
}

void frame_builder::advance_to(uint64_t cycle) {
    while (now_ < cycle && !complete()) {
        const uint64_t end = std::min(cycle, frame_end(frames_done_));
        for (int v = 0; v < 3; ++v) voices_[v].level_sum += envelopes_[v].run(end - now_) * audible_volume(v);
        now_ = end;
        if (now_ == frame_end(frames_done_)) close_frame();
    }
}

void frame_builder::apply(const chip_registers& registers) {
    current_ = registers;
    for (int v = 0; v < 3; ++v) {
        const bool gate = reg(current_, v, control) & gate_bit;
        envelopes_[v].set_registers(reg(current_, v, attack_decay), reg(current_, v, sustain_release), gate);
        (gate ? voices_[v].seen_on : voices_[v].seen_off) = true;
    }
}

void frame_builder::close_frame() {
    const uint64_t cycles = frame_end(frames_done_) - (frames_done_ == 0 ? 0 : frame_end(frames_done_ - 1));
    const uint8_t modes = current_[mode_volume];
    const uint16_t cutoff = static_cast<uint16_t>((current_[cutoff_low] & 7) | current_[cutoff_high] << 3);
    for (int v = 0; v < 3; ++v) {
        voice_frame& f = voices_[v];
        const uint8_t c = reg(current_, v, control);
        const bool gate = c & gate_bit;
        song::channel_record r;
        r.pitch =
            pitch_for(static_cast<uint16_t>(reg(current_, v, frequency_low) | reg(current_, v, frequency_high) << 8),
                      timing_.clock_hz, c & noise_bit);
        r.pulse = static_cast<uint8_t>((reg(current_, v, pulse_high) & 0x0F) << 4 | reg(current_, v, pulse_low) >> 4);
        const bool pulse_inside = gate == f.gate_at_last_end && (gate ? f.seen_off : f.seen_on);
        r.control = static_cast<uint8_t>(pulse_inside ? c ^ gate_bit : c);
        r.volume = static_cast<uint8_t>(std::min<uint64_t>(255, (f.level_sum + 15 * cycles / 2) / (15 * cycles)));
        const bool low_passed = ((current_[routing] >> v) & 1) && (modes & (low_pass | band_pass));
        r.filter = low_passed ? filter_for_hz(cutoff_hz(cutoff, model_)) : 255;
        records_.push_back(r);
        f = voice_frame{0, gate, !gate, gate};
    }
    ++frames_done_;
}

}  // namespace psid_import
