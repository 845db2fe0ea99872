// The command line of `tuntool render`: options and their values, checked
// before anything is rendered. A value that is not understood is a usage
// error (status 2) with a message naming the option.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tuntool {

enum class audio_format { from_name, wav, flac };

struct render_options {
    std::optional<std::string> output;  // -o
    audio_format format = audio_format::from_name;
    uint32_t loops = 0;          // --loops; 0 when not given
    uint64_t length_frames = 0;  // --length in stereo frames; 0 when not given
    uint64_t fade_frames = 0;    // --fade in stereo frames; 0 when not given or 0
    uint8_t muted = 0;           // --mute: bit k for voice k + 1
    uint8_t soloed = 0;          // --solo: bit k for voice k + 1
    bool stems = false;
    bool tags = false;  // --tags: WAV files carry the song's tags too
    unsigned jobs = 0;  // -j; 0 for one per processor
    bool quiet = false;
    bool help = false;
    std::vector<std::string> songs;
};

constexpr uint32_t max_loops = 10000;
// The longest --length and --fade: 100 hours.
constexpr uint64_t max_time_microseconds = 100ull * 3600 * 1000000;
constexpr unsigned max_jobs = 256;

struct parsed_render_options {
    render_options options;
    std::string error;  // why the command line is refused; empty when it is not
};

// args are the words after "render".
parsed_render_options parse_render_options(const std::vector<std::string>& args);

// A time as seconds ("75", "75.5"), minutes and seconds ("1:15",
// "1:15.25") or hours, minutes and seconds ("1:02:15", "1:02:15.5"), in
// microseconds; nothing for anything else. At most six digits after the
// point.
std::optional<uint64_t> parse_time(const std::string& text);

// Microseconds as stereo frames at rate, rounded to the nearest frame.
uint64_t frames_for_time(uint64_t microseconds, uint32_t rate);

// The voices of a list such as "1,3,8" as bits (voice k is bit k - 1).
std::optional<uint8_t> parse_voice_list(const std::string& text);

extern const char* const render_usage_text;

}  // namespace tuntool
