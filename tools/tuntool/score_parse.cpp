#include "score_parse.hpp"

#include <algorithm>
#include <cctype>

namespace score {
namespace {

constexpr size_t max_text_length = 65519;

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

// Reads the words of a channel or play line up to the end of the line, or up
// to the ")" that closes the group opened by `open`. Both kinds of line
// group alike; `read_word` turns every other word into an entry.
template <typename entry, typename read_entry>
std::vector<entry> parse_group(parse_state& in, const word* open, const char* where, read_entry&& read_word) {
    std::vector<entry> items;
    while (!in.at_end()) {
        const word& w = in.words[in.next++];
        if (w.text == "|") continue;
        if (w.quoted) fail_at(w.at, std::string("text in quotes does not belong in ") + where);
        if (w.text == "(") {
            entry group = entry::made(entry::kind::group, w.at);
            group.inner = parse_group<entry>(in, &w, where, read_word);
            const group_close close = read_group_close(in.words[in.next - 1]);
            group.repeat = close.repeat;
            group.transpose = close.transpose;
            items.push_back(std::move(group));
            continue;
        }
        if (w.text[0] == ')') {
            if (open == nullptr) fail_at(w.at, "\")\" without \"(\"");
            return items;
        }
        items.push_back(read_word(w));
    }
    if (open != nullptr) fail_at(open->at, "\"(\" without \")\"");
    return items;
}

// One word of a channel line: a step, a setting or an instrument change.
item read_channel_word(const word& w, std::vector<position>& chip_uses) {
    if (w.text[0] != '=' && w.text.find('=') != std::string::npos) {
        setting_word s = parse_setting(w);
        if (s.chip_only) chip_uses.push_back(w.at);
        item change = item::made(item::kind::change, w.at);
        change.change = std::move(s.change);
        return change;
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
    if (count == 1) return one;
    item group = item::made(item::kind::group, w.at);
    group.inner.push_back(std::move(one));
    group.repeat = count;
    return group;
}

std::vector<item> parse_items(parse_state& in, std::vector<position>& chip_uses) {
    return parse_group<item>(in, nullptr, "a pattern", [&](const word& w) { return read_channel_word(w, chip_uses); });
}

// One word of a play line: a pattern, maybe transposed and repeated, or "loop".
play_item read_play_word(const word& w) {
    if (w.text == "loop") return play_item::made(play_item::kind::loop, w.at);
    auto [body, count] = split_repeat(w);
    play_item one = play_item::made(play_item::kind::pattern, w.at);
    const size_t sign = body.find_first_of("+-");
    one.name = std::string(body.substr(0, sign));
    if (!is_name(one.name)) fail_at(w.at, "\"" + std::string(body) + "\" is not a pattern name");
    if (sign != std::string_view::npos)
        one.transpose = static_cast<int>(number_in(body.substr(sign), shifted(w.at, sign), -48, 48, "transpose"));
    one.repeat = count;
    return one;
}

std::vector<play_item> parse_play_items(parse_state& in) {
    return parse_group<play_item>(in, nullptr, "a play line", read_play_word);
}

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

}  // namespace

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
            auto items = parse_items(in, s.chip_uses);
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
            for (auto& one : parse_play_items(in)) s.play.push_back(std::move(one));
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

}  // namespace score
