// tuntool: describes, packs, unpacks and converts song files, and builds
// songs from text scores.
//
//   tuntool info SONG.tun...
//   tuntool info --json SONG.tun...
//   tuntool pack IN.tun OUT.tun
//   tuntool unpack IN.tun OUT.tun
//   tuntool relayout IN.tun OUT.tun --planar|--interleaved
//   tuntool build SCORE.txt OUT.tun
//   tuntool render [OPTIONS] SONG.tun...
//
// Exit status 0 on success, 1 when the command fails (one line on standard
// error), 2 for a command line it does not understand.
#include <cstdio>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "base/messages.hpp"
#include "base/output_file.hpp"
#include "base/standard_output.hpp"
#include "base/stop_signals.hpp"
#include "file_io.hpp"
#include "import_command.hpp"
#include "info_json.hpp"
#include "render_command.hpp"
#include "score.hpp"
#include "score_limits.hpp"
#include "song/song.hpp"
#include "song_file.hpp"

namespace {

using tuntool::song_file;
using tuntool::tool_error;

constexpr uint32_t playback_rate = 48000;

constexpr const char* usage_text =
    "Usage: tuntool COMMAND ...\n"
    "\n"
    "  info SONG.tun...                   describe songs and whether playtun plays them\n"
    "  info --json SONG.tun...            the same for scripts: a JSON array\n"
    "  pack IN.tun OUT.tun                compress the frame data\n"
    "  unpack IN.tun OUT.tun              expand compressed frame data\n"
    "  relayout IN.tun OUT.tun --planar   store the frames plane by plane\n"
    "  relayout IN.tun OUT.tun --interleaved\n"
    "                                     store the frames one after another\n"
    "  build SCORE.txt OUT.tun            build a song from a text score\n"
    "  render [OPTIONS] SONG.tun...       render songs to WAV or FLAC files\n"
    "                                     (tuntool render --help)\n"
    "  import [OPTIONS] TUNE.sid OUT.tun  make a song from a PSID tune (import --help)\n"
    "  -h, --help                         this text\n"
    "  -V, --version                      the version\n"
    "\n"
    "An existing OUT.tun is replaced only when the command succeeds, and keeps\n"
    "its permission bits; a link stays a link, a device or FIFO is written in\n"
    "place, and OUT.tun may be - for standard output.\n"
    "Details: man tuntool; the score format: /usr/share/doc/playtun/score.md\n";

int usage_error(const std::string& message) {
    std::fprintf(stderr, "tuntool: %s\nTry 'tuntool --help'.\n", message.c_str());
    return 2;
}

std::string percent(size_t part, size_t whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole);
    return text;
}

// An imported song whose tune showed no repeat loops to its start with a jump.
const char* no_repeat_note(const tuntool::song_file& song) {
    return song.no_repeat_found() ? ", no repeat found when imported" : "";
}

std::string clock_time(uint64_t frames, unsigned rate) {
    if (rate == 0) return "?";
    const uint64_t hundredths = frames * 100 / rate;
    char text[48];
    std::snprintf(text, sizeof text, "%llu:%02llu.%02llu", static_cast<unsigned long long>(hundredths / 6000),
                  static_cast<unsigned long long>(hundredths / 100 % 60),
                  static_cast<unsigned long long>(hundredths % 100));
    return text;
}

std::string quoted_text(const std::vector<uint8_t>& text) {
    std::string out = "\"";
    for (uint8_t c : text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        }
    }
    return out + "\"";
}

void print_compression(const song_file& song) {
    if (!song.compressed()) {
        std::printf("  compression  none (%zu bytes of frame data)\n", song.body.size());
        return;
    }
    std::printf("  compression  aPLib, %zu bytes packed from %u (%s of the original)\n", song.body.size(),
                song.unpacked_size, percent(song.body.size(), song.unpacked_size).c_str());
}

