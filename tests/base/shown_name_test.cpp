// File names in messages: which names are shown as they are, how the others
// are quoted, and that a shell given the quoted form gets the name back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/shown_name.hpp"

namespace {

using namespace std::string_literals;

struct shown_case {
    std::string name;
    std::string shown;
};

const shown_case cases[] = {
    // Shown as they are: plain, spaces, quotes inside, UTF-8 of 2 to 4 bytes.
    {"songs/lullaby.tun", "songs/lullaby.tun"},
    {"my song (1).tun", "my song (1).tun"},
    {"don't.tun", "don't.tun"},
    {"a$b.tun", "a$b.tun"},
    {"Gr\xc3\xbcn \xe2\x82\xac \xf0\x9f\x8e\xb5.tun", "Gr\xc3\xbcn \xe2\x82\xac \xf0\x9f\x8e\xb5.tun"},
    // Control characters: C0 with and without a letter, DEL, C1, NUL, the
    // line separator.
    {"a\nb", R"('a'$'\n''b')"},
    {"\ttab.tun", R"($'\t''tab.tun')"},
    {"end\r", R"('end'$'\r')"},
    {"\x1b[2J.tun", R"($'\033''[2J.tun')"},
    {"x\x7f", R"('x'$'\177')"},
    {"nel\xc2\x85.tun", R"('nel'$'\302\205''.tun')"},
    {"a\0b"s, R"('a'$'\000''b')"},
    {"\n\n", R"($'\n\n')"},
    {"line\xe2\x80\xa8sep", R"('line'$'\342\200\250''sep')"},
    // Bytes that are no UTF-8: a stray byte, a cut character, an overlong
    // slash, a surrogate, beyond U+10FFFF; what follows a bad lead shows.
    {"\xff.tun", R"($'\377''.tun')"},
    {"cut\xe2\x82", R"('cut'$'\342\202')"},
    {"\xc0\xaf", R"($'\300\257')"},
    {"\xed\xa0\x80", R"($'\355\240\200')"},
    {"\xf4\x90\x80\x80", R"($'\364\220\200\200')"},
    {"\xe2"
     "a",
     R"($'\342''a')"},
    // Names that would look quoted, and the empty name.
    {R"('a'$'\n''b')", R"(\''a'\''$'\''\n'\'\''b'\')"},
    {"$HOME", "'$HOME'"},
    {"don't\t.tun", R"('don'\''t'$'\t''.tun')"},
    {"", "''"},
};

TEST(ShownName, NamesAreShownOrQuoted) {
    for (const shown_case& c : cases) EXPECT_EQ(names::shown_name(c.name), c.shown) << c.shown;
}

// What bash prints for `printf %s WORD`.
std::string printed_by_bash(const std::string& word) {
    char path[] = "/tmp/shown_name_XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return "(no script)";
    const std::string script = "printf %s " + word + "\n";
    const bool written = ::write(fd, script.data(), script.size()) == static_cast<ssize_t>(script.size());
    ::close(fd);
    std::string got;
    if (FILE* pipe = written ? ::popen(("bash " + std::string(path)).c_str(), "r") : nullptr) {
        char buffer[256];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) got.append(buffer, n);
        if (::pclose(pipe) != 0) got += "(bash failed)";
    }
    ::unlink(path);
    return got;
}

TEST(ShownName, AShellGetsTheNameBack) {
    for (const shown_case& c : cases) {
        // A shell word holds no NUL, and the names shown as they are would
        // need quotes of their own.
        if (c.name.find('\0') != std::string::npos || c.shown == c.name) continue;
        EXPECT_EQ(printed_by_bash(c.shown), c.name) << c.shown;
    }
}

TEST(ShownName, LongNamesAreShortenedBetweenCharacters) {
    const std::string e_acute = "\xc3\xa9";
    std::string accents;
    for (int i = 0; i < 100; ++i) accents += e_acute;
    const struct {
        std::string name;
        size_t keep;
        std::string shown;
    } shortened[] = {
        {"top" + std::string(3000, '/') + "bottom.sid", 5, "top//...m.sid"},
        {accents, 5, e_acute + e_acute + "..." + e_acute + e_acute},
        {"short\n", 5, R"('short'$'\n')"},
        {"x" + std::string(100, '\n') + "y", 3, R"('x'$'\n\n''...'$'\n\n''y')"},
    };
    for (const auto& c : shortened) EXPECT_EQ(names::shown_shortened(c.name, c.keep), c.shown) << c.shown;
}

}  // namespace
