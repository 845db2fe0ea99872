#include "import_command.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "base/exit_status.hpp"
#include "base/fail.hpp"
#include "base/messages.hpp"
#include "base/output_file.hpp"
#include "base/shown_name.hpp"
#include "file_io.hpp"
#include "import_batch.hpp"
#include "psid_run.hpp"
#include "stored_song.hpp"
#include "song_lengths.hpp"

namespace tuntool {
namespace {

namespace fs = std::filesystem;
using psid_import::chip_model;

constexpr const char* import_usage =
    "Usage: tuntool import [OPTIONS] TUNE.sid OUT.tun\n"
    "       tuntool import [OPTIONS] -o DIR TUNE.sid|FOLDER...\n"
    "\n"
    "Makes a chip-variant song of three channels from a PSID tune; with -o,\n"
    "a folder of songs from tunes and folders searched for .sid files.\n"
    "\n"
    "  -o DIR                     the folder of the songs (made if needed); a\n"
    "                             folder's tunes keep their places under it\n"
    "  -j N                       tunes imported at once (default: one per processor)\n"
    "  --subtune N                which tune of the file (default: its start song)\n"
    "  --all-subtunes             every tune of the file, as NAME-K.tun\n"
    "  --songlengths FILE         the song-length database: each tune it knows\n"
    "                             is captured for exactly its length\n"
    "  --seconds S                the most seconds to capture (default 180)\n"
    "  --frames N                 the most frames to capture instead\n"
    "  --silence S                end after S seconds in which every voice is\n"
    "                             silent (default 10; 0: never)\n"
    "  --model 6581|8580          the chip model whose filter curve is used\n"
    "                             (default: the file's, else 6581)\n"
    "  --layout planar|interleaved\n"
    "                             the song's frame layout (default planar)\n"
    "  --no-compress              store the frame data unpacked\n"
    "  -h, --help                 this text\n"
    "\n"
    "The song ends where the tune starts over and loops back to where it\n"
    "began the first time. An existing song is replaced only when its import\n"
    "succeeds. Details: man tuntool\n";

constexpr unsigned max_jobs = 256;
// Failed tunes named by the summary; the rest are counted.
constexpr size_t failures_named = 10;

struct command_line {
    song_making making;
    std::optional<std::string> folder;  // -o
    std::optional<std::string> song_lengths;
    unsigned jobs = 0;
    std::vector<std::string> files;
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

std::optional<double> seconds_value(const std::string& text, bool zero_allowed) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(zero_allowed ? value >= 0.0 : value > 0.0) ||
        value > psid_import::longest_capture_seconds)
        return std::nullopt;
    return value;
}

bool takes_value(const std::string& option) {
    for (const char* o :
         {"--subtune", "--seconds", "--frames", "--model", "--layout", "--silence", "--songlengths", "-o", "-j"})
        if (option == o) return true;
    return false;
}

command_line parse_command_line(const std::vector<std::string>& args) {
    command_line line;
    psid_import::import_options& options = line.making.options;
    bool seconds_given = false;
    bool options_end = false;
    // An hour at the highest rate a song may get; import_tune holds each
    // tune to an hour at its own rate.
    const auto longest_frames =
        static_cast<uint32_t>(psid_import::longest_capture_seconds * psid_import::most_frames_a_second);
    for (size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        if (options_end || option.size() < 2 || option[0] != '-') {
            line.files.push_back(option);
            continue;
        }
        if (option == "--") {
            options_end = true;
            continue;
        }
        if (option == "--no-compress") {
            line.making.compressed = false;
            continue;
        }
        if (option == "--all-subtunes") {
            line.making.all_subtunes = true;
            continue;
        }
        std::string value;
        if (const auto equals = option.find('='); equals != std::string::npos && option.rfind("--", 0) == 0) {
            value = option.substr(equals + 1);
            option.resize(equals);
        } else if ((option.rfind("-o", 0) == 0 || option.rfind("-j", 0) == 0) && option.size() > 2) {
            value = option.substr(2);
            option.resize(2);
        } else if (takes_value(option)) {
            if (i + 1 == args.size()) throw usage_problem{option + " needs a value"};
            value = args[++i];
        } else {
            throw usage_problem{"import has no option " + option};
        }
        if (option == "--subtune") {
            const auto n = whole_number(value, 1, 65535);
            if (!n) throw usage_problem{"--subtune takes a tune number from 1, not \"" + value + "\""};
            options.subtune = *n;
        } else if (option == "--seconds") {
            const auto s = seconds_value(value, false);
            if (!s)
                throw usage_problem{"--seconds takes a number of seconds above 0 and up to 3600, not \"" + value +
                                    "\""};
            options.seconds = *s;
            seconds_given = true;
        } else if (option == "--frames") {
            const auto n = whole_number(value, 1, longest_frames);
            if (!n)
                throw usage_problem{"--frames takes a number of frames from 1 to " + std::to_string(longest_frames) +
                                    ", not \"" + value + "\""};
            options.frames = *n;
        } else if (option == "--silence") {
            const auto s = seconds_value(value, true);
            if (!s) throw usage_problem{"--silence takes a number of seconds from 0 to 3600, not \"" + value + "\""};
            options.silence_seconds = *s;
        } else if (option == "--songlengths") {
            if (value.empty()) throw usage_problem{"--songlengths takes a file name"};
            line.song_lengths = value;
        } else if (option == "-o") {
            if (value.empty()) throw usage_problem{"-o takes a folder"};
            line.folder = value;
        } else if (option == "-j") {
            const auto n = whole_number(value, 1, max_jobs);
            if (!n)
                throw usage_problem{"-j takes a number of tunes from 1 to " + std::to_string(max_jobs) + ", not \"" +
                                    value + "\""};
            line.jobs = *n;
        } else if (option == "--model") {
            if (value != "6581" && value != "8580")
                throw usage_problem{"--model takes 6581 or 8580, not \"" + value + "\""};
            options.model = value == "8580" ? chip_model::mos8580 : chip_model::mos6581;
        } else if (option == "--layout") {
            if (value != "planar" && value != "interleaved")
                throw usage_problem{"--layout takes planar or interleaved, not \"" + value + "\""};
            line.making.interleaved = value == "interleaved";
        } else {
            throw usage_problem{"import has no option " + option};
        }
    }
    if (seconds_given && options.frames) throw usage_problem{"--seconds and --frames cannot be given together"};
    if (line.making.all_subtunes && options.subtune != 0)
        throw usage_problem{"--subtune and --all-subtunes cannot be given together"};
    if (line.folder) {
        if (line.files.empty()) throw usage_problem{"import -o takes tunes or folders of tunes"};
    } else if (line.files.size() != 2) {
        throw usage_problem{"import takes a tune and an output file, or -o DIR and tunes or folders"};
    }
    return line;
}

bool is_folder(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::string without_extension(const fs::path& path) { return (path.parent_path() / path.stem()).string(); }

// The subtunes a tune file names in its header, for the names of its
// songs; 1 when it cannot tell (the import then says what is wrong).
unsigned subtunes_named(const std::string& tune) {
    const std::vector<uint8_t> head = output_files::leading_bytes(tune, 16);
    if (head.size() < 16) return 1;
    return std::max(1u, unsigned(head[14] << 8 | head[15]));
}

struct batch_plan {
    std::vector<import_job> jobs;
    std::vector<std::string> refused;  // lines naming a tune and why
};

// Every tune of the arguments and the stem of its songs under the folder: a
// tune named directly goes to the folder's top, a folder's tunes to their
// places relative to it (find_tunes). A song whose path would be too long
// to write is refused before anything starts.
batch_plan plan_batch(const command_line& line) {
    batch_plan plan;
    std::map<std::string, std::string> taken;  // song path -> its tune
    const fs::path out = *line.folder;
    const auto add = [&](const std::string& tune, const fs::path& relative) {
        import_job job{tune, without_extension(out / relative)};
        const unsigned count = line.making.all_subtunes ? subtunes_named(tune) : 1;
        for (unsigned k = 1; k <= count; ++k) {
            const std::string song = song_path(job.stem, count > 1, k);
            if (song.size() > longest_path) {
                plan.refused.push_back("tuntool: " + names::shown_shortened(tune, 60) + ": its song's path " +
                                       names::shown_shortened(song, 60) + " would be longer than " +
                                       std::to_string(longest_path) + " bytes");
                return;
            }
            if (const auto found = taken.find(song); found != taken.end()) {
                plan.refused.push_back("tuntool: " + names::shown_name(tune) + ": " + names::shown_name(song) +
                                       " is also the song of " + names::shown_name(found->second));
                return;
            }
        }
        for (unsigned k = 1; k <= count; ++k) taken.emplace(song_path(job.stem, count > 1, k), tune);
        plan.jobs.push_back(job);
    };
    for (const std::string& argument : line.files) {
        if (!is_folder(argument)) {
            add(argument, fs::path(argument).filename());
            continue;
        }
        tune_search search = find_tunes(argument);
        for (const std::string& problem : search.problems) plan.refused.push_back("tuntool: " + problem);
        for (const found_tune& tune : search.tunes) add(tune.path, tune.relative);
    }
    return plan;
}

unsigned processors() {
    const long count = ::sysconf(_SC_NPROCESSORS_ONLN);
    return count < 1 ? 1 : static_cast<unsigned>(count);
}

int run_batch(command_line& line) {
    messages::divert_to_standard_error();
    const std::string& folder = *line.folder;
    std::error_code error;
    if (!is_folder(folder)) {
        if (fs::exists(folder, error))
            return failure::report_usage_error("tuntool: -o " + names::shown_name(folder) + " is not a folder",
                                               "tuntool import --help");
        std::string failed;
        if (const int error_number = output_files::make_folders(folder, failed); error_number != 0) {
            failure::report_problem("tuntool: cannot create the folder " + names::shown_name(failed) + ": " +
                                    std::strerror(error_number));
            return exit_status::failure;
        }
    }
    progress_display progress = progress_on_standard_error(false);
    batch_plan plan = plan_batch(line);
    for (const std::string& refused : plan.refused) progress_message(progress, refused);
    const unsigned parallel = line.jobs != 0 ? line.jobs : processors();
    // Each tune is imported in a child process: tables the library builds
    // once per process are built here, before the children are forked.
    if (plan.jobs.size() > 1) psid_import::prepare_player_library();
    const batch_outcome outcome = run_import_jobs(plan.jobs, line.making, parallel, progress);
    const size_t tunes = plan.jobs.size() + plan.refused.size();
    if (outcome.stop_signal != 0) {
        failure::report_problem(std::string("tuntool: import stopped by ") +
                                (outcome.stop_signal == SIGINT ? "SIGINT" : "SIGTERM") + ": " +
                                std::to_string(outcome.tunes_done) + " of " + std::to_string(tunes) +
                                " tunes imported, " + std::to_string(outcome.songs_written) + " songs written");
        return exit_status::after_signal(outcome.stop_signal);
    }
    const size_t failed = outcome.failed.size() + plan.refused.size();
    std::string summary = "tuntool: import: " + std::to_string(outcome.tunes_done) + " of " + std::to_string(tunes) +
                          (tunes == 1 ? " tune" : " tunes") + " imported, " + std::to_string(outcome.songs_written) +
                          (outcome.songs_written == 1 ? " song" : " songs") + " written";
    if (failed != 0) {
        summary += "; " + std::to_string(failed) + (failed == 1 ? " tune" : " tunes") + " failed:";
        for (size_t i = 0; i < outcome.failed.size() && i < failures_named; ++i) {
            summary += ' ';
            summary += names::shown_name(outcome.failed[i]);
        }
        if (outcome.failed.size() > failures_named)
            summary += " and " + std::to_string(outcome.failed.size() - failures_named) + " more";
        if (!plan.refused.empty())
            summary += (outcome.failed.empty() ? " " : ", ") + std::to_string(plan.refused.size()) + " refused (above)";
    }
    failure::report_problem(summary);
    return failed == 0 ? exit_status::ok : exit_status::failure;
}

// Today's form: one tune, its song (or its songs, OUT-K.tun) written
// beside no others, with a report line on standard output.
int run_single(const command_line& line) {
    const std::string& tune = line.files[0];
    const std::string& out = line.files[1];
    const bool to_standard_output = output_files::is_standard_output(out);
    if (line.making.all_subtunes && to_standard_output) {
        failure::report_problem(
            "tuntool: --all-subtunes writes a song per subtune and cannot write them to standard output");
        return exit_status::bad_command_line;
    }
    // The report must not mix with a song sent to standard output.
    if (to_standard_output) messages::divert_to_standard_error();
    std::vector<uint8_t> file;
    std::vector<unsigned> subtunes;
    try {
        file = read_tune_file(tune);
        const psid_import::psid_header header = psid_import::read_psid_header(file);
        if (line.making.all_subtunes) {
            for (unsigned k = 1; k <= header.songs; ++k) subtunes.push_back(k);
            if (subtunes.empty()) throw psid_import::import_error("the file holds no tunes");
        } else {
            subtunes.push_back(line.making.options.subtune);
        }
    } catch (const psid_import::import_error& e) {
        failure::report_problem("tuntool: " + names::shown_name(tune) + ": " + e.what());
        return exit_status::failure;
    }
    const std::string stem = line.making.all_subtunes ? without_extension(out) : out;
    int status = exit_status::ok;
    for (const unsigned subtune : subtunes) {
        psid_import::import_options options = line.making.options;
        options.subtune = subtune;
        // A tune that holds one subtune keeps the name given.
        const bool numbered = line.making.all_subtunes && subtunes.size() > 1;
        const std::string song_out = numbered ? song_path(stem, true, subtune) : out;
        psid_import::imported_tune imported;
        try {
            if (output_files::same_file(tune, song_out))
                throw psid_import::import_error("the output would replace the tune itself");
            imported = psid_import::import_tune(file, options);
        } catch (const psid_import::import_error& e) {
            failure::report_problem("tuntool: " + names::shown_name(tune) + ": " +
                                    (line.making.all_subtunes ? "subtune " + std::to_string(subtune) + ": " : "") +
                                    e.what());
            status = exit_status::failure;
            continue;
        }
        const stored_song song = song_of(imported, line.making.interleaved, line.making.compressed);
        write_file_replacing(song_out, song_file_bytes(song));
        std::fprintf(messages::stream(), "%s\n",
                     song_summary(song_out, imported, line.making.interleaved, song.compressed() ? song.body.size() : 0)
                         .c_str());
    }
    return status;
}

}  // namespace

int import_command(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a == "--") break;
        if (a == "-h" || a == "--help") {
            std::fputs(import_usage, stdout);
            return exit_status::ok;
        }
    }
    command_line line;
    try {
        line = parse_command_line(args);
    } catch (const usage_problem& problem) {
        return failure::report_usage_error("tuntool: " + problem.message, "tuntool import --help");
    }
    std::unique_ptr<psid_import::song_lengths> lengths;
    if (line.song_lengths) {
        try {
            lengths = std::make_unique<psid_import::song_lengths>(*line.song_lengths);
        } catch (const psid_import::import_error& e) {
            failure::report_problem("tuntool: " + names::shown_name(*line.song_lengths) + ": " + e.what());
            return exit_status::failure;
        }
        line.making.options.lengths = lengths.get();
    }
    return line.folder ? run_batch(line) : run_single(line);
}

}  // namespace tuntool
