/* shown_name.c - see shown_name.h. */
#include "shown_name.h"

#include <stdint.h>
#include <string.h>

/* The length of the UTF-8 character at `at` (0 when the bytes there are no
 * well-formed character), and whether a name may show it as it is. */
static gsize character_at(const guint8* at, gsize left, gboolean* printable) {
    *printable = FALSE;
    if (at[0] < 0x80) {
        *printable = at[0] >= 0x20 && at[0] != 0x7f;
        return 1;
    }
    gsize length;
    uint32_t code, least;
    if (at[0] >= 0xc2 && at[0] <= 0xdf) {
        length = 2, code = at[0] & 0x1fu, least = 0x80;
    } else if (at[0] >= 0xe0 && at[0] <= 0xef) {
        length = 3, code = at[0] & 0x0fu, least = 0x800;
    } else if (at[0] >= 0xf0 && at[0] <= 0xf4) {
        length = 4, code = at[0] & 0x07u, least = 0x10000;
    } else {
        return 0;
    }
    if (left < length) return 0;
    for (gsize i = 1; i < length; ++i) {
        if ((at[i] & 0xc0) != 0x80) return 0;
        code = code << 6 | (at[i] & 0x3fu);
    }
    if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
    *printable = code > 0x9f && code != 0x2028 && code != 0x2029;
    return length;
}

static gboolean needs_quotes(const guint8* name, gsize size) {
    if (size == 0 || name[0] == '\'' || name[0] == '$') return TRUE;
    for (gsize at = 0; at < size;) {
        gboolean printable;
        const gsize length = character_at(name + at, size - at, &printable);
        if (!printable) return TRUE;
        at += length;
    }
    return FALSE;
}

enum inside { NOTHING, QUOTES, DOLLAR_QUOTES };

static void enter(GString* out, enum inside* now, enum inside wanted) {
    if (*now == wanted) return;
    if (*now != NOTHING) g_string_append_c(out, '\'');
    if (wanted == QUOTES) g_string_append_c(out, '\'');
    if (wanted == DOLLAR_QUOTES) g_string_append(out, "$'");
    *now = wanted;
}

gchar* tun_shown_name(const gchar* text) {
    const guint8* name = (const guint8*)text;
    const gsize size = strlen(text);
    if (!needs_quotes(name, size)) return g_strdup(text);
    if (size == 0) return g_strdup("''");
    GString* out = g_string_new(NULL);
    enum inside now = NOTHING;
    for (gsize at = 0; at < size;) {
        gboolean printable;
        gsize length = character_at(name + at, size - at, &printable);
        if (!printable) {
            enter(out, &now, DOLLAR_QUOTES);
            /* A malformed sequence goes a byte at a time. */
            if (length == 0) length = 1;
            for (gsize i = 0; i < length; ++i) {
                const guint8 byte = name[at + i];
                if (byte >= '\a' && byte <= '\r')
                    g_string_append_printf(out, "\\%c", "abtnvfr"[byte - '\a']);
                else
                    g_string_append_printf(out, "\\%03o", byte);
            }
        } else if (name[at] == '\'') {
            enter(out, &now, NOTHING);
            g_string_append(out, "\\'");
        } else {
            enter(out, &now, QUOTES);
            g_string_append_len(out, text + at, (gssize)length);
        }
        at += length;
    }
    enter(out, &now, NOTHING);
    return g_string_free(out, FALSE);
}
