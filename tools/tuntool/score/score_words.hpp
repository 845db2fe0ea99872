// The smallest parts of a score: places in it and the mistake found at one,
// the words of a line, numbers, names and note names.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace score {

// Where something stands in a score: the offset of its first byte (after a
// byte-order mark). A score is at most max_score_bytes long, so 32 bits hold
// every offset; compile_score turns one into a line and a column.
using offset = uint32_t;

// A mistake in the score, at an offset.
struct failure {
    offset at;
    std::string message;
};

[[noreturn]] void fail_at(size_t at, std::string message);
// The message in parts, joined.
[[noreturn]] void fail_at(size_t at, std::initializer_list<std::string_view> message);

// A piece of the score as a message quotes it: bytes outside printable
// ASCII as \xNN (no control byte reaches the terminal, no NUL cuts the
// message short), and a long piece cut short.
std::string shown(std::string_view text);
std::string in_quotes(std::string_view text);

struct word {
    std::string_view text;  // in quotes: what stands between them, escapes and all
    offset at = 0;          // of its first byte, or of the opening quote
    bool quoted = false;
};

// The words of one line, one at a time. Whitespace separates words; "(",
// ")" and "|" are words of their own (")" keeps the "+T*N" that follows it);
// a word that starts with "#" begins a comment; "..." is one quoted word.
class line_words {
public:
    line_words(std::string_view source, size_t begin, size_t end) : source_(source), next_(begin), end_(end) {}
    std::optional<word> next();

private:
    std::string_view source_;
    size_t next_;
    size_t end_;
};

std::optional<long> to_number(std::string_view text);
long number_in(std::string_view text, size_t at, long low, long high, std::string_view what);

bool is_digit(char c);
bool is_name(std::string_view text);
// The name that starts at `at`: letters, digits and "_" up to the first other byte.
std::string_view name_at(std::string_view source, size_t at);
std::string lower(std::string_view text);
// Whether text is `name` (written in lower case) in either case.
bool same_letters(std::string_view text, std::string_view name);

// A note word: letter A..G in either case, an optional "-", "#" or "b",
// and an octave 0..7: C-4, c#4, Db3, a3, bb2. Cb0 and B#7 give -1 and 96.
std::optional<int> parse_note(std::string_view text);

// A note letter, an optional accidental and an octave of any number
// ("C-9", "Db12", "C8"): a note that parse_note refuses only for its octave.
bool looks_like_note(std::string_view text);
// C-0 .. B-7 for 0..95; the two written notes outside, Cb0 and B#7, by their
// own names.
std::string note_name(int note);

// Splits "X*N" into X and N; a word without "*N" repeats once.
std::pair<std::string_view, int> split_repeat(const word& w);

}  // namespace score
