// Jobs run as child processes, up to `parallel` at a time, each forked from
// a parent that does none of the work itself; render -j and import -j are
// both this pool.
//
// A child's standard error comes back through a pipe and each of its lines
// goes out as "tuntool: NAME: line" (a longer line than 4096 bytes in
// pieces); its progress comes through a second pipe as fixed-size records.
// A child that fails without a word is named with how it ended. SIGINT and
// SIGTERM stop the pool: no new child starts, each signal is passed on once
// to the running ones, and the pool returns once they have gone, with the
// signal in its outcome (the caller ends with 130 or 143).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "progress_line.hpp"

namespace tuntool {

// How a job's child ended.
struct job_end {
    size_t job = 0;
    int status = 0;        // as waitpid gives it
    bool ok = false;       // it exited with status 0
    bool stopped = false;  // a stop signal came: a job that did not end well is then not a failure
};

// What the jobs are and what is done with what their children send.
struct job_kind {
    // The work as messages name it: "cannot start its WORK: ...",
    // "its WORK failed with status 1".
    std::string work;
    // The child's stop signals (stop_signals::install): only noted, for a
    // job that ends in order, or ending it at once.
    bool orderly_stop = false;
    // The size of a progress record; 0: the child has no progress pipe.
    size_t record_size = 0;
    // The job as messages name it.
    std::function<std::string(size_t job)> name;
    // Runs in the child with its standard error on the messages pipe and
    // the write end of the progress pipe (-1 without one); its exit status.
    std::function<int(size_t job, int progress_fd)> run;
    // The child has started (may be empty).
    std::function<void(size_t job)> started;
    // A whole progress record of the job, record_size bytes (may be empty).
    std::function<void(size_t job, const char* record)> record;
    // The child has been reaped. Returns whether a failure the child said
    // nothing about is to be named.
    std::function<bool(const job_end& end)> ended;
};

struct pool_outcome {
    size_t completed = 0;
    std::vector<size_t> failed;  // in the order they ended, those that could not start among them
    int stop_signal = 0;         // SIGINT or SIGTERM when the pool was stopped
};

// Runs jobs 0 .. count - 1 in that order; messages and progress lines go
// to `progress`.
pool_outcome run_job_pool(size_t count, unsigned parallel, const job_kind& kind, progress_display& progress);

// Sends one progress record from a job to its parent (nothing when fd < 0).
// A record is far below the size a pipe writes at once; one that cannot be
// sent changes nothing but a progress line.
void send_record(int fd, const void* record, size_t size);

}  // namespace tuntool
