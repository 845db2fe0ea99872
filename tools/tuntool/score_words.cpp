#include "score_words.hpp"

#include <algorithm>
#include <array>
#include <cctype>

#include "score.hpp"

namespace score {

void fail_at(position at, const std::string& message) { throw score_error(at.line, at.column, message); }

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

// Splits "X*N" into X and N; a word without "*N" repeats once.
std::pair<std::string_view, int> split_repeat(const word& w) {
    const std::string_view text = w.text;
    const size_t star = text.rfind('*');
    if (star == std::string_view::npos || star == 0) return {text, 1};
    const int count =
        static_cast<int>(number_in(text.substr(star + 1), shifted(w.at, star + 1), 1, max_repeat, "repeat count"));
    return {text.substr(0, star), count};
}

}  // namespace score
