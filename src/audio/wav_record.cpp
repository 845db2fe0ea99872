#include "audio/wav_record.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "base/fail.hpp"
#include "song/song.hpp"
#include "synth/synth.hpp"

namespace audio {
namespace {

// The output file is program-wide so that the recording stop can close it.
struct recorder_state {
    int wav_fd = -1;
    alignas(4) uint8_t render_buffer[record_block_bytes];
};
recorder_state recorder;

void write_exact(const void* bytes, size_t count) {
    const ssize_t written = ::write(recorder.wav_fd, bytes, count);
    if (written < 0) failure::fail_system_error(errno);
    if (static_cast<size_t>(written) != count) failure::fail(failure::disk_write_error);
}

void write_text(const char (&text)[5]) { write_exact(text, 4); }

void write_u16(uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    write_exact(bytes, sizeof bytes);
}

void write_u32(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    write_exact(bytes, sizeof bytes);
}

void seek_to(off_t position) {
    if (::lseek(recorder.wav_fd, position, SEEK_SET) < 0) failure::fail_system_error(errno);
}

// The 44-byte RIFF/WAVE header, each field written on its own. Both sizes
// stay 0 until the recording is complete, so an interrupted recording is
// recognisable.
void write_wav_header(uint32_t sample_rate) {
    write_text("RIFF");
    write_u32(0);
    write_text("WAVE");
    write_text("fmt ");
    write_u32(16);
    write_u16(1);  // PCM
    write_u16(2);  // stereo
    write_u32(sample_rate);
    write_u32(sample_rate * 4);
    write_u16(4);   // bytes per stereo frame
    write_u16(16);  // bits per sample
    write_text("data");
    write_u32(0);
}

// Ends record mode in order: the file is closed, the message printed, the
// program ended with the given status.
[[noreturn]] void recording_stop(const char* message, int status) {
    if (::close(recorder.wav_fd) != 0) failure::fail_system_error(errno);
    recorder.wav_fd = -1;
    std::printf("%s\n", message);
    std::fflush(stdout);
    std::exit(status);
}

}  // namespace

void record(const std::string& song_file, const std::string& wav_file) {
    std::printf("Recording %s to %s\n", song_file.c_str(), wav_file.c_str());
    std::fflush(stdout);

    // The song is loaded before the WAV file is created, so a missing song
    // never leaves an empty WAV file behind.
    song::load_song(song_file);

    recorder.wav_fd = ::open(wav_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (recorder.wav_fd < 0) failure::fail_system_error(errno);
    write_wav_header(synth::sample_rate);

    synth::song_ended.store(false, std::memory_order_relaxed);
    synth::loop_enabled.store(false, std::memory_order_relaxed);

    const song::header_outcome outcome = song::read_header(synth::sample_rate);
    if (outcome != song::header_outcome::ok) recording_stop(song_error_message(outcome), 1);

    song::current.frame_index.store(0, std::memory_order_relaxed);
    uint32_t blocks = 0;
    while (!synth::song_ended.load(std::memory_order_relaxed)) {
        synth::render_block(nullptr, recorder.render_buffer, static_cast<int>(record_block_bytes));
        write_exact(recorder.render_buffer, record_block_bytes);
        ++blocks;
    }

    // Sizes are the low 32 bits, as the RIFF fields hold no more.
    const uint64_t file_size = 44 + static_cast<uint64_t>(record_block_bytes) * blocks;
    seek_to(4);
    write_u32(static_cast<uint32_t>(file_size - 8));
    seek_to(40);
    write_u32(static_cast<uint32_t>(file_size - 44));
    recording_stop("Recording Done", 0);
}

}  // namespace audio
