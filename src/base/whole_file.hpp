// Reading a whole file into memory without ending the program: the caller
// learns the failure code and the system's reason, and decides whether the
// failure ends the program (a song given on the command line) or is only
// reported (a song in a play list or chosen in the file selector).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace whole_file {

struct read_result {
    std::vector<uint8_t> bytes;
    uint32_t failure_code = 0;  // 0 when the file was read whole
    int error_number = 0;       // the system error behind the failure, 0 for a short read
};

// Reads the named file whole; the name is used as given, however long. A
// folder fails as "is a directory", a read that returns fewer bytes than
// the file's size as a disk read error, a file of 4 GiB or more as a heap
// overflow (no song image can hold it).
read_result read_whole_file(const std::string& file_name);

// Why a read failed, in the system's words ("No such file or directory").
std::string failure_reason(const read_result& result);

}  // namespace whole_file
