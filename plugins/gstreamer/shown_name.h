/* shown_name.h - how the element names a song's file in its errors, as
 * playtun and tuntool do: as it is, or, when it holds a control character
 * (U+0000 to U+001F, U+007F to U+009F), a line or paragraph separator or
 * bytes that are no UTF-8, or begins with ' or $, quoted as a shell takes
 * it back ('a'$'\n''b.tun'). */
#pragma once

#include <glib.h>

/* The shown form of `name`, to be freed with g_free. */
gchar* tun_shown_name(const gchar* name);
