// What a listener wants to know of a song before playing it: title, author,
// release, length and voices. They come from the song's header and text
// alone (the first bytes of the file and its size), never from its frames,
// so that a folder of thousands of songs lists as fast as their names.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace selector {

struct song_facts {
    bool is_song = false;  // the header is one the player accepts
    std::string problem;   // why not, the player's own line ("?No SID-DUMP file  ERROR")
    // The song text's parts in the form "TITLE by AUTHOR, RELEASE"; empty
    // when the text is not in that form.
    std::string title;
    std::string author;
    std::string release;
    std::string text;  // the whole song text
    uint32_t frames = 0;
    uint32_t loop_frame = 0;
    uint16_t frame_rate = 0;
    uint8_t voices = 0;
};

// The facts of the song file. Anything that is not a regular file, or
// cannot be read, is no song, with the reason in `problem`.
song_facts read_song_facts(const std::string& path);

// The facts from the first bytes of a song (header and text; more is
// ignored) and the size of the whole file.
song_facts song_facts_from(std::span<const uint8_t> start, uint64_t file_size);

// A number of frames at a frame rate as M:SS.hh, and as M:SS with the
// hundredths dropped.
std::string length_text(uint64_t frames, unsigned rate);
std::string short_length_text(uint64_t frames, unsigned rate);

// The whole seconds of the song (-1 when it is no song), as play lists
// give lengths.
int64_t length_seconds(const song_facts& facts);

// "Title - Author" for a song whose text has both, else empty.
std::string title_and_author(const song_facts& facts);

// "Author - Title", as a play list names a song; the text alone when it
// has no parts, empty when there is no text either.
std::string author_and_title(const song_facts& facts);

}  // namespace selector
