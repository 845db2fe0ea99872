// Run-time failure reporting: every file, memory or system failure ends the
// program through fail(code). The reporter prints the failure's text once on
// the message stream (standard output, or standard error while standard
// output carries data) while the program ends, and the code becomes the
// exit status (255 for codes above 255).
#pragma once

#include <cstdint>
#include <string>

namespace failure {

// The failure codes that the program raises itself; system errors map to
// theirs through code_for_system_error.
inline constexpr uint32_t path_not_found = 3;      // a folder on the way to a file does not exist
inline constexpr uint32_t disk_read_error = 100;   // a read returned fewer bytes than asked
inline constexpr uint32_t disk_write_error = 101;  // a write stored fewer bytes than asked
inline constexpr uint32_t heap_overflow = 203;     // a memory block could not be had

// Installs the reporter as an exit hook. Runs once, before any other module
// initialises.
void install_failure_reporter();

// Ends the program because of a run-time failure. Never returns.
[[noreturn]] void fail(uint32_t code);

// Ends the program with the failure code that belongs to a system error
// number (errno value).
[[noreturn]] void fail_system_error(int error_number);

// The failure code for a system error number.
uint32_t code_for_system_error(int error_number);

// The text printed for a failure code ("Unknown error." for unlisted codes).
const char* failure_text(uint32_t code);

// The process exit status for a failure code.
int exit_status_for(uint32_t code);

// Problems the programs report and go on from, or end with a status of
// their own (a song refused, a file that cannot be read or written, a
// stopped run): one line on standard error, where it never mixes with the
// program's data.
void report_problem(const std::string& line);

// A command line the program does not understand: the line, then where
// to read how it is used ("Try 'HELP_COMMAND'."). Returns the exit status
// for it.
int report_usage_error(const std::string& line, const std::string& help_command);

}  // namespace failure
