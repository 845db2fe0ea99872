// Channel lines and play lines: words, repeated words and groups
// "( ... )+T*N", read alike for both kinds of line into a flat list of items
// with the totals of what they play, so that no repeat of a repeat is ever
// played out to be counted.
#include <array>
#include <cstddef>
#include <string>

#include "score_limits.hpp"
#include "score_parse.hpp"

namespace score {
namespace {

item made(item::kind what, offset at) {
    item one;
    one.what = what;
    one.at = at;
    return one;
}

// What one word adds to a line: its item, and the steps and actions of one
// pass of it (its repeat count multiplies them).
struct entry {
    item one;
    uint64_t steps = 0;
    uint64_t actions = 0;
};

line_count operator+(const line_count& a, const line_count& b) {
    return {saturated_add(a.steps, b.steps), saturated_add(a.actions, b.actions)};
}

line_count operator*(const line_count& a, uint64_t times) {
    return {saturated_multiply(a.steps, times), saturated_multiply(a.actions, times)};
}

struct group_close {
    int transpose = 0;
    int repeat = 1;
};

// Reads the ")" that closes a group, with its optional transposition and
// repeat count: ")", ")*4", ")+2", ")-12*2".
group_close read_group_close(const word& close) {
    group_close out;
    const std::string_view text = close.text.substr(1);
    const size_t star = text.find('*');
    const std::string_view shift = text.substr(0, star);
    if (!shift.empty())
        out.transpose = static_cast<int>(number_in(shift, close.at + 1, -max_transpose, max_transpose, "transpose"));
    if (star != std::string_view::npos)
        out.repeat =
            static_cast<int>(number_in(text.substr(star + 1), close.at + star + 2, 1, max_repeat, "repeat count"));
    return out;
}

// Reads the words of a line into `items`. Groups are read alike in channel
// and play lines; `read_word` turns every other word into an entry, and
// `check` sees the line's totals after every word, where a limit may end it.
// A group that plays nothing is dropped (only a loop mark can stand in it),
// so that no repeat ever spins over nothing.
template <typename read_entry, typename check_count>
void read_groups(line_words& words, score_text& s, std::vector<item>& items, line_count& count, std::string_view where,
                 read_entry&& read_word, check_count&& check) {
    struct open_group {
        size_t index;
        line_count before;
        offset at;
    };
    std::array<open_group, max_depth> open;
    size_t depth = 0;
    while (const auto w = words.next()) {
        if (++s.words > max_words)
            fail_at(w->at, {"the channel and play lines have more than ", std::to_string(max_words), " words"});
        if (w->text == "|") continue;
        if (w->quoted) fail_at(w->at, {"text in quotes does not belong in ", where});
        if (w->text == "(") {
            if (depth == max_depth) fail_at(w->at, {"groups nest at most ", std::to_string(max_depth), " deep"});
            open[depth++] = {items.size(), count, w->at};
            items.push_back(made(item::kind::open, w->at));
            continue;
        }
        if (w->text[0] == ')') {
            if (depth == 0) fail_at(w->at, "\")\" without \"(\"");
            const group_close close = read_group_close(*w);
            const open_group group = open[--depth];
            const line_count inner{count.steps - group.before.steps, count.actions - group.before.actions};
            if (inner.actions == 0) {
                items.erase(items.begin() + static_cast<std::ptrdiff_t>(group.index));
                continue;
            }
            item& opening = items[group.index];
            opening.repeat = static_cast<uint16_t>(close.repeat);
            opening.transpose = close.transpose;
            item closing = opening;
            closing.what = item::kind::close;
            closing.at = w->at;
            items.push_back(closing);
            count = group.before + inner * static_cast<uint64_t>(close.repeat);
            check(count, w->at);
            continue;
        }
        const entry e = read_word(*w);
        items.push_back(e.one);
        count = count + line_count{e.steps, e.actions} * e.one.repeat;
        check(count, w->at);
    }
    if (depth > 0) fail_at(open[depth - 1].at, "\"(\" without \")\"");
}

// One word of a channel line: a step, a setting or an instrument change.
entry channel_word(const word& w, score_text& s) {
    if (w.text[0] != '=' && w.text.find('=') != std::string_view::npos) {
        const setting change = parse_setting(w);
        if (chip_only(change.key) && !s.first_chip_use) s.first_chip_use = w.at;
        item one = made(item::kind::change, w.at);
        one.key = change.key;
        one.value = change.value;
        if (change.key == setting_key::arp) {
            one.value = static_cast<int32_t>(s.arps.size());
            s.arps.push_back(change.arp);
        }
        return {one, 0, 1};
    }
    auto [body, count] = split_repeat(w);
    item one = made(item::kind::hold, w.at);
    one.repeat = static_cast<uint16_t>(count);
    if (body == "===" || body == ".") {
        one.what = item::kind::hold;
    } else if (body == "---") {
        one.what = item::kind::release;
    } else if (body[0] == '@') {
        if (count != 1) fail_at(w.at, "an instrument change takes no step to repeat");
        if (!is_name(body.substr(1))) fail_at(w.at, "\"@\" needs an instrument name");
        one.what = item::kind::use;
        return {one, 0, 1};
    } else if (const auto note = parse_note(body)) {
        one.what = item::kind::note;
        one.value = *note;
    } else if (is_name(body)) {
        one.what = item::kind::hit;
    } else if (looks_like_note(body)) {
        fail_at(w.at, {in_quotes(body), " is outside the octaves of a note: 0..7 (C-0..B-7)"});
    } else {
        fail_at(w.at, {in_quotes(body), " is not a note, ---, ===, ., setting or instrument"});
    }
    return {one, 1, 1};
}

// One word of a play line: a pattern, maybe transposed and repeated, or "loop".
entry play_word(const word& w, score_text& s) {
    if (w.text == "loop") {
        if (s.loop_at) fail_at(w.at, "loop is given twice; a song has one loop point");
        s.loop_at = w.at;
        return {made(item::kind::loop, w.at), 0, 0};
    }
    auto [body, count] = split_repeat(w);
    item one = made(item::kind::pattern, w.at);
    one.repeat = static_cast<uint16_t>(count);
    const size_t sign = body.find_first_of("+-");
    if (!is_name(body.substr(0, sign))) fail_at(w.at, {in_quotes(body), " is not a pattern name"});
    if (sign != std::string_view::npos)
        one.transpose =
            static_cast<int32_t>(number_in(body.substr(sign), w.at + sign, -max_transpose, max_transpose, "transpose"));
    return {one, 0, 1};
}

}  // namespace

void read_channel_line(line_words& words, score_text& s, pattern& p, unsigned channel) {
    channel_part& part = p.channels[channel - 1];
    const auto check = [&](const line_count& count, offset at) {
        if (count.steps <= max_steps && count.actions <= max_actions) return;
        const std::string channel_number = std::to_string(channel);
        const std::string name = shown(p.name);
        if (count.steps > max_steps)
            fail_at(at, {"channel ", channel_number, " of pattern ", name, " has more than ", std::to_string(max_steps),
                         " steps"});
        fail_at(at, {"channel ", channel_number, " of pattern ", name, " plays more than ", std::to_string(max_actions),
                     " steps, settings and instrument changes"});
    };
    read_groups(
        words, s, part.items, part.count, "a pattern", [&](const word& w) { return channel_word(w, s); }, check);
}

void read_play_line(line_words& words, score_text& s) {
    // Every pattern lasts a frame at least.
    const auto check = [](const line_count& count, offset at) {
        if (count.actions > max_frames)
            fail_at(at, {"the song grows longer than ", std::to_string(max_frames), " frames"});
    };
    read_groups(
        words, s, s.play, s.play_count, "a play line", [&](const word& w) { return play_word(w, s); }, check);
}

}  // namespace score
