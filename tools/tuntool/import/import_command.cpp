#include "import_command.hpp"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "base/messages.hpp"
#include "base/output_file.hpp"
#include "file_io.hpp"
#include "psid_run.hpp"
#include "song_file.hpp"

namespace tuntool {
namespace {

using psid_import::chip_model;

constexpr const char* import_usage =
    "Usage: tuntool import [OPTIONS] TUNE.sid OUT.tun\n"
    "\n"
    "Makes a chip-variant song of three channels from a PSID tune.\n"
    "\n"
    "  --subtune N                which tune of the file (default: its start song)\n"
    "  --seconds S                how many seconds to capture (default 180)\n"
    "  --frames N                 how many frames to capture instead\n"
    "  --model 6581|8580          the chip model whose filter curve is used\n"
    "                             (default: the file's, else 6581)\n"
    "  --layout planar|interleaved\n"
    "                             the song's frame layout (default planar)\n"
    "  --no-compress              store the frame data unpacked\n"
    "  -h, --help                 this text\n"
    "\n"
    "An existing OUT.tun is replaced only when the import succeeds.\n";

struct command_line {
    psid_import::import_options options;
    bool interleaved = false;
    bool compressed = true;
    std::string tune;
    std::string out;
};

struct usage_problem {
    std::string message;
};

// A whole number in first..last, or nothing.
std::optional<uint32_t> whole_number(const std::string& text, uint32_t first, uint32_t last) {
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < first || value > last) return std::nullopt;
    return value;
}

std::optional<double> seconds_value(const std::string& text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(value > 0.0) ||
        value > psid_import::longest_capture_seconds)
        return std::nullopt;
    return value;
}

command_line parse_command_line(const std::vector<std::string>& args) {
    command_line line;
    std::vector<std::string> files;
    bool seconds_given = false;
    bool options_end = false;
    const auto longest_frames = static_cast<uint32_t>(psid_import::longest_capture_seconds * psid_import::ntsc_timing.frame_rate);
    for (size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        if (options_end || option.size() < 2 || option[0] != '-') {
            files.push_back(option);
            continue;
        }
        if (option == "--") {
            options_end = true;
            continue;
        }
        if (option == "--no-compress") {
            line.compressed = false;
            continue;
        }
        std::string value;
        if (const auto equals = option.find('='); equals != std::string::npos && option.rfind("--", 0) == 0) {
            value = option.substr(equals + 1);
            option.resize(equals);
        } else if (option == "--subtune" || option == "--seconds" || option == "--frames" || option == "--model" ||
                   option == "--layout") {
            if (i + 1 == args.size()) throw usage_problem{option + " needs a value"};
            value = args[++i];
        } else {
            throw usage_problem{"import has no option " + option};
        }
        if (option == "--subtune") {
            const auto n = whole_number(value, 1, 65535);
            if (!n) throw usage_problem{"--subtune takes a tune number from 1, not \"" + value + "\""};
            line.options.subtune = *n;
        } else if (option == "--seconds") {
            const auto s = seconds_value(value);
            if (!s) throw usage_problem{"--seconds takes a number of seconds above 0 and up to 3600, not \"" + value + "\""};
            line.options.seconds = *s;
            seconds_given = true;
        } else if (option == "--frames") {
            const auto n = whole_number(value, 1, longest_frames);
            if (!n)
                throw usage_problem{"--frames takes a number of frames from 1 to " + std::to_string(longest_frames) +
                                    ", not \"" + value + "\""};
            line.options.frames = *n;
        } else if (option == "--model") {
            if (value != "6581" && value != "8580") throw usage_problem{"--model takes 6581 or 8580, not \"" + value + "\""};
            line.options.model = value == "8580" ? chip_model::mos8580 : chip_model::mos6581;
        } else if (option == "--layout") {
            if (value != "planar" && value != "interleaved")
                throw usage_problem{"--layout takes planar or interleaved, not \"" + value + "\""};
            line.interleaved = value == "interleaved";
        } else {
            throw usage_problem{"import has no option " + option};
        }
    }
    if (seconds_given && line.options.frames) throw usage_problem{"--seconds and --frames cannot be given together"};
    if (files.size() != 2) throw usage_problem{"import takes a tune and an output file"};
    line.tune = files[0];
    line.out = files[1];
    return line;
}

