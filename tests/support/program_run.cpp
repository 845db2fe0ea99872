#include "program_run.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/stat.h>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace test_support {

namespace {

program_result run_child(const std::string& path, const std::vector<std::string>& arguments,
                         const std::string& working_directory, const std::vector<std::string>& extra_environment,
                         bool unprivileged) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
    // Standard error goes to a file that nobody else can see, read once
    // the child has ended: two pipes would need reading side by side.
    FILE* error_file = std::tmpfile();
    if (error_file == nullptr) throw std::runtime_error("tmpfile failed");
    const pid_t child = ::fork();
    if (child < 0) throw std::runtime_error("fork failed");
    if (child == 0) {
        ::dup2(pipe_fds[1], STDOUT_FILENO);
        ::dup2(::fileno(error_file), STDERR_FILENO);
        ::close(pipe_fds[0]);
        ::close(pipe_fds[1]);
        if (unprivileged && ::geteuid() == 0) {
            const uid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(125);
        }
        if (!working_directory.empty() && ::chdir(working_directory.c_str()) != 0) ::_exit(126);
        for (const auto& entry : extra_environment) ::putenv(const_cast<char*>(entry.c_str()));
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(path.c_str()));
        for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(path.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(pipe_fds[1]);
    program_result result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pipe_fds[0], buffer, sizeof buffer);
        if (n > 0) {
            result.output.append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(pipe_fds[0]);
    int wait_status = 0;
    ::waitpid(child, &wait_status, 0);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    std::rewind(error_file);
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, error_file)) > 0;) result.errors.append(buffer, n);
    std::fclose(error_file);
    return result;
}

}  // namespace

program_result run_program(const std::string& path, const std::vector<std::string>& arguments,
                           const std::string& working_directory, const std::vector<std::string>& extra_environment) {
    return run_child(path, arguments, working_directory, extra_environment, false);
}

program_result run_program_unprivileged(const std::string& path, const std::vector<std::string>& arguments,
                                        const std::string& working_directory) {
    if (::geteuid() != 0) return run_child(path, arguments, working_directory, {}, false);
    // The build folder may lie where "nobody" cannot reach (under /root, say):
    // run a copy from a folder that everyone can enter.
    const std::string folder = make_temp_dir();
    const std::string copy = folder + "/" + std::filesystem::path(path).filename().string();
    std::filesystem::copy_file(path, copy);
    ::chmod(copy.c_str(), 0755);
    program_result result = run_child(copy, arguments, working_directory, {}, true);
    remove_tree(folder);
    return result;
}

std::string make_temp_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "playtun-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    ::chmod(pattern.c_str(), 0755);  // reachable for an unprivileged child
    return pattern;
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void remove_tree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path, ignored);
}

}  // namespace test_support
