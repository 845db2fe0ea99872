#include "score_words.hpp"

#include <array>
#include <cstdio>

#include "score_limits.hpp"

namespace score {
namespace {

bool separates(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// What a ")" keeps: its transposition and repeat count.
bool closes_with(char c) { return c == '*' || c == '+' || c == '-' || is_digit(c); }

bool ends_word(char c) { return separates(c) || c == '(' || c == ')' || c == '|' || c == '"'; }

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool is_name_char(char c) { return is_letter(c) || is_digit(c) || c == '_'; }

char lower_case(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void fail_at(size_t at, std::string message) { throw failure{static_cast<offset>(at), std::move(message)}; }

void fail_at(size_t at, std::initializer_list<std::string_view> message) {
    std::string joined;
    for (const std::string_view part : message) joined += part;
    fail_at(at, std::move(joined));
}

std::string shown(std::string_view text) {
    constexpr size_t longest = 40;
    std::string out;
    for (const char c : text.substr(0, longest)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte <= 0x7E) {
            out += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        }
    }
    if (text.size() > longest) out += "...";
    return out;
}

std::string in_quotes(std::string_view text) {
    std::string out(1, '"');
    out += shown(text);
    out += '"';
    return out;
}

std::optional<word> line_words::next() {
    while (next_ < end_ && separates(source_[next_])) ++next_;
    if (next_ >= end_ || source_[next_] == '#') {
        next_ = end_;
        return std::nullopt;
    }
    const size_t start = next_;
    const char c = source_[start];
    size_t end = start + 1;
    if (c == '"') {
        for (;; ++end) {
            if (end >= end_) fail_at(start, "text in quotes has no closing quote");
            if (source_[end] == '"') break;
            if (source_[end] == '\\' && end + 1 < end_ && (source_[end + 1] == '"' || source_[end + 1] == '\\')) ++end;
        }
        next_ = end + 1;
        return word{source_.substr(start + 1, end - start - 1), static_cast<offset>(start), true};
    }
    if (c == ')') {
        while (end < end_ && closes_with(source_[end])) ++end;
    } else if (c != '(' && c != '|') {
        while (end < end_ && !ends_word(source_[end])) ++end;
    }
    next_ = end;
    return word{source_.substr(start, end - start), static_cast<offset>(start), false};
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
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = value * base + digit;
    }
    return negative ? -value : value;
}

long number_in(std::string_view text, size_t at, long low, long high, std::string_view what) {
    const auto value = to_number(text);
    if (!value) fail_at(at, {what, " needs a number, not ", in_quotes(text)});
    if (*value < low || *value > high)
        fail_at(at,
                {what, " takes ", std::to_string(low), "..", std::to_string(high), ", not ", std::to_string(*value)});
    return *value;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_name(std::string_view text) {
    if (text.empty() || !(is_letter(text[0]) || text[0] == '_')) return false;
    for (const char c : text)
        if (!is_name_char(c)) return false;
    return true;
}

std::string_view name_at(std::string_view source, size_t at) {
    size_t end = at;
    while (end < source.size() && is_name_char(source[end])) ++end;
    return source.substr(at, end - at);
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = lower_case(c);
    return out;
}

bool same_letters(std::string_view text, std::string_view name) {
    if (text.size() != name.size()) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (lower_case(text[i]) != name[i]) return false;
    return true;
}

std::optional<int> parse_note(std::string_view text) {
    static constexpr std::array<int, 7> semitone_of_letter{9, 11, 0, 2, 4, 5, 7};  // A..G
    if (text.size() < 2 || text.size() > 3) return std::nullopt;
    const char letter = lower_case(text[0]);
    if (letter < 'a' || letter > 'g') return std::nullopt;
    int note = semitone_of_letter[letter - 'a'];
    if (text.size() == 3) {
        if (text[1] == '#')
            ++note;
        else if (text[1] == 'b')
            --note;
        else if (text[1] != '-')
            return std::nullopt;
    }
    const char octave = text.back();
    if (octave < '0' || octave > '7') return std::nullopt;
    return note + 12 * (octave - '0');
}

bool looks_like_note(std::string_view text) {
    if (text.empty()) return false;
    const char letter = lower_case(text[0]);
    if (letter < 'a' || letter > 'g') return false;
    text.remove_prefix(1);
    if (!text.empty() && (text[0] == '#' || text[0] == 'b' || text[0] == '-')) text.remove_prefix(1);
    if (!text.empty() && text[0] == '-') text.remove_prefix(1);  // a negative octave
    if (text.empty()) return false;
    for (const char c : text)
        if (!is_digit(c)) return false;
    return true;
}

std::string note_name(int note) {
    static constexpr std::array<const char*, 12> names{"C-", "C#", "D-", "D#", "E-", "F-",
                                                       "F#", "G-", "G#", "A-", "A#", "B-"};
    if (note < 0) return "Cb0";
    if (note > highest_note) return "B#7";
    return std::string(names[note % 12]) + std::to_string(note / 12);
}

std::pair<std::string_view, int> split_repeat(const word& w) {
    const std::string_view text = w.text;
    const size_t star = text.rfind('*');
    if (star == std::string_view::npos || star == 0) return {text, 1};
    const int count =
        static_cast<int>(number_in(text.substr(star + 1), w.at + star + 1, 1, max_repeat, "repeat count"));
    return {text.substr(0, star), count};
}

}  // namespace score
