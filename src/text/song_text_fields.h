/* The title, author and release that a song text holds in the form the
 * PSID importer writes: "TITLE by AUTHOR" or "TITLE by AUTHOR, RELEASE".
 * Plain C, so that C programs (a media framework's element, say) can read
 * a song's tags the same way tuntool does.
 *
 * The rule, which the importer's texts meet (it writes printable ASCII
 * only, from fields of at most 32 characters):
 * - every byte is printable ASCII (0x20..0x7E);
 * - the title is what comes before the last " by ", the author what comes
 *   after it up to the first ", " that follows, the release the rest;
 * - title and author are not empty, nor is a release after its ", ", and
 *   none is longer than 32 bytes.
 * A sentence such as "Lullaby - a small waltz, stored plane by plane" is
 * not in the form (its title would be too long). A text the importer
 * wrote from a title, author or release alone, or from a title and release
 * without an author, has no " by " and cannot be told apart from any other
 * text: it is not in the form either. The parts are bytes of the text,
 * untouched. */
#ifndef PLAYTUN_SONG_TEXT_FIELDS_H
#define PLAYTUN_SONG_TEXT_FIELDS_H

#include <stddef.h>

/* The longest title, author or release: a field of a PSID tune. */
#define SONG_TEXT_FIELD_MAX 32

#ifdef __cplusplus
extern "C" {
#endif

/* `length` bytes of the text from byte `start`; length 0 for a part that
 * is not there. */
struct song_text_part {
    size_t start;
    size_t length;
};

struct song_text_fields {
    struct song_text_part title;
    struct song_text_part author;
    struct song_text_part release;
};

/* Fills *fields and returns 1 when the `length` bytes of `text` are in the
 * importer's form; returns 0 and leaves every part empty otherwise. */
int song_text_fields_find(const unsigned char* text, size_t length, struct song_text_fields* fields);

#ifdef __cplusplus
}
#endif

#endif
