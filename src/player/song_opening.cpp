#include "player/song_opening.hpp"

#include <span>
#include <string_view>

#include "base/fail.hpp"
#include "base/whole_file.hpp"
#include "base/shown_name.hpp"
#include "song/song.hpp"

namespace player {
namespace {

// Tunes of the home computer's music format begin with one of these; they
// are programs, not register dumps, and tuntool import makes songs of them.
bool is_psid_tune(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4) return false;
    const std::string_view magic(reinterpret_cast<const char*>(bytes.data()), 4);
    return magic == "PSID" || magic == "RSID";
}

std::string refusal_reason(song::header_outcome outcome) {
    switch (outcome) {
        case song::header_outcome::not_a_song_file: return "not a song file";
        case song::header_outcome::compressed_data_invalid: return "compressed, but its unpacked size is 0";
        case song::header_outcome::decompression_failed: return "its compressed frame data is broken";
        case song::header_outcome::channel_count_invalid: return "its channel count is not 1 to 8";
        case song::header_outcome::too_large: return "larger than a song may be (256 MiB, or unpacking to more)";
        case song::header_outcome::out_of_memory: return "the memory for its frames could not be had";
        case song::header_outcome::ok: break;
    }
    return "";
}

// The command that makes a song of a tune, in quotes unless the name is
// quoted itself.
std::string psid_tune_reason(const std::string& file_name) {
    const std::string shown = names::shown_name(file_name);
    const std::string command = "tuntool import " + shown + " SONG.tun";
    return "a PSID tune, not a song: " + (shown == file_name ? "'" + command + "'" : command) + " makes a song of it";
}

}  // namespace

song_opening open_song_file(synth::engine& e, const std::string& file_name) {
    song_opening opening;
    const whole_file::read_result file = whole_file::read_whole_file(file_name, song::max_song_bytes);
    if (file.too_large) {
        opening.outcome = song::header_outcome::too_large;
        opening.line = song::song_error_message(opening.outcome);
        opening.reason = refusal_reason(opening.outcome);
        return opening;
    }
    if (file.failure_code != 0) {
        opening.failure_code = file.failure_code;
        opening.line = failure::failure_text(file.failure_code);
        opening.reason = whole_file::failure_reason(file);
        return opening;
    }
    opening.outcome = song::load_song_bytes(e.song, file.bytes);
    if (opening.outcome == song::header_outcome::ok) opening.outcome = synth::start_song(e);
    if (opening.outcome == song::header_outcome::out_of_memory) {
        opening.failure_code = failure::heap_overflow;
        opening.line = failure::failure_text(failure::heap_overflow);
        opening.reason = refusal_reason(opening.outcome);
        return opening;
    }
    if (opening.outcome != song::header_outcome::ok) {
        opening.line = song::song_error_message(opening.outcome);
        opening.reason = is_psid_tune(file.bytes) ? psid_tune_reason(file_name) : refusal_reason(opening.outcome);
        return opening;
    }
    opening.ok = true;
    return opening;
}

std::string named_failure(const std::string& file_name, const std::string& reason) {
    return "playtun: " + names::shown_name(file_name) + ": " + reason;
}

}  // namespace player
