// Runs a program as a child process for whole-program tests and collects its
// standard output, standard error and exit status.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

struct program_result {
    std::string output;  // standard output, byte for byte
    std::string errors;  // standard error, byte for byte
    int status = -1;     // exit status, or -1 when the child did not exit normally
};

// Runs path with the given arguments in working_directory (empty: the
// current one); extra_environment entries are NAME=VALUE additions.
program_result run_program(const std::string& path, const std::vector<std::string>& arguments,
                           const std::string& working_directory = "",
                           const std::vector<std::string>& extra_environment = {});

// The same, but when the tests run as root the child first drops to the
// unprivileged user "nobody", so that file permissions apply to it.
program_result run_program_unprivileged(const std::string& path, const std::vector<std::string>& arguments,
                                        const std::string& working_directory = "");

// Files and temporary directories for tests.
std::string make_temp_dir();
void write_file(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_file(const std::string& path);
void remove_tree(const std::string& path);

}  // namespace test_support
