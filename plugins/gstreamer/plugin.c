/* plugin.c - the tonera GStreamer plugin: a type finder that knows .tun
 * songs by their magic and the tundec element that plays them. */
#include <string.h>

#include <gst/gst.h>

#include "tundec.h"

#ifndef PACKAGE_VERSION
#error "PACKAGE_VERSION must be defined by the build"
#endif
#define PACKAGE "playtun"

/* A song begins with "TQK" or "CQK". With a channel count of 1 to 8 and a
 * frame rate the header is a song's beyond reasonable doubt; the magic
 * alone still makes it likely enough for tundec to say what is wrong. */
static void find_song(GstTypeFind* find, gpointer data) {
    (void)data;
    const guint8* header = gst_type_find_peek(find, 0, 6);
    if (header == NULL) header = gst_type_find_peek(find, 0, 3);
    if (header == NULL || (memcmp(header, "TQK", 3) != 0 && memcmp(header, "CQK", 3) != 0)) return;
    guint probability = GST_TYPE_FIND_POSSIBLE;
    if (gst_type_find_peek(find, 0, 6) != NULL) {
        const unsigned channels = header[3] & 0x0F;
        const unsigned frame_rate = header[4] | (unsigned)header[5] << 8;
        if (channels >= 1 && channels <= 8 && frame_rate > 0) probability = GST_TYPE_FIND_MAXIMUM;
    }
    gst_type_find_suggest_empty_simple(find, probability, TUN_SONG_CAPS);
}

static gboolean plugin_init(GstPlugin* plugin) {
    GstCaps* caps = gst_caps_new_empty_simple(TUN_SONG_CAPS);
    const gboolean found =
        gst_type_find_register(plugin, "audio/x-tun", GST_RANK_PRIMARY, find_song, "tun", caps, NULL, NULL);
    gst_caps_unref(caps);
    return found && GST_ELEMENT_REGISTER(tundec, plugin);
}

/* The descriptor leaves GStreamer's reserved fields to their zero start. */
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, tonera,
                  "Plays .tun chip-music songs with the Tonera synth engine", plugin_init, PACKAGE_VERSION, "GPL",
                  PACKAGE, "Unknown package origin")
#pragma GCC diagnostic pop
