// The failure reporter: which code a system error becomes, the text printed
// for a code and the exit status it gives.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

#include "base/fail.hpp"

namespace {

TEST(FailureReporter, SystemErrorsMapToFailureCodes) {
    struct case_t {
        int error_number;
        uint32_t code;
    } cases[] = {
        {ENOENT, 2},  {ENAMETOOLONG, 3}, {EMFILE, 4},   {ENFILE, 4},   {EACCES, 5},   {EEXIST, 5},   {EISDIR, 5},
        {EROFS, 5},   {ENOTEMPTY, 5},    {EBADF, 6},    {EINTR, 101},  {EIO, 101},    {EAGAIN, 101}, {ENOSPC, 101},
        {EPIPE, 101}, {ENOMEM, 217},     {EFAULT, 217}, {EINVAL, 218}, {ENOTDIR, 20}, {EPERM, 1},    {ELOOP, 40},
    };
    for (const auto& c : cases) EXPECT_EQ(failure::code_for_system_error(c.error_number), c.code) << c.error_number;
}

TEST(FailureReporter, TextsForListedAndUnlistedCodes) {
    struct case_t {
        uint32_t code;
        const char* text;
    } cases[] = {
        {1, "Invalid function number."},
        {2, "File not found."},
        {3, "Path not found."},
        {5, "File access denied."},
        {100, "Disk read error."},
        {101, "Disk write error."},
        {203, "Heap overflow error."},
        {217, "Unhandled exception occurred."},
        {227, "Assertion failed error."},
        {0, "Unknown error."},
        {7, "Unknown error."},
        {218, "Unknown error."},
        {255, "Unknown error."},
        {100000, "Unknown error."},
    };
    for (const auto& c : cases) EXPECT_STREQ(failure::failure_text(c.code), c.text) << c.code;
}

TEST(FailureReporter, ExitStatusIsTheCodeCappedAt255) {
    EXPECT_EQ(failure::exit_status_for(2), 2);
    EXPECT_EQ(failure::exit_status_for(255), 255);
    EXPECT_EQ(failure::exit_status_for(256), 255);
    EXPECT_EQ(failure::exit_status_for(70000), 255);
}

// The reporter prints on standard output while the program ends; the child
// sends its standard output into a pipe that the test reads.
std::string output_of_failing_child(uint32_t code, int* status) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        failure::install_failure_reporter();
        std::fputs("before\n", stdout);
        failure::fail(code);
    }
    ::close(fds[1]);
    std::string out;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int wait_status = 0;
    ::waitpid(child, &wait_status, 0);
    *status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    return out;
}

TEST(FailureReporter, FailPrintsTheTextOnceAndExitsWithTheCode) {
    int status = 0;
    EXPECT_EQ(output_of_failing_child(5, &status), "before\nFile access denied.\n");
    EXPECT_EQ(status, 5);
    EXPECT_EQ(output_of_failing_child(300, &status), "before\nUnknown error.\n");
    EXPECT_EQ(status, 255);
}

}  // namespace
