#include "score.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <cctype>
#include <optional>

namespace score {
namespace {

constexpr size_t max_frames = 1u << 20;  // about 5.8 hours at 50 frames a second
constexpr int max_repeat = 9999;
constexpr int highest_note = 95;        // B-7
constexpr size_t max_text_length = 65519;

struct position {
    int line = 0;
    int column = 0;
};

[[noreturn]] void fail_at(position at, const std::string& message) {
    throw score_error(at.line, at.column, message);
}

position shifted(position at, size_t columns) { return {at.line, at.column + static_cast<int>(columns)}; }

// ---------------------------------------------------------------- words

struct word {
    std::string text;
    position at;
    bool quoted = false;
};

// Splits one line into words. Whitespace separates words; "(", ")" and "|"
// are words of their own (")" keeps a "*N" that follows it); a word that
// starts with "#" begins a comment; "..." is one quoted word.
std::vector<word> split_line(std::string_view line, int line_number) {
    std::vector<word> words;
    size_t i = 0;
    auto column = [&](size_t at) { return position{line_number, static_cast<int>(at) + 1}; };
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            word w{"", column(i), true};
            size_t j = i + 1;
            for (;; ++j) {
                if (j >= line.size()) fail_at(column(i), "text in quotes has no closing quote");
                if (line[j] == '"') break;
                if (line[j] == '\\' && j + 1 < line.size() && (line[j + 1] == '"' || line[j + 1] == '\\')) ++j;
                w.text += line[j];
            }
            words.push_back(w);
            i = j + 1;
        } else if (c == '(' || c == '|') {
            words.push_back({std::string(1, c), column(i)});
            ++i;
        } else if (c == ')') {
            size_t j = i + 1;
            while (j < line.size() && (line[j] == '*' || line[j] == '+' || line[j] == '-' ||
                                       (line[j] >= '0' && line[j] <= '9')))
                ++j;
            words.push_back({std::string(line.substr(i, j - i)), column(i)});
            i = j;
        } else {
            size_t j = i;
            while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r' && line[j] != '(' &&
                   line[j] != ')' && line[j] != '|' && line[j] != '"')
                ++j;
            words.push_back({std::string(line.substr(i, j - i)), column(i)});
            i = j;
        }
    }
    return words;
}

std::optional<long> to_number(std::string_view text) {
    if (text.empty()) return std::nullopt;
    bool negative = false;
    if (text[0] == '-' || text[0] == '+') {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 9) return std::nullopt;
    long value = 0;
    for (char c : text) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return std::nullopt;
        value = value * base + digit;
    }
    return negative ? -value : value;
}

long number_in(std::string_view text, position at, long low, long high, const std::string& what) {
    const auto value = to_number(text);
    if (!value) fail_at(at, what + " needs a number, not \"" + std::string(text) + "\"");
    if (*value < low || *value > high)
        fail_at(at, what + " takes " + std::to_string(low) + ".." + std::to_string(high) + ", not " +
                        std::to_string(*value));
    return *value;
}

