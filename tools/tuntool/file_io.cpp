#include "file_io.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/output_file.hpp"

namespace tuntool {
namespace {

std::string system_reason(int error_number) { return std::strerror(error_number); }

[[noreturn]] std::vector<uint8_t> too_large(const std::string& path) {
    throw tool_error(path + " is larger than any song file (" + std::to_string(largest_song_file) + " bytes)");
}

}  // namespace

std::vector<uint8_t> read_whole_file(const std::string& path, size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw tool_error("cannot read " + path + ": " + system_reason(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        const int error_number = S_ISDIR(status.st_mode) ? EISDIR : errno;
        ::close(fd);
        throw tool_error("cannot read " + path + ": " + system_reason(error_number));
    }
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    // A regular file's size is known: one over the limit is not read at all.
    if (S_ISREG(status.st_mode) && static_cast<uint64_t>(status.st_size) > limit) {
        ::close(fd);
        if (limit == largest_song_file) return too_large(path);
        bytes.resize(limit + 1);
        return bytes;
    }
    while (bytes.size() <= limit) {
        const ssize_t got = ::read(fd, buffer, std::min(sizeof buffer, limit + 1 - bytes.size()));
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error_number = errno;
            ::close(fd);
            throw tool_error("cannot read " + path + ": " + system_reason(error_number));
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    ::close(fd);
    if (bytes.size() > limit && limit == largest_song_file) return too_large(path);
    return bytes;
}

void write_file_replacing(const std::string& path, std::span<const uint8_t> bytes) {
    output_files::output_file out;
    int error = output_files::open_output(path, out);
    if (error == 0) error = output_files::write_all(out, bytes);
    if (error == 0) error = output_files::commit(out);
    if (error != 0) {
        output_files::discard(out);
        throw tool_error("cannot write " + path + ": " + system_reason(error));
    }
}

void refuse_same_file(const std::string& input, const std::string& output) {
    if (output_files::same_file(input, output))
        throw tool_error(output + " is the input " + input + "; choose another output name");
}

}  // namespace tuntool
