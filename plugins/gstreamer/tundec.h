/* tundec.h - the tundec element: audio/x-tun in, audio/x-raw out.
 *
 * The element takes a whole song (up to TONERA_MAX_SONG_BYTES), gathering
 * what upstream pushes until the end of the stream (it never pulls: its
 * source pad, always there, must not push before decodebin has set it up),
 * opens it with libtonera and pushes
 * libtonera's samples: S16LE or F32LE (whichever downstream takes, S16LE
 * when both), 48000 Hz, stereo interleaved. It answers duration, position
 * and seeking queries in time, seeks to the song frame at or before the time
 * asked, and has the properties num-loops and mute-mask.
 */
#ifndef TUN_TUNDEC_H
#define TUN_TUNDEC_H

#include <gst/gst.h>

G_BEGIN_DECLS

#define TUN_TYPE_DEC (tun_dec_get_type())
G_DECLARE_FINAL_TYPE(TunDec, tun_dec, TUN, DEC, GstElement)

/* The caps of a song file, given by the type finder and taken by tundec. */
#define TUN_SONG_CAPS "audio/x-tun"

GST_ELEMENT_REGISTER_DECLARE(tundec);

G_END_DECLS

#endif /* TUN_TUNDEC_H */
