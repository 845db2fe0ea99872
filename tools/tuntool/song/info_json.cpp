#include "info_json.hpp"

#include <cstdio>

#include "base/messages.hpp"
#include "song/song.hpp"
#include "stored_song.hpp"

namespace tuntool {
namespace {

constexpr uint32_t playback_rate = song::output_rate;

// The length of the UTF-8 sequence starting at `at`, or 0 when the bytes
// there are not one (overlong forms, surrogates and values past U+10FFFF
// included).
size_t utf8_sequence(const std::string& s, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(at);
    size_t length;
    uint32_t value;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > s.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        value = value << 6 | (byte(at + i) & 0x3F);
    }
    const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF) return 0;
    return length;
}

void put_code_point(std::string& out, uint32_t value) {
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else {
        out += static_cast<char>(0xC0 | value >> 6);
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

std::string number(uint64_t value) { return std::to_string(value); }

// frames / rate with three decimals, rounded to the nearest.
std::string seconds_text(uint64_t frames, uint32_t rate) {
    const uint64_t thousandths = (frames * 1000 + rate / 2) / rate;
    char text[48];
    std::snprintf(text, sizeof text, "%llu.%03llu", static_cast<unsigned long long>(thousandths / 1000),
                  static_cast<unsigned long long>(thousandths % 1000));
    return text;
}

struct json_object {
    std::string text;
    void field(const std::string& name, const std::string& value) {
        text += (text.empty() ? "{" : ", ") + json_string(name) + ": " + value;
    }
    std::string close() const { return text + "}"; }
};

std::string describe(const std::string& path, bool& playable) {
    json_object o;
    o.field("file", json_string(path));
    std::vector<uint8_t> bytes;
    stored_song song;
    try {
        bytes = read_song_file(path);
        song = parse_song_file(bytes);
    } catch (const tool_error& e) {
        playable = false;
        o.field("playable", "false");
        o.field("reason", json_string(e.what()));
        return o.close();
    }
    // A song whose unpacked size is past the limit is refused here: the
    // player's header reader is not given it.
    const std::string too_large = unpacked_size_problem(bytes);
    song::song_state state;
    song::header_outcome outcome = song::header_outcome::ok;
    if (too_large.empty()) {
        outcome = song::load_song_bytes(state, bytes);
        if (outcome == song::header_outcome::ok) outcome = song::read_header(state, playback_rate);
    }
    playable = too_large.empty() && outcome == song::header_outcome::ok;
    o.field("variant", json_string(song.chip_variant() ? "chip" : "plain"));
    o.field("channels", number(song.channel_count()));
    o.field("layout", json_string(song.interleaved() ? "interleaved" : "planar"));
    o.field("compressed", song.compressed() ? "true" : "false");
    const auto frames = static_cast<uint64_t>(state.frame_total);
    o.field("frames", playable ? number(frames) : "null");
    o.field("frame_rate", number(song.frame_rate));
    o.field("loop_frame", number(song.loop_frame));
    o.field("no_repeat_found", song.no_repeat_found() ? "true" : "false");
    o.field("seconds", playable && song.frame_rate != 0 ? seconds_text(frames, song.frame_rate) : "null");
    o.field("text", json_string(std::string(song.text.begin(), song.text.end())));
    o.field("playable", playable ? "true" : "false");
    if (!playable) o.field("reason", json_string(too_large.empty() ? song::song_error_message(outcome) : too_large));
    return o.close();
}

}  // namespace

std::string json_string(const std::string& bytes) {
    std::string out = "\"";
    for (size_t at = 0; at < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[at]);
        if (c >= 0x80) {
            const size_t length = utf8_sequence(bytes, at);
            if (length != 0) {
                out.append(bytes, at, length);
                at += length;
            } else {
                put_code_point(out, c);
                ++at;
            }
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
        ++at;
    }
    return out + "\"";
}

int info_json(const std::vector<std::string>& paths) {
    // Standard output carries the JSON alone.
    messages::divert_to_standard_error();
    bool all_playable = true;
    std::string out = "[";
    for (size_t i = 0; i < paths.size(); ++i) {
        bool playable = false;
        out += (i == 0 ? "\n  " : ",\n  ") + describe(paths[i], playable);
        all_playable = all_playable && playable;
    }
    out += paths.empty() ? "]\n" : "\n]\n";
    std::fputs(out.c_str(), stdout);
    return all_playable ? 0 : 1;
}

}  // namespace tuntool
