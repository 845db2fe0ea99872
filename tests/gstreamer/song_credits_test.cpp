// The credits tundec tags a song with, out of texts in the importer's form
// "TITLE by AUTHOR, RELEASE" and out of texts that are not.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "song_credits.h"

namespace {

struct credits_case {
    std::string_view text;
    bool found;
    std::string_view title, author, release;
};

std::string_view part(std::string_view text, tun_span span) { return text.substr(span.start, span.length); }

TEST(SongCredits, SplitsTheImportersFormAndNothingElse)
{
    const credits_case cases[] = {
        {"Dust and Rust by Guy Shavitt, X2014", true, "Dust and Rust", "Guy Shavitt", "X2014"},
        {"Cheese Around The Clock by Carsten Berggreen (Scarzix), 2013 (SRX/Offence)", true,
         "Cheese Around The Clock", "Carsten Berggreen (Scarzix)", "2013 (SRX/Offence)"},
        // A release with a comma of its own keeps it.
        {"Tune by Someone, 1988 Label, Country", true, "Tune", "Someone", "1988 Label, Country"},
        // A title may hold " by " and commas; the author is after the last " by ".
        {"Stand by Me, Again by A. Singer, 1961", true, "Stand by Me, Again", "A. Singer", "1961"},
        // No release.
        {"Title by Author", true, "Title", "Author", ""},
        // The importer writes printable ASCII only: other letters, and a
        // sentence whose parts are longer than a tune's fields, are not
        // credits.
        {"Gr\xC3\xBCn by J\xC3\xB6rg, 1989", false, "", "", ""},
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
        SCOPED_TRACE(std::string(c.text));
        tun_credits credits;
        ASSERT_EQ(tun_parse_credits(c.text.data(), c.text.size(), &credits), c.found ? 1 : 0);
        EXPECT_EQ(part(c.text, credits.title), c.title);
        EXPECT_EQ(part(c.text, credits.author), c.author);
        EXPECT_EQ(part(c.text, credits.release), c.release);
    }
}

TEST(SongCredits, ReadsOnlyTheLengthGiven)
{
    // The bytes after the length are not part of the text.
    const char text[] = "Title by Author, 2000 and more";
    tun_credits credits;
    ASSERT_EQ(tun_parse_credits(text, 21, &credits), 1);
    EXPECT_EQ(part(text, credits.release), "2000");
    EXPECT_EQ(tun_parse_credits(text, 9, &credits), 0);  // "Title by " only
}

}  // namespace