bool is_name(std::string_view text) {
    if (text.empty() || !(std::isalpha(static_cast<unsigned char>(text[0])) || text[0] == '_')) return false;
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// ---------------------------------------------------------------- notes

// A note word: letter A..G in either case, an optional "-", "#" or "b",
// and an octave 0..7: C-4, c#4, Db3, a3, bb2.
std::optional<int> parse_note(std::string_view text) {
    static constexpr std::array<int, 7> semitone_of_letter{9, 11, 0, 2, 4, 5, 7};  // A..G
    if (text.size() < 2 || text.size() > 3) return std::nullopt;
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    if (letter < 'a' || letter > 'g') return std::nullopt;
    int note = semitone_of_letter[letter - 'a'];
    if (text.size() == 3) {
        if (text[1] == '#') ++note;
        else if (text[1] == 'b') --note;
        else if (text[1] != '-') return std::nullopt;
    }
    const char octave = text.back();
    if (octave < '0' || octave > '7') return std::nullopt;
    return note + 12 * (octave - '0');
}

std::string note_name(int note) {
    static constexpr std::array<const char*, 12> names{"C-", "C#", "D-", "D#", "E-", "F-",
                                                      "F#", "G-", "G#", "A-", "A#", "B-"};
    return std::string(names[((note % 12) + 12) % 12]) + std::to_string(note / 12);
}

// ---------------------------------------------------------------- sounds

enum class test_mode { off, start, on };

// Everything that decides how a channel sounds; an instrument is a named
// sound, and settings in a pattern change the sound of their channel.
struct sound {
    int volume = 200;
    int attack = 0;   // per frame, 0: full volume at once
    int decay = 0;    // per frame, down to sustain
    int sustain = 0;
    int release = 255;  // per frame after "---"
    int pulse = 128;
    int sweep = 0;  // added to the pulse every frame, wrapping
    int filter = 255;
    int pan_left = 0;   // pan codes: 0 full, 1 half, 2 eighth, 3 off
    int pan_right = 0;
    bool noise = false;
    uint8_t wave = 0x40;  // chip waveform bits 4..7
    bool sync = false;
    bool ring = false;
    test_mode test = test_mode::off;
    int control = -1;  // a raw control byte, or -1
    std::vector<int> arp;
    double bend = 0;  // semitones per frame
    int vibrato_depth = 0;  // cents
    int vibrato_period = 0;  // frames
    int note = -1;  // the note a bare instrument name plays
};

using setting = std::function<void(sound&)>;

struct setting_word {
    setting change;
    bool chip_only = false;
};

bool on_off(std::string_view value, position at, const std::string& key) {
    if (value == "on" || value == "yes") return true;
    if (value == "off" || value == "no") return false;
    fail_at(at, key + " takes on or off, not \"" + std::string(value) + "\"");
}

// Parses "key=value".
setting_word parse_setting(const word& w) {
    const size_t equals = w.text.find('=');
    const std::string key = lower(std::string_view(w.text).substr(0, equals));
    const std::string value = w.text.substr(equals + 1);
    const position at = shifted(w.at, equals + 1);
    auto byte_setting = [&](int sound::*field) -> setting_word {
        const int v = static_cast<int>(number_in(value, at, 0, 255, key));
        return {[field, v](sound& s) { s.*field = v; }};
    };
    if (key == "vol" || key == "volume") return byte_setting(&sound::volume);
    if (key == "attack") return byte_setting(&sound::attack);
    if (key == "decay") return byte_setting(&sound::decay);
    if (key == "sustain") return byte_setting(&sound::sustain);
    if (key == "release") return byte_setting(&sound::release);
    if (key == "pulse") return byte_setting(&sound::pulse);
    if (key == "filter") return byte_setting(&sound::filter);
    if (key == "ctrl" || key == "control") return byte_setting(&sound::control);
    if (key == "sweep") {
        const int v = static_cast<int>(number_in(value, at, -255, 255, key));
        return {[v](sound& s) { s.sweep = v; }};
    }
    if (key == "pan") {
        // C, L, R, LC (left, right side at half), RC, or two codes "left:right".
        static const std::map<std::string, std::pair<int, int>> named{
            {"c", {0, 0}}, {"l", {0, 3}}, {"r", {3, 0}}, {"lc", {0, 1}}, {"rc", {1, 0}}};
        std::pair<int, int> codes;
        if (const auto found = named.find(lower(value)); found != named.end()) {
            codes = found->second;
        } else if (value.size() == 3 && value[1] == ':' && value[0] >= '0' && value[0] <= '3' && value[2] >= '0' &&
                   value[2] <= '3') {
            codes = {value[0] - '0', value[2] - '0'};
        } else {
            fail_at(at, "pan takes C, L, R, LC, RC or left:right codes 0..3, not \"" + value + "\"");
        }
        return {[codes](sound& s) { s.pan_left = codes.first, s.pan_right = codes.second; }};
    }
    if (key == "noise") {
        const bool v = on_off(value, at, key);
        return {[v](sound& s) { s.noise = v; }};
    }
    if (key == "wave") {
        static const std::map<std::string, uint8_t> bits{{"tri", 0x10}, {"saw", 0x20}, {"pulse", 0x40}, {"noise", 0x80}};
        uint8_t wave = 0;
        size_t start = 0;
        while (start <= value.size()) {
            const size_t plus = std::min(value.find('+', start), value.size());
            const auto found = bits.find(lower(std::string_view(value).substr(start, plus - start)));
            if (found == bits.end())
                fail_at(shifted(at, start), "wave takes tri, saw, pulse, noise or a sum like tri+saw");
            wave |= found->second;
            start = plus + 1;
        }
        return {[wave](sound& s) {
                    s.wave = wave;
                    if (wave & 0x80) s.noise = true;
                },
                true};
    }
    if (key == "sync" || key == "ring") {
        const bool v = on_off(value, at, key);
        if (key == "sync") return {[v](sound& s) { s.sync = v; }, true};
        return {[v](sound& s) { s.ring = v; }, true};
    }
    if (key == "test") {
        test_mode mode;
        if (value == "off") mode = test_mode::off;
        else if (value == "start") mode = test_mode::start;
        else if (value == "on") mode = test_mode::on;
        else fail_at(at, "test takes off, start or on, not \"" + value + "\"");
        return {[mode](sound& s) { s.test = mode; }, true};
    }
    if (key == "arp") {
        std::vector<int> steps;
        size_t start = 0;
        while (start <= value.size()) {
            const size_t comma = std::min(value.find(',', start), value.size());
            steps.push_back(static_cast<int>(
                number_in(std::string_view(value).substr(start, comma - start), shifted(at, start), -24, 24, "arp")));
            start = comma + 1;
        }
        if (steps.size() > 16) fail_at(at, "arp takes at most 16 steps");
        return {[steps](sound& s) { s.arp = steps; }};
    }
    if (key == "bend") {
        // Semitones per frame with up to two decimals: -1.5, 0.25, 2.
        std::string_view v = value;
        const bool negative = !v.empty() && v[0] == '-';
        if (!v.empty() && (v[0] == '-' || v[0] == '+')) v.remove_prefix(1);
        const size_t dot = v.find('.');
        const std::string_view whole = v.substr(0, dot);
        std::string fraction(dot == std::string_view::npos ? "" : v.substr(dot + 1));
        const bool digits_only = std::all_of(whole.begin(), whole.end(), ::isdigit) &&
                                 std::all_of(fraction.begin(), fraction.end(), ::isdigit);
        if (!digits_only || (whole.empty() && fraction.empty()) || fraction.size() > 2 || whole.size() > 2)
            fail_at(at, "bend takes semitones per frame like -1.5 or 0.25, not \"" + value + "\"");
        fraction.resize(2, '0');
        const long hundredths = (whole.empty() ? 0 : std::stol(std::string(whole))) * 100 + std::stol(fraction);
        if (hundredths > 1200) fail_at(at, "bend takes -12 to 12 semitones per frame, not " + value);
        const double per_frame = (negative ? -hundredths : hundredths) / 100.0;
        return {[per_frame](sound& s) { s.bend = per_frame; }};
    }
    if (key == "vib" || key == "vibrato") {
        const size_t comma = value.find(',');
        if (comma == std::string::npos) fail_at(at, "vib takes depth,period: cents 0..200 and frames 2..255");
        const int depth = static_cast<int>(number_in(value.substr(0, comma), at, 0, 200, "vib depth"));
        const int period = static_cast<int>(
            number_in(value.substr(comma + 1), shifted(at, comma + 1), 2, 255, "vib period"));
        return {[depth, period](sound& s) { s.vibrato_depth = depth, s.vibrato_period = period; }};
    }
    if (key == "note") {
        const auto note = parse_note(value);
        if (!note || *note < 0 || *note > highest_note) fail_at(at, "note takes a note like C-4, not \"" + value + "\"");
        const int v = *note;
        return {[v](sound& s) { s.note = v; }};
    }
    fail_at(w.at, "unknown setting \"" + key + "\"");
}

// ---------------------------------------------------------------- patterns

struct item {
    enum class kind { note, hold, release, hit, use, change, group } what = kind::hold;
    position at;
    int note = 0;
    std::string name;  // hit, use: instrument
    setting change;
    std::vector<item> inner;  // group
    int repeat = 1;
    int transpose = 0;  // group

    static item made(kind what, position at) {
        item one;
        one.what = what;
        one.at = at;
        return one;
    }
};

struct pattern {
    std::string name;
    position at;
    std::map<unsigned, std::vector<item>> channels;  // channel from 1
    std::map<unsigned, position> first_line;
};

struct play_item {
    enum class kind { pattern, group, loop } what = kind::pattern;
    position at;
    std::string name;
    int transpose = 0;
    std::vector<play_item> inner;
    int repeat = 1;

    static play_item made(kind what, position at) {
        play_item one;
        one.what = what;
        one.at = at;
        return one;
    }
};

// Splits "X*N" into X and N; a word without "*N" repeats once.
std::pair<std::string_view, int> split_repeat(const word& w) {
    const std::string_view text = w.text;
    const size_t star = text.rfind('*');
    if (star == std::string_view::npos || star == 0) return {text, 1};
    const int count =
        static_cast<int>(number_in(text.substr(star + 1), shifted(w.at, star + 1), 1, max_repeat, "repeat count"));
    return {text.substr(0, star), count};
}

struct parse_state {
    std::vector<word> words;
    size_t next = 0;
    bool at_end() const { return next >= words.size(); }
};

struct group_close {
    int transpose = 0;
    int repeat = 1;
};

// Reads the ")" that closes a group, with its optional transposition and
// repeat count: ")", ")*4", ")+2", ")-12*2".
group_close read_group_close(const word& close) {
    group_close out;
    const std::string_view text = std::string_view(close.text).substr(1);
    const size_t star = text.find('*');
    const std::string_view shift = text.substr(0, star);
    if (!shift.empty())
        out.transpose = static_cast<int>(number_in(shift, shifted(close.at, 1), -48, 48, "transpose"));
    if (star != std::string_view::npos)
        out.repeat = static_cast<int>(number_in(text.substr(star + 1), shifted(close.at, star + 2), 1, max_repeat,
                                                "repeat count"));
    return out;
}

std::vector<item> parse_items(parse_state& in, bool inside_group, const word* open, std::vector<position>& chip_uses) {
    std::vector<item> items;
    while (!in.at_end()) {
        const word& w = in.words[in.next++];
        if (w.text == "|") continue;
        if (w.quoted) fail_at(w.at, "text in quotes does not belong in a pattern");
        if (w.text == "(") {
            item group = item::made(item::kind::group, w.at);
            group.inner = parse_items(in, true, &w, chip_uses);
            const group_close close = read_group_close(in.words[in.next - 1]);
            group.repeat = close.repeat;
            group.transpose = close.transpose;
            items.push_back(std::move(group));
            continue;
        }
        if (w.text[0] == ')') {
            if (!inside_group) fail_at(w.at, "\")\" without \"(\"");
            return items;
        }
        if (w.text[0] != '=' && w.text.find('=') != std::string::npos) {
            setting_word s = parse_setting(w);
            if (s.chip_only) chip_uses.push_back(w.at);
            item change = item::made(item::kind::change, w.at);
            change.change = std::move(s.change);
            items.push_back(std::move(change));
            continue;
        }
        auto [body, count] = split_repeat(w);
        item one = item::made(item::kind::hold, w.at);
        if (body == "===" || body == ".") {
            one.what = item::kind::hold;
        } else if (body == "---") {
            one.what = item::kind::release;
        } else if (body[0] == '@') {
            if (count != 1) fail_at(w.at, "an instrument change takes no step to repeat");
            if (!is_name(body.substr(1))) fail_at(w.at, "\"@\" needs an instrument name");
            one.what = item::kind::use;
            one.name = std::string(body.substr(1));
        } else if (const auto note = parse_note(body)) {
            one.what = item::kind::note;
            one.note = *note;
        } else if (is_name(body)) {
            one.what = item::kind::hit;
            one.name = std::string(body);
        } else {
            fail_at(w.at, "\"" + std::string(body) + "\" is not a note, ---, ===, setting or instrument");
        }
        if (count == 1) {
            items.push_back(std::move(one));
        } else {
            item group = item::made(item::kind::group, w.at);
            group.inner.push_back(std::move(one));
            group.repeat = count;
            items.push_back(std::move(group));
        }
    }
    if (inside_group) fail_at(open->at, "\"(\" without \")\"");
    return items;
}

std::vector<play_item> parse_play_items(parse_state& in, bool inside_group, const word* open) {
    std::vector<play_item> items;
    while (!in.at_end()) {
        const word& w = in.words[in.next++];
        if (w.text == "|") continue;
        if (w.quoted) fail_at(w.at, "text in quotes does not belong in a play line");
        if (w.text == "(") {
            play_item group = play_item::made(play_item::kind::group, w.at);
            group.inner = parse_play_items(in, true, &w);
            const group_close close = read_group_close(in.words[in.next - 1]);
            group.repeat = close.repeat;
            group.transpose = close.transpose;
            items.push_back(std::move(group));
            continue;
        }
        if (w.text[0] == ')') {
            if (!inside_group) fail_at(w.at, "\")\" without \"(\"");
            return items;
        }
        if (w.text == "loop") {
            items.push_back(play_item::made(play_item::kind::loop, w.at));
            continue;
        }
        auto [body, count] = split_repeat(w);
        play_item one = play_item::made(play_item::kind::pattern, w.at);
        const size_t sign = body.find_first_of("+-");
        one.name = std::string(body.substr(0, sign));
        if (!is_name(one.name)) fail_at(w.at, "\"" + std::string(body) + "\" is not a pattern name");
        if (sign != std::string_view::npos)
            one.transpose = static_cast<int>(number_in(body.substr(sign), shifted(w.at, sign), -48, 48, "transpose"));
        one.repeat = count;
        items.push_back(std::move(one));
    }
    if (inside_group) fail_at(open->at, "\"(\" without \")\"");
    return items;
}

// ---------------------------------------------------------------- the score

struct instrument {
    position at;
    sound tone;
};

struct score_text {
    std::map<std::string, std::optional<position>> seen;  // header keywords given
    bool chip = false;
    uint16_t rate = 50;
    std::vector<int> tempo{6};
    unsigned channels = 0;
    position channels_at;
    bool interleaved = true;
    bool compressed = false;
    std::string text;
    std::map<std::string, instrument> instruments;
    std::vector<pattern> patterns;
    std::map<std::string, size_t> pattern_index;
    std::vector<play_item> play;
    bool has_play = false;
    std::vector<position> chip_uses;
    unsigned highest_channel = 0;
    position highest_channel_at;
};

void expect_count(const std::vector<word>& words, size_t count, const std::string& usage) {
    if (words.size() < count) fail_at(shifted(words[0].at, words[0].text.size()), usage);
    if (words.size() > count) fail_at(words[count].at, "unexpected \"" + words[count].text + "\"; " + usage);
}

void parse_header_line(score_text& s, const std::vector<word>& words, const std::string& keyword) {
    const word& first = words[0];
    if (s.seen.count(keyword)) fail_at(first.at, keyword + " is given twice");
    s.seen[keyword] = first.at;
    if (keyword == "variant") {
        expect_count(words, 2, "variant takes plain or chip");
        if (words[1].text == "chip") s.chip = true;
        else if (words[1].text != "plain") fail_at(words[1].at, "variant takes plain or chip");
    } else if (keyword == "rate") {
        expect_count(words, 2, "rate takes frames per second");
        s.rate = static_cast<uint16_t>(number_in(words[1].text, words[1].at, 1, 1000, "rate"));
    } else if (keyword == "tempo") {
        expect_count(words, 2, "tempo takes frames per step, or a list like 7,5 for swing");
        s.tempo.clear();
        const std::string& value = words[1].text;
        size_t start = 0;
        while (start <= value.size()) {
            const size_t comma = std::min(value.find(',', start), value.size());
            s.tempo.push_back(static_cast<int>(number_in(std::string_view(value).substr(start, comma - start),
                                                         shifted(words[1].at, start), 1, 255, "tempo")));
            start = comma + 1;
        }
        if (s.tempo.size() > 16) fail_at(words[1].at, "tempo takes at most 16 step lengths");
    } else if (keyword == "channels") {
        expect_count(words, 2, "channels takes a count 1..8");
        s.channels = static_cast<unsigned>(number_in(words[1].text, words[1].at, 1, 8, "channels"));
        s.channels_at = words[1].at;
    } else if (keyword == "layout") {
        expect_count(words, 2, "layout takes interleaved or planar");
        if (words[1].text == "planar") s.interleaved = false;
        else if (words[1].text != "interleaved") fail_at(words[1].at, "layout takes interleaved or planar");
    } else if (keyword == "compress") {
        expect_count(words, 2, "compress takes yes or no");
        s.compressed = on_off(words[1].text, words[1].at, "compress");
    } else if (keyword == "text") {
        expect_count(words, 2, "text takes one text in quotes");
        if (!words[1].quoted) fail_at(words[1].at, "text takes one text in quotes");
        for (size_t i = 0; i < words[1].text.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(words[1].text[i]);
            if (c < 0x20 || c > 0x7E) fail_at(shifted(words[1].at, i + 1), "text takes printable ASCII characters only");
        }
        if (words[1].text.size() > max_text_length) fail_at(words[1].at, "text is too long");
        s.text = words[1].text;
    }
}

score_text parse_score(std::string_view source) {
    score_text s;
    pattern* open_pattern = nullptr;
    int line_number = 0;
    size_t start = 0;
    while (start < source.size()) {
        const size_t end = std::min(source.find('\n', start), source.size());
        ++line_number;
        const std::vector<word> words = split_line(source.substr(start, end - start), line_number);
        start = end + 1;
        if (words.empty()) continue;
        const word& first = words[0];
        const std::string keyword = lower(first.text);

        // "1", "1:": a channel line of the pattern above.
        std::string_view channel_text = first.text;
        if (!channel_text.empty() && channel_text.back() == ':') channel_text.remove_suffix(1);
        if (!channel_text.empty() && std::isdigit(static_cast<unsigned char>(channel_text[0])) && !first.quoted) {
            if (open_pattern == nullptr) fail_at(first.at, "a channel line must follow a pattern line");
            const auto channel = static_cast<unsigned>(number_in(channel_text, first.at, 1, 8, "channel"));
            if (channel > s.highest_channel) s.highest_channel = channel, s.highest_channel_at = first.at;
            parse_state in{words, 1};
            auto items = parse_items(in, false, nullptr, s.chip_uses);
            auto& list = open_pattern->channels[channel];
            if (!open_pattern->first_line.count(channel)) open_pattern->first_line[channel] = first.at;
            for (auto& one : items) list.push_back(std::move(one));
            continue;
        }
        open_pattern = nullptr;

        if (keyword == "variant" || keyword == "rate" || keyword == "tempo" || keyword == "channels" ||
            keyword == "layout" || keyword == "compress" || keyword == "text") {
            parse_header_line(s, words, keyword);
        } else if (keyword == "instrument") {
            if (words.size() < 2 || !is_name(words[1].text))
                fail_at(words.size() < 2 ? shifted(first.at, first.text.size()) : words[1].at,
                        "instrument needs a name (letters, digits, _)");
            if (s.instruments.count(words[1].text))
                fail_at(words[1].at, "instrument " + words[1].text + " is defined twice");
            instrument made{words[1].at, {}};
            for (size_t i = 2; i < words.size(); ++i) {
                if (words[i].text.find('=') == std::string::npos || words[i].quoted)
                    fail_at(words[i].at, "instrument settings are key=value, not \"" + words[i].text + "\"");
                setting_word change = parse_setting(words[i]);
                if (change.chip_only) s.chip_uses.push_back(words[i].at);
                change.change(made.tone);
            }
            s.instruments[words[1].text] = made;
        } else if (keyword == "pattern") {
            expect_count(words, 2, "pattern takes a name");
            if (!is_name(words[1].text) || words[1].text == "loop")
                fail_at(words[1].at, "a pattern name is letters, digits and _ (and not \"loop\")");
            if (s.pattern_index.count(words[1].text))
                fail_at(words[1].at, "pattern " + words[1].text + " is defined twice");
            s.pattern_index[words[1].text] = s.patterns.size();
            s.patterns.push_back({words[1].text, words[1].at, {}, {}});
            open_pattern = &s.patterns.back();
        } else if (keyword == "play") {
            parse_state in{words, 1};
            for (auto& one : parse_play_items(in, false, nullptr)) s.play.push_back(std::move(one));
            s.has_play = true;
        } else {
            fail_at(first.at, "unknown line \"" + first.text +
                                  "\"; lines start with variant, rate, tempo, channels, layout, compress, text, "
                                  "instrument, pattern, play or a channel number");
        }
    }
    if (!s.has_play) fail_at({std::max(line_number, 1), 1}, "the score has no play line");
    if (!s.chip && !s.chip_uses.empty())
        fail_at(s.chip_uses.front(), "wave, sync, ring and test need \"variant chip\"");
    if (s.channels == 0) s.channels = std::max(1u, s.highest_channel);
    else if (s.highest_channel > s.channels)
        fail_at(s.highest_channel_at, "channel " + std::to_string(s.highest_channel) + " is above channels " +
                                          std::to_string(s.channels));
    return s;
}

// ---------------------------------------------------------------- compiling

// A step event or a change, in the order a channel meets them.
struct action {
    const item* what;
    int transpose;
};

const item hold_step = item::made(item::kind::hold, {});

void flatten_items(const std::vector<item>& items, int transpose, std::vector<action>& out) {
    for (const item& one : items) {
        if (one.what == item::kind::group) {
            for (int r = 0; r < one.repeat; ++r) flatten_items(one.inner, transpose + one.transpose, out);
        } else {
            out.push_back({&one, transpose});
        }
    }
}

size_t count_steps(const std::vector<item>& items) {
    size_t steps = 0;
    for (const item& one : items) {
        if (one.what == item::kind::group) steps += one.repeat * count_steps(one.inner);
        else if (one.what != item::kind::change && one.what != item::kind::use) ++steps;
        if (steps > max_frames) return steps;
    }
    return steps;
}

// Checks a pattern's instruments and notes and returns its length in steps.
size_t check_pattern(const score_text& s, const pattern& p) {
    std::function<void(const std::vector<item>&)> check = [&](const std::vector<item>& items) {
        for (const item& one : items) {
            if (one.what == item::kind::group) check(one.inner);
            if (one.what != item::kind::hit && one.what != item::kind::use) continue;
            const auto found = s.instruments.find(one.name);
            if (found == s.instruments.end())
                fail_at(one.at, "\"" + one.name + "\" is not a note, ---, ===, setting or instrument");
            if (one.what == item::kind::hit && found->second.tone.note < 0)
                fail_at(one.at, "instrument " + one.name + " has no note=, so it cannot play on its own");
        }
    };
    std::optional<size_t> steps;
    unsigned first_channel = 0;
    for (const auto& [channel, items] : p.channels) {
        check(items);
        const size_t count = count_steps(items);
        if (count == 0) fail_at(p.first_line.at(channel), "channel " + std::to_string(channel) + " has no steps");
        if (!steps) {
            steps = count;
            first_channel = channel;
        } else if (count != *steps) {
            fail_at(p.first_line.at(channel), "channel " + std::to_string(channel) + " has " + std::to_string(count) +
                                                  " steps but channel " + std::to_string(first_channel) + " has " +
                                                  std::to_string(*steps) + " in pattern " + p.name);
        }
    }
    if (!steps) fail_at(p.at, "pattern " + p.name + " has no channel lines");
    return *steps;
}

struct arrangement {
    std::vector<std::vector<action>> channel_actions;
    size_t steps = 0;
    std::optional<size_t> loop_step;
};

void arrange(const score_text& s, const std::vector<play_item>& items, int transpose,
             const std::vector<size_t>& pattern_steps, arrangement& out) {
    for (const play_item& one : items) {
        if (one.what == play_item::kind::loop) {
            if (!out.loop_step) out.loop_step = out.steps;
            continue;
        }
        for (int r = 0; r < one.repeat; ++r) {
            if (one.what == play_item::kind::group) {
                arrange(s, one.inner, transpose + one.transpose, pattern_steps, out);
                continue;
            }
            const auto found = s.pattern_index.find(one.name);
            if (found == s.pattern_index.end()) fail_at(one.at, "there is no pattern " + one.name);
            const pattern& p = s.patterns[found->second];
            const size_t steps = pattern_steps[found->second];
            if ((out.steps + steps) * static_cast<size_t>(*std::min_element(s.tempo.begin(), s.tempo.end())) >
                max_frames)
                fail_at(one.at, "the song grows longer than " + std::to_string(max_frames) + " frames");
            for (unsigned c = 1; c <= s.channels; ++c) {
                auto& actions = out.channel_actions[c - 1];
                const auto lines = p.channels.find(c);
                if (lines == p.channels.end()) {
                    for (size_t i = 0; i < steps; ++i) actions.push_back({&hold_step, 0});
                } else {
                    flatten_items(lines->second, transpose + one.transpose, actions);
                }
            }
            out.steps += steps;
        }
    }
}

// The state of one channel while the song is written out frame by frame.
struct channel_voice {
    sound tone;
    bool playing = false;
    bool gate = false;
    double hz = 0;
    int frame_in_note = 0;
    double bend_total = 0;
    int level = 0;
    bool attacking = false;
    int pulse = 128;

    void start(int note) {
        playing = true;
        gate = true;
        hz = note_hz(note);
        frame_in_note = 0;
        bend_total = 0;
        pulse = tone.pulse;
        attacking = tone.attack > 0;
        level = attacking ? std::min(tone.attack, tone.volume) : tone.volume;
        if (level >= tone.volume) attacking = false;
    }

    // "---": the note fades by the release from this step on, so the
    // default release of 255 silences it at once.
    void release() {
        if (!gate) return;
        gate = false;
        level = std::max(0, level - tone.release);
    }

    record next_frame(bool chip) {
        record r;
        r.pitch = static_cast<uint16_t>(tone.pan_left << 14 | tone.pan_right << 12);
        r.filter = static_cast<uint8_t>(tone.filter);
        uint8_t control = tone.control >= 0 ? static_cast<uint8_t>(tone.control) : 0;
        if (chip && tone.control < 0) control = static_cast<uint8_t>(tone.wave | tone.sync << 1 | tone.ring << 2);
        if (chip && playing &&
            ((tone.test == test_mode::start && frame_in_note == 0) || (tone.test == test_mode::on && gate)))
            control |= 0x08;
        r.control = control;
        if (!playing) {
            r.pulse = static_cast<uint8_t>(tone.pulse);
            return r;
        }
        double semitones = bend_total;
        if (!tone.arp.empty()) semitones += tone.arp[frame_in_note % tone.arp.size()];
        if (tone.vibrato_depth > 0 && tone.vibrato_period > 0) {
            // A triangle from -1 to 1 over the vibrato period.
            const double x = static_cast<double>(frame_in_note % tone.vibrato_period) / tone.vibrato_period;
            const double wave = x < 0.25 ? 4 * x : x < 0.75 ? 2 - 4 * x : 4 * x - 4;
            semitones += wave * tone.vibrato_depth / 100.0;
        }
        const double frequency = semitones == 0 ? hz : hz * std::exp2(semitones / 12.0);
        r.pitch = static_cast<uint16_t>(r.pitch | pitch_word(frequency) | (tone.noise ? 0x0800 : 0));
        r.pulse = static_cast<uint8_t>(pulse);
        r.volume = static_cast<uint8_t>(level);
        advance();
        return r;
    }

    void advance() {
        ++frame_in_note;
        bend_total += tone.bend;
        pulse = (pulse + tone.sweep) & 0xFF;
        if (!gate) {
            level = std::max(0, level - tone.release);
        } else if (attacking) {
            level = std::min(tone.volume, level + tone.attack);
            if (level >= tone.volume) attacking = false;
        } else if (level > tone.sustain) {
            level = std::max(tone.sustain, level - tone.decay);
        }
    }
};

}  // namespace

