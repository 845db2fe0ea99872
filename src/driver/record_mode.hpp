// Record mode: the whole song, played once, into a WAV file or stream,
// without SDL and without a display.
#pragma once

#include <cstdint>
#include <string>

namespace driver {

// Records song_file into wav_file at `rate` frames per second and returns the exit status: 0 after
// "Recording Done", 1 for a song error or an output that would destroy a
// song, 130 or 143 when SIGINT or SIGTERM stopped it early. A file error
// ends the program through the failure reporter; in every failed case an
// existing output is left as it was and no file is created.
int record(const std::string& song_file, const std::string& wav_file, uint32_t rate);

}  // namespace driver
