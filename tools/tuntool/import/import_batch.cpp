#include "import_batch.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/messages.hpp"
#include "base/output_file.hpp"
#include "base/stop_signals.hpp"
#include "file_io.hpp"
#include "song_file.hpp"

namespace tuntool {
namespace {

using psid_import::chip_model;

// A line of a child longer than this is passed on in pieces.
constexpr size_t max_line = 4096;
constexpr int poll_interval_ms = 100;
constexpr double progress_rate = 48000.0;

std::string clock_time(size_t frames, unsigned rate) {
    const size_t hundredths = frames * 100 / rate;
    char text[48];
    std::snprintf(text, sizeof text, "%zu:%02zu.%02zu", hundredths / 6000, hundredths / 100 % 60, hundredths % 100);
    return text;
}

void report(int fd, const import_report& r) {
    if (fd < 0) return;
    // One record is far below the size a pipe writes at once.
    (void)::write(fd, &r, sizeof r);
}

}  // namespace

// Reads at most one byte more than any tune file can hold, so that a huge
// file, or a device that never ends, is refused without being read whole.
std::vector<uint8_t> read_tune_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw tool_error("cannot read " + path + ": " + std::strerror(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        const int error_number = S_ISDIR(status.st_mode) ? EISDIR : errno;
        ::close(fd);
        throw tool_error("cannot read " + path + ": " + std::strerror(error_number));
    }
    std::vector<uint8_t> bytes(psid_import::largest_tune_file + 1);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error_number = errno;
            ::close(fd);
            throw tool_error("cannot read " + path + ": " + std::strerror(error_number));
        }
        done += static_cast<size_t>(got);
    }
    ::close(fd);
    if (done > psid_import::largest_tune_file) throw psid_import::import_error("not a PSID file (larger than any tune)");
    bytes.resize(done);
    return bytes;
}

song_file song_of(const psid_import::imported_tune& tune, bool interleaved, bool compressed) {
    song_file song;
    song.magic = song::chip_magic;
    song.flags = static_cast<uint8_t>(psid_import::voice_count | (interleaved ? flag_interleaved : 0));
    song.frame_rate = tune.timing.frame_rate;
    song.loop_frame = tune.loop_frame;
    song.text.assign(tune.text.begin(), tune.text.end());
    song.body.reserve(tune.records.size() * song::record_size);
    for (const score::record& r : tune.records) song::put_record(song.body, r.pitch, r.pulse, r.control, r.volume, r.filter);
    if (!interleaved) song.body = interleaved_to_planar(song.body, psid_import::voice_count);
    return compressed ? pack_song(song) : song;
}

std::string song_path(const std::string& stem, bool all_subtunes, unsigned subtune) {
    return all_subtunes ? stem + "-" + std::to_string(subtune) + ".tun" : stem + ".tun";
}

std::string song_summary(const std::string& path, const psid_import::imported_tune& tune, bool interleaved,
                         size_t packed_bytes) {
    const unsigned rate = tune.timing.frame_rate;
    std::string ending;
    switch (tune.end) {
    case psid_import::song_end::asked: break;
    case psid_import::song_end::database: ending = " (its length in the database)"; break;
    case psid_import::song_end::silence: ending = " (it fell silent)"; break;
    }
    const std::string loop = tune.loop_found ? "loops from frame " + std::to_string(tune.loop_frame) + " (" +
                                                   clock_time(tune.loop_frame, rate) + ")"
                                             : "no repeat found, loops from the start";
    return path + ": subtune " + std::to_string(tune.subtune) + " of " + std::to_string(tune.songs) + ", " +
           std::to_string(tune.frame_count()) + " frames (" + clock_time(tune.frame_count(), rate) + " at " +
           std::to_string(rate) + " frames a second)" + ending + ", " + loop + ", " +
           (tune.model == chip_model::mos8580 ? "8580" : "6581") + " filter curve, " +
           (interleaved ? "interleaved" : "planar") +
           (packed_bytes != 0 ? ", packed to " + std::to_string(packed_bytes) + " bytes" : "");
}

