// Turns the sound chip's registers, as the importer sees them at moments of
// emulated time, into the channel records of song frames: one channel per
// voice, one record per voice and frame.
//
// The registers are seen every few milliseconds, not at every write. A
// change is taken to have happened halfway between the last moment that
// still showed the old values and the first that shows the new ones; or,
// for a play routine called once a frame at a known moment (the middle of
// the frame: see psid_run.cpp), at that moment of the frame the halfway
// point falls in. Placed halfway, a change moves by up to half the time
// between two looks from one call to the next, as the looks drift against
// the calls, and a fast attack climbs most of its way in that time: the
// same notes then get other volumes each time the tune comes round. At the
// play call, each note's envelope starts at the same moment of its frame.
//
// Each frame's record of a voice holds:
//   pitch    the frequency register in Hz at the chip's clock, as the
//            player's octave and mantissa nearest to it; pan centred; bit 11
//            (noise) when the noise waveform is selected;
//   pulse    the top 8 bits of the 12-bit pulse width;
//   control  the control register at the frame's end, except the gate bit
//            (below);
//   volume   the envelope level averaged over the frame, times the master
//            volume, 0..255; while the voice cannot be heard (test bit set,
//            voice 3 switched off, or routed into the filter with no filter
//            mode selected) it counts as 0;
//   filter   255 (open) unless the voice goes through the low-pass or the
//            band-pass filter; then the coefficient that puts the player's
//            one-pole low-pass -3 dB point on the chip filter's cutoff.
//
// The gate rule: the gate bit shows the gate at the frame's end, except
// when the gate ends the frame as it ended the frame before but was seen
// the other way inside the frame (a note restarted, or a note shorter than
// a frame): then the frame shows that other state, so that every such pulse
// or gap appears in the records for at least one frame. When the gate
// changes more than twice inside one frame, only the last change is kept.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "envelope.hpp"
#include "psid_header.hpp"
#include "song/channel_record.hpp"

namespace psid_import {

// The chip has three voices; an imported song has a channel for each.
constexpr unsigned voice_count = 3;

// Registers 0x00..0x18: three voices of seven registers, then the filter's
// cutoff, routing and resonance, and the mode and master volume.
constexpr size_t chip_register_count = 25;
using chip_registers = std::array<uint8_t, chip_register_count>;

// A song frame holds one of the machine's video frames: 312 lines of 63
// cycles on a PAL machine, 263 of 65 on an NTSC one. A play routine called
// on the video frame's interrupt is then called exactly once in every song
// frame. The machine's frames come 50.12 (59.83) times a second and the
// song's 50 (60): an imported song plays 0.25 % slower (0.29 % faster) than
// the machine, at the same pitch.
struct chip_timing {
    uint32_t clock_hz;      // chip cycles per second
    uint16_t frame_rate;    // song frames per second
    uint32_t frame_cycles;  // chip cycles per song frame
};
constexpr chip_timing pal_timing{985248, 50, 312 * 63};
constexpr chip_timing ntsc_timing{1022727, 60, 263 * 65};

// The player's output rate, at which its filter coefficient applies.
constexpr double player_sample_rate = song::output_rate;

// The pitch word for a frequency register value at a chip clock.
uint16_t pitch_for(uint16_t frequency_register, uint32_t clock_hz, bool noise);

// The chip filter's cutoff frequency in Hz for a cutoff register value
// (0..2047) on each chip model.
double cutoff_hz(uint16_t cutoff_register, chip_model model);

// The player's filter value whose one-pole low-pass is 3 dB down at hz.
uint8_t filter_for_hz(double hz);

class frame_builder {
public:
    frame_builder(chip_timing timing, chip_model model, uint32_t frames);

    // From now on, changes go to the middle of the frame they are seen in
    // (set before the first look).
    void place_at_play_call() { at_play_call_ = true; }

    // The registers as seen at `cycle` chip cycles after the tune started.
    // The moments must not go back in time.
    void observe(uint64_t cycle, const chip_registers& registers);

    // All the frames asked for are done.
    bool complete() const { return frames_done_ == frame_limit_; }

    // Frame after frame, three records per frame.
    const std::vector<song::channel_record>& records() const { return records_; }

private:
    struct voice_frame {
        uint64_t level_sum = 0;  // envelope level x master volume, summed over the frame's cycles
        bool seen_on = false;    // the gate was on at some moment of the frame
        bool seen_off = false;
        bool gate_at_last_end = false;
    };

    uint64_t frame_end(uint32_t frame) const;
    void advance_to(uint64_t cycle);
    void apply(const chip_registers& registers);
    void close_frame();
    unsigned audible_volume(int voice) const;

    chip_timing timing_;
    chip_model model_;
    uint32_t frame_limit_;
    bool at_play_call_ = false;
    uint32_t frames_done_ = 0;
    uint64_t now_ = 0;        // cycles up to which the model has run
    uint64_t last_seen_ = 0;  // when the registers were last seen
    chip_registers current_{};
    std::array<envelope, voice_count> envelopes_{};
    std::array<voice_frame, voice_count> voices_{};
    std::vector<song::channel_record> records_;
};

}  // namespace psid_import
