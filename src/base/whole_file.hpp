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
    bool too_large = false;     // over the size asked for: nothing was read
    bool not_regular = false;   // a FIFO, device or socket: refused before it was opened
};

// Reads the named file whole; the name is used as given, however long. Only
// regular files are read: a folder fails as "is a directory", anything else
// that is not a regular file as access denied (it is never opened, so a
// FIFO cannot make the reader wait). A file over max_bytes is too_large
// without anything being read; a read that returns fewer bytes than the
// file's size is a disk read error.
read_result read_whole_file(const std::string& file_name, uint64_t max_bytes);

// Why a read failed, in the system's words ("No such file or directory").
std::string failure_reason(const read_result& result);

}  // namespace whole_file
