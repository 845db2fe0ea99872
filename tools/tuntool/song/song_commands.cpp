#include "song_commands.hpp"

#include <cstdio>
#include <new>

#include "base/fail.hpp"
#include "base/messages.hpp"
#include "base/output_file.hpp"
#include "base/shown_name.hpp"
#include "file_io.hpp"
#include "info_json.hpp"
#include "selector/song_facts.hpp"
#include "song/song.hpp"

namespace tuntool {
namespace {

constexpr uint32_t playback_rate = song::output_rate;

// An imported song whose tune showed no repeat loops to its start with a jump.
const char* no_repeat_note(const stored_song& song) {
    return song.no_repeat_found() ? ", no repeat found when imported" : "";
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

void print_compression(const stored_song& song) {
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
    stored_song song;
    try {
        bytes = read_song_file(path);
    } catch (const tool_error& e) {
        failure::report_problem(std::string("tuntool: ") + e.what());
        return 1;
    }
    const std::string too_large = unpacked_size_problem(bytes);
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
        song = parse_song_file(bytes);
    } catch (const tool_error& e) {
        failure::report_problem("tuntool: " + names::shown_name(path) + ": " + e.what() +
                                "; playtun refuses it: " + refusal);
        return 1;
    }

    std::printf("%s\n", names::shown_name(path).c_str());
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
        std::printf("  loop frame   %u (%s)%s%s\n", song.loop_frame,
                    clock_time(song.loop_frame, song.frame_rate).c_str(),
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
    failure::report_problem("tuntool: " + names::shown_name(path) + ": playtun refuses it: " + refusal);
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

// A song read and taken apart; a read error names the file itself, a song
// that cannot be taken apart is named here.
stored_song read_song(const std::string& path) {
    const std::vector<uint8_t> bytes = read_song_file(path);
    try {
        return parse_song_file(bytes);
    } catch (const tool_error& e) {
        throw tool_error(names::shown_name(path) + ": " + e.what());
    }
}

// Runs a conversion, naming the input file in its error.
template <typename conversion>
stored_song convert(const std::string& in, conversion&& change) {
    const stored_song song = read_song(in);
    try {
        return change(song);
    } catch (const tool_error& e) {
        throw tool_error(names::shown_name(in) + ": " + e.what());
    }
}

int pack(const std::string& in, const std::string& out) {
    report_for(out);
    const stored_song song = read_song(in);
    if (song.compressed()) {
        // Packing again would gain nothing: the song is written as it is.
        write_song(out, song);
        std::fprintf(messages::stream(), "%s: already packed, copied unchanged\n", names::shown_name(out).c_str());
        return 0;
    }
    stored_song packed;
    try {
        packed = pack_song(song);
    } catch (const tool_error& e) {
        throw tool_error(names::shown_name(in) + ": " + e.what());
    }
    write_song(out, packed);
    std::fprintf(messages::stream(), "%s: %zu bytes of frame data packed into %zu (%s)\n",
                 names::shown_name(out).c_str(), static_cast<size_t>(packed.unpacked_size), packed.body.size(),
                 percent(packed.body.size(), packed.unpacked_size).c_str());
    return 0;
}

int unpack(const std::string& in, const std::string& out) {
    report_for(out);
    const stored_song unpacked = convert(in, unpack_song);
    write_song(out, unpacked);
    std::fprintf(messages::stream(), "%s: %zu bytes of frame data\n", names::shown_name(out).c_str(),
                 unpacked.body.size());
    return 0;
}

int relayout(const std::string& in, const std::string& out, bool to_interleaved) {
    report_for(out);
    const stored_song song = read_song(in);
    const stored_song converted =
        convert(in, [to_interleaved](const stored_song& s) { return relayout_song(s, to_interleaved); });
    write_song(out, converted);
    const char* layout = to_interleaved ? "interleaved" : "planar";
    if (song.interleaved() == to_interleaved) {
        std::fprintf(messages::stream(), "%s: already %s, copied unchanged\n", names::shown_name(out).c_str(), layout);
    } else {
        std::fprintf(messages::stream(), "%s: %s%s\n", names::shown_name(out).c_str(), layout,
                     song.compressed() ? ", packed again" : "");
    }
    return 0;
}

}  // namespace

int usage_error(const std::string& message) {
    return failure::report_usage_error("tuntool: " + message, "tuntool --help");
}

bool has_arguments(const std::vector<std::string>& args, size_t count, const std::string& command) {
    if (args.size() == count) return true;
    usage_error(command + " takes " + std::to_string(count) + " argument" + (count == 1 ? "" : "s"));
    return false;
}

std::string percent(size_t part, size_t whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %%", whole == 0 ? 0.0 : 100.0 * static_cast<double>(part) / whole);
    return text;
}

// The same form as the selector's facts rows, which must agree with info.
std::string clock_time(uint64_t frames, unsigned rate) { return selector::length_text(frames, rate); }

void write_song(const std::string& path, const stored_song& song) { write_file_replacing(path, song_file_bytes(song)); }

void report_for(const std::string& out) {
    if (output_files::is_standard_output(out)) messages::divert_to_standard_error();
}

int info_command(const std::vector<std::string>& args) {
    if (!args.empty() && args[0] == "--json")
        return args.size() > 1 ? info_json(std::vector<std::string>(args.begin() + 1, args.end()))
                               : usage_error("info --json takes one or more songs");
    return !args.empty() ? info(args) : usage_error("info takes one or more songs");
}

int pack_command(const std::vector<std::string>& args) {
    return has_arguments(args, 2, "pack") ? pack(args[0], args[1]) : 2;
}

int unpack_command(const std::vector<std::string>& args) {
    return has_arguments(args, 2, "unpack") ? unpack(args[0], args[1]) : 2;
}

int relayout_command(const std::vector<std::string>& args) {
    if (!has_arguments(args, 3, "relayout")) return 2;
    if (args[2] != "--planar" && args[2] != "--interleaved")
        return usage_error("relayout takes --planar or --interleaved, not " + args[2]);
    return relayout(args[0], args[1], args[2] == "--interleaved");
}

}  // namespace tuntool
