#include "envelope.hpp"

#include <algorithm>

namespace psid_import {

uint32_t falling_divider(uint8_t level) {
    if (level > 0x5D) return 1;
    if (level > 0x36) return 2;
    if (level > 0x1A) return 4;
    if (level > 0x0E) return 8;
    if (level > 0x06) return 16;
    return 30;
}

void envelope::set_registers(uint8_t attack_decay, uint8_t sustain_release, bool gate) {
    // A level already at the top goes straight on to the decay.
    if (gate && !gate_) stage_ = level_ == 0xFF ? stage::decay_sustain : stage::attack;
    if (!gate && gate_) stage_ = stage::release;
    gate_ = gate;
    attack_decay_ = attack_decay;
    sustain_release_ = sustain_release;
    // A rate lowered below the count already reached steps at the next cycle.
    rate_count_ = std::min(rate_count_, period() - 1);
}

uint32_t envelope::period() const {
    switch (stage_) {
        case stage::attack: return envelope_rate_cycles[attack_decay_ >> 4];
        case stage::decay_sustain: return envelope_rate_cycles[attack_decay_ & 0x0F];
        case stage::release: break;
    }
    return envelope_rate_cycles[sustain_release_ & 0x0F];
}

// The level stays put: at zero while falling, or at the sustain level. The
// decay stops only when the level equals the sustain level, so a sustain
// level raised above the level is never reached and the level falls to 0.
bool envelope::holding() const {
    if (stage_ == stage::attack) return false;
    if (level_ == 0) return true;
    return stage_ == stage::decay_sustain && level_ == (sustain_release_ >> 4) * 0x11;
}

void envelope::step() {
    if (stage_ == stage::attack) {
        if (++level_ == 0xFF) stage_ = stage::decay_sustain;
    } else {
        --level_;
    }
}

uint64_t envelope::run(uint64_t cycles) {
    uint64_t sum = 0;
    while (cycles > 0) {
        const uint64_t p = period();
        if (holding()) {
            sum += uint64_t{level_} * cycles;
            rate_count_ = static_cast<uint32_t>((rate_count_ + cycles) % p);
            return sum;
        }
        // Rate periods until the level moves: one while climbing, the
        // divider's worth while falling.
        const uint64_t periods = stage_ == stage::attack
                                     ? 1
                                     : falling_divider(level_) - std::min(exponent_count_, falling_divider(level_) - 1);
        const uint64_t until_step = (p - rate_count_) + (periods - 1) * p;
        if (until_step > cycles) {
            sum += uint64_t{level_} * cycles;
            const uint64_t total = rate_count_ + cycles;
            rate_count_ = static_cast<uint32_t>(total % p);
            if (stage_ != stage::attack) exponent_count_ += static_cast<uint32_t>(total / p);
            return sum;
        }
        sum += uint64_t{level_} * until_step;
        cycles -= until_step;
        rate_count_ = 0;
        exponent_count_ = 0;
        step();
    }
    return sum;
}

}  // namespace psid_import
