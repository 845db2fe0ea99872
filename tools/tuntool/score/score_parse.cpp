#include "score_parse.hpp"

#include <algorithm>

#include "score_limits.hpp"

namespace score {
namespace {

constexpr std::string_view header_keywords[] = {"variant", "rate", "tempo", "channels", "layout", "compress", "text"};

// The words of a line that takes `count` words in all, the first included.
std::vector<word> read_exactly(line_words& words, const word& first, size_t count, std::string_view usage) {
    std::vector<word> out{first};
    while (out.size() < count) {
        const auto next = words.next();
        if (!next) fail_at(first.at + first.text.size(), std::string(usage));
        out.push_back(*next);
    }
    if (const auto extra = words.next()) fail_at(extra->at, {"unexpected ", in_quotes(extra->text), "; ", usage});
    return out;
}

// The song text between the quotes, its escapes \" and \\ undone.
std::string song_text(const word& quoted) {
    std::string text;
    const std::string_view raw = quoted.text;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 1 < raw.size() && (raw[i + 1] == '"' || raw[i + 1] == '\\')) ++i;
        const auto c = static_cast<unsigned char>(raw[i]);
        if (c < 0x20 || c > 0x7E) fail_at(quoted.at + 1 + i, "text takes printable ASCII characters only");
        if (text.size() == max_text_length)
            fail_at(quoted.at, {"text is too long: at most ", std::to_string(max_text_length), " characters"});
        text += static_cast<char>(c);
    }
    return text;
}

std::vector<int> parse_tempo(const word& w) {
    std::vector<int> tempo;
    size_t start = 0;
    while (start <= w.text.size()) {
        if (tempo.size() == max_tempo_steps)
            fail_at(w.at, {"tempo takes at most ", std::to_string(max_tempo_steps), " step lengths"});
        const size_t comma = std::min(w.text.find(',', start), w.text.size());
        tempo.push_back(
            static_cast<int>(number_in(w.text.substr(start, comma - start), w.at + start, 1, 255, "tempo")));
        start = comma + 1;
    }
    return tempo;
}

void parse_header_line(score_text& s, line_words& words, const word& first, std::string_view keyword) {
    if (std::find(s.header_seen.begin(), s.header_seen.end(), keyword) != s.header_seen.end())
        fail_at(first.at, {keyword, " is given twice"});
    s.header_seen.emplace_back(keyword);
    if (keyword == "variant") {
        const word value = read_exactly(words, first, 2, "variant takes plain or chip")[1];
        if (value.text == "chip")
            s.chip = true;
        else if (value.text != "plain")
            fail_at(value.at, "variant takes plain or chip");
    } else if (keyword == "rate") {
        const word value = read_exactly(words, first, 2, "rate takes frames per second")[1];
        s.rate = static_cast<uint16_t>(number_in(value.text, value.at, 1, 1000, "rate"));
    } else if (keyword == "tempo") {
        s.tempo =
            parse_tempo(read_exactly(words, first, 2, "tempo takes frames per step, or a list like 7,5 for swing")[1]);
    } else if (keyword == "channels") {
        const word value = read_exactly(words, first, 2, "channels takes a count 1..8")[1];
        s.channels = static_cast<unsigned>(number_in(value.text, value.at, 1, 8, "channels"));
    } else if (keyword == "layout") {
        const word value = read_exactly(words, first, 2, "layout takes interleaved or planar")[1];
        if (value.text == "planar")
            s.interleaved = false;
        else if (value.text != "interleaved")
            fail_at(value.at, "layout takes interleaved or planar");
    } else if (keyword == "compress") {
        const word value = read_exactly(words, first, 2, "compress takes yes or no")[1];
        s.compressed = on_off(value.text, value.at, "compress");
    } else if (keyword == "text") {
        const word value = read_exactly(words, first, 2, "text takes one text in quotes")[1];
        if (!value.quoted) fail_at(value.at, "text takes one text in quotes");
        s.text = song_text(value);
    }
}

