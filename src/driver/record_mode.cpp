#include "driver/record_mode.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "audio/record.hpp"
#include "audio/wav_output.hpp"
#include "base/exit_status.hpp"
#include "base/fail.hpp"
#include "base/messages.hpp"
#include "base/output_file.hpp"
#include "base/stop_signals.hpp"
#include "base/shown_name.hpp"
#include "player/song_opening.hpp"
#include "song/file_loader.hpp"
#include "synth/synth.hpp"

namespace driver {
namespace {

void say(const std::string& line) {
    std::FILE* out = messages::stream();
    std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
}

// Why the output must not be written, or "" when it may.
std::string refusal(const std::string& song_file, const std::string& wav_file) {
    if (wav_file == "-") return "";
    if (output_files::same_file(song_file, wav_file))
        return "playtun: " + names::shown_name(wav_file) +
               " is the song being recorded; record mode never writes over a song";
    if (song::is_song_file(wav_file))
        return "playtun: " + names::shown_name(wav_file) + " is a song file; record mode never writes over a song";
    return "";
}

std::string seconds_text(uint64_t frames, uint32_t rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(frames) / rate);
    return text;
}

void name_on_standard_error(const std::string& file_name, const std::string& reason) {
    failure::report_problem(player::named_failure(file_name, reason));
}

// The failure's fixed line comes from the failure reporter as the program
// ends; the line before it on standard error names the output.
[[noreturn]] void fail_discarding(const audio::output& out, const std::string& wav_file, int error_number) {
    out.abort(out.state);
    name_on_standard_error(wav_file, std::strerror(error_number));
    failure::fail_system_error(error_number);
}

// The folder the output goes into, when it does not exist ("" when it does,
// or when the output is standard output).
std::string missing_output_folder(const std::string& wav_file) {
    if (wav_file == "-") return "";
    const size_t slash = wav_file.rfind('/');
    if (slash == std::string::npos) return "";
    const std::string folder = slash == 0 ? "/" : wav_file.substr(0, slash);
    struct stat status {};
    if (::stat(folder.c_str(), &status) != 0 && (errno == ENOENT || errno == ENOTDIR)) return folder;
    return "";
}

}  // namespace

int record(const std::string& song_file, const std::string& wav_file, uint32_t rate) {
    // Status lines must not end up inside a WAV that goes to standard output.
    if (output_files::is_standard_output(wav_file)) messages::divert_to_standard_error();
    say("Recording " + names::shown_name(song_file) + " to " + names::shown_name(wav_file));

    if (const std::string reason = refusal(song_file, wav_file); !reason.empty()) {
        say(reason);
        return exit_status::failure;
    }

    // The song is loaded and accepted before the output is opened, so a
    // missing or refused song creates no file and leaves an old one alone.
    // The engine is large: it lives on the heap, as long as the recording.
    const auto engine = std::make_unique<synth::engine>(rate);
    synth::engine& e = *engine;
    const player::song_opening opening = player::open_song_file(e, song_file);
    if (!opening.ok) {
        say(opening.line);
        name_on_standard_error(song_file, opening.reason);
        return opening.failure_code != 0 ? failure::exit_status_for(opening.failure_code) : exit_status::failure;
    }
    if (const std::string folder = missing_output_folder(wav_file); !folder.empty()) {
        say(failure::failure_text(failure::path_not_found));
        name_on_standard_error(wav_file, "the folder " + names::shown_name(folder) + " does not exist");
        return failure::exit_status_for(failure::path_not_found);
    }

    stop_signals::install(true);
    audio::stream_format format;
    format.sample_rate = e.sample_rate;
    format.frames = synth::recording_frames(static_cast<uint32_t>(e.song.frame_total), e.song.samples_per_frame);
    static audio::wav_writer writer;
    const audio::output out = audio::wav_output(writer);
    if (const int error = out.open(out.state, wav_file, format); error != 0) fail_discarding(out, wav_file, error);

    const audio::recording made = audio::render_into(e, out, format.frames);
    if (made.error != 0) fail_discarding(out, wav_file, made.error);
    if (const int error = out.finish(out.state); error != 0) {
        name_on_standard_error(wav_file, std::strerror(error));
        failure::fail_system_error(error);
    }

    if (made.stop_signal != 0) {
        say("Recording stopped early: " + seconds_text(made.frames, e.sample_rate) + " of " +
            seconds_text(format.frames, e.sample_rate) + " seconds written");
        return exit_status::after_signal(made.stop_signal);
    }
    say("Recording Done");
    return exit_status::ok;
}

}  // namespace driver
