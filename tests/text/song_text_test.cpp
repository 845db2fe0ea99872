#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/cp437.hpp"
#include "text/song_text_fields.h"

namespace {

std::string part(const std::string& text, const song_text_part& p) { return text.substr(p.start, p.length); }

TEST(SongTextFields, TheImportersFormAndNothingElse) {
    const std::string longest(32, 'x');
    const std::string too_long(33, 'x');
    struct case_t {
        std::string text;
        bool found;
        std::string title, author, release;
    } cases[] = {
        {"Dust and Rust by Guy Shavitt, X2014", true, "Dust and Rust", "Guy Shavitt", "X2014"},
        {"Cheese Around The Clock by Carsten Berggreen (Scarzix), 2013 (SRX/Offence)", true, "Cheese Around The Clock",
         "Carsten Berggreen (Scarzix)", "2013 (SRX/Offence)"},
        {"Title by Author", true, "Title", "Author", ""},
        // The last " by " divides: titles hold it more often than authors.
        {"Stand by Me by Ann Other, 1990", true, "Stand by Me", "Ann Other", "1990"},
        // The first ", " after the author divides: the release may hold more.
        {"Song by Ann, 1990, Label", true, "Song", "Ann", "1990, Label"},
        {"Song, Part 2 by Ann, 1990", true, "Song, Part 2", "Ann", "1990"},
        {longest + " by " + longest + ", " + longest, true, longest, longest, longest},
        {too_long + " by Ann", false, "", "", ""},
        {"Song by " + too_long, false, "", "", ""},
        {"Song by Ann, " + too_long, false, "", "", ""},
        // Without " by " the importer's texts cannot be told from others.
        {"Title", false, "", "", ""},
        {"Title, 1990", false, "", "", ""},
        {"", false, "", "", ""},
        {"Lullaby - a small waltz, packed and stored plane by plane. It loops from the first verse.", false, "", "",
         ""},
        {" by Ann", false, "", "", ""},
        {"Song by , 1990", false, "", "", ""},
        {"Song by Ann, ", false, "", "", ""},
        {"Song by", false, "", "", ""},
        {"Song\nby Ann", false, "", "", ""},
        {"Song by Ann\x01", false, "", "", ""},
        {"Caf\x82 by Ann", false, "", "", ""},
        {"Song by Ann\x7F", false, "", "", ""},
    };
    for (const auto& c : cases) {
        song_text_fields fields;
        fields.title = {1, 1};
        const auto* bytes = reinterpret_cast<const unsigned char*>(c.text.data());
        EXPECT_EQ(song_text_fields_find(bytes, c.text.size(), &fields), c.found ? 1 : 0) << c.text;
        EXPECT_EQ(part(c.text, fields.title), c.title) << c.text;
        EXPECT_EQ(part(c.text, fields.author), c.author) << c.text;
        EXPECT_EQ(fields.release.length == 0 ? "" : part(c.text, fields.release), c.release) << c.text;
        if (!c.found) {
            EXPECT_EQ(fields.title.start + fields.author.start + fields.release.start, 0u) << c.text;
        }
    }
}

TEST(SongTextFields, NoTextAtAll) {
    song_text_fields fields;
    EXPECT_EQ(song_text_fields_find(nullptr, 0, &fields), 0);
    EXPECT_EQ(fields.title.length, 0u);
}

TEST(CodePage437, BytesAsUtf8) {
    struct case_t {
        std::vector<uint8_t> bytes;
        std::string utf8;
    } cases[] = {
        {{}, ""},
        {{'A', 'z', ' ', '~'}, "Az ~"},
        {{0x00}, " "},                           // a blank cell
        {{0x01}, "\xE2\x98\xBA"},                // U+263A, a face
        {{0x7F}, "\xE2\x8C\x82"},                // U+2302, a house
        {{'C', 'a', 'f', 0x82}, "Caf\xC3\xA9"},  // e acute
        {{0xE1}, "\xC3\x9F"},                    // sharp s
        {{0xFF}, "\xC2\xA0"},                    // no-break space
    };
    for (const auto& c : cases) EXPECT_EQ(code_page::utf8_from_cp437(c.bytes), c.utf8) << c.utf8;
}

}  // namespace
