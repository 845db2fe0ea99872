// Writing an output without ever losing the file it replaces.
//
// A regular file, or a name that does not exist yet, is written to a
// temporary file in the same folder, which takes the name's place by a
// rename only when the output is complete: a failed or interrupted write
// leaves the old file exactly as it was. The new file keeps the permission
// bits (and, where the system allows it, the owner) of the file it
// replaces. A symbolic link is followed: its target is replaced and the
// link stays a link. Anything else (a character device such as /dev/null,
// a FIFO, a socket, a terminal, or standard output given as "-") is
// written in place and never replaced.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace output_files {

struct output_file {
    int fd = -1;
    std::string name;       // as the user gave it
    std::string target;     // the file that the finished output replaces; empty when written in place
    std::string temporary;  // the file being written; empty when written in place
    int temporary_slot = -1;
    // Set after opening, for one of a set of outputs that replace their
    // files together: commit then completes the temporary file but leaves
    // it under its temporary name until publish.
    bool held = false;
};

// All operations return 0 or the system error number of the failure.

// Opens an output for the given name ("-" is standard output). An existing
// regular file that the user may not write is refused (EACCES), as is a
// folder (EISDIR). A FIFO is opened when a reader comes; SIGINT or SIGTERM
// during the wait ends the program at once (base/stop_signals.hpp).
int open_output(const std::string& name, output_file& out);

int write_all(output_file& out, std::span<const uint8_t> bytes);

// Only an output written to a temporary file can be patched afterwards.
bool can_patch(const output_file& out);
int write_at(output_file& out, uint64_t offset, std::span<const uint8_t> bytes);

// Completes the output: the temporary file is flushed to the disk and
// renamed over its target; an output written in place is closed.
int commit(output_file& out);

// Renames a held output, committed, over its target (0 and nothing to do
// for an output written in place). Until then discard still removes it.
int publish(output_file& out);

// Abandons the output: the temporary file is removed, the target is left
// as it was. Safe to call on an output that is not open.
void discard(output_file& out);

// The file a name finally leads to, links followed, its folder resolved:
// two names that would write the same file give the same path, whether
// or not the file exists yet. The name itself when its folder cannot be
// resolved.
std::string final_path(const std::string& name);

// Both names lead (through links) to the same existing file.
bool same_file(const std::string& a, const std::string& b);

// The name stands for the process's standard output: "-", or a name for
// the file that descriptor 1 writes to (/dev/stdout, say).
bool is_standard_output(const std::string& name);

// Makes a folder and every folder on the way to it that does not exist
// yet. Returns 0, or the system error number with `failed` naming the
// folder that could not be made (ENOTDIR when a file is in its place).
int make_folders(const std::string& folder, std::string& failed);

// The first bytes (up to `count`) of an existing regular file, links
// followed; empty for anything that is not a readable regular file.
std::vector<uint8_t> leading_bytes(const std::string& name, size_t count);

}  // namespace output_files
