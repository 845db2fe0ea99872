#include "render_song.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/fade.hpp"
#include "audio/flac_output.hpp"
#include "audio/record.hpp"
#include "synth/render_length.hpp"
#include "audio/wav_output.hpp"
#include "base/exit_status.hpp"
#include "file_io.hpp"
#include "song/song.hpp"
#include "song_tags.hpp"
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

void report(int fd, const progress_report& r) {
    if (fd < 0) return;
    // One record is far below the size a pipe writes at once.
    (void)::write(fd, &r, sizeof r);
}

// Reads the song into a new engine instance and has the player's header
// reader accept it; "" when it does, else the problem.
std::string open_song(const std::string& path, std::vector<uint8_t>& bytes,
                      std::unique_ptr<synth::engine>& engine) {
    try {
        bytes = read_whole_file(path);
    } catch (const tool_error& e) {
        const std::string message = e.what();
        const std::string own_name = "cannot read " + path + ": ";
        if (message.compare(0, own_name.size(), own_name) == 0) return "cannot be read: " + message.substr(own_name.size());
        return message;
    }
    engine = std::make_unique<synth::engine>(output_rate);
    song::header_outcome outcome = song::load_song_bytes(engine->song, bytes);
    if (outcome == song::header_outcome::ok) outcome = synth::start_song(*engine);
    return outcome == song::header_outcome::ok ? "" : song::song_error_message(outcome);
}

audio::output output_for(const song_job& job, const render_settings& settings) {
    wav.info_chunk = settings.wav_tags;
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
// silent. Returns 0, 1 or the status after a stop signal.
int render_pass(const std::vector<uint8_t>& bytes, const std::string& destination, const audio::output& out,
                uint8_t silent, bool repeats, progress_report& progress, int progress_fd) {
    // Every pass has an engine of its own, as a new process would.
    const auto engine = std::make_unique<synth::engine>(output_rate);
    synth::engine& e = *engine;
    (void)song::load_song_bytes(e.song, bytes);
    (void)synth::start_song(e);
    for (int voice = 0; voice < synth::max_voices; ++voice)
        e.voice_muted[voice].store((silent >> voice & 1) != 0, std::memory_order_relaxed);
    e.loop_enabled.store(repeats, std::memory_order_relaxed);

    audio::stream_format format;
    format.sample_rate = output_rate;
    format.frames = progress.length;
    format.tags = song_tags(song::song_text(e.song));
    if (const int error = out.open(out.state, destination, format); error != 0) {
        out.abort(out.state);
        say("cannot write " + destination + ": " + std::strerror(error));
        return exit_status::failure;
    }
    progress.frames = 0;
    report(progress_fd, progress);
    progress_listener listener{&progress, progress_fd, report_every_frames};
    const audio::recording made =
        audio::render_into(e, out, progress.length, {progress_listener::heard, &listener});
    if (made.stop_signal != 0 || made.error != 0) {
        out.abort(out.state);
        if (made.stop_signal != 0) return exit_status::after_signal(made.stop_signal);
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
    std::vector<uint8_t> bytes;
    std::unique_ptr<synth::engine> engine;
    if (const std::string problem = open_song(job.song, bytes, engine); !problem.empty()) {
        say(problem);
        return exit_status::failure;
    }
    const song::song_state& song = engine->song;
    const int voices = song.channel_count;
    uint8_t silent_in_mix = 0;
    for (int voice = 0; voice < synth::max_voices; ++voice)
        if (!voice_sounds(settings, voice)) silent_in_mix = static_cast<uint8_t>(silent_in_mix | 1u << voice);
    const uint8_t song_voices = static_cast<uint8_t>((1u << voices) - 1);
    if (settings.soloed != 0 && (settings.soloed & song_voices) == 0) {
        say("has " + std::to_string(voices) + " voice" + (voices == 1 ? "" : "s") + "; --solo names none of them");
        return exit_status::failure;
    }
    if (job.outputs.empty()) {
        say("has no voice left to render: every one of its " + std::to_string(voices) + " voices is muted");
        return exit_status::failure;
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
    const synth::song_timing timing{static_cast<uint32_t>(song.frame_total), song.loop_frame,
                                    song.samples_per_frame};
    progress_report progress;
    progress.passes = static_cast<uint32_t>(job.outputs.size());
    progress.length = synth::rendering_frames(timing, request);

    const audio::output out = output_for(job, settings);
    for (size_t pass = 0; pass < job.outputs.size(); ++pass) {
        progress.pass = static_cast<uint32_t>(pass);
        // A stem is its voice alone, as it sounds in the mix.
        const uint8_t silent = !job.stems
                                   ? silent_in_mix
                                   : static_cast<uint8_t>(~(1u << job.stem_voices[pass]));
        const int status = render_pass(bytes, job.outputs[pass], out, silent, synth::rendering_repeats(timing, request),
                                       progress, progress_fd);
        if (status != exit_status::ok) return status;
    }
    return exit_status::ok;
}

}  // namespace tuntool