// One song's description; 0 when playtun plays it, else 1 with a line on
// standard error naming the song.
int info_of(const std::string& path) {
    std::vector<uint8_t> bytes;
    song_file song;
    try {
        bytes = tuntool::read_song_file(path);
    } catch (const tool_error& e) {
        std::fprintf(stderr, "tuntool: %s\n", e.what());
        return 1;
    }
    const std::string too_large = tuntool::unpacked_size_problem(bytes);
    song::song_state state;
    song::header_outcome outcome = song::header_outcome::ok;
    // The player's header reader is not given a song whose unpacked size it
    // could not hold.
    if (too_large.empty()) {
        outcome = song::load_song_bytes(state, bytes);
        if (outcome == song::header_outcome::ok) outcome = song::read_header(state, playback_rate);
    }
    const char* refusal = too_large.empty() ? song::song_error_message(outcome) : too_large.c_str();
    const bool accepted = too_large.empty() && outcome == song::header_outcome::ok;
    try {
        song = tuntool::parse_song_file(bytes);
    } catch (const tool_error& e) {
        std::fprintf(stderr, "tuntool: %s: %s; playtun refuses it: %s\n", path.c_str(), e.what(), refusal);
        return 1;
    }

    std::printf("%s\n", path.c_str());
    std::printf("  magic        %c%c%c (%s variant)\n", song.magic[0], song.magic[1], song.magic[2],
                song.chip_variant() ? "chip" : "plain");
    std::printf("  channels     %u%s\n", song.channel_count(),
                song.channel_count() >= 1 && song.channel_count() <= 8 ? "" : " (outside 1..8)");
    std::printf("  layout       %s\n", song.interleaved() ? "interleaved" : "planar");
    print_compression(song);
    std::printf("  frame rate   %u frames a second\n", song.frame_rate);
    if (accepted) {
        const auto frames = static_cast<uint64_t>(state.frame_total);
        std::printf("  frames       %llu\n", static_cast<unsigned long long>(frames));
        std::printf("  duration     %s\n", clock_time(frames, song.frame_rate).c_str());
        std::printf("  loop frame   %u (%s)%s%s\n", song.loop_frame, clock_time(song.loop_frame, song.frame_rate).c_str(),
                    song.loop_frame < frames ? "" : " beyond the last frame", no_repeat_note(song));
    } else {
        std::printf("  loop frame   %u%s\n", song.loop_frame, no_repeat_note(song));
    }
    std::printf("  song text    %s\n", quoted_text(song.text).c_str());
    if (accepted) {
        std::printf("  playtun      plays it\n");
        return 0;
    }
    std::printf("  playtun      refuses it: %s\n", refusal);
    std::fprintf(stderr, "tuntool: %s: playtun refuses it: %s\n", path.c_str(), refusal);
    return 1;
}

// Every song is described, one block each with an empty line between; the
// status is 1 when any of them cannot be read or played.
int info(const std::vector<std::string>& paths) {
    int status = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        if (i > 0) std::putchar('\n');
        if (info_of(paths[i]) != 0) status = 1;
    }
    return status;
}

song_file read_song(const std::string& path) {
    try {
        return tuntool::parse_song_file(tuntool::read_song_file(path));
    } catch (const tool_error& e) {
        const std::string message = e.what();
        if (message.rfind("cannot read", 0) == 0) throw;
        throw tool_error(path + ": " + message);
    }
}

// Runs a conversion, naming the input file in its error.
template <typename conversion>
song_file convert(const std::string& in, conversion&& change) {
    const song_file song = read_song(in);
    try {
        return change(song);
    } catch (const tool_error& e) {
        throw tool_error(in + ": " + e.what());
    }
}

void write_song(const std::string& path, const song_file& song) {
    tuntool::write_file_replacing(path, tuntool::song_file_bytes(song));
}

// The lines that report a written song go where they cannot mix with it.
void report_for(const std::string& out) {
    if (output_files::is_standard_output(out)) messages::divert_to_standard_error();
}

int pack(const std::string& in, const std::string& out) {
    report_for(out);
    const song_file song = read_song(in);
    if (song.compressed()) {
        // Packing again would gain nothing: the song is written as it is.
        write_song(out, song);
        std::fprintf(messages::stream(), "%s: already packed, copied unchanged\n", out.c_str());
        return 0;
    }
    song_file packed;
    try {
        packed = tuntool::pack_song(song);
    } catch (const tool_error& e) {
        throw tool_error(in + ": " + e.what());
    }
    write_song(out, packed);
    std::fprintf(messages::stream(), "%s: %zu bytes of frame data packed into %zu (%s)\n", out.c_str(), static_cast<size_t>(packed.unpacked_size),
                packed.body.size(), percent(packed.body.size(), packed.unpacked_size).c_str());
    return 0;
}

int unpack(const std::string& in, const std::string& out) {
    report_for(out);
    const song_file unpacked = convert(in, tuntool::unpack_song);
    write_song(out, unpacked);
    std::fprintf(messages::stream(), "%s: %zu bytes of frame data\n", out.c_str(), unpacked.body.size());
    return 0;
}

