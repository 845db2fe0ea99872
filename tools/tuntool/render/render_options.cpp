#include "render_options.hpp"

#include <cctype>

#include "song/channel_record.hpp"

namespace tuntool {
namespace {

constexpr uint32_t output_rate = song::output_rate;
static_assert(song::output_rate == 48000, "the help text names the output rate");

bool all_digits(const std::string& text) {
    if (text.empty()) return false;
    for (const char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

// A whole number within 1..limit.
std::optional<uint64_t> parse_count(const std::string& text, uint64_t limit) {
    if (!all_digits(text) || text.size() > 9) return std::nullopt;
    const uint64_t value = std::stoull(text);
    if (value < 1 || value > limit) return std::nullopt;
    return value;
}

// Seconds with an optional fraction of up to six digits, in microseconds.
std::optional<uint64_t> parse_seconds(const std::string& text, size_t max_whole_digits) {
    const size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
    if (!all_digits(whole) || whole.size() > max_whole_digits) return std::nullopt;
    if (point != std::string::npos && (!all_digits(fraction) || fraction.size() > 6)) return std::nullopt;
    uint64_t micro = std::stoull(whole) * 1000000;
    uint64_t scale = 100000;
    for (const char c : fraction) {
        micro += static_cast<uint64_t>(c - '0') * scale;
        scale /= 10;
    }
    return micro;
}

struct option_reader {
    const std::vector<std::string>& args;
    size_t at = 0;
    std::string error;

    // The value of an option given as "--name VALUE", "--name=VALUE" or,
    // for a short one, "-xVALUE".
    std::optional<std::string> value(const std::string& word, const std::string& name) {
        if (word.size() > name.size() && word.compare(0, name.size(), name) == 0) {
            if (name.size() == 2) return word.substr(2);
            if (word[name.size()] == '=') return word.substr(name.size() + 1);
        }
        if (at + 1 >= args.size()) {
            error = name + " needs a value";
            return std::nullopt;
        }
        return args[++at];
    }
};

bool is_option(const std::string& word, const std::string& name) {
    if (word == name) return true;
    if (name.size() == 2) return word.size() > 2 && word.compare(0, 2, name) == 0;
    return word.compare(0, name.size() + 1, name + "=") == 0;
}

std::string bad_value(const std::string& option, const std::string& value, const std::string& wanted) {
    return "bad value '" + value + "' for " + option + ": " + wanted;
}

}  // namespace

// Two digits below 60, maybe with a fraction after them (the seconds of
// M:SS.s), in microseconds.
std::optional<uint64_t> parse_within_minute(const std::string& text) {
    if (text.size() < 2 || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        !std::isdigit(static_cast<unsigned char>(text[1])) || text[0] > '5' || (text.size() > 2 && text[2] != '.'))
        return std::nullopt;
    return parse_seconds(text, 2);
}

std::optional<uint64_t> parse_time(const std::string& text) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return parse_seconds(text, 9);
    const size_t second_colon = text.find(':', colon + 1);
    const std::string first = text.substr(0, colon);
    if (!all_digits(first) || first.size() > 7) return std::nullopt;
    if (second_colon == std::string::npos) {
        // M:SS[.s]
        const auto within_minute = parse_within_minute(text.substr(colon + 1));
        if (!within_minute) return std::nullopt;
        return std::stoull(first) * 60000000 + *within_minute;
    }
    // H:MM:SS[.s]: the minutes are two digits below 60 too.
    const std::string minutes = text.substr(colon + 1, second_colon - colon - 1);
    const auto within_hour = minutes.size() == 2 ? parse_within_minute(minutes) : std::nullopt;
    const auto within_minute = parse_within_minute(text.substr(second_colon + 1));
    if (!within_hour || !within_minute || first.size() > 5) return std::nullopt;
    return std::stoull(first) * 3600000000 + *within_hour * 60 + *within_minute;
}

uint64_t frames_for_time(uint64_t microseconds, uint32_t rate) { return (microseconds * rate + 500000) / 1000000; }

std::optional<uint8_t> parse_voice_list(const std::string& text) {
    uint8_t voices = 0;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (item.size() != 1 || item[0] < '1' || item[0] > '8') return std::nullopt;
        voices = static_cast<uint8_t>(voices | 1u << (item[0] - '1'));
        if (comma == std::string::npos) return voices;
        start = comma + 1;
    }
}

parsed_render_options parse_render_options(const std::vector<std::string>& args) {
    parsed_render_options result;
    render_options& o = result.options;
    option_reader reader{args, 0, ""};
    bool only_names = false;
    auto fail = [&](const std::string& message) {
        result.error = message;
        return result;
    };
    for (; reader.at < args.size(); ++reader.at) {
        const std::string& word = args[reader.at];
        if (only_names || word == "-" || word.empty() || word[0] != '-') {
            o.songs.push_back(word);
            continue;
        }
        if (word == "--") {
            only_names = true;
        } else if (word == "-h" || word == "--help") {
            o.help = true;
        } else if (word == "-q" || word == "--quiet") {
            o.quiet = true;
        } else if (word == "--stems") {
            o.stems = true;
        } else if (word == "--tags") {
            o.tags = true;
        } else if (is_option(word, "-o") || is_option(word, "--output")) {
            const auto v = reader.value(word, word.compare(0, 2, "--") == 0 ? "--output" : "-o");
            if (!v) return fail(reader.error);
            if (v->empty()) return fail("-o needs a file or folder name");
            o.output = *v;
        } else if (is_option(word, "--format")) {
            const auto v = reader.value(word, "--format");
            if (!v) return fail(reader.error);
            if (*v == "wav") {
                o.format = audio_format::wav;
            } else if (*v == "flac") {
                o.format = audio_format::flac;
            } else {
                return fail(bad_value("--format", *v, "wav or flac"));
            }
        } else if (is_option(word, "--loops")) {
            const auto v = reader.value(word, "--loops");
            if (!v) return fail(reader.error);
            const auto n = parse_count(*v, max_loops);
            if (!n) return fail(bad_value("--loops", *v, "a whole number from 1 to " + std::to_string(max_loops)));
            o.loops = static_cast<uint32_t>(*n);
        } else if (is_option(word, "--length") || is_option(word, "--fade")) {
            const bool length = is_option(word, "--length");
            const std::string name = length ? "--length" : "--fade";
            const auto v = reader.value(word, name);
            if (!v) return fail(reader.error);
            const auto t = parse_time(*v);
            const uint64_t frames = t ? frames_for_time(*t, output_rate) : 0;
            // A fade of 0 is no fade; a length of 0 would be no sound at all.
            if (!t || (length && frames == 0) || *t > max_time_microseconds)
                return fail(bad_value(name, *v,
                                      std::string(length ? "a time above 0" : "a time") +
                                          " up to 100 hours, as seconds (90, 90.5), M:SS[.s] or H:MM:SS[.s]"));
            (length ? o.length_frames : o.fade_frames) = frames;
        } else if (is_option(word, "--mute") || is_option(word, "--solo")) {
            const bool mute = is_option(word, "--mute");
            const std::string name = mute ? "--mute" : "--solo";
            const auto v = reader.value(word, name);
            if (!v) return fail(reader.error);
            const auto voices = parse_voice_list(*v);
            if (!voices) return fail(bad_value(name, *v, "voice numbers 1..8 separated by commas, such as 1,3"));
            (mute ? o.muted : o.soloed) |= *voices;
        } else if (is_option(word, "-j") || is_option(word, "--jobs")) {
            const std::string name = word.compare(0, 2, "--") == 0 ? "--jobs" : "-j";
            const auto v = reader.value(word, name);
            if (!v) return fail(reader.error);
            const auto n = parse_count(*v, max_jobs);
            if (!n) return fail(bad_value(name, *v, "a whole number from 1 to " + std::to_string(max_jobs)));
            o.jobs = static_cast<unsigned>(*n);
        } else {
            return fail("unknown option " + word);
        }
    }
    if (o.help) return result;
    if (o.songs.empty()) return fail("render needs at least one song");
    if (o.output == "-" && o.songs.size() > 1) return fail("-o - takes one song; several songs need a folder");
    if (o.output == "-" && o.stems) return fail("--stems writes one file per voice and cannot go to standard output");
    return result;
}

const char* const render_usage_text =
    "Usage: tuntool render [OPTION]... SONG.tun [SONG.tun]...\n"
    "Renders songs into 16-bit stereo 48000 Hz WAV or FLAC files.\n"
    "\n"
    "  -o, --output PATH   one song: the output file (- for standard output);\n"
    "                      several songs: a folder, one file per song;\n"
    "                      without -o: beside each song, its extension replaced\n"
    "      --format wav|flac\n"
    "                      default: from the output's extension, else WAV\n"
    "      --loops N       play the loop section N times in all (default 1)\n"
    "      --fade SECONDS  fade out to silence over the last SECONDS (0: none)\n"
    "      --length TIME   stop at TIME (seconds, M:SS[.s] or H:MM:SS[.s]); the song\n"
    "                      repeats from its loop frame up to it\n"
    "      --mute LIST     silence voices (1..8, such as 2,3); they still drive\n"
    "                      the voices that take sync or ring from them\n"
    "      --solo LIST     only these voices sound\n"
    "      --stems         one file per voice: NAME-1.wav ... NAME-N.wav\n"
    "      --tags          WAV files too get the song's title, author and\n"
    "                      release (FLAC files always do), as a LIST chunk\n"
    "  -j, --jobs N        songs rendered at a time (default: one per processor)\n"
    "  -q, --quiet         no progress lines\n"
    "  -h, --help          this text\n"
    "\n"
    "Render never writes over a song. Details: man tuntool\n";

}  // namespace tuntool
