// Whole-file reads and writes for tuntool. A write goes to a temporary file
// in the destination's directory and is renamed over the destination only
// once it is complete, so a failed run never leaves a damaged output behind.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace tuntool {

// A problem that ends a command: the message is one line, without the
// program name.
struct tool_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<uint8_t> read_whole_file(const std::string& path);

// Replaces path with bytes, or leaves it untouched and throws.
void write_file_replacing(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace tuntool
