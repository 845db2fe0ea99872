#include "render_song.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/fade.hpp"
#include "audio/flac_output.hpp"
#include "audio/record.hpp"
#include "audio/wav_output.hpp"
#include "base/exit_status.hpp"
#include "base/fail.hpp"
#include "base/output_file.hpp"
#include "base/standard_output.hpp"
#include "base/shown_name.hpp"
#include "file_io.hpp"
#include "job_pool.hpp"
#include "stored_song.hpp"
#include "song/song.hpp"
#include "song_tags.hpp"
#include "synth/render_length.hpp"
#include "synth/synth.hpp"

namespace tuntool {
namespace {

constexpr uint32_t output_rate = song::output_rate;
// Progress goes out about every five seconds of sound.
constexpr uint64_t report_every_frames = uint64_t{1} << 18;

void say(const std::string& line) { failure::report_problem(line); }

// A reader that has gone away (`render -o - | head`) is no failure to
// report, whenever the output finds out (its header, a block, its last
// bytes): the render ends as a program in a pipeline does.
void cannot_write(const std::string& destination, int error) {
    if (error == EPIPE) standard_output::end_on_broken_pipe();
    say("cannot write " + names::shown_name(destination) + ": " + std::strerror(error));
}

// One output of a song (the mix, or one stem) with the engine instance that
// plays it: every output has its own, so that all of them render side by
// side in one pass over the song.
struct voice_output {
    std::string destination;
    std::unique_ptr<synth::engine> engine;
    audio::wav_writer wav;
    audio::flac_writer flac;
    audio::fader fade;
    audio::output out;

