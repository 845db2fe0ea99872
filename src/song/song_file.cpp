#include "song/song_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "base/exit_status.hpp"
#include "base/fail.hpp"
#include "base/messages.hpp"
#include "base/output_file.hpp"

namespace song {

namespace {

// Closes the descriptor and ends the program with the failure of the system
// error number taken before the close.
[[noreturn]] void fail_with_file_open(int fd, int error_number) {
    ::close(fd);
    failure::fail_system_error(error_number);
}

[[noreturn]] void fail_too_large() {
    std::FILE* out = messages::stream();
    std::fprintf(out, "%s\n", song_error_message(header_outcome::too_large));
    std::fflush(out);
    std::exit(exit_status::failure);
}

// Reads until the buffer is full or the file ends; restarts after a signal
// only when no stop was asked for.
ssize_t read_fully(int fd, uint8_t* buffer, size_t size) {
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, buffer + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

}  // namespace

bool is_song_file(const std::string& file_name) {
    return has_song_magic(output_files::leading_bytes(file_name, plain_magic.size()));
}

void load_song_file(song_state& s, const std::string& file_name) {
    // Checked before opening: opening a FIFO for reading waits for a writer.
    struct stat status {};
    if (::stat(file_name.c_str(), &status) != 0) failure::fail_system_error(errno);
    if (S_ISDIR(status.st_mode)) failure::fail_system_error(EISDIR);
    if (!S_ISREG(status.st_mode)) failure::fail_system_error(EACCES);

    // The name is used whole, however long: a name the system cannot take
    // fails with the system's own error.
    const int fd = ::open(file_name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) failure::fail_system_error(errno);
    if (::fstat(fd, &status) != 0) fail_with_file_open(fd, errno);
    if (!S_ISREG(status.st_mode)) fail_with_file_open(fd, S_ISDIR(status.st_mode) ? EISDIR : EACCES);

    release_song(s);
    const uint64_t size = status.st_size < 0 ? 0 : static_cast<uint64_t>(status.st_size);
    if (size > max_song_bytes) {
        ::close(fd);
        fail_too_large();
    }
    auto image = allocate_image(size);
    if (!image) {
        ::close(fd);
        failure::fail(failure::heap_overflow);
    }

    // The size the file had when it was opened; anything short of it is a
    // read error.
    const ssize_t got = read_fully(fd, image.get(), static_cast<size_t>(size));
    if (got < 0) fail_with_file_open(fd, errno);
    if (static_cast<uint64_t>(got) != size) {
        ::close(fd);
        failure::fail(failure::disk_read_error);
    }
    if (::close(fd) != 0) failure::fail_system_error(errno);

    install_image(s, std::move(image), static_cast<uint32_t>(size));
}

}  // namespace song
