// A song file taken apart into its header fields, its text and its body as
// stored, and the conversions tuntool offers on it: packing, unpacking and
// changing the frame layout. Nothing here plays the song; the header rules
// are the player's (magic, flags, sizes), so what comes out plays as before.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "file_io.hpp"
#include "song/format.hpp"

namespace tuntool {

using song::flag_compressed;
using song::flag_interleaved;

// The header's fields (song::song_header, with its accessors), the song text
// and the body as stored. Written back, the header's text length is the
// text's.
struct stored_song : song::song_header {
    std::vector<uint8_t> text;
    std::vector<uint8_t> body;  // as stored: compressed or not
};

// Takes a file apart. Throws tool_error for a file that has no song magic or
// is shorter than its header and text.
stored_song parse_song_file(std::span<const uint8_t> bytes);

// Why a song file's header asks for more than limits::max_song_bytes of
// unpacked frame data, or "" when it does not (or is no song header at
// all). Checked on the bytes as read, before anything is allocated for
// the frame data.
std::string unpacked_size_problem(std::span<const uint8_t> bytes);

// Puts a song back together, byte for byte as parse_song_file found it.
std::vector<uint8_t> song_file_bytes(const stored_song& song);

// The frame data: the body itself, or the body unpacked to exactly U bytes.
std::vector<uint8_t> frame_data(const stored_song& song);

// Compresses the body (flag bit 6 set, U = body length). An empty body or an
// already compressed one is refused.
stored_song pack_song(const stored_song& song);

// Expands a compressed body (flag bit 6 and U cleared).
stored_song unpack_song(const stored_song& song);

// Rewrites the frame data in the other layout. A compressed song stays
// compressed: its body is unpacked, converted and packed again. Bytes after
// the last whole frame are kept, after the converted frames. A song that
// already has the wanted layout comes back unchanged.
stored_song relayout_song(const stored_song& song, bool to_interleaved);

// Frame layout conversions of frame data for channels (1..8); trailing bytes
// that do not fill a whole frame are carried over unchanged.
std::vector<uint8_t> interleaved_to_planar(std::span<const uint8_t> data, unsigned channels);
std::vector<uint8_t> planar_to_interleaved(std::span<const uint8_t> data, unsigned channels);

}  // namespace tuntool