int import_one_tune(const import_job& job, const song_making& making, int report_fd) {
    std::vector<uint8_t> file;
    std::vector<unsigned> subtunes;
    try {
        file = read_tune_file(job.tune);
        const psid_import::psid_header header = psid_import::read_psid_header(file);
        if (making.all_subtunes) {
            for (unsigned k = 1; k <= header.songs; ++k) subtunes.push_back(k);
        } else {
            subtunes.push_back(making.options.subtune);
        }
        if (subtunes.empty()) throw psid_import::import_error("the file holds no tunes");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    int status = 0;
    import_report r;
    r.subtunes = static_cast<uint32_t>(subtunes.size());
    for (size_t i = 0; i < subtunes.size(); ++i) {
        r.subtune_index = static_cast<uint32_t>(i);
        r.written = 0;
        psid_import::import_options options = making.options;
        options.subtune = subtunes[i];
        options.progress = [&](uint32_t done, uint32_t most) {
            r.frames = done, r.most = most;
            report(report_fd, r);
        };
        const std::string out = song_path(job.stem, making.all_subtunes, subtunes[i]);
        try {
            if (output_files::same_file(job.tune, out)) throw psid_import::import_error("the output would replace the tune itself");
            const psid_import::imported_tune tune = psid_import::import_tune(file, options);
            r.frame_rate = tune.timing.frame_rate;
            const song_file song = song_of(tune, making.interleaved, making.compressed);
            const std::filesystem::path folder = std::filesystem::path(out).parent_path();
            std::error_code error;
            if (!folder.empty()) std::filesystem::create_directories(folder, error);
            if (error) throw tool_error("cannot create the folder " + folder.string() + ": " + error.message());
            write_file_replacing(out, song_file_bytes(song));
            r.written = 1;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s%s\n", making.all_subtunes ? ("subtune " + std::to_string(subtunes[i]) + ": ").c_str() : "",
                         e.what());
            status = 1;
        }
        report(report_fd, r);
    }
    return status;
}

namespace {

volatile sig_atomic_t parent_signal = 0;
volatile sig_atomic_t parent_signal_count = 0;

void note_signal(int signal_number) {
    parent_signal = signal_number;
    parent_signal_count = parent_signal_count + 1;
}

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
    std::string progress;  // bytes of a report not yet complete
    bool spoke = false;
    bool shown = false;           // its current song has a progress line
    uint32_t subtune_index = 0;   // of that line
};

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Runs in the child: its standard error is the messages pipe. A stop
// signal ends it at once; the song being written is then removed.
[[noreturn]] void run_child(const import_job& job, const song_making& making, int messages_fd, int progress_fd,
                            const std::vector<child>& others, const sigset_t& unblocked) {
    stop_signals::install(false);
    ::signal(SIGPIPE, SIG_IGN);
    ::sigprocmask(SIG_SETMASK, &unblocked, nullptr);
    ::dup2(messages_fd, STDERR_FILENO);
    ::close(messages_fd);
    for (child c : others) {
        close_fd(c.messages_fd);
        close_fd(c.progress_fd);
    }
    messages::divert_to_standard_error();
    const int status = import_one_tune(job, making, progress_fd);
    std::fflush(nullptr);
    ::_exit(status);
}

struct runner {
    const std::vector<import_job>& jobs;
    const song_making& making;
    progress_display& progress;
    std::vector<child> running;
    batch_outcome outcome;

    void message(const child& c, const std::string& text) {
        progress_message(progress, "tuntool: " + jobs[c.job].tune + ": " + text);
    }

