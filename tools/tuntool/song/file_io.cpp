#include "file_io.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/limits.hpp"
#include "base/output_file.hpp"
#include "base/shown_name.hpp"

namespace tuntool {
namespace {

std::string system_reason(int error_number) { return std::strerror(error_number); }

[[noreturn]] void cannot_read(const std::string& path, int error_number) {
    throw read_error(path, system_reason(error_number));
}

[[noreturn]] void too_large(const std::string& path) {
    throw read_error(path, "larger than any song file (" + std::to_string(limits::max_song_bytes) + " bytes)");
}

// Reads what fd holds, at most limit + 1 bytes; closes fd.
std::vector<uint8_t> read_bounded(int fd, const std::string& path, size_t limit) {
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    while (bytes.size() <= limit) {
        const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, limit + 1 - bytes.size()));
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error_number = errno;
            ::close(fd);
            cannot_read(path, error_number);
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    ::close(fd);
    return bytes;
}

void refuse_unless_regular(const std::string& path, const struct stat& status) {
    if (S_ISDIR(status.st_mode)) cannot_read(path, EISDIR);
    if (!S_ISREG(status.st_mode))
        throw read_error(path, std::string("not a regular file (") +
                                   (S_ISFIFO(status.st_mode)   ? "a FIFO"
                                    : S_ISSOCK(status.st_mode) ? "a socket"
                                                               : "a device") +
                                   "); a song is a file");
}

}  // namespace

std::vector<uint8_t> read_whole_file(const std::string& path, size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) cannot_read(path, errno);
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        const int error_number = S_ISDIR(status.st_mode) ? EISDIR : errno;
        ::close(fd);
        cannot_read(path, error_number);
    }
    // A regular file's size is known: one over the limit is not read at all.
    if (S_ISREG(status.st_mode) && static_cast<uint64_t>(status.st_size) > limit) {
        ::close(fd);
        return std::vector<uint8_t>(limit + 1);
    }
    return read_bounded(fd, path, limit);
}

std::vector<uint8_t> read_song_file(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) cannot_read(path, errno);
    refuse_unless_regular(path, status);
    // Not blocking: should the name have become a FIFO since, the open
    // does not wait for a writer, and the check below refuses it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) cannot_read(path, errno);
    if (::fstat(fd, &status) != 0) {
        const int error_number = errno;
        ::close(fd);
        cannot_read(path, error_number);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        refuse_unless_regular(path, status);
    }
    if (static_cast<uint64_t>(status.st_size) > limits::max_song_bytes) {
        ::close(fd);
        too_large(path);
    }
    std::vector<uint8_t> bytes = read_bounded(fd, path, limits::max_song_bytes);
    // A file that grew while it was read.
    if (bytes.size() > limits::max_song_bytes) too_large(path);
    return bytes;
}

void write_file_replacing(const std::string& path, std::span<const uint8_t> bytes) {
    output_files::output_file out;
    int error = output_files::open_output(path, out);
    if (error == 0) error = output_files::write_all(out, bytes);
    if (error == 0) error = output_files::commit(out);
    if (error != 0) {
        output_files::discard(out);
        throw tool_error("cannot write " + names::shown_name(path) + ": " + system_reason(error));
    }
}

void refuse_same_file(const std::string& input, const std::string& output) {
    if (output_files::same_file(input, output))
        throw tool_error(names::shown_name(output) + " is the input " + names::shown_name(input) +
                         "; choose another output name");
}

}  // namespace tuntool
