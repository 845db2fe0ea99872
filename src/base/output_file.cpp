#include "base/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "base/stop_signals.hpp"

namespace output_files {
namespace {

constexpr int max_link_hops = 40;
// Room for the temporary name's additions within a file name's 255 bytes.
constexpr size_t max_base_in_temporary = 200;

std::string directory_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string base_of(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path a name finally leads to through symbolic links; a link whose
// target does not exist yet leads to that target.
int follow_links(const std::string& name, std::string& path) {
    path = name;
    for (int hop = 0; hop < max_link_hops; ++hop) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) return errno == ENOENT ? 0 : errno;
        if (!S_ISLNK(status.st_mode)) return 0;
        char link[PATH_MAX];
        const ssize_t length = ::readlink(path.c_str(), link, sizeof link);
        if (length < 0) return errno;
        if (static_cast<size_t>(length) >= sizeof link) return ENAMETOOLONG;
        const std::string destination(link, static_cast<size_t>(length));
        path = destination.front() == '/' ? destination : directory_of(path) + "/" + destination;
    }
    return ELOOP;
}

mode_t mode_for_new_files() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

int open_temporary(const std::string& target, const struct stat* replaced, output_file& out) {
    std::string name = directory_of(target) + "/." + base_of(target).substr(0, max_base_in_temporary) + ".XXXXXX";
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    out.fd = fd;
    out.temporary = name;
    out.target = target;
    out.temporary_slot = stop_signals::register_temporary(name.c_str());
    // The replacement looks like the file it replaces; a new file gets the
    // usual permissions.
    if (replaced != nullptr) {
        if (replaced->st_uid != ::geteuid() || replaced->st_gid != ::getegid()) {
            // Only root may give a file away; for anyone else the
            // replacement stays their own.
            [[maybe_unused]] const int given = ::fchown(fd, replaced->st_uid, replaced->st_gid);
        }
        if (::fchmod(fd, replaced->st_mode & 07777) != 0) return errno;
    } else if (::fchmod(fd, mode_for_new_files()) != 0) {
        return errno;
    }
    return 0;
}

int open_in_place(const std::string& name, output_file& out) {
    int fd;
    // Opening a FIFO waits for its reader; SIGINT or SIGTERM ends the wait
    // and the program.
    while ((fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY)) < 0 && errno == EINTR)
        stop_signals::end_at_once();
    if (fd < 0) return errno;
    out.fd = fd;
    return 0;
}

}  // namespace

int open_output(const std::string& name, output_file& out) {
    out = output_file{};
    out.name = name;
    if (name == "-") {
        out.fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
        return out.fd < 0 ? errno : 0;
    }
    std::string target;
    if (const int error = follow_links(name, target); error != 0) return error;
    struct stat status {};
    if (::stat(target.c_str(), &status) != 0) {
        if (errno != ENOENT) return errno;
        const int error = open_temporary(target, nullptr, out);
        if (error != 0) discard(out);
        return error;
    }
    if (S_ISDIR(status.st_mode)) return EISDIR;
    if (!S_ISREG(status.st_mode)) return open_in_place(name, out);
    // A file the user may not write is not replaced behind its back.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return errno;
    const int error = open_temporary(target, &status, out);
    if (error != 0) discard(out);
    return error;
}

int write_all(output_file& out, std::span<const uint8_t> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(out.fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return errno;
        if (put == 0) return EIO;
        done += static_cast<size_t>(put);
    }
    return 0;
}

bool can_patch(const output_file& out) { return !out.temporary.empty(); }

int write_at(output_file& out, uint64_t offset, std::span<const uint8_t> bytes) {
    if (!can_patch(out)) return ESPIPE;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put =
            ::pwrite(out.fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return errno;
        if (put == 0) return EIO;
        done += static_cast<size_t>(put);
    }
    return 0;
}

int commit(output_file& out) {
    if (out.temporary.empty()) {
        const int fd = out.fd;
        out.fd = -1;
        return fd >= 0 && ::close(fd) != 0 ? errno : 0;
    }
    int error = 0;
    if (out.fd >= 0) {
        if (::fsync(out.fd) != 0) error = errno;
        if (::close(out.fd) != 0 && error == 0) error = errno;
        out.fd = -1;
    }
    if (error == 0 && out.held) return 0;
    if (error == 0 && ::rename(out.temporary.c_str(), out.target.c_str()) != 0) error = errno;
    if (error != 0) {
        discard(out);
        return error;
    }
    stop_signals::unregister_temporary(out.temporary_slot);
    out.temporary_slot = -1;
    out.temporary.clear();
    return 0;
}

int publish(output_file& out) {
    out.held = false;
    return commit(out);
}

std::string final_path(const std::string& name) {
    std::string path;
    if (follow_links(name, path) != 0) path = name;
    const std::string folder = directory_of(path);
    char resolved[PATH_MAX];
    if (::realpath(folder.c_str(), resolved) == nullptr) return path;
    const std::string base = base_of(path);
    return std::string(resolved) + (std::string(resolved) == "/" ? "" : "/") + base;
}

void discard(output_file& out) {
    if (out.fd >= 0) ::close(out.fd);
    out.fd = -1;
    if (!out.temporary.empty()) ::unlink(out.temporary.c_str());
    stop_signals::unregister_temporary(out.temporary_slot);
    out.temporary_slot = -1;
    out.temporary.clear();
}

bool same_file(const std::string& a, const std::string& b) {
    struct stat first {
    }, second{};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool is_standard_output(const std::string& name) {
    if (name == "-") return true;
    struct stat named {
    }, standard{};
    if (::stat(name.c_str(), &named) != 0 || ::fstat(STDOUT_FILENO, &standard) != 0) return false;
    return named.st_dev == standard.st_dev && named.st_ino == standard.st_ino;
}

std::vector<uint8_t> leading_bytes(const std::string& name, size_t count) {
    struct stat status {};
    if (::stat(name.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return {};
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return {};
    std::vector<uint8_t> bytes(count);
    size_t got = 0;
    while (got < count) {
        const ssize_t n = ::read(fd, bytes.data() + got, count - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    return bytes;
}

int make_folders(const std::string& folder, std::string& failed) {
    failed.clear();
    // Each folder on the way, from the top: one that exists (or that
    // another process makes at the same time) is passed by.
    for (size_t end = 0; end != std::string::npos;) {
        const size_t start = folder.find_first_not_of('/', end);
        if (start == std::string::npos) break;
        end = folder.find('/', start);
        const std::string step = folder.substr(0, end);
        if (::mkdir(step.c_str(), 0777) == 0) continue;
        const int error_number = errno;
        struct stat status {};
        if (::stat(step.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            failed = step;
            return error_number == EEXIST ? ENOTDIR : error_number;
        }
    }
    return 0;
}

}  // namespace output_files
