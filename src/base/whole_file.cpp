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

read_result read_whole_file(const std::string& file_name) {
    const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return failed(-1, errno);
    struct stat status {};
    if (::fstat(fd, &status) != 0) return failed(fd, errno);
    if (S_ISDIR(status.st_mode)) return failed(fd, EISDIR);

    const uint64_t size = status.st_size < 0 ? 0 : static_cast<uint64_t>(status.st_size);
    read_result result;
    if (size > std::numeric_limits<uint32_t>::max()) {
        ::close(fd);
        result.failure_code = failure::heap_overflow;
        result.error_number = ENOMEM;
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
    if (result.error_number != 0) return std::strerror(result.error_number);
    return "the file could not be read whole";
}

}  // namespace whole_file
