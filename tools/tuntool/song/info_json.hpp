// `tuntool info --json SONG...`: what info tells, as one JSON array with
// an object per song, for scripts and playlist tools.
#pragma once

#include <string>
#include <vector>

namespace tuntool {

// Prints the array on standard output; returns 0 when playtun plays every
// song, else 1 (the array is complete either way).
int info_json(const std::vector<std::string>& paths);

// A JSON string of bytes: UTF-8 sequences stay as they are; any other byte
// is taken as the character of its value (U+0000..U+00FF) and control
// characters, quotes and backslashes are escaped.
std::string json_string(const std::string& bytes);

}  // namespace tuntool