int relayout(const std::string& in, const std::string& out, bool to_interleaved) {
    report_for(out);
    const song_file song = read_song(in);
    const song_file converted =
        convert(in, [to_interleaved](const song_file& s) { return tuntool::relayout_song(s, to_interleaved); });
    write_song(out, converted);
    const char* layout = to_interleaved ? "interleaved" : "planar";
    if (song.interleaved() == to_interleaved) {
        std::fprintf(messages::stream(), "%s: already %s, copied unchanged\n", out.c_str(), layout);
    } else {
        std::fprintf(messages::stream(), "%s: %s%s\n", out.c_str(), layout, song.compressed() ? ", packed again" : "");
    }
    return 0;
}

song_file song_from_score(const score::compiled_song& compiled) {
    song_file song;
    song.magic = compiled.chip_variant ? song::chip_magic : song::plain_magic;
    song.flags = static_cast<uint8_t>(compiled.channels | tuntool::flag_interleaved);
    song.frame_rate = compiled.frame_rate;
    song.loop_frame = compiled.loop_frame;
    song.text.assign(compiled.text.begin(), compiled.text.end());
    song.body.reserve(compiled.records.size() * song::record_size);
    for (const score::record& r : compiled.records) song::put_record(song.body, r.pitch, r.pulse, r.control, r.volume, r.filter);
    if (!compiled.interleaved) song = tuntool::relayout_song(song, false);
    if (compiled.compressed) song = tuntool::pack_song(song);
    return song;
}

int build(const std::string& score_path, const std::string& out) {
    // The score is not a song: writing the song over it would lose it.
    tuntool::refuse_same_file(score_path, out);
    report_for(out);
    // One byte past the score's limit is enough for the compiler to name it.
    const std::vector<uint8_t> source = tuntool::read_whole_file(score_path, score::max_score_bytes);
    score::compiled_song compiled;
    try {
        compiled = score::compile_score(std::string_view(reinterpret_cast<const char*>(source.data()), source.size()));
    } catch (const score::score_error& e) {
        std::fprintf(stderr, "%s:%d:%d: %s\n", score_path.c_str(), e.line, e.column, e.what());
        return 1;
    }
    const song_file song = song_from_score(compiled);
    write_song(out, song);
    std::fprintf(messages::stream(), "%s: %u channel%s, %zu frames, %s%s\n", out.c_str(), compiled.channels,
                compiled.channels == 1 ? "" : "s", compiled.frame_count(),
                clock_time(compiled.frame_count(), compiled.frame_rate).c_str(),
                song.compressed() ? (", packed to " + percent(song.body.size(), song.unpacked_size)).c_str() : "");
    return 0;
}

int run(const std::vector<std::string>& args) {
    if (args.empty()) return usage_error("no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (command == "--version" || command == "-V") {
        std::puts("tuntool " PLAYTUN_VERSION);
        return 0;
    }
    auto want = [&](size_t count) {
        if (args.size() != count + 1) {
            usage_error(command + " takes " + std::to_string(count) + " argument" + (count == 1 ? "" : "s"));
            return false;
        }
        return true;
    };
    if (command == "info" && args.size() > 1 && args[1] == "--json")
        return args.size() > 2 ? tuntool::info_json(std::vector<std::string>(args.begin() + 2, args.end()))
                               : usage_error("info --json takes one or more songs");
    if (command == "info")
        return args.size() > 1 ? info({args.begin() + 1, args.end()}) : usage_error("info takes one or more songs");
    if (command == "render") return tuntool::render_command(std::vector<std::string>(args.begin() + 1, args.end()));
    if (command == "pack") return want(2) ? pack(args[1], args[2]) : 2;
    if (command == "unpack") return want(2) ? unpack(args[1], args[2]) : 2;
    if (command == "build") return want(2) ? build(args[1], args[2]) : 2;
    if (command == "import") return tuntool::import_command({args.begin() + 1, args.end()});
    if (command == "relayout") {
        if (!want(3)) return 2;
        if (args[3] != "--planar" && args[3] != "--interleaved")
            return usage_error("relayout takes --planar or --interleaved, not " + args[3]);
        return relayout(args[1], args[2], args[3] == "--interleaved");
    }
    return usage_error("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv) {
    // Ctrl-C removes the temporary file of an unfinished output.
    stop_signals::install(false);
    const std::vector<std::string> args(argv + 1, argv + argc);
    int status = 1;
    try {
        status = run(args);
    } catch (const tool_error& e) {
        std::fprintf(stderr, "tuntool: %s\n", e.what());
    } catch (const std::bad_alloc&) {
        // Temporary files of unfinished outputs were discarded on the way.
        std::fprintf(stderr, "tuntool: out of memory\n");
    }
    // What went to standard output (info, help, a report line) must have arrived.
    return standard_output::finish("tuntool", status);
}
