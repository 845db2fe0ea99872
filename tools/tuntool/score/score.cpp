#include "score.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "score_arrange.hpp"
#include "score_limits.hpp"
#include "score_parse.hpp"
#include "score_voice.hpp"

namespace score {
namespace {

struct position {
    int line = 1;
    int column = 1;
};

// The line and column (both from 1) of an offset.
position locate(std::string_view source, offset at) {
    const std::string_view before = source.substr(0, at);
    const size_t line_start = before.rfind('\n') + 1;  // 0 on the first line
    return {static_cast<int>(std::count(before.begin(), before.end(), '\n')) + 1,
            static_cast<int>(before.size() - line_start) + 1};
}

std::string signed_number(int n) { return n > 0 ? std::string("+").append(std::to_string(n)) : std::to_string(n); }

// Meets the settings and instrument changes before a channel's next step
// and gives the step, or nothing at the end of the channel's part of the
// pattern (a channel the pattern leaves out holds at every step).
std::optional<cursor::visit> next_step(cursor& track, channel_voice& voice, const score_text& s) {
    while (const auto v = track.next()) {
        const item& one = *v->one;
        if (one.what == item::kind::change) {
            setting change{one.key, one.value, {}};
            if (one.key == setting_key::arp) change.arp = s.arps[static_cast<size_t>(one.value)];
            apply(change, voice.tone);
        } else if (one.what == item::kind::use) {
            voice.tone = s.instruments[static_cast<size_t>(one.value)].tone;
        } else {
            return v;
        }
    }
    return std::nullopt;
}

void play_step(cursor& track, channel_voice& voice, const score_text& s) {
    const auto step = next_step(track, voice, s);
    if (!step) return;
    const item& one = *step->one;
    if (one.what == item::kind::note) {
        const int note = one.value + step->transpose;
        if (note < 0 || note > highest_note)
            fail_at(one.at, {"note ", note_name(one.value), step->transpose != 0 ? " transposed by " : "",
                             step->transpose != 0 ? signed_number(step->transpose) : "", " leaves C-0..B-7"});
        voice.start(note);
    } else if (one.what == item::kind::hit) {
        voice.tone = s.instruments[static_cast<size_t>(one.value)].tone;
        voice.start(voice.tone.note);
    } else if (one.what == item::kind::release) {
        voice.release();
    }
}

// Writes the song: the play order walked once more, each pattern step by
// step in all channels, and each step's frames.
compiled_song write_song(const score_text& s, const arrangement& song) {
    compiled_song out;
    out.chip_variant = s.chip;
    out.frame_rate = s.rate;
    out.loop_frame = static_cast<uint32_t>(song.loop_frame);
    out.text = s.text;
    out.channels = s.channels;
    out.interleaved = s.interleaved;
    out.compressed = s.compressed;
    out.records.reserve(song.frames * s.channels);

    std::vector<channel_voice> voices(s.channels);
    std::vector<cursor> tracks(s.channels);
    uint64_t step = 0;
    cursor walk(s.play, 0);
    while (const auto entry = walk.next()) {
        const item& one = *entry->one;
        if (one.what == item::kind::loop) continue;
        const pattern& p = s.patterns[static_cast<size_t>(one.value)];
        for (unsigned c = 0; c < s.channels; ++c) {
            next_step(tracks[c], voices[c], s);  // settings after the last step of the pattern before
            tracks[c] = p.channels[c].given ? cursor(p.channels[c].items, entry->transpose + one.transpose) : cursor();
        }
        for (uint64_t i = 0; i < p.steps; ++i, ++step) {
            for (unsigned c = 0; c < s.channels; ++c) play_step(tracks[c], voices[c], s);
            const int frames = s.tempo[step % s.tempo.size()];
            for (int f = 0; f < frames; ++f)
                for (unsigned c = 0; c < s.channels; ++c) out.records.push_back(voices[c].next_frame(s.chip));
        }
    }
    return out;
}

}  // namespace

compiled_song compile_score(std::string_view source) {
    constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
    if (source.starts_with(byte_order_mark)) source.remove_prefix(byte_order_mark.size());
    try {
        if (source.size() > max_score_bytes)
            fail_at(max_score_bytes, {"the score is longer than ", std::to_string(max_score_bytes), " bytes"});
        score_text s = parse_score(source);
        const std::vector<pattern_shape> shapes = check_patterns(s);
        const arrangement song = arrange(s, shapes);
        if (song.steps == 0) fail_at(s.play.empty() ? *s.play_at : s.play.front().at, "the play line plays nothing");
        compiled_song out = write_song(s, song);
        if (song.loop_step && *song.loop_step >= song.steps) fail_at(*s.loop_at, "loop stands after the last step");
        return out;
    } catch (const failure& f) {
        const position at = locate(source, f.at);
        throw score_error(at.line, at.column, f.message);
    }
}

}  // namespace score
