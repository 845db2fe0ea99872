// The WAV output: 16-bit stereo PCM, samples little-endian, left first.
//
// To a regular file (or a new name) the WAV is written through a temporary
// file in the same folder that replaces the destination only when finished,
// so a failed or abandoned recording leaves the old file as it was. To
// anything else (standard output as "-", a pipe, a FIFO, a device) it is
// written as a stream, in place: the header with the announced length
// comes first and nothing is ever seeked. Links are followed and stay
// links; a replaced file keeps its permission bits.
//
// When fewer frames arrive than were announced (a recording stopped by a
// signal), finish writes the real sizes into a file; a stream keeps the
// header it already sent.
//
// By default the file holds nothing but the format and the samples; with
// info_chunk set, the stream's tags go into a LIST/INFO chunk in the header,
// before the samples.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "audio/output.hpp"
#include "base/output_file.hpp"

namespace audio {

struct wav_writer {
    output_files::output_file file;
    uint32_t sample_rate = 0;
    uint64_t announced_frames = 0;
    uint64_t written_frames = 0;
    bool info_chunk = false;
    std::vector<uint8_t> chunks;         // between the format chunk and the samples
    std::array<uint8_t, 16384> bytes{};  // frames on their way out, as bytes
};

output wav_output(wav_writer& writer);

}  // namespace audio
