#include "psid_header.hpp"

#include <array>
#include <string_view>

namespace psid_import {
namespace {

uint16_t big_endian_16(std::span<const uint8_t> file, size_t at) {
    return static_cast<uint16_t>(file[at] << 8 | file[at + 1]);
}

std::string text_field(std::span<const uint8_t> file, size_t at) {
    std::string text;
    for (size_t i = at; i < at + 32 && file[i] != 0; ++i) text += static_cast<char>(file[i]);
    return text;
}

// Plain letters for Latin-1 0xC0..0xFF; '?' where there is none.
constexpr std::string_view latin1_letters =
    "AAAAAAACEEEEIIII"
    "DNOOOOOxOUUUUYTs"
    "aaaaaaaceeeeiiii"
    "dnooooo/ouuuuyty";

std::string printable(const std::string& latin1) {
    std::string out;
    for (const char ch : latin1) {
        const auto c = static_cast<uint8_t>(ch);
        if (c >= 0x20 && c < 0x7F)
            out += static_cast<char>(c);
        else if (c >= 0xC0)
            out += latin1_letters[c - 0xC0];
        else
            out += '?';
    }
    return out;
}

bool known(const std::string& field) { return !field.empty() && field != "<?>"; }

}  // namespace

psid_header read_psid_header(std::span<const uint8_t> file) {
    if (file.size() >= 4 && std::string_view(reinterpret_cast<const char*>(file.data()), 4) == "RSID")
        throw import_error("an RSID tune, which needs a whole machine; only PSID tunes can be imported");
    if (file.size() < 4 || std::string_view(reinterpret_cast<const char*>(file.data()), 4) != "PSID")
        throw import_error("not a PSID file");
    if (file.size() < 0x76) throw import_error("not a PSID file (shorter than its header)");
    psid_header h;
    h.version = big_endian_16(file, 4);
    if (h.version < 1 || h.version > 4)
        throw import_error("not a PSID file (unknown version " + std::to_string(h.version) + ")");
    const uint16_t data_offset = big_endian_16(file, 6);
    if (data_offset != (h.version == 1 ? 0x76 : 0x7C) || file.size() < data_offset)
        throw import_error("not a PSID file (damaged header)");
    h.songs = big_endian_16(file, 14);
    h.start_song = big_endian_16(file, 16);
    h.title = text_field(file, 22);
    h.author = text_field(file, 54);
    h.released = text_field(file, 86);
    if (h.version >= 2) {
        const uint16_t flags = big_endian_16(file, 0x76);
        // Bits 2..3: 1 PAL, 2 NTSC, 3 either; bits 4..5: 1 6581, 2 8580, 3 either.
        h.ntsc = ((flags >> 2) & 3) == 2;
        const unsigned model = (flags >> 4) & 3;
        h.model_from_file = model == 1 || model == 2;
        h.model = model == 2 ? chip_model::mos8580 : chip_model::mos6581;
    }
    return h;
}

std::string song_text(const psid_header& header) {
    std::string text = known(header.title) ? printable(header.title) : "";
    if (known(header.author)) text += (text.empty() ? "" : " by ") + printable(header.author);
    if (known(header.released)) text += (text.empty() ? "" : ", ") + printable(header.released);
    return text;
}

}  // namespace psid_import