double note_hz(int note) {
    // Octave 4, from C-4 up; other octaves are exact powers of two away.
    static constexpr std::array<double, 12> octave_4{261.6255653005986, 277.1826309768721, 293.6647679174076,
                                                     311.1269837220809, 329.6275569128699, 349.2282314330039,
                                                     369.9944227116344, 391.9954359817493, 415.3046975799451,
                                                     440.0,             466.1637615180899, 493.8833012561241};
    const int octave = note >= 0 ? note / 12 : (note - 11) / 12;
    return std::ldexp(octave_4[note - 12 * octave], octave - 4);
}

uint16_t pitch_word(double hz) {
    hz = std::clamp(hz, 16.0, 4088.0);
    const long whole = std::lround(hz);
    int octave = 0;
    while (octave < 7 && whole >= (32l << octave)) ++octave;
    long mantissa;
    if (octave <= 4) {
        // The player plays floor((256 + m) x 2^o / 16) Hz: the smallest m that
        // reaches the whole number lands on it exactly.
        const long step = 1l << octave;
        mantissa = (whole * 16 + step - 1) / step - 256;
    } else {
        mantissa = std::lround(hz / (1l << (octave - 4))) - 256;
        if (mantissa > 255) {
            if (octave < 7) ++octave, mantissa = 0;
            else mantissa = 255;
        }
    }
    mantissa = std::clamp(mantissa, 0l, 255l);
    return static_cast<uint16_t>(octave << 8 | mantissa);
}

