// The credits a song's text holds: title, author and release out of texts
// in the importer's form "TITLE by AUTHOR, RELEASE", and nothing out of
// texts that are not (the GStreamer element tags songs with these, and
// tuntool render with the same rule).
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "song_bytes.hpp"
#include "tonera/tonera.h"

namespace {

struct credits_case {
    std::string text;
    bool found;
    std::string_view title, author, release;
};

// A song of one silent voice and two frames whose text is `text`.
std::vector<uint8_t> song_with_text(const std::string& text) {
    test_support::song_header h;
    h.flags = 0x01;
    h.text = text;
    return test_support::song_bytes(
        h, test_support::interleaved_body(1, 2, [](uint32_t, uint32_t) { return test_support::record_values{}; }));
}

TEST(ToneraCredits, SplitsTheImportersFormAndNothingElse) {
    const std::string longest(32, 'x');
    const credits_case cases[] = {
        {"Dust and Rust by Guy Shavitt, X2014", true, "Dust and Rust", "Guy Shavitt", "X2014"},
        {"Cheese Around The Clock by Carsten Berggreen (Scarzix), 2013 (SRX/Offence)", true, "Cheese Around The Clock",
         "Carsten Berggreen (Scarzix)", "2013 (SRX/Offence)"},
        // A release with a comma of its own keeps it.
        {"Tune by Someone, 1988 Label, Country", true, "Tune", "Someone", "1988 Label, Country"},
        // A title may hold " by " and commas; the author is after the last " by ".
        {"Stand by Me, Again by A. Singer, 1961", true, "Stand by Me, Again", "A. Singer", "1961"},
        // No release.
        {"Title by Author", true, "Title", "Author", ""},
        // The longest parts a tune's fields give, whole and terminated.
        {longest + " by " + longest + ", " + longest, true, longest, longest, longest},
        {"x" + longest + " by Ann", false, "", "", ""},
        // The importer writes printable ASCII only: other letters (code
        // page 437 bytes, or UTF-8 read as such), and a sentence whose parts
        // are longer than a tune's fields, are not credits.
        {"Gr\x81n by J\x94rg, 1989", false, "", "", ""},
        {"Gr\xC3\xBCn by J\xC3\xB6rg, 1989", false, "", "", ""},
        {std::string("Title by Author\0", 16), false, "", "", ""},
        {"Lullaby - a small waltz, packed and stored plane by plane. It loops from the first verse.", false, "", "",
         ""},
        // Not the form: a score's free text, an author without a title, a
        // title without an author, words that only contain "by".
        {"Meadow - lead, bass and drums on three plain channels", false, "", "", ""},
        {"Guy Shavitt, X2014", false, "", "", ""},
        {"by Guy Shavitt, X2014", false, "", "", ""},
        {"Title by ", false, "", "", ""},
        {"Title by , 2014", false, "", "", ""},
        {"Abbey Road, nearby", false, "", "", ""},
        {"", false, "", "", ""},
    };
    for (const credits_case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto bytes = song_with_text(c.text);
        tonera_song* song = nullptr;
        ASSERT_EQ(tonera_open(bytes.data(), bytes.size(), &song), 0);
        EXPECT_EQ(tonera_title(song), c.title);
        EXPECT_EQ(tonera_author(song), c.author);
        EXPECT_EQ(tonera_released(song), c.release);
        // The free text stays as it was.
        EXPECT_EQ(tonera_text(song, nullptr), c.text.size());
        tonera_close(song);
    }
}

TEST(ToneraCredits, ASongOfNoneGivesEmptyStrings) {
    EXPECT_STREQ(tonera_title(nullptr), "");
    EXPECT_STREQ(tonera_author(nullptr), "");
    EXPECT_STREQ(tonera_released(nullptr), "");
}

}  // namespace
