#include "driver/record_mode.hpp"

#include <cstdio>
#include <memory>

#include "audio/record.hpp"
#include "audio/wav_output.hpp"
#include "base/exit_status.hpp"
#include "base/fail.hpp"
#include "base/messages.hpp"
#include "base/output_file.hpp"
#include "base/stop_signals.hpp"
#include "song/song_file.hpp"
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
        return "playtun: " + wav_file + " is the song being recorded; record mode never writes over a song";
    if (song::is_song_file(wav_file))
        return "playtun: " + wav_file + " is a song file; record mode never writes over a song";
    return "";
}

std::string seconds_text(uint64_t frames, uint32_t rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(frames) / rate);
    return text;
}

[[noreturn]] void fail_discarding(const audio::output& out, int error_number) {
    out.abort(out.state);
    failure::fail_system_error(error_number);
}

}  // namespace

int record(const std::string& song_file, const std::string& wav_file, uint32_t rate) {
    // Status lines must not end up inside a WAV that goes to standard output.
    if (output_files::is_standard_output(wav_file)) messages::divert_to_standard_error();
    say("Recording " + song_file + " to " + wav_file);

    if (const std::string reason = refusal(song_file, wav_file); !reason.empty()) {
        say(reason);
        return exit_status::failure;
    }

    // The song is loaded and accepted before the output is opened, so a
    // missing or refused song creates no file and leaves an old one alone.
    // The engine is large: it lives on the heap, as long as the recording.
    const auto engine = std::make_unique<synth::engine>(rate);
    synth::engine& e = *engine;
    song::load_song_file(e.song, song_file);
    const song::header_outcome outcome = synth::start_song(e);
    if (outcome == song::header_outcome::out_of_memory) failure::fail(failure::heap_overflow);
    if (outcome != song::header_outcome::ok) {
        say(song::song_error_message(outcome));
        return exit_status::failure;
    }

    stop_signals::install(true);
    audio::stream_format format;
    format.sample_rate = e.sample_rate;
    format.frames = synth::recording_frames(static_cast<uint32_t>(e.song.frame_total), e.song.samples_per_frame);
    static audio::wav_writer writer;
    const audio::output out = audio::wav_output(writer);
    if (const int error = out.open(out.state, wav_file, format); error != 0) fail_discarding(out, error);

    const audio::recording made = audio::render_into(e, out, format.frames);
    if (made.error != 0) fail_discarding(out, made.error);
    if (const int error = out.finish(out.state); error != 0) failure::fail_system_error(error);

    if (made.stop_signal != 0) {
        say("Recording stopped early: " + seconds_text(made.frames, e.sample_rate) + " of " +
            seconds_text(format.frames, e.sample_rate) + " seconds written");
        return exit_status::after_signal(made.stop_signal);
    }
    say("Recording Done");
    return exit_status::ok;
}

}  // namespace driver
