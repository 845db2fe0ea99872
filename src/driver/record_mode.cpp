#include "driver/record_mode.hpp"

#include <cstdio>

#include "audio/record.hpp"
#include "audio/wav_output.hpp"
#include "base/exit_status.hpp"
#include "base/fail.hpp"
#include "base/messages.hpp"
#include "base/output_file.hpp"
#include "base/stop_signals.hpp"
#include "song/song.hpp"
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

std::string seconds_text(uint64_t frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(frames) / synth::sample_rate);
    return text;
}

[[noreturn]] void fail_discarding(const audio::output& out, int error_number) {
    out.abort(out.state);
    failure::fail_system_error(error_number);
}

}  // namespace

int record(const std::string& song_file, const std::string& wav_file) {
    // Status lines must not end up inside a WAV that goes to standard output.
    if (output_files::is_standard_output(wav_file)) messages::divert_to_standard_error();
    say("Recording " + song_file + " to " + wav_file);

    if (const std::string reason = refusal(song_file, wav_file); !reason.empty()) {
        say(reason);
        return exit_status::failure;
    }

    // The song is loaded and accepted before the output is opened, so a
    // missing or refused song creates no file and leaves an old one alone.
    song::load_song(song_file);
    synth::song_ended.store(false, std::memory_order_relaxed);
    synth::loop_enabled.store(false, std::memory_order_relaxed);
    const song::header_outcome outcome = song::read_header(synth::sample_rate);
    if (outcome != song::header_outcome::ok) {
        say(song::song_error_message(outcome));
        return exit_status::failure;
    }
    song::current.frame_index.store(0, std::memory_order_relaxed);

    stop_signals::install(true);
    audio::stream_format format;
    format.sample_rate = synth::sample_rate;
    format.frames = audio::recording_frames(static_cast<uint32_t>(song::current.frame_total),
                                            song::current.samples_per_frame);
    static audio::wav_writer writer;
    const audio::output out = audio::wav_output(writer);
    if (const int error = out.open(out.state, wav_file, format); error != 0) fail_discarding(out, error);

    const audio::recording made = audio::render_into(out, format.frames);
    if (made.error != 0) fail_discarding(out, made.error);
    if (const int error = out.finish(out.state); error != 0) failure::fail_system_error(error);

    if (made.stop_signal != 0) {
        say("Recording stopped early: " + seconds_text(made.frames) + " of " + seconds_text(format.frames) +
            " seconds written");
        return exit_status::after_signal(made.stop_signal);
    }
    say("Recording Done");
    return exit_status::ok;
}

}  // namespace driver
