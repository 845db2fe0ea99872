/* song_tags.h - what the Audacious plugin makes of a song's credits.
 *
 * A release names the year a tune came out more often than not ("1989
 * Tést", "X2014", "2013 Onslaught"): its first run of exactly four digits
 * is taken for the year when it lies from 1900 to 2099. A release without
 * one (a group's name alone, "1a", a five-digit catalogue number) gives no
 * year.
 */
#ifndef TONERA_AUDACIOUS_SONG_TAGS_H
#define TONERA_AUDACIOUS_SONG_TAGS_H

/* The year in the release text, or 0 when it names none. */
int release_year(const char* release);

#endif