    bool start(size_t job) {
        int messages[2] = {-1, -1};
        int reports[2] = {-1, -1};
        if (::pipe2(messages, O_CLOEXEC) != 0 || ::pipe2(reports, O_CLOEXEC) != 0) {
            const int error = errno;
            for (int fd : {messages[0], messages[1], reports[0], reports[1]})
                if (fd >= 0) ::close(fd);
            progress_message(progress, "tuntool: " + jobs[job].tune + ": cannot start its import: " + std::strerror(error));
            return false;
        }
        std::fflush(nullptr);
        sigset_t stops, previous;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        ::sigprocmask(SIG_BLOCK, &stops, &previous);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(messages[0]);
            ::close(reports[0]);
            run_child(jobs[job], making, messages[1], reports[1], running, previous);
        }
        const int error = errno;
        ::sigprocmask(SIG_SETMASK, &previous, nullptr);
        ::close(messages[1]);
        ::close(reports[1]);
        if (pid < 0) {
            ::close(messages[0]);
            ::close(reports[0]);
            progress_message(progress, "tuntool: " + jobs[job].tune + ": cannot start its import: " + std::strerror(error));
            return false;
        }
        child c;
        c.job = job;
        c.pid = pid;
        c.messages_fd = messages[0];
        c.progress_fd = reports[0];
        running.push_back(c);
        return true;
    }

    void read_messages(child& c) {
        char buffer[4096];
        const ssize_t got = ::read(c.messages_fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) return;
        if (got <= 0) {
            if (!c.line.empty()) message(c, c.line);
            c.spoke = c.spoke || !c.line.empty();
            c.line.clear();
            close_fd(c.messages_fd);
            return;
        }
        c.line.append(buffer, static_cast<size_t>(got));
        for (size_t end; (end = c.line.find('\n')) != std::string::npos || c.line.size() >= max_line;) {
            const size_t cut = end == std::string::npos ? max_line : end;
            message(c, c.line.substr(0, cut));
            c.spoke = true;
            c.line.erase(0, end == std::string::npos ? cut : cut + 1);
        }
    }

    // One progress line per song: the song's name, its frames as time.
    void take(child& c, const import_report& r) {
        if (c.shown && r.subtune_index != c.subtune_index) {
            progress_end(progress, c.job, true);
            c.shown = false;
        }
        if (!c.shown) {
            progress_begin(progress, c.job, song_path(jobs[c.job].stem, making.all_subtunes, r.subtune_index + 1));
            c.shown = true;
            c.subtune_index = r.subtune_index;
        }
        progress_report p;
        p.passes = 1;
        p.frames = static_cast<uint64_t>(r.frames * progress_rate / r.frame_rate);
        p.length = static_cast<uint64_t>(r.most * progress_rate / r.frame_rate);
        progress_update(progress, c.job, p);
        if (r.written) ++outcome.songs_written;
    }

    void read_progress(child& c) {
        char buffer[64 * sizeof(import_report)];
        const ssize_t got = ::read(c.progress_fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) return;
        if (got <= 0) {
            close_fd(c.progress_fd);
            return;
        }
        c.progress.append(buffer, static_cast<size_t>(got));
        size_t used = 0;
        for (; c.progress.size() - used >= sizeof(import_report); used += sizeof(import_report)) {
            import_report r;
            std::memcpy(&r, c.progress.data() + used, sizeof r);
            take(c, r);
        }
        c.progress.erase(0, used);
    }

    void reap(const child& c) {
        int status = 0;
        while (::waitpid(c.pid, &status, 0) < 0 && errno == EINTR) {
        }
        const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (c.shown) progress_end(progress, c.job, ok);
        if (ok) {
            ++outcome.tunes_done;
            return;
        }
        if (parent_signal != 0) return;  // stopped, not failed
        outcome.failed.push_back(jobs[c.job].tune);
        if (c.spoke) return;
        if (WIFSIGNALED(status)) {
            message(c, std::string("its import ended by signal ") + std::to_string(WTERMSIG(status)) + " (" +
                           strsignal(WTERMSIG(status)) + ")");
        } else {
            message(c, "its import failed with status " + std::to_string(WEXITSTATUS(status)));
        }
    }

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

batch_outcome run_import_jobs(const std::vector<import_job>& jobs, const song_making& making, unsigned parallel,
                              progress_display& progress) {
    install_parent_handlers();
    runner r{jobs, making, progress, {}, {}};
    size_t next = 0;
    sig_atomic_t forwarded = 0;
    while (next < jobs.size() || !r.running.empty()) {
        while (parent_signal == 0 && r.running.size() < parallel && next < jobs.size()) {
            if (!r.start(next)) r.outcome.failed.push_back(jobs[next].tune);
            ++next;
        }
        if (parent_signal != 0) next = jobs.size();
        r.wait_a_while();
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

}  // namespace tuntool
