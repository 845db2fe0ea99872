#include "file_io.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tuntool {
namespace {

std::string system_reason(int error_number) { return std::strerror(error_number); }

std::string directory_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Closes fd and removes the temporary file; used on every failure path.
void discard(int fd, const std::string& temp) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.c_str());
}

}  // namespace

std::vector<uint8_t> read_whole_file(const std::string& path) {
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
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
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
    return bytes;
}

void write_file_replacing(const std::string& path, std::span<const uint8_t> bytes) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        throw tool_error("cannot write " + path + ": " + system_reason(EISDIR));

    std::string temp = directory_of(path) + "/.tuntool-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) throw tool_error("cannot write " + path + ": " + system_reason(errno));

    // mkstemp makes the file private; a new song gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);

    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            const int error_number = put < 0 ? errno : EIO;
            discard(fd, temp);
            throw tool_error("cannot write " + path + ": " + system_reason(error_number));
        }
        done += static_cast<size_t>(put);
    }
    if (::close(fd) != 0) {
        const int error_number = errno;
        ::unlink(temp.c_str());
        throw tool_error("cannot write " + path + ": " + system_reason(error_number));
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error_number = errno;
        ::unlink(temp.c_str());
        throw tool_error("cannot write " + path + ": " + system_reason(error_number));
    }
}

}  // namespace tuntool
