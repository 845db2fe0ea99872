#include "base/standard_output.hpp"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/exit_status.hpp"

namespace standard_output {

void end_on_broken_pipe() {
    ::signal(SIGPIPE, SIG_DFL);
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    ::sigprocmask(SIG_UNBLOCK, &pipe_only, nullptr);
    ::raise(SIGPIPE);
    // Not reached; the status a shell gives a program killed by SIGPIPE.
    std::_Exit(exit_status::after_signal(SIGPIPE));
}

int finish(const char* program, int status) {
    int error = 0;
    if (std::fflush(stdout) != 0) error = errno;
    // An error noted by an earlier write whose errno is gone by now.
    if (error == 0 && std::ferror(stdout)) error = EIO;
    if (::close(STDOUT_FILENO) != 0 && error == 0 && errno != EBADF) error = errno;
    if (error == 0) return status;
    if (error == EPIPE) end_on_broken_pipe();
    std::fprintf(stderr, "%s: write error on standard output: %s\n", program, std::strerror(error));
    return status == exit_status::ok ? exit_status::failure : status;
}

}  // namespace standard_output
