// The commands on song files: info (a description of each song, or JSON
// with --json), pack, unpack and relayout; and what every command that
// writes a song or reports one shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "stored_song.hpp"

namespace tuntool {

// Each takes the words after its name and returns the exit status.
int info_command(const std::vector<std::string>& args);
int pack_command(const std::vector<std::string>& args);
int unpack_command(const std::vector<std::string>& args);
int relayout_command(const std::vector<std::string>& args);

// A command line tuntool does not understand: the message on standard
// error with a pointer to --help; returns 2.
int usage_error(const std::string& message);

// Whether the command has exactly `count` words after its name; when not,
// says so as a usage error.
bool has_arguments(const std::vector<std::string>& args, size_t count, const std::string& command);

// "12.5 %" of part in whole.
std::string percent(size_t part, size_t whole);

// M:SS.hh of a number of song frames at a frame rate ("?" at rate 0).
std::string clock_time(uint64_t frames, unsigned rate);

// Replaces the file with the song's bytes (or throws, leaving it intact).
void write_song(const std::string& path, const stored_song& song);

// The lines that report a written song go where they cannot mix with it:
// to standard error when the song goes to standard output.
void report_for(const std::string& out);

}  // namespace tuntool
