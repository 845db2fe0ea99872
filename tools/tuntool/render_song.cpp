#include "render_song.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "audio/fade.hpp"
#include "audio/flac_output.hpp"
#include "audio/record.hpp"
#include "audio/render_length.hpp"
#include "audio/wav_output.hpp"
#include "base/exit_status.hpp"
#include "base/output_file.hpp"
#include "base/standard_output.hpp"
#include "file_io.hpp"
#include "song_file.hpp"
#include "song/song.hpp"
#include "synth/synth.hpp"

namespace tuntool {
namespace {

constexpr uint16_t output_rate = 48000;
// Progress goes out about every five seconds of sound.
constexpr uint64_t report_every_frames = uint64_t{1} << 18;

// The outputs of one pass; one of each, reused pass after pass.
audio::wav_writer wav;
audio::flac_writer flac;
audio::fader fade;

void say(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

// The engine as a new process has it: tables built for the output rate, the
// start-up wave slots, every voice and flag in its start state, and the
// song at its first frame.
void start_engine() {
    synth::initialise_synth_tables();
    synth::set_sample_rate(output_rate);
    synth::reset_synth_state();
    synth::startup_wave_setup();
    song::current.frame_index.store(0, std::memory_order_relaxed);
    song::current.channel_records = {};
}

void report(int fd, const progress_report& r) {
    if (fd < 0) return;
    // One record is far below the size a pipe writes at once.
    (void)::write(fd, &r, sizeof r);
}

// Reads the song and has the player's header reader accept it; "" when it
// does, else the problem.
std::string open_song(const std::string& path) {
    std::vector<uint8_t> bytes;
    try {
        bytes = read_song_file(path);
    } catch (const tool_error& e) {
        const std::string message = e.what();
        const std::string own_name = "cannot read " + path + ": ";
        if (message.compare(0, own_name.size(), own_name) == 0) return "cannot be read: " + message.substr(own_name.size());
        return message;
    }
    if (std::string too_large = unpacked_size_problem(bytes); !too_large.empty()) return too_large;
    song::load_song_bytes(bytes);
    const song::header_outcome outcome = song::read_header(output_rate);
    return outcome == song::header_outcome::ok ? "" : song::song_error_message(outcome);
}

// The file under the output of a job, whichever format writes it.
output_files::output_file& file_of(const song_job& job) {
    return job.format == audio_format::flac ? flac.file : wav.file;
}

audio::output output_for(const song_job& job, const render_settings& settings) {
    const audio::output file = job.format == audio_format::flac ? audio::flac_output(flac) : audio::wav_output(wav);
    return settings.fade_frames == 0 ? file : audio::fade_output(fade, file, settings.fade_frames);
}

// Sends a progress report about every five seconds of sound.
struct progress_listener {
    progress_report* progress;
    int fd;
    uint64_t next_report;

    static void heard(void* context, uint64_t written) {
        auto& l = *static_cast<progress_listener*>(context);
        l.progress->frames = written;
        if (written < l.next_report) return;
        report(l.fd, *l.progress);
        l.next_report += report_every_frames;
    }
};

// One pass: the song from its start into one output, with the given voices
// silent. Returns 0, 1 or the status after a stop signal. A complete output
// stays under its temporary name (held): the caller publishes the outputs
// of a song together.
int render_pass(const std::string& destination, const audio::output& out, output_files::output_file& file,
                uint8_t silent, bool repeats, progress_report& progress, int progress_fd) {
    start_engine();
    for (int voice = 0; voice < synth::max_voices; ++voice)
        synth::voice_muted[voice].store((silent >> voice & 1) != 0, std::memory_order_relaxed);
    synth::loop_enabled.store(repeats, std::memory_order_relaxed);

    audio::stream_format format;
    format.sample_rate = output_rate;
    format.frames = progress.length;
    if (const int error = out.open(out.state, destination, format); error != 0) {
        out.abort(out.state);
        say("cannot write " + destination + ": " + std::strerror(error));
        return exit_status::failure;
    }
    file.held = true;
    progress.frames = 0;
    report(progress_fd, progress);
    progress_listener listener{&progress, progress_fd, report_every_frames};
    const audio::recording made = audio::render_into(out, progress.length, {progress_listener::heard, &listener});
    if (made.stop_signal != 0 || made.error != 0) {
        out.abort(out.state);
        if (made.stop_signal != 0) return exit_status::after_signal(made.stop_signal);
        // A reader that has gone away (`render -o - | head`) is no failure to
        // report: the render ends as a program in a pipeline does.
        if (made.error == EPIPE) standard_output::end_on_broken_pipe();
        say("cannot write " + destination + ": " + std::strerror(made.error));
        return exit_status::failure;
    }
    if (const int error = out.finish(out.state); error != 0) {
        say("cannot write " + destination + ": " + std::strerror(error));
        return exit_status::failure;
    }
    report(progress_fd, progress);
    return exit_status::ok;
}

}  // namespace

bool voice_sounds(const render_settings& settings, int voice) {
    if (settings.muted >> voice & 1) return false;
    return settings.soloed == 0 || (settings.soloed >> voice & 1) != 0;
}

int render_song(const song_job& job, const render_settings& settings, int progress_fd) {
    if (const std::string problem = open_song(job.song); !problem.empty()) {
        say(problem);
        return exit_status::failure;
    }
    const int voices = song::current.channel_count;
    uint8_t silent_in_mix = 0;
    for (int voice = 0; voice < synth::max_voices; ++voice)
        if (!voice_sounds(settings, voice)) silent_in_mix = static_cast<uint8_t>(silent_in_mix | 1u << voice);
    const uint8_t song_voices = static_cast<uint8_t>((1u << voices) - 1);
    if (settings.soloed != 0 && (settings.soloed & song_voices) == 0) {
        say("has " + std::to_string(voices) + " voice" + (voices == 1 ? "" : "s") + "; --solo names none of them");
        return exit_status::failure;
    }
    // With every voice muted the mix is silence, and the stems are none:
    // there is nothing to write, as there is nothing to hear.
    if (job.outputs.empty()) {
        say("no stems written: every one of its " + std::to_string(voices) + " voices is muted");
        return exit_status::ok;
    }
    // The stems were named from the header before the song was read.
    if (job.stems && job.stem_voices.size() != job.outputs.size()) {
        say("changed while being rendered: it has " + std::to_string(voices) + " voices now");
        return exit_status::failure;
    }
    for (const int voice : job.stem_voices) {
        if (voice >= voices) {
            say("changed while being rendered: it has " + std::to_string(voices) + " voices now");
            return exit_status::failure;
        }
    }

    audio::length_request request;
    request.passes = settings.loops;
    request.limit_frames = settings.length_frames;
    request.exact = settings.fade_frames != 0;
    const audio::song_timing timing{static_cast<uint32_t>(song::current.frame_total), song::current.loop_frame,
                                    song::current.samples_per_frame};
    progress_report progress;
    progress.passes = static_cast<uint32_t>(job.outputs.size());
    progress.length = audio::rendering_frames(timing, request);

    // The outputs of a song replace their files together, once every one of
    // them is complete: a failure or a signal on the way leaves all the old
    // files as they were, never a mixed set.
    const audio::output out = output_for(job, settings);
    std::vector<output_files::output_file> complete;
    const auto abandon_all = [&complete] {
        for (output_files::output_file& file : complete) output_files::discard(file);
    };
    for (size_t pass = 0; pass < job.outputs.size(); ++pass) {
        progress.pass = static_cast<uint32_t>(pass);
        // A stem is its voice alone, as it sounds in the mix.
        const uint8_t silent = !job.stems
                                   ? silent_in_mix
                                   : static_cast<uint8_t>(~(1u << job.stem_voices[pass]));
        output_files::output_file& file = file_of(job);
        const int status = render_pass(job.outputs[pass], out, file, silent, audio::rendering_repeats(timing, request),
                                       progress, progress_fd);
        if (status != exit_status::ok) {
            abandon_all();
            return status;
        }
        complete.push_back(std::move(file));
        file = output_files::output_file{};
    }
    for (size_t k = 0; k < complete.size(); ++k) {
        if (const int error = output_files::publish(complete[k]); error != 0) {
            say("cannot write " + job.outputs[k] + ": " + std::strerror(error));
            abandon_all();
            return exit_status::failure;
        }
    }
    return exit_status::ok;
}

}  // namespace tuntool
