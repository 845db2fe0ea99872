#include "text/song_text_fields.h"

#include <string.h>

static int has_at(const unsigned char* text, size_t length, size_t at, const char* word) {
    const size_t n = strlen(word);
    return at + n <= length && memcmp(text + at, word, n) == 0;
}

int song_text_fields_find(const unsigned char* text, size_t length, struct song_text_fields* fields) {
    static const char by[] = " by ";
    static const char comma[] = ", ";
    const size_t by_length = sizeof by - 1;
    const size_t comma_length = sizeof comma - 1;
    size_t i;
    size_t by_at = length;
    size_t author_start;
    size_t comma_at;
    memset(fields, 0, sizeof *fields);
    if (text == NULL) return 0;
    for (i = 0; i < length; ++i)
        if (text[i] < 0x20 || text[i] > 0x7E) return 0;
    for (i = length; i-- > 0;) {
        if (has_at(text, length, i, by)) {
            by_at = i;
            break;
        }
    }
    if (by_at == length || by_at == 0) return 0;
    author_start = by_at + by_length;
    comma_at = author_start;
    while (comma_at < length && !has_at(text, length, comma_at, comma)) ++comma_at;
    if (comma_at == author_start) return 0;
    if (comma_at < length && comma_at + comma_length == length) return 0;
    if (by_at > SONG_TEXT_FIELD_MAX || comma_at - author_start > SONG_TEXT_FIELD_MAX) return 0;
    if (comma_at < length && length - (comma_at + comma_length) > SONG_TEXT_FIELD_MAX) return 0;
    fields->title.start = 0;
    fields->title.length = by_at;
    fields->author.start = author_start;
    fields->author.length = comma_at - author_start;
    if (comma_at < length) {
        fields->release.start = comma_at + comma_length;
        fields->release.length = length - fields->release.start;
    }
    return 1;
}
