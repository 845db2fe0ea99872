// A model of one voice's envelope generator on the three-voice sound chip:
// an 8-bit level that climbs linearly while the gate is on (attack), then
// falls to the sustain level (decay) and, once the gate is off, to zero
// (release). The falls take exponentially longer steps as the level gets
// lower. Rates come from the chip's table of cycles per level step.
//
// Left out: the 15-bit rate counter's wrap-around when a rate is lowered
// below the count already reached (on the chip this delays the next step by
// up to about 33 ms, the "missed attack" of some tunes; here the step comes
// at once); the level and state as the chip's registers read them back
// (never needed for playback); and any timing finer than the moments at
// which the importer sees the registers.
#pragma once

#include <array>
#include <cstdint>

namespace psid_import {

// Cycles per level step for the 16 rate values of the attack, decay and
// release nibbles. 255 attack steps at rate 0 take 2 ms, at rate 15 8 s.
constexpr std::array<uint32_t, 16> envelope_rate_cycles{9,   32,  63,   95,   149,  220,   267,   313,
                                                        392, 977, 1954, 3126, 3907, 11720, 19532, 31251};

class envelope {
public:
    // The voice's attack/decay and sustain/release registers and its gate
    // bit as they now stand. Gate on starts the attack from the current
    // level, gate off the release.
    void set_registers(uint8_t attack_decay, uint8_t sustain_release, bool gate);

    // Runs `cycles` chip cycles and returns the sum of the level over them.
    uint64_t run(uint64_t cycles);

    uint8_t level() const { return level_; }

private:
    enum class stage : uint8_t { attack, decay_sustain, release };

    uint32_t period() const;
    bool holding() const;
    void step();

    uint8_t level_ = 0;
    stage stage_ = stage::release;
    bool gate_ = false;
    uint8_t attack_decay_ = 0;
    uint8_t sustain_release_ = 0;
    uint32_t rate_count_ = 0;      // cycles since the last rate period ended
    uint32_t exponent_count_ = 0;  // rate periods since the last falling step
};

// Rate periods per falling step at a level: 1 at the top, then 2, 4, 8, 16
// and 30 below the levels 94, 55, 27, 15 and 7.
uint32_t falling_divider(uint8_t level);

}  // namespace psid_import