    output_files::output_file& file(audio_format format) { return format == audio_format::flac ? flac.file : wav.file; }
};

void report(int fd, const progress_report& r) { send_record(fd, &r, sizeof r); }

// Reads the song into its bytes and has the player's header reader accept
// it in a first engine instance; "" when it does, else the problem.
std::string open_song(const std::string& path, std::vector<uint8_t>& bytes, std::unique_ptr<synth::engine>& engine) {
    try {
        bytes = read_song_file(path);
    } catch (const read_error& e) {
        return "cannot be read: " + e.reason;
    }
    if (std::string too_large = unpacked_size_problem(bytes); !too_large.empty()) return too_large;
    engine = std::make_unique<synth::engine>(output_rate);
    song::header_outcome outcome = song::load_song_bytes(engine->song, bytes);
    if (outcome == song::header_outcome::ok) outcome = synth::start_song(*engine);
    return outcome == song::header_outcome::ok ? "" : song::song_error_message(outcome);
}

// An output with a new engine instance at the song's start, as a new process
// has it, with the given voices silent.
std::unique_ptr<voice_output> output_for(const std::vector<uint8_t>& bytes, const std::string& destination,
                                         const song_job& job, const render_settings& settings, uint8_t silent,
                                         bool repeats) {
    auto o = std::make_unique<voice_output>();
    o->destination = destination;
    o->engine = std::make_unique<synth::engine>(output_rate);
    (void)song::load_song_bytes(o->engine->song, bytes);
    (void)synth::start_song(*o->engine);
    for (int voice = 0; voice < synth::max_voices; ++voice)
        o->engine->voice_muted[voice].store((silent >> voice & 1) != 0, std::memory_order_relaxed);
    o->engine->loop_enabled.store(repeats, std::memory_order_relaxed);
    o->wav.info_chunk = settings.wav_tags;
    const audio::output file =
        job.format == audio_format::flac ? audio::flac_output(o->flac) : audio::wav_output(o->wav);
    o->out = settings.fade_frames == 0 ? file : audio::fade_output(o->fade, file, settings.fade_frames);
    return o;
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

// The one pass over the song: every output rendered side by side, block by
// block. Returns 0, 1 or the status after a stop signal. Complete outputs
// stay under their temporary names (held): the caller publishes the outputs
// of a song together; on a failure every one of them is abandoned.
int render_outputs(std::vector<std::unique_ptr<voice_output>>& outputs, audio_format format,
                   const std::vector<audio::stream_tags>& tags, progress_report& progress, int progress_fd) {
    audio::stream_format stream;
    stream.sample_rate = output_rate;
    stream.frames = progress.length;
    const auto abort_all = [&outputs](size_t opened) {
        for (size_t k = 0; k < opened; ++k) outputs[k]->out.abort(outputs[k]->out.state);
    };
    std::vector<audio::engine_output> targets;
    for (size_t k = 0; k < outputs.size(); ++k) {
        voice_output& o = *outputs[k];
        stream.tags = tags[k];
        if (const int error = o.out.open(o.out.state, o.destination, stream); error != 0) {
            o.out.abort(o.out.state);
            abort_all(k);
            cannot_write(o.destination, error);
            return exit_status::failure;
        }
        o.file(format).held = true;
        targets.push_back({o.engine.get(), o.out});
    }
    progress.frames = 0;
    report(progress_fd, progress);
    progress_listener listener{&progress, progress_fd, report_every_frames};
    const audio::recording made = audio::render_into(targets, progress.length, {progress_listener::heard, &listener});
    if (made.stop_signal != 0 || made.error != 0) {
        abort_all(outputs.size());
        if (made.stop_signal != 0) return exit_status::after_signal(made.stop_signal);
        cannot_write(outputs[made.failed]->destination, made.error);
        return exit_status::failure;
    }
    for (size_t k = 0; k < outputs.size(); ++k) {
        voice_output& o = *outputs[k];
        if (const int error = o.out.finish(o.out.state); error != 0) {
            cannot_write(o.destination, error);
            for (size_t later = k + 1; later < outputs.size(); ++later)
                outputs[later]->out.abort(outputs[later]->out.state);
            for (size_t done = 0; done < k; ++done) output_files::discard(outputs[done]->file(format));
            return exit_status::failure;
        }
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
    std::vector<uint8_t> bytes;
    std::unique_ptr<synth::engine> opened;
    if (const std::string problem = open_song(job.song, bytes, opened); !problem.empty()) {
        say(problem);
        return exit_status::failure;
    }
    const song::song_state& song = opened->song;
    const int voices = song.channel_count;
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

    synth::length_request request;
    request.passes = settings.loops;
    request.limit_frames = settings.length_frames;
    request.exact = settings.fade_frames != 0;
    const synth::song_timing timing{static_cast<uint32_t>(song.frame_total), song.loop_frame, song.samples_per_frame};
    progress_report progress;
    progress.passes = 1;
    progress.pass = 0;
    progress.length = synth::rendering_frames(timing, request);

    // The outputs of a song replace their files together, once every one of
    // them is complete: a failure or a signal on the way leaves all the old
    // files as they were, never a mixed set.
    std::vector<std::unique_ptr<voice_output>> outputs;
    for (size_t k = 0; k < job.outputs.size(); ++k) {
        // A stem is its voice alone, as it sounds in the mix.
        const uint8_t silent = !job.stems ? silent_in_mix : static_cast<uint8_t>(~(1u << job.stem_voices[k]));
        outputs.push_back(
            output_for(bytes, job.outputs[k], job, settings, silent, synth::rendering_repeats(timing, request)));
    }
    const audio::stream_tags song_tag = song_tags(song::song_text(song));
    // Each stem says which voice it holds: in its title and as its track.
    std::vector<audio::stream_tags> tags(outputs.size(), song_tag);
    if (job.stems) {
        for (size_t k = 0; k < tags.size() && k < job.stem_voices.size(); ++k) {
            const std::string voice = std::to_string(job.stem_voices[k] + 1);
            tags[k].title = song_tag.title.empty() ? "voice " + voice : song_tag.title + " (voice " + voice + ")";
            tags[k].track_number = voice;
        }
    }
    if (const int status = render_outputs(outputs, job.format, tags, progress, progress_fd); status != exit_status::ok)
        return status;
    for (size_t k = 0; k < outputs.size(); ++k) {
        if (const int error = output_files::publish(outputs[k]->file(job.format)); error != 0) {
            say("cannot write " + names::shown_name(job.outputs[k]) + ": " + std::strerror(error));
            for (size_t later = k + 1; later < outputs.size(); ++later)
                output_files::discard(outputs[later]->file(job.format));
            return exit_status::failure;
        }
    }
    return exit_status::ok;
}

}  // namespace tuntool
