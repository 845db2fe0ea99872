// Whole-file reads and writes for tuntool. A write follows the rules every
// program of the project keeps (base/output_file.hpp): a regular file is
// replaced through a temporary file and a rename only once the new bytes
// are complete, keeping its permission bits; a link is followed and stays a
// link; a device or FIFO is written in place; "-" is standard output.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/shown_name.hpp"

namespace tuntool {

// A problem that ends a command: the message is one line, without the
// program name.
struct tool_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A file that could not be read: "cannot read PATH: REASON", with the
// reason on its own for messages that name the file another way.
struct read_error : tool_error {
    read_error(const std::string& path, const std::string& why)
        : tool_error("cannot read " + names::shown_name(path) + ": " + why), reason(why) {}
    std::string reason;
};

// Reads the whole file (a regular file, a device, a FIFO, standard input
// as /dev/stdin), or throws read_error. No more than `limit` + 1 bytes are read, so a
// caller sees that a file is over its limit without holding all of it, and
// a device that never ends (/dev/zero) is not read on and on.
std::vector<uint8_t> read_whole_file(const std::string& path, size_t limit);

// Reads a song file, or throws read_error. A song is a regular file (links followed):
// anything else (a FIFO, a device, a folder) is refused before it is opened
// for reading, so that a FIFO without a writer cannot hold the command. A
// file larger than limits::max_song_bytes is refused without being read.
std::vector<uint8_t> read_song_file(const std::string& path);

// Replaces path with bytes, or leaves it untouched and throws.
void write_file_replacing(const std::string& path, std::span<const uint8_t> bytes);

// Throws when writing `output` would destroy `input` (both name the same
// file): for commands that read their input while they write, or whose
// input is not a song.
void refuse_same_file(const std::string& input, const std::string& output);

}  // namespace tuntool