// Reads at most one byte more than any tune file can hold, so that a huge
// file, or a device that never ends, is refused without being read whole.
std::vector<uint8_t> read_tune_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw tool_error("cannot read " + path + ": " + std::strerror(errno));
    struct stat status {};
    if (::fstat(fd, &status) != 0 || S_ISDIR(status.st_mode)) {
        const int error_number = S_ISDIR(status.st_mode) ? EISDIR : errno;
        ::close(fd);
        throw tool_error("cannot read " + path + ": " + std::strerror(error_number));
    }
    std::vector<uint8_t> bytes(psid_import::largest_tune_file + 1);
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error_number = errno;
            ::close(fd);
            throw tool_error("cannot read " + path + ": " + std::strerror(error_number));
        }
        done += static_cast<size_t>(got);
    }
    ::close(fd);
    if (done > psid_import::largest_tune_file) throw psid_import::import_error("not a PSID file (larger than any tune)");
    bytes.resize(done);
    return bytes;
}

song_file song_of(const psid_import::imported_tune& tune, bool interleaved, bool compressed) {
    song_file song;
    song.magic = song::chip_magic;
    song.flags = static_cast<uint8_t>(psid_import::voice_count | (interleaved ? flag_interleaved : 0));
    song.frame_rate = tune.timing.frame_rate;
    song.loop_frame = 0;
    song.text.assign(tune.text.begin(), tune.text.end());
    song.body.reserve(tune.records.size() * song::record_size);
    for (const score::record& r : tune.records) song::put_record(song.body, r.pitch, r.pulse, r.control, r.volume, r.filter);
    if (!interleaved) song.body = interleaved_to_planar(song.body, psid_import::voice_count);
    return compressed ? pack_song(song) : song;
}

// The one place where an imported song is written.
void write_imported_song(const std::string& path, const song_file& song) {
    write_file_replacing(path, song_file_bytes(song));
}

std::string clock_time(size_t frames, unsigned rate) {
    const size_t hundredths = frames * 100 / rate;
    char text[48];
    std::snprintf(text, sizeof text, "%zu:%02zu.%02zu", hundredths / 6000, hundredths / 100 % 60, hundredths % 100);
    return text;
}

}  // namespace

int import_command(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "-h" || a == "--help") {
            std::fputs(import_usage, stdout);
            return 0;
        }
    }
    command_line line;
    try {
        line = parse_command_line(args);
    } catch (const usage_problem& problem) {
        std::fprintf(stderr, "tuntool: %s\nTry 'tuntool import --help'.\n", problem.message.c_str());
        return 2;
    }
    psid_import::imported_tune tune;
    try {
        if (output_files::same_file(line.tune, line.out)) throw psid_import::import_error("the output would replace the tune itself");
        tune = psid_import::import_tune(read_tune_file(line.tune), line.options);
    } catch (const psid_import::import_error& e) {
        std::fprintf(stderr, "tuntool: %s: %s\n", line.tune.c_str(), e.what());
        return 1;
    }
    const song_file song = song_of(tune, line.interleaved, line.compressed);
    // The report must not mix with a song sent to standard output.
    if (output_files::is_standard_output(line.out)) messages::divert_to_standard_error();
    write_imported_song(line.out, song);
    std::fprintf(messages::stream(), "%s: subtune %u of %u, %zu frames (%s at %u frames a second), %s filter curve, %s%s\n", line.out.c_str(),
                tune.subtune, tune.songs, tune.frame_count(), clock_time(tune.frame_count(), tune.timing.frame_rate).c_str(),
                tune.timing.frame_rate, tune.model == chip_model::mos8580 ? "8580" : "6581",
                line.interleaved ? "interleaved" : "planar",
                song.compressed() ? (", packed to " + std::to_string(song.body.size()) + " bytes").c_str() : "");
    return 0;
}

}  // namespace tuntool
