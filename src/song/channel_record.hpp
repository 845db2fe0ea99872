// The channel record, the meaning of its bits, and the rate of the sound
// made from it: the engine, the screens, the tools and the library take
// these facts from here and from nowhere else.
#pragma once

#include <cstdint>

namespace song {

// Stereo sample frames a second of everything rendered from a song.
inline constexpr uint32_t output_rate = 48000;

// The six values of one channel in one frame.
struct channel_record {
    uint16_t pitch = 0;
    uint8_t pulse = 0;
    uint8_t control = 0;
    uint8_t volume = 0;
    uint8_t filter = 0;

    bool operator==(const channel_record&) const = default;
};

// The pitch word: mantissa in bits 0..7 and octave in bits 8..10 give the
// tone, (256 + mantissa) x 2^octave / 16 Hz; bit 11 turns the noise on;
// bits 12..13 and 14..15 are the right and the left pan codes.
inline constexpr uint16_t pitch_mantissa_mask = 0x00FF;
inline constexpr unsigned pitch_octave_shift = 8;
inline constexpr uint16_t pitch_octave_mask = 0x07;  // after the shift
inline constexpr uint16_t pitch_noise = 0x0800;
inline constexpr uint16_t pitch_tone_mask = 0x07FF;  // mantissa and octave
inline constexpr unsigned pitch_right_pan_shift = 12;
inline constexpr unsigned pitch_left_pan_shift = 14;
inline constexpr uint16_t pan_code_mask = 0x03;  // after either shift

constexpr unsigned pitch_mantissa(uint16_t pitch) { return pitch & pitch_mantissa_mask; }
constexpr unsigned pitch_octave(uint16_t pitch) { return (pitch >> pitch_octave_shift) & pitch_octave_mask; }
constexpr unsigned left_pan_code(uint16_t pitch) { return (pitch >> pitch_left_pan_shift) & pan_code_mask; }
constexpr unsigned right_pan_code(uint16_t pitch) { return (pitch >> pitch_right_pan_shift) & pan_code_mask; }

// The control byte of the chip variant, read like a chip voice register:
// the waveform in bits 4..7 (triangle, sawtooth, pulse, noise), and the
// hard sync, ring modulation and test bits.
inline constexpr unsigned control_waveform_shift = 4;
inline constexpr uint8_t control_sync = 0x02;
inline constexpr uint8_t control_ring = 0x04;
inline constexpr uint8_t control_test = 0x08;
inline constexpr uint8_t control_triangle = 0x10;
inline constexpr uint8_t control_sawtooth = 0x20;
inline constexpr uint8_t control_pulse = 0x40;
inline constexpr uint8_t control_noise = 0x80;

}  // namespace song
