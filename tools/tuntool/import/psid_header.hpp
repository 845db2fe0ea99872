// The header of a PSID tune file: which tunes it holds, the machine clock
// and chip model it was written for, and its title, author and release
// fields. Only what the importer needs is read; running the tune is left to
// the player library (psid_run.hpp).
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

namespace psid_import {

// Why a tune cannot be imported, as one short phrase ("not a PSID file").
struct import_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class chip_model { mos6581, mos8580 };

struct psid_header {
    uint16_t version = 0;
    uint16_t songs = 0;
    uint16_t start_song = 0;
    bool ntsc = false;             // the tune asks for the NTSC clock (else PAL)
    bool model_from_file = false;  // the file names one chip model
    chip_model model = chip_model::mos6581;
    std::string title;  // Latin-1, without the padding
    std::string author;
    std::string released;
};

// The largest file that can hold a PSID tune: the header, a load address
// and 64 KiB of data, with room to spare for files padded at their end.
constexpr size_t largest_tune_file = 0x20000;

// Reads the header. Throws import_error for a file that is not a PSID tune
// (including an RSID tune, which needs a whole machine rather than a play
// routine called on a schedule).
psid_header read_psid_header(std::span<const uint8_t> file);

// The song text of an imported tune: "TITLE by AUTHOR, RELEASED", leaving
// out empty and unknown ("<?>") fields, with Latin-1 letters written as
// their plain ASCII letters and other characters outside printable ASCII
// as '?'.
std::string song_text(const psid_header& header);

}  // namespace psid_import
