// Opening a song file for playback or recording without ending the program
// when it cannot be played: the caller gets the line the program has always
// shown for the failure and a reason that names what is wrong, and decides
// what to do (end with the failure code, skip to the next song, show the
// line in the file selector).
#pragma once

#include <cstdint>
#include <string>

#include "song/format.hpp"
#include "synth/engine.hpp"

namespace player {

struct song_opening {
    bool ok = false;
    // A file that could not be read: its failure code; 0 otherwise.
    uint32_t failure_code = 0;
    song::header_outcome outcome = song::header_outcome::ok;
    // The fixed line of the failure ("File not found.", "?No SID-DUMP file
    // ERROR"), and the reason in words for "playtun: NAME: reason".
    std::string line;
    std::string reason;
};

// Reads the named file into the engine's song image and runs the header
// reader for the engine's rate. On success the song is ready to play from
// frame 0. A song must be a regular file of at most song::max_song_bytes;
// an unpacked image whose memory cannot be had fails with failure code
// heap_overflow.
song_opening open_song_file(synth::engine& e, const std::string& file_name);

// "playtun: NAME: reason", the line that names the file a failure is about.
std::string named_failure(const std::string& file_name, const std::string& reason);

}  // namespace player
