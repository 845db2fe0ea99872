#include "base/fail.hpp"

#include "base/exit_status.hpp"
#include "base/messages.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace failure {
namespace {

struct failure_entry {
    uint32_t code;
    const char* text;
};

constexpr failure_entry failure_texts[] = {
    {1, "Invalid function number."},
    {2, "File not found."},
    {3, "Path not found."},
    {4, "Too many open files."},
    {5, "File access denied."},
    {6, "Invalid file handle."},
    {12, "Invalid file access code."},
    {15, "Invalid drive number."},
    {16, "Cannot remove current directory."},
    {17, "Cannot rename across drives."},
    {100, "Disk read error."},
    {101, "Disk write error."},
    {102, "File not assigned."},
    {103, "File not open."},
    {104, "File not open for input."},
    {105, "File not open for output."},
    {106, "Invalid numeric format."},
    {150, "Disk is write-protected."},
    {151, "Bad drive request struct length."},
    {152, "Drive not ready."},
    {154, "CRC error in data."},
    {156, "Disk seek error."},
    {157, "Unknown media type."},
    {158, "Sector not found."},
    {159, "Printer out of paper."},
    {160, "Device write fault."},
    {161, "Device read fault."},
    {162, "Hardware failure."},
    {200, "Division by zero."},
    {201, "Range check error."},
    {202, "Stack overflow error."},
    {203, "Heap overflow error."},
    {204, "Invalid pointer operation."},
    {205, "Floating point overflow."},
    {206, "Floating point underflow."},
    {207, "Invalid floating point operation."},
    {210, "Object not initialized."},
    {211, "Call to abstract method."},
    {212, "Stream registration error."},
    {213, "Collection index out of range."},
    {214, "Collection overflow error."},
    {216, "General protection fault."},
    {217, "Unhandled exception occurred."},
    {227, "Assertion failed error."},
};

// The reporter's own state: whether the program is ending because of a
// run-time failure, and with which code.
struct reporter_state {
    bool installed = false;
    bool failure_pending = false;
    uint32_t failure_code = 0;
};
reporter_state reporter;

void report_on_exit() {
    if (!reporter.failure_pending) return;
    reporter.failure_pending = false;  // the reporter speaks once
    std::FILE* out = messages::stream();
    std::fputs(failure_text(reporter.failure_code), out);
    std::fputc('\n', out);
    std::fflush(out);
}

}  // namespace

void install_failure_reporter() {
    if (reporter.installed) return;
    reporter.installed = true;
    std::atexit(report_on_exit);
}

const char* failure_text(uint32_t code) {
    for (const auto& entry : failure_texts)
        if (entry.code == code) return entry.text;
    return "Unknown error.";
}

int exit_status_for(uint32_t code) { return code > 255 ? 255 : static_cast<int>(code); }

uint32_t code_for_system_error(int error_number) {
    switch (error_number) {
        case ENOENT: return 2;
        case ENAMETOOLONG: return 3;
        case EMFILE:
        case ENFILE: return 4;
        case EACCES:
        case EEXIST:
        case EISDIR:
        case EROFS:
        case ENOTEMPTY: return 5;
        case EBADF: return 6;
        case EINTR:
        case EIO:
        case EAGAIN:
        case ENOSPC:
        case EPIPE: return disk_write_error;
        case ENOMEM:
        case EFAULT: return 217;
        case EINVAL: return 218;
        default: return static_cast<uint32_t>(error_number);
    }
}

void fail(uint32_t code) {
    install_failure_reporter();
    reporter.failure_pending = true;
    reporter.failure_code = code;
    std::exit(exit_status_for(code));
}

void fail_system_error(int error_number) { fail(code_for_system_error(error_number)); }

void report_problem(const std::string& line) {
    std::fputs(line.c_str(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

int report_usage_error(const std::string& line, const std::string& help_command) {
    report_problem(line + "\nTry '" + help_command + "'.");
    return exit_status::bad_command_line;
}

}  // namespace failure
