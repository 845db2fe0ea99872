#include "base/whole_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "base/fail.hpp"

namespace whole_file {
namespace {

read_result failed(int fd, int error_number) {
    if (fd >= 0) ::close(fd);
    read_result result;
    result.failure_code = failure::code_for_system_error(error_number);
    result.error_number = error_number;
    return result;
}

}  // namespace

read_result read_whole_file(const std::string& file_name, uint64_t max_bytes) {
    // Checked before opening: opening a FIFO for reading waits for a writer.
    struct stat status {};
    if (::stat(file_name.c_str(), &status) != 0) return failed(-1, errno);
    if (S_ISDIR(status.st_mode)) return failed(-1, EISDIR);
    read_result result;
    if (!S_ISREG(status.st_mode)) {
        result = failed(-1, EACCES);
        result.not_regular = true;
        return result;
    }
    // Non-blocking, in case the name was replaced by a FIFO in between.
    const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return failed(-1, errno);
    if (::fstat(fd, &status) != 0) return failed(fd, errno);
    if (S_ISDIR(status.st_mode)) return failed(fd, EISDIR);
    if (!S_ISREG(status.st_mode)) {
        result = failed(fd, EACCES);
        result.not_regular = true;
        return result;
    }

    const uint64_t size = status.st_size < 0 ? 0 : static_cast<uint64_t>(status.st_size);
    if (size > max_bytes || size > std::numeric_limits<size_t>::max()) {
        ::close(fd);
        result.too_large = true;
        return result;
    }
    try {
        result.bytes.resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        ::close(fd);
        result.failure_code = failure::heap_overflow;
        result.error_number = ENOMEM;
        return result;
    }
    // One read for the whole file; anything short of its size is a read error.
    const ssize_t got = ::read(fd, result.bytes.data(), result.bytes.size());
    if (got < 0) return failed(fd, errno);
    if (static_cast<uint64_t>(got) != size) {
        ::close(fd);
        result.bytes.clear();
        result.failure_code = failure::disk_read_error;
        return result;
    }
    if (::close(fd) != 0) return failed(-1, errno);
    return result;
}

std::string failure_reason(const read_result& result) {
    if (result.not_regular) return "not a regular file";
    if (result.error_number != 0) return std::strerror(result.error_number);
    return "the file could not be read whole";
}

}  // namespace whole_file
