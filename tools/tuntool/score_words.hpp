// The smallest parts of a score: positions and the error at one, the words
// of a line, numbers, names and note names.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace score {

constexpr int max_repeat = 9999;
constexpr int highest_note = 95;  // B-7

struct position {
    int line = 0;
    int column = 0;
};

[[noreturn]] void fail_at(position at, const std::string& message);

inline position shifted(position at, size_t columns) { return {at.line, at.column + static_cast<int>(columns)}; }

struct word {
    std::string text;
    position at;
    bool quoted = false;
};

// Splits one line into words. Whitespace separates words; "(", ")" and "|"
// are words of their own (")" keeps a "*N" that follows it); a word that
// starts with "#" begins a comment; "..." is one quoted word.
std::vector<word> split_line(std::string_view line, int line_number);

std::optional<long> to_number(std::string_view text);
long number_in(std::string_view text, position at, long low, long high, const std::string& what);
bool is_name(std::string_view text);
std::string lower(std::string_view text);

// A note word: letter A..G in either case, an optional "-", "#" or "b",
// and an octave 0..7: C-4, c#4, Db3, a3, bb2.
std::optional<int> parse_note(std::string_view text);
std::string note_name(int note);

// Splits "X*N" into X and N; a word without "*N" repeats once.
std::pair<std::string_view, int> split_repeat(const word& w);

}  // namespace score