compiled_song compile_score(std::string_view source) {
    const score_text s = parse_score(source);

    std::vector<size_t> pattern_steps;
    for (const pattern& p : s.patterns) pattern_steps.push_back(check_pattern(s, p));

    arrangement song;
    song.channel_actions.resize(s.channels);
    arrange(s, s.play, 0, pattern_steps, song);
    if (song.steps == 0) fail_at(s.play.empty() ? position{1, 1} : s.play.front().at, "the play line plays nothing");

    compiled_song out;
    out.chip_variant = s.chip;
    out.frame_rate = s.rate;
    out.text = s.text;
    out.channels = s.channels;
    out.interleaved = s.interleaved;
    out.compressed = s.compressed;

    std::vector<channel_voice> voices(s.channels);
    std::vector<size_t> next_action(s.channels, 0);
    size_t frame = 0;
    for (size_t step = 0; step < song.steps; ++step) {
        if (song.loop_step && *song.loop_step == step) out.loop_frame = static_cast<uint32_t>(frame);
        for (unsigned c = 0; c < s.channels; ++c) {
            channel_voice& voice = voices[c];
            const auto& actions = song.channel_actions[c];
            for (;;) {
                const action& next = actions[next_action[c]++];
                const item& one = *next.what;
                if (one.what == item::kind::change) {
                    one.change(voice.tone);
                    continue;
                }
                if (one.what == item::kind::use) {
                    voice.tone = s.instruments.at(one.name).tone;
                    continue;
                }
                if (one.what == item::kind::note) {
                    const int note = one.note + next.transpose;
                    if (note < 0 || note > highest_note)
                        fail_at(one.at, "note " + note_name(one.note) + " transposed by " +
                                            std::to_string(next.transpose) + " leaves C-0..B-7");
                    voice.start(note);
                } else if (one.what == item::kind::hit) {
                    voice.tone = s.instruments.at(one.name).tone;
                    voice.start(voice.tone.note);
                } else if (one.what == item::kind::release) {
                    voice.release();
                }
                break;
            }
        }
        const int frames = s.tempo[step % s.tempo.size()];
        for (int f = 0; f < frames; ++f, ++frame)
            for (unsigned c = 0; c < s.channels; ++c) out.records.push_back(voices[c].next_frame(s.chip));
    }
    if (song.loop_step && *song.loop_step >= song.steps) fail_at(s.play.back().at, "loop stands after the last step");
    return out;
}

}  // namespace score
