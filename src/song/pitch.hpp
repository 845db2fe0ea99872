// Pitch words for frequencies: what the programs that write songs (the
// score compiler, the importer) put into a record's pitch.
#pragma once

#include <cstdint>

namespace song {

// The pitch word for a frequency in Hz: octave in bits 8..10 and mantissa in
// bits 0..7, for (256 + mantissa) x 2^octave / 16 Hz, chosen so that the
// player's whole-hertz pitch steps land on the nearest one. Frequencies
// outside 16..4088 Hz are clamped.
uint16_t pitch_word(double hz);

// The frequency of a note number (C-0 = 0, A-4 = 57 at 440 Hz, B-7 = 95).
double note_hz(int note);

}  // namespace song
