// The FLAC output: 16-bit stereo, lossless, through libFLAC's stream
// encoder; it decodes to exactly the samples it was given.
//
// It writes through the same output files as the WAV writer: a regular file
// (or a new name) through a temporary file that replaces it only when
// finished; anything else (standard output as "-", a pipe, a FIFO, a
// device) in place as a stream. The stream's header announces the length
// given at open. Only a file can be seeked, so only a file gets the header
// completed at the end (frame sizes and the checksum of the samples).
// The stream's tags become Vorbis comments: TITLE, ARTIST, DATE, COMMENT.
//
// This output has a library of its own, so that a program that does not
// write FLAC does not link libFLAC.
#pragma once

#include <array>
#include <cstdint>

#include "audio/output.hpp"
#include "base/output_file.hpp"

namespace audio {

// Frames handed to the encoder at a time.
constexpr size_t flac_pass_frames = 4096;

struct flac_writer {
    output_files::output_file file;
    void* encoder = nullptr;   // libFLAC's stream encoder
    void* comments = nullptr;  // its Vorbis comment block, while it lives
    int error = 0;             // the first write failure: its system error number
    bool discarding = false;   // abandoning: the encoder's last bytes go nowhere
    std::array<int32_t, 2 * flac_pass_frames> samples{};
};

output flac_output(flac_writer& writer);

}  // namespace audio
