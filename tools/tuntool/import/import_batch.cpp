#include "import_batch.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/fail.hpp"
#include "base/output_file.hpp"
#include "base/shown_name.hpp"
#include "song/channel_record.hpp"
#include "file_io.hpp"
#include "job_pool.hpp"
#include "stored_song.hpp"

namespace tuntool {
namespace {

using psid_import::chip_model;

constexpr double progress_rate = song::output_rate;

std::string clock_time(size_t frames, unsigned rate) {
    const size_t hundredths = frames * 100 / rate;
    char text[48];
    std::snprintf(text, sizeof text, "%zu:%02zu.%02zu", hundredths / 6000, hundredths / 100 % 60, hundredths % 100);
    return text;
}

void report(int fd, const import_report& r) { send_record(fd, &r, sizeof r); }

}  // namespace

// Reads at most one byte more than any tune file can hold, so that a huge
// file, or a device that never ends, is refused without being read whole.
std::vector<uint8_t> read_tune_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw tool_error("cannot read " + names::shown_name(path) + ": " + std::strerror(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        const int error_number = S_ISDIR(status.st_mode) ? EISDIR : errno;
        ::close(fd);
        throw tool_error("cannot read " + names::shown_name(path) + ": " + std::strerror(error_number));
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
            throw tool_error("cannot read " + names::shown_name(path) + ": " + std::strerror(error_number));
        }
        done += static_cast<size_t>(got);
    }
    ::close(fd);
    if (done > psid_import::largest_tune_file)
        throw psid_import::import_error("not a PSID file (larger than any tune)");
    bytes.resize(done);
    return bytes;
}

stored_song song_of(const psid_import::imported_tune& tune, bool interleaved, bool compressed) {
    stored_song song;
    song.magic = song::chip_magic;
    song.flags = static_cast<uint8_t>(psid_import::voice_count | (interleaved ? flag_interleaved : 0) |
                                      (tune.loop_found ? 0 : song::flag_no_repeat_found));
    song.frame_rate = tune.timing.frame_rate;
    song.loop_frame = tune.loop_frame;
    song.text.assign(tune.text.begin(), tune.text.end());
    song.body.reserve(tune.records.size() * song::record_size);
    for (const song::channel_record& r : tune.records)
        song::put_record(song.body, r.pitch, r.pulse, r.control, r.volume, r.filter);
    if (!interleaved) song.body = interleaved_to_planar(song.body, psid_import::voice_count);
    return compressed ? pack_song(song) : song;
}

namespace {

bool is_tune_name(std::string_view name) {
    // ".sid" alone is a hidden file's name, not an extension.
    if (name.size() <= 4) return false;
    std::string extension(name.substr(name.size() - 4));
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension == ".sid";
}

struct folder_entry {
    std::string name;
    bool folder = false;  // else a tune
};

// The folders (links to folders excluded) and the tunes in a folder,
// sorted by name. Returns 0 or the system error number.
int read_folder(const std::string& path, std::vector<folder_entry>& entries) {
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr) return errno;
    int error_number = 0;
    for (;;) {
        errno = 0;
        const dirent* d = ::readdir(folder);
        if (d == nullptr) {
            error_number = errno;
            break;
        }
        const std::string_view name = d->d_name;
        if (name == "." || name == "..") continue;
        struct stat status {};
        bool is_folder = d->d_type == DT_DIR;
        if (d->d_type == DT_UNKNOWN && ::fstatat(::dirfd(folder), d->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0)
            is_folder = S_ISDIR(status.st_mode);
        if (is_folder) {
            entries.push_back({std::string(name), true});
        } else if (is_tune_name(name) &&
                   (d->d_type == DT_REG ||
                    (::fstatat(::dirfd(folder), d->d_name, &status, 0) == 0 && S_ISREG(status.st_mode)))) {
            entries.push_back({std::string(name), false});
        }
    }
    ::closedir(folder);
    std::sort(entries.begin(), entries.end(),
              [](const folder_entry& a, const folder_entry& b) { return a.name < b.name; });
    return error_number;
}

}  // namespace

