// Builds small PSID tunes for tests: a version 2 header (0x7C bytes,
// big-endian fields) and a few bytes of 6502 code that set the sound chip's
// registers in the init routine and change them in the play routine.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace test_support {

struct psid_header {
    std::string magic = "PSID";
    uint16_t version = 2;
    uint16_t load_address = 0x1000;
    uint16_t init_address = 0x1000;
    uint16_t play_address = 0x1003;
    uint16_t songs = 1;
    uint16_t start_song = 1;
    uint32_t speed = 0;  // bit n set: song n + 1 is timed by the CIA timer
    std::string title;
    std::string author;
    std::string released;
    uint16_t flags = 0x14;  // PAL clock, 6581
};

// Chip register addresses.
constexpr uint16_t chip = 0xD400;
constexpr uint16_t voice_base(int voice) { return static_cast<uint16_t>(chip + 7 * voice); }
constexpr uint16_t filter_routing = 0xD417;
constexpr uint16_t mode_volume = 0xD418;
constexpr uint16_t cia_timer_low = 0xDC04;
constexpr uint16_t cia_timer_high = 0xDC05;

// A few 6502 instructions, assembled at `origin`.
struct code_6502 {
    uint16_t origin = 0x1000;
    std::vector<uint8_t> bytes;

    uint16_t here() const { return static_cast<uint16_t>(origin + bytes.size()); }
    code_6502& op(std::initializer_list<uint8_t> b) {
        bytes.insert(bytes.end(), b);
        return *this;
    }
    code_6502& op_abs(uint8_t opcode, uint16_t address) {
        return op({opcode, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8)});
    }
    code_6502& lda(uint8_t value) { return op({0xA9, value}); }
    code_6502& lda_abs(uint16_t address) { return op_abs(0xAD, address); }
    code_6502& sta(uint16_t address) { return op_abs(0x8D, address); }
    code_6502& inc(uint16_t address) { return op_abs(0xEE, address); }
    code_6502& cmp(uint8_t value) { return op({0xC9, value}); }
    code_6502& jmp(uint16_t address) { return op_abs(0x4C, address); }
    code_6502& rts() { return op({0x60}); }
    // Stores value into a register.
    code_6502& poke(uint16_t address, uint8_t value) { return lda(value).sta(address); }
    // Runs `body` only when the byte at counter equals value.
    code_6502& when(uint16_t counter, uint8_t value, const std::function<void(code_6502&)>& body) {
        lda_abs(counter).cmp(value);
        op({0xD0, 0x00});  // BNE over the body
        const size_t branch = bytes.size() - 1;
        body(*this);
        bytes[branch] = static_cast<uint8_t>(bytes.size() - branch - 1);
        return *this;
    }
};

// The tune's code at 0x1000: JMP init, JMP play, a frame counter byte, then
// the init routine and the play routine. The play routine counts its calls
// in the counter (the count of the current call is 1 in the first call)
// before running `play`; both routines end with RTS.
constexpr uint16_t play_counter = 0x1006;

inline std::vector<uint8_t> tune_code(const std::function<void(code_6502&)>& init,
                                      const std::function<void(code_6502&)>& play) {
    code_6502 c;
    c.jmp(0).jmp(0).op({0x00});
    const uint16_t init_at = c.here();
    init(c);
    c.rts();
    const uint16_t play_at = c.here();
    c.inc(play_counter);
    play(c);
    c.rts();
    c.bytes[1] = static_cast<uint8_t>(init_at), c.bytes[2] = static_cast<uint8_t>(init_at >> 8);
    c.bytes[4] = static_cast<uint8_t>(play_at), c.bytes[5] = static_cast<uint8_t>(play_at >> 8);
    return c.bytes;
}

inline std::vector<uint8_t> psid_bytes(const psid_header& h, const std::vector<uint8_t>& code) {
    std::vector<uint8_t> out(h.magic.begin(), h.magic.end());
    out.resize(4);
    auto u16 = [&out](uint16_t v) { out.insert(out.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}); };
    auto text = [&out](const std::string& s) {
        std::string field = s;
        field.resize(32, '\0');
        out.insert(out.end(), field.begin(), field.end());
    };
    u16(h.version);
    u16(0x7C);
    u16(h.load_address);
    u16(h.init_address);
    u16(h.play_address);
    u16(h.songs);
    u16(h.start_song);
    u16(static_cast<uint16_t>(h.speed >> 16));
    u16(static_cast<uint16_t>(h.speed));
    text(h.title);
    text(h.author);
    text(h.released);
    u16(h.flags);
    out.insert(out.end(), {0, 0, 0, 0});  // relocation pages, second and third chip
    out.insert(out.end(), code.begin(), code.end());
    return out;
}

}  // namespace test_support
