// Render jobs as child processes: each song is rendered by a process of its
// own, forked from a parent that never renders, so that a song that fails,
// runs out of memory or is stopped takes nothing else with it and every
// song's messages and progress stay its own. Up to `parallel` children run
// at once; what a song gives does not depend on how many.
//
// The children are a job pool (job_pool.hpp): a child's standard error
// comes back through a pipe and each of its lines goes out as
// "tuntool: SONG: line"; its progress comes through a second pipe. SIGINT
// and SIGTERM stop the render: no new child starts, the running ones are
// told and abandon their outputs, and the parent ends with 130 or 143 once
// they have gone.
#pragma once

#include <cstddef>
#include <vector>

#include "progress_line.hpp"
#include "render_song.hpp"

namespace tuntool {

struct jobs_outcome {
    size_t completed = 0;
    size_t failed = 0;
    int stop_signal = 0;       // SIGINT or SIGTERM when the render was stopped
    bool broken_pipe = false;  // a song's reader went away (standard output closed)
};

jobs_outcome run_render_jobs(const std::vector<song_job>& jobs, const render_settings& settings, unsigned parallel,
                             progress_display& progress);

}  // namespace tuntool
