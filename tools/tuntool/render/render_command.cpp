#include "render_command.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "base/exit_status.hpp"
#include "base/fail.hpp"
#include "base/messages.hpp"
#include "base/output_file.hpp"
#include "base/standard_output.hpp"
#include "base/shown_name.hpp"
#include "render_jobs.hpp"
#include "render_options.hpp"
#include "render_song.hpp"
#include "song/file_loader.hpp"

namespace tuntool {
namespace {

int usage_error(const std::string& message) {
    return failure::report_usage_error("tuntool: render: " + message, "tuntool render --help");
}

bool is_folder(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

size_t base_start(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// Where the extension of the last part of path starts; the end when it has
// none (a leading dot is a hidden file's name, not an extension).
size_t extension_start(const std::string& path) {
    const size_t base = base_start(path);
    const size_t dot = path.find_last_of('.');
    return dot == std::string::npos || dot <= base ? path.size() : dot;
}

std::string without_extension(const std::string& path) { return path.substr(0, extension_start(path)); }

audio_format format_for(const std::string& output, audio_format asked) {
    if (asked != audio_format::from_name) return asked;
    if (output_files::is_standard_output(output)) return audio_format::wav;
    return lower(output.substr(extension_start(output))) == ".flac" ? audio_format::flac : audio_format::wav;
}

// Extensions of sound formats that render cannot write.
bool names_other_sound_format(const std::string& output) {
    static const char* const others[] = {".mp3", ".ogg", ".oga", ".opus", ".m4a", ".aac", ".wma", ".aif", ".aiff",
                                         ".mp2", ".ape", ".wv", ".au", ".caf"};
    const std::string extension = lower(output.substr(extension_start(output)));
    for (const char* other : others)
        if (extension == other) return true;
    return false;
}

const char* extension_of(audio_format format) { return format == audio_format::flac ? ".flac" : ".wav"; }

// The channel count in a song's header (1..8), or 0 when the file does not
// have one; rendering it then reports what is wrong.
int channel_count_of(const std::string& song_path) {
    const std::vector<uint8_t> head = output_files::leading_bytes(song_path, song::flags_offset + 1);
    if (head.size() <= song::flags_offset || !song::has_song_magic(head)) return 0;
    const int count = head[song::flags_offset] & song::flag_channel_mask;
    return count >= 1 && count <= song::max_channels ? count : 0;
}

// A name for an output that two spellings of the same place share: the
// file it finally leads to, links followed (a link out/x.wav to out/y.wav
// is the place of out/y.wav).
std::string place_of(const std::string& output) { return output_files::final_path(output); }

struct plan {
    std::vector<song_job> jobs;
    size_t refused = 0;
};

// Why an output must not be written, or "".
std::string refusal(const std::string& output, const std::string& song_path, const std::vector<std::string>& songs,
                    const std::map<std::string, std::string>& taken) {
    if (output == "-") return "";
    for (const std::string& other : songs) {
        if (!output_files::same_file(other, output)) continue;
        if (other == song_path || output_files::same_file(other, song_path))
            return names::shown_name(output) + " is the song itself; render never writes over a song";
        return names::shown_name(output) + " is the song " + names::shown_name(other) +
               "; render never writes over a song";
    }
    if (song::is_song_file(output))
        return names::shown_name(output) + " is a song file; render never writes over a song";
    if (const auto found = taken.find(place_of(output)); found != taken.end())
        return names::shown_name(output) + " is also the output of " + names::shown_name(found->second);
    return "";
}

// The outputs of every song, and the songs refused because of them.
plan plan_jobs(const render_options& o, const std::string& folder, const render_settings& settings,
               progress_display& progress) {
    plan p;
    std::map<std::string, std::string> taken;  // output place -> its song
    for (const std::string& song_path : o.songs) {
        song_job job;
        job.song = song_path;
        std::string output;
        if (!folder.empty()) {
            const std::string name = without_extension(song_path.substr(base_start(song_path)));
            output = folder + "/" + name +
                     extension_of(o.format == audio_format::flac ? audio_format::flac : audio_format::wav);
        } else if (o.output) {
            output = *o.output;
        } else {
            output = without_extension(song_path) +
                     extension_of(o.format == audio_format::flac ? audio_format::flac : audio_format::wav);
        }
        job.format = format_for(output, o.format);
        if (o.stems) {
            job.stems = true;
            const int voices = channel_count_of(song_path);
            const std::string base = without_extension(output);
            for (int voice = 0; voice < voices; ++voice) {
                if (!voice_sounds(settings, voice)) continue;
                job.outputs.push_back(base + "-" + std::to_string(voice + 1) + extension_of(job.format));
                job.stem_voices.push_back(voice);
            }
            // A song without a header has no voices; rendering it says why.
            if (voices == 0) job.outputs.push_back(output);
        } else {
            job.outputs.push_back(output);
        }
        // A song's own outputs (its stems) must not share a file either.
        std::map<std::string, std::string> with_own = taken;
        std::string problem;
        for (const std::string& out : job.outputs) {
            if (problem.empty()) problem = refusal(out, song_path, o.songs, with_own);
            with_own.emplace(place_of(out), song_path);
        }
        if (!problem.empty()) {
            progress_message(progress, "tuntool: " + names::shown_name(song_path) + ": " + problem);
            ++p.refused;
            continue;
        }
        taken = std::move(with_own);
        p.jobs.push_back(job);
    }
    return p;
}

unsigned processors() {
    const long count = ::sysconf(_SC_NPROCESSORS_ONLN);
    return count < 1 ? 1 : static_cast<unsigned>(count);
}

}  // namespace

int render_command(const std::vector<std::string>& args) {
    const parsed_render_options parsed = parse_render_options(args);
    if (!parsed.error.empty()) return usage_error(parsed.error);
    const render_options& o = parsed.options;
    if (o.help) {
        std::fputs(render_usage_text, stdout);
        return exit_status::ok;
    }
    // Standard output carries sound or nothing: every line goes to standard error.
    messages::divert_to_standard_error();

    // A name that promises a format render does not write would get a WAV
    // under a false name: it is refused, unless --format says what to write.
    if (o.output && o.format == audio_format::from_name && !is_folder(*o.output) &&
        names_other_sound_format(*o.output))
        return usage_error("-o " + *o.output +
                           ": render writes WAV (.wav) and FLAC (.flac) files only; name the output so, or give "
                           "--format wav|flac");

    // Several songs, or an existing folder, take a folder of outputs.
    std::string folder;
    if (o.output && *o.output != "-" && (o.songs.size() > 1 || is_folder(*o.output))) {
        folder = *o.output;
        // A name with a sound file's extension is meant as a file, and a
        // folder made under it would surprise; an existing folder is taken.
        const std::string extension = lower(folder.substr(extension_start(folder)));
        if (!is_folder(folder) && (extension == ".wav" || extension == ".flac"))
            return usage_error("-o " + names::shown_name(folder) +
                               " names one sound file; several songs need a folder");
        if (!is_folder(folder) && ::mkdir(folder.c_str(), 0777) != 0) {
            const int error = errno;
            if (error == EEXIST)
                return usage_error("-o " + names::shown_name(folder) + " is not a folder; several songs need one");
            failure::report_problem("tuntool: cannot create the folder " + names::shown_name(folder) + ": " +
                                    std::strerror(error));
            return exit_status::failure;
        }
    }

    render_settings settings;
    settings.loops = o.loops;
    settings.length_frames = o.length_frames;
    settings.fade_frames = o.fade_frames;
    settings.muted = o.muted;
    settings.soloed = o.soloed;
    settings.wav_tags = o.tags;

    progress_display progress = progress_on_standard_error(o.quiet);
    const plan p = plan_jobs(o, folder, settings, progress);
    const unsigned parallel = o.jobs != 0 ? o.jobs : processors();
    const jobs_outcome outcome = run_render_jobs(p.jobs, settings, parallel, progress);
    if (outcome.stop_signal != 0) {
        failure::report_problem(
            std::string("tuntool: render stopped by ") + (outcome.stop_signal == SIGINT ? "SIGINT" : "SIGTERM") + ": " +
            std::to_string(outcome.completed) + " of " + std::to_string(o.songs.size()) + " songs rendered");
        return exit_status::after_signal(outcome.stop_signal);
    }
    if (outcome.broken_pipe) standard_output::end_on_broken_pipe();
    return p.refused + outcome.failed == 0 ? exit_status::ok : exit_status::failure;
}

}  // namespace tuntool
