#include "render_jobs.hpp"

#include <signal.h>
#include <sys/wait.h>

#include <cstring>

#include "job_pool.hpp"

namespace tuntool {

jobs_outcome run_render_jobs(const std::vector<song_job>& jobs, const render_settings& settings, unsigned parallel,
                             progress_display& progress) {
    jobs_outcome outcome;
    job_kind kind;
    kind.work = "render";
    // A stop signal is only noted: the song's render abandons its outputs.
    kind.orderly_stop = true;
    // Off the terminal nobody reads the progress.
    kind.record_size = progress.shown ? sizeof(progress_report) : 0;
    kind.name = [&](size_t job) { return jobs[job].song; };
    kind.run = [&](size_t job, int progress_fd) { return render_song(jobs[job], settings, progress_fd); };
    kind.started = [&](size_t job) { progress_begin(progress, job, jobs[job].song); };
    kind.record = [&](size_t job, const char* record) {
        progress_report report;
        std::memcpy(&report, record, sizeof report);
        progress_update(progress, job, report);
    };
    kind.ended = [&](const job_end& end) {
        progress_end(progress, end.job, end.ok);
        // The pipe it wrote to was closed by its reader: nothing to say.
        const bool reader_gone = !end.ok && !end.stopped && WIFSIGNALED(end.status) && WTERMSIG(end.status) == SIGPIPE;
        if (reader_gone) outcome.broken_pipe = true;
        return !reader_gone;
    };
    const pool_outcome pool = run_job_pool(jobs.size(), parallel, kind, progress);
    outcome.completed = pool.completed;
    outcome.failed = pool.failed.size();
    outcome.stop_signal = pool.stop_signal;
    return outcome;
}

}  // namespace tuntool