void parse_instrument_line(score_text& s, line_words& words, const word& first) {
    const auto name = words.next();
    if (!name || !is_name(name->text))
        fail_at(name ? name->at : first.at + first.text.size(), "instrument needs a name (letters, digits, _)");
    if (s.instrument_index.count(name->text))
        fail_at(name->at, {"instrument ", shown(name->text), " is defined twice"});
    if (s.instruments.size() == max_instruments)
        fail_at(name->at, {"a score has at most ", std::to_string(max_instruments), " instruments"});
    instrument made{name->at, {}};
    while (const auto w = words.next()) {
        if (w->text.find('=') == std::string_view::npos || w->quoted)
            fail_at(w->at, {"instrument settings are key=value, not ", in_quotes(w->text)});
        const setting change = parse_setting(*w);
        if (chip_only(change.key) && !s.first_chip_use) s.first_chip_use = w->at;
        apply(change, made.tone);
    }
    s.instrument_index.emplace(name->text, static_cast<uint32_t>(s.instruments.size()));
    s.instruments.push_back(made);
}

void parse_pattern_line(score_text& s, line_words& words, const word& first) {
    const word name = read_exactly(words, first, 2, "pattern takes a name")[1];
    if (!is_name(name.text) || name.text == "loop")
        fail_at(name.at, "a pattern name is letters, digits and _ (and not \"loop\")");
    if (s.pattern_index.count(name.text)) fail_at(name.at, {"pattern ", shown(name.text), " is defined twice"});
    if (s.patterns.size() == max_patterns)
        fail_at(name.at, {"a score has at most ", std::to_string(max_patterns), " patterns"});
    s.pattern_index.emplace(name.text, static_cast<uint32_t>(s.patterns.size()));
    s.patterns.push_back({std::string(name.text), name.at, {}, 0});
}

// A pattern takes no more lines: its items need no room to grow.
void close_pattern(score_text& s, std::optional<size_t>& open_pattern) {
    if (open_pattern)
        for (channel_part& part : s.patterns[*open_pattern].channels) part.items.shrink_to_fit();
    open_pattern.reset();
}

}  // namespace

score_text parse_score(std::string_view source) {
    score_text s;
    s.source = source;
    std::optional<size_t> open_pattern;
    size_t start = 0;
    size_t last_line = 0;
    while (start < source.size()) {
        const size_t end = std::min(source.find('\n', start), source.size());
        last_line = start;
        // A quote left open is the line's first mistake wherever it stands:
        // it changes where every word after it ends.
        if (source.substr(start, end - start).find('"') != std::string_view::npos)
            for (line_words all(source, start, end); all.next();) {}
        line_words words(source, start, end);
        start = end + 1;
        const auto first = words.next();
        if (!first) continue;

        // "1", "1:": a channel line of the pattern above.
        std::string_view channel_text = first->text;
        if (!channel_text.empty() && channel_text.back() == ':') channel_text.remove_suffix(1);
        if (!channel_text.empty() && is_digit(channel_text[0]) && !first->quoted) {
            if (!open_pattern) fail_at(first->at, "a channel line must follow a pattern line");
            const auto channel = static_cast<unsigned>(number_in(channel_text, first->at, 1, 8, "channel"));
            if (channel > s.highest_channel) s.highest_channel = channel, s.highest_channel_at = first->at;
            pattern& p = s.patterns[*open_pattern];
            channel_part& part = p.channels[channel - 1];
            if (!part.given) part.given = true, part.first_line = first->at;
            read_channel_line(words, s, p, channel);
            continue;
        }
        close_pattern(s, open_pattern);

        const std::string keyword = first->text.size() <= 10 ? lower(first->text) : std::string();
        if (std::find(std::begin(header_keywords), std::end(header_keywords), keyword) != std::end(header_keywords)) {
            parse_header_line(s, words, *first, keyword);
        } else if (keyword == "instrument") {
            parse_instrument_line(s, words, *first);
        } else if (keyword == "pattern") {
            parse_pattern_line(s, words, *first);
            open_pattern = s.patterns.size() - 1;
        } else if (keyword == "play") {
            if (!s.play_at) s.play_at = first->at;
            read_play_line(words, s);
        } else {
            fail_at(first->at, {"unknown line ", in_quotes(first->text),
                                "; lines start with variant, rate, tempo, channels, layout, compress, text, "
                                "instrument, pattern, play or a channel number"});
        }
    }
    close_pattern(s, open_pattern);
    if (!s.play_at) fail_at(last_line, "the score has no play line");
    if (!s.chip && s.first_chip_use) fail_at(*s.first_chip_use, "wave, sync, ring and test need \"variant chip\"");
    if (s.channels == 0)
        s.channels = std::max(1u, s.highest_channel);
    else if (s.highest_channel > s.channels)
        fail_at(s.highest_channel_at,
                {"channel ", std::to_string(s.highest_channel), " is above channels ", std::to_string(s.channels)});
    return s;
}

}  // namespace score
