/* song_credits.h - title, author and release out of a song text.
 *
 * The importer writes the text of a song made from a tune as
 * "TITLE by AUTHOR, RELEASE" in printable ASCII, each part at most 32
 * characters, leaving out what the tune does not know. Titles may hold
 * " by " and commas themselves ("Stand by Me"), so the text splits at its
 * last " by ", and what follows at its first ", ". A text that does not
 * split so (a score's free text, a sentence, letters outside ASCII) has
 * no credits. The rule is text/song_text_fields.h's, which tuntool render
 * follows for its tags.
 */
#ifndef TUN_SONG_CREDITS_H
#define TUN_SONG_CREDITS_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* A part of the text: `length` bytes from `start`. */
typedef struct tun_span {
    size_t start;
    size_t length;
} tun_span;

typedef struct tun_credits {
    tun_span title;
    tun_span author;
    tun_span release; /* length 0 when the text names no release */
} tun_credits;

/* Splits `length` bytes of text into *credits. Returns 1 when the text holds a title and an author in the
 * importer's form, else 0 (and *credits is all zero). */
int tun_parse_credits(const char *text, size_t length, tun_credits *credits);

#ifdef __cplusplus
}
#endif

#endif /* TUN_SONG_CREDITS_H */
