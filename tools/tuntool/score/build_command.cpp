#include "build_command.hpp"

#include <cstdio>
#include <string_view>

#include "base/fail.hpp"
#include "base/messages.hpp"
#include "base/shown_name.hpp"
#include "file_io.hpp"
#include "score.hpp"
#include "score_limits.hpp"
#include "song_commands.hpp"

namespace score {
namespace {

using tuntool::stored_song;

stored_song song_from_score(const compiled_song& compiled) {
    stored_song song;
    song.magic = compiled.chip_variant ? song::chip_magic : song::plain_magic;
    song.flags = static_cast<uint8_t>(compiled.channels | tuntool::flag_interleaved);
    song.frame_rate = compiled.frame_rate;
    song.loop_frame = compiled.loop_frame;
    song.text.assign(compiled.text.begin(), compiled.text.end());
    song.body.reserve(compiled.records.size() * song::record_size);
    for (const record& r : compiled.records)
        song::put_record(song.body, r.pitch, r.pulse, r.control, r.volume, r.filter);
    if (!compiled.interleaved) song = tuntool::relayout_song(song, false);
    if (compiled.compressed) song = tuntool::pack_song(song);
    return song;
}

}  // namespace

int build_command(const std::vector<std::string>& args) {
    if (!tuntool::has_arguments(args, 2, "build")) return 2;
    const std::string& score_path = args[0];
    const std::string& out = args[1];
    // The score is not a song: writing the song over it would lose it.
    tuntool::refuse_same_file(score_path, out);
    tuntool::report_for(out);
    // One byte past the score's limit is enough for the compiler to name it.
    const std::vector<uint8_t> source = tuntool::read_whole_file(score_path, max_score_bytes);
    compiled_song compiled;
    try {
        compiled = compile_score(std::string_view(reinterpret_cast<const char*>(source.data()), source.size()));
    } catch (const score_error& e) {
        failure::report_problem(names::shown_name(score_path) + ":" + std::to_string(e.line) + ":" +
                                std::to_string(e.column) + ": " + e.what());
        return 1;
    }
    const stored_song song = song_from_score(compiled);
    tuntool::write_song(out, song);
    std::fprintf(
        messages::stream(), "%s: %u channel%s, %zu frames, %s%s\n", names::shown_name(out).c_str(), compiled.channels,
        compiled.channels == 1 ? "" : "s", compiled.frame_count(),
        tuntool::clock_time(compiled.frame_count(), compiled.frame_rate).c_str(),
        song.compressed() ? (", packed to " + tuntool::percent(song.body.size(), song.unpacked_size)).c_str() : "");
    return 0;
}

}  // namespace score
