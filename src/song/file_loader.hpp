// Song files as the programs read them: the whole file into a song image,
// every failure reported through the failure reporter. The engine and the
// library never read files; they take images from memory.
#pragma once

#include <string>

#include "song/song.hpp"

namespace song {

// The named file exists, is a regular file and begins with a song magic:
// the programs never write their output over such a file.
bool is_song_file(const std::string& file_name);

// Reads the whole file into a new song image of `s`, releasing the previous
// one. A song must be a regular file: a folder, FIFO or device is refused
// before it is opened for reading, and a file over max_song_bytes before
// anything is read. Every failure ends the program through the failure
// reporter; a file over the limit ends it with the message of a too large
// song and status 1.
void load_song_file(song_state& s, const std::string& file_name);

}  // namespace song
