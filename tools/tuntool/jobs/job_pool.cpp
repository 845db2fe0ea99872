#include "job_pool.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "base/messages.hpp"
#include "base/stop_signals.hpp"
#include "base/shown_name.hpp"

namespace tuntool {
namespace {

// A line of a child longer than this is passed on in pieces.
constexpr size_t max_line = 4096;
constexpr int poll_interval_ms = 100;
// Progress records taken in one read at the most.
constexpr size_t records_a_read = 64;

volatile sig_atomic_t parent_signal = 0;
volatile sig_atomic_t parent_signal_count = 0;

void note_signal(int signal_number) {
    parent_signal = signal_number;
    parent_signal_count = parent_signal_count + 1;
}

// The parent notes the stop signals; a wait for the children then returns
// early (no automatic restart), so it can pass them on.
void install_parent_handlers() {
    struct sigaction action {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

struct child {
    size_t job = 0;
    pid_t pid = -1;
    int messages_fd = -1;
    int progress_fd = -1;
    std::string line;      // the start of a line not yet complete
    std::string progress;  // bytes of a record not yet complete
    bool spoke = false;    // it has written a line
};

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Runs in the child: its standard error is the messages pipe; nothing of
// the parent's other children stays open in it.
[[noreturn]] void run_child(const job_kind& kind, size_t job, int messages_fd, int progress_fd,
                            const std::vector<child>& others, const sigset_t& unblocked) {
    stop_signals::install(kind.orderly_stop);
    ::signal(SIGPIPE, SIG_IGN);  // a reader that goes away is a write error
    ::sigprocmask(SIG_SETMASK, &unblocked, nullptr);
    ::dup2(messages_fd, STDERR_FILENO);
    ::close(messages_fd);
    for (child c : others) {
        close_fd(c.messages_fd);
        close_fd(c.progress_fd);
    }
    messages::divert_to_standard_error();
    const int status = kind.run(job, progress_fd);
    std::fflush(nullptr);
    ::_exit(status);
}

struct runner {
    const job_kind& kind;
    progress_display& progress;
    std::vector<child> running;
    std::vector<char> records;  // a read's worth of progress records
    pool_outcome outcome;

    void message(size_t job, const std::string& text) {
        progress_message(progress, "tuntool: " + names::shown_name(kind.name(job)) + ": " + text);
    }

    bool start(size_t job) {
        int messages[2] = {-1, -1};
        int reports[2] = {-1, -1};
        if (::pipe2(messages, O_CLOEXEC) != 0 || (kind.record_size != 0 && ::pipe2(reports, O_CLOEXEC) != 0)) {
            const int error = errno;
            for (int fd : {messages[0], messages[1], reports[0], reports[1]})
                if (fd >= 0) ::close(fd);
            message(job, "cannot start its " + kind.work + ": " + std::strerror(error));
            return false;
        }
        std::fflush(nullptr);  // nothing buffered may be written twice
        sigset_t stops, previous;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        // A signal between the fork and the child's own handlers waits.
        ::sigprocmask(SIG_BLOCK, &stops, &previous);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(messages[0]);
            if (reports[0] >= 0) ::close(reports[0]);
            run_child(kind, job, messages[1], reports[1], running, previous);
        }
        const int error = errno;
        ::sigprocmask(SIG_SETMASK, &previous, nullptr);
        ::close(messages[1]);
        if (reports[1] >= 0) ::close(reports[1]);
        if (pid < 0) {
            ::close(messages[0]);
            if (reports[0] >= 0) ::close(reports[0]);
            message(job, "cannot start its " + kind.work + ": " + std::strerror(error));
            return false;
        }
        child c;
        c.job = job;
        c.pid = pid;
        c.messages_fd = messages[0];
        c.progress_fd = reports[0];
        running.push_back(c);
        if (kind.started) kind.started(job);
        return true;
    }

    void read_messages(child& c) {
        char buffer[4096];
        const ssize_t got = ::read(c.messages_fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) return;
        if (got <= 0) {
            if (!c.line.empty()) message(c.job, c.line);
            c.spoke = c.spoke || !c.line.empty();
            c.line.clear();
            close_fd(c.messages_fd);
            return;
        }
        c.line.append(buffer, static_cast<size_t>(got));
        for (size_t end; (end = c.line.find('\n')) != std::string::npos || c.line.size() >= max_line;) {
            const size_t cut = end == std::string::npos ? max_line : end;
            message(c.job, c.line.substr(0, cut));
            c.spoke = true;
            c.line.erase(0, end == std::string::npos ? cut : cut + 1);
        }
    }

    void read_progress(child& c) {
        const ssize_t got = ::read(c.progress_fd, records.data(), records.size());
        if (got < 0 && errno == EINTR) return;
        if (got <= 0) {
            close_fd(c.progress_fd);
            return;
        }
        c.progress.append(records.data(), static_cast<size_t>(got));
        size_t used = 0;
        for (; c.progress.size() - used >= kind.record_size; used += kind.record_size)
            if (kind.record) kind.record(c.job, c.progress.data() + used);
        c.progress.erase(0, used);
    }

    // The child has closed its pipes: it is ending or has ended.
    void reap(const child& c) {
        int status = 0;
        while (::waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {}
        job_end end;
        end.job = c.job;
        end.status = status;
        end.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        end.stopped = parent_signal != 0;
        const bool to_name = kind.ended ? kind.ended(end) : true;
        if (end.ok) {
            ++outcome.completed;
            return;
        }
        if (end.stopped) return;  // stopped, not failed
        outcome.failed.push_back(c.job);
        if (c.spoke || !to_name) return;
        if (WIFSIGNALED(status)) {
            message(c.job, "its " + kind.work + " ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
                               strsignal(WTERMSIG(status)) + ")");
        } else {
            message(c.job, "its " + kind.work + " failed with status " + std::to_string(WEXITSTATUS(status)));
        }
    }

    // Waits for the pipes of the running children and takes what comes.
    void wait_a_while() {
        std::vector<pollfd> fds;
        std::vector<std::pair<size_t, bool>> owners;  // child, is the messages pipe
        for (size_t i = 0; i < running.size(); ++i) {
            if (running[i].messages_fd >= 0) {
                fds.push_back({running[i].messages_fd, POLLIN, 0});
                owners.push_back({i, true});
            }
            if (running[i].progress_fd >= 0) {
                fds.push_back({running[i].progress_fd, POLLIN, 0});
                owners.push_back({i, false});
            }
        }
        if (!fds.empty() && ::poll(fds.data(), fds.size(), poll_interval_ms) > 0) {
            for (size_t k = 0; k < fds.size(); ++k) {
                if (fds[k].revents == 0) continue;
                child& c = running[owners[k].first];
                if (owners[k].second) {
                    read_messages(c);
                } else {
                    read_progress(c);
                }
            }
        }
        for (size_t i = 0; i < running.size();) {
            if (running[i].messages_fd < 0 && running[i].progress_fd < 0) {
                reap(running[i]);
                running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
    }
};

}  // namespace

pool_outcome run_job_pool(size_t count, unsigned parallel, const job_kind& kind, progress_display& progress) {
    install_parent_handlers();
    runner r{kind, progress, {}, std::vector<char>(records_a_read * kind.record_size), {}};
    size_t next = 0;
    sig_atomic_t forwarded = 0;
    while (next < count || !r.running.empty()) {
        while (parent_signal == 0 && r.running.size() < parallel && next < count) {
            if (!r.start(next)) r.outcome.failed.push_back(next);
            ++next;
        }
        if (parent_signal != 0) next = count;
        r.wait_a_while();
        // Each stop signal is passed on once to the children still running.
        if (parent_signal_count != forwarded) {
            forwarded = parent_signal_count;
            for (const child& c : r.running) ::kill(c.pid, parent_signal);
        }
        progress_draw(progress, false);
    }
    progress_draw(progress, true);
    r.outcome.stop_signal = parent_signal;
    return r.outcome;
}

void send_record(int fd, const void* record, size_t size) {
    if (fd < 0) return;
    [[maybe_unused]] const ssize_t sent = ::write(fd, record, size);
}

}  // namespace tuntool
