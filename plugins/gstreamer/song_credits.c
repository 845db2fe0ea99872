#include "song_credits.h"

#include <string.h>

static const char by_word[] = " by ";
static const char release_comma[] = ", ";

/* The offset of the last `needle` in text[0, length), or `length` when it
 * does not occur. */
static size_t find_last(const char *text, size_t length, const char *needle)
{
    const size_t n = strlen(needle);
    for (size_t at = length >= n ? length - n + 1 : 0; at-- > 0;)
        if (memcmp(text + at, needle, n) == 0) return at;
    return length;
}

/* The offset of the first `needle` in text[0, length), or `length`. */
static size_t find_first(const char *text, size_t length, const char *needle)
{
    const size_t n = strlen(needle);
    for (size_t at = 0; at + n <= length; ++at)
        if (memcmp(text + at, needle, n) == 0) return at;
    return length;
}

int tun_parse_credits(const char *text, size_t length, tun_credits *credits)
{
    memset(credits, 0, sizeof *credits);
    if (text == NULL) return 0;
    const size_t by = find_last(text, length, by_word);
    if (by == length || by == 0) return 0;
    const size_t rest = by + strlen(by_word);
    const size_t comma = rest + find_first(text + rest, length - rest, release_comma);
    if (comma == rest) return 0;
    credits->title = (tun_span){0, by};
    credits->author = (tun_span){rest, comma - rest};
    if (comma < length) {
        const size_t release = comma + strlen(release_comma);
        credits->release = (tun_span){release, length - release};
    }
    return 1;
}