// Depth first, each folder's entries in name order: the tunes come out in
// the order of their paths compared folder by folder. The one path grows
// and shrinks on the way; each folder on the way keeps only its entries.
tune_search find_tunes(const std::string& folder) {
    tune_search found;
    struct level {
        std::vector<folder_entry> entries;
        size_t next = 0;
        size_t path_length = 0;
    };
    std::vector<level> levels;
    std::string path = folder;
    const size_t relative_start = !folder.empty() && folder.back() == '/' ? folder.size() : folder.size() + 1;
    size_t too_long = 0;
    std::string first_too_long;
    const auto enter = [&] {
        level entered;
        entered.path_length = path.size();
        const int error_number = read_folder(path, entered.entries);
        if (error_number == EACCES) return;
        if (error_number != 0) {
            found.problems.push_back(names::shown_name(path) +
                                     ": cannot search the folder: " + std::strerror(error_number));
            return;
        }
        levels.push_back(std::move(entered));
    };
    enter();
    while (!levels.empty()) {
        level& top = levels.back();
        if (top.next == top.entries.size()) {
            levels.pop_back();
            continue;
        }
        const folder_entry entry = std::move(top.entries[top.next++]);
        path.resize(top.path_length);
        if (path.empty() || path.back() != '/') path += '/';
        path += entry.name;
        if (path.size() > longest_path) {
            if (too_long++ == 0) first_too_long = path;
            continue;
        }
        if (entry.folder) {
            enter();
        } else {
            found.tunes.push_back({path, path.substr(relative_start)});
        }
    }
    if (too_long != 0)
        found.problems.push_back(names::shown_shortened(first_too_long, 60) +
                                 ": not searched: its path is longer than " + std::to_string(longest_path) + " bytes" +
                                 (too_long > 1 ? " (and " + std::to_string(too_long - 1) + " more paths under " +
                                                     names::shown_name(folder) + ")"
                                               : ""));
    return found;
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
    return names::shown_name(path) + ": subtune " + std::to_string(tune.subtune) + " of " + std::to_string(tune.songs) +
           ", " + std::to_string(tune.frame_count()) + " frames (" + clock_time(tune.frame_count(), rate) + " at " +
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
        failure::report_problem(e.what());
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
        const std::string out = song_path(job.stem, making.all_subtunes && subtunes.size() > 1, subtunes[i]);
        try {
            if (output_files::same_file(job.tune, out))
                throw psid_import::import_error("the output would replace the tune itself");
            const psid_import::imported_tune tune = psid_import::import_tune(file, options);
            r.frame_rate = tune.timing.frame_rate;
            const stored_song song = song_of(tune, making.interleaved, making.compressed);
            const std::string folder = std::filesystem::path(out).parent_path().string();
            std::string failed;
            if (const int error_number = output_files::make_folders(folder, failed); error_number != 0)
                throw tool_error("cannot create the folder " + names::shown_name(failed) + ": " +
                                 std::strerror(error_number));
            write_file_replacing(out, song_file_bytes(song));
            r.written = 1;
        } catch (const std::exception& e) {
            failure::report_problem((making.all_subtunes ? "subtune " + std::to_string(subtunes[i]) + ": " : "") +
                                    e.what());
            status = 1;
        }
        report(report_fd, r);
    }
    return status;
}

namespace {

// A tune's progress line: the song it is on.
struct song_line {
    bool shown = false;          // its current song has a progress line
    uint32_t subtune_index = 0;  // of that line
};

}  // namespace

batch_outcome run_import_jobs(const std::vector<import_job>& jobs, const song_making& making, unsigned parallel,
                              progress_display& progress) {
    batch_outcome outcome;
    std::vector<song_line> lines(jobs.size());
    job_kind kind;
    kind.work = "import";
    // A stop signal ends a child at once; the song being written is then removed.
    kind.orderly_stop = false;
    // The records count the songs written, so they come on or off a terminal.
    kind.record_size = sizeof(import_report);
    kind.name = [&](size_t job) { return jobs[job].tune; };
    kind.run = [&](size_t job, int progress_fd) { return import_one_tune(jobs[job], making, progress_fd); };
    // One progress line per song: the song's name, its frames as time.
    kind.record = [&](size_t job, const char* record) {
        import_report r;
        std::memcpy(&r, record, sizeof r);
        song_line& line = lines[job];
        if (line.shown && r.subtune_index != line.subtune_index) {
            progress_end(progress, job, true);
            line.shown = false;
        }
        if (!line.shown) {
            const bool numbered = making.all_subtunes && r.subtunes > 1;
            progress_begin(progress, job, song_path(jobs[job].stem, numbered, r.subtune_index + 1));
            line.shown = true;
            line.subtune_index = r.subtune_index;
        }
        progress_report p;
        p.passes = 1;
        p.frames = static_cast<uint64_t>(r.frames * progress_rate / r.frame_rate);
        p.length = static_cast<uint64_t>(r.most * progress_rate / r.frame_rate);
        progress_update(progress, job, p);
        if (r.written) ++outcome.songs_written;
    };
    kind.ended = [&](const job_end& end) {
        if (lines[end.job].shown) progress_end(progress, end.job, end.ok);
        return true;
    };
    const pool_outcome pool = run_job_pool(jobs.size(), parallel, kind, progress);
    outcome.tunes_done = pool.completed;
    for (size_t job : pool.failed) outcome.failed.push_back(jobs[job].tune);
    outcome.stop_signal = pool.stop_signal;
    return outcome;
}

}  // namespace tuntool
