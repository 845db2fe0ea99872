#include "song_credits.h"

#include <string.h>

#include "text/song_text_fields.h"

/* The rule is the one tuntool render follows for its tags, so that a song
 * is tagged alike wherever it is played. */
int tun_parse_credits(const char *text, size_t length, tun_credits *credits)
{
    memset(credits, 0, sizeof *credits);
    if (text == NULL) return 0;
    struct song_text_fields fields;
    if (!song_text_fields_find((const unsigned char *)text, length, &fields)) return 0;
    credits->title = (tun_span){fields.title.start, fields.title.length};
    credits->author = (tun_span){fields.author.start, fields.author.length};
    credits->release = (tun_span){fields.release.start, fields.release.length};
    return 1;
}
