/*
 * tonera.h - play .tun songs (chip music stored as register dumps) with the
 * Tonera synth engine.
 *
 * Tonera turns a song's channel records into up to eight wavetable voices
 * and mixes them, with integer arithmetic only, into 16-bit stereo at 48000
 * frames per second: the same song gives the same samples on every machine.
 *
 *     tonera_song *song;
 *     int error = tonera_open(bytes, size, &song);    // bytes may be freed now
 *     if (error != 0) { puts(tonera_strerror(error)); return 1; }
 *     int16_t frames[2 * 1024];
 *     size_t got;
 *     while ((got = tonera_render_s16(song, frames, 1024)) > 0)
 *         fwrite(frames, 4, got, out);                // left, right, left, ...
 *     tonera_close(song);
 *
 * Build with `pkg-config --cflags --libs tonera`, or in CMake with
 * `find_package(tonera)` and the target `tonera::tonera`.
 *
 * Errors: functions that can fail return 0 or a negative TONERA_E_ code;
 * tonera_strerror names it. The library never prints, exits or aborts, and
 * any bytes given to tonera_open end in a song or an error code.
 *
 * Counts: a song is a sequence of song frames (records read at the song's
 * frame rate, one tick of the engine each: tonera_frames, tonera_loop_frame,
 * tonera_song_frame, tonera_seek_frame); the rendering is a sequence of
 * stereo frames (one left and one right sample at 48000 Hz:
 * tonera_render_s16's count, tonera_length_frames, tonera_position_frames).
 * One song frame lasts tonera_samples_per_frame() stereo frames (at least
 * one). Stereo frame counts are 64-bit and saturate: nothing wraps.
 *
 * Ownership: tonera_open copies the song's bytes; the song belongs to the
 * caller until tonera_close. Pointers the library returns into a song
 * (tonera_text) stay valid until that song is closed. Strings from
 * tonera_strerror and tonera_version are static.
 *
 * Threads: songs share nothing that changes, so different songs may be used
 * in different threads at the same time with no locking. One song must not
 * be used from two threads at once (call every function for it from one
 * thread, or serialise the calls yourself). tonera_strerror and
 * tonera_version may be called from any thread at any time.
 *
 * Versions: the API follows semantic versioning; a change that breaks a
 * caller comes with a new major version and a new shared library name
 * (libtonera.so.MAJOR).
 */
#ifndef TONERA_TONERA_H
#define TONERA_TONERA_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define TONERA_API __attribute__((visibility("default")))
#else
#define TONERA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define TONERA_VERSION_MAJOR 0
#define TONERA_VERSION_MINOR 3
#define TONERA_VERSION_PATCH 0

/* Stereo frames per second of everything the library renders. */
#define TONERA_SAMPLE_RATE 48000
/* The most voices (channels) a song has. */
#define TONERA_MAX_VOICES 8
/* The largest song file, and the largest unpacked body, tonera_open takes. */
#define TONERA_MAX_SONG_BYTES (256u * 1024u * 1024u)

/* Error codes (always negative). */
#define TONERA_E_INVALID (-1)         /* a NULL pointer or an argument out of range */
#define TONERA_E_NOT_A_SONG (-2)      /* wrong magic, too short, frame rate 0 or no whole frame */
#define TONERA_E_COMPRESSED_DATA (-3) /* compressed, but the unpacked size is 0 */
#define TONERA_E_DECOMPRESSION (-4)   /* the compressed body is broken */
#define TONERA_E_CHANNEL_COUNT (-5)   /* a channel count outside 1..8 */
#define TONERA_E_TOO_LARGE (-6)       /* the song or its unpacked body is over TONERA_MAX_SONG_BYTES */
#define TONERA_E_NO_MEMORY (-7)       /* memory could not be had */

/* An open song: its bytes, its position and the engine that plays it. */
typedef struct tonera_song tonera_song;

/* ---- Opening and rendering ---------------------------------------------- */

/* Opens a song from `size` bytes at `data` (the contents of a .tun file),
 * copying them. Returns 0 and sets *song, or returns a negative TONERA_E_
 * code and sets *song to NULL (TONERA_E_INVALID when song or, with a
 * non-zero size, data is NULL). The new song stands at its start, plays
 * once through, and has no voice muted. */
TONERA_API int tonera_open(const void* data, size_t size, tonera_song** song);

/* Closes a song and frees everything it holds. NULL is allowed. */
TONERA_API void tonera_close(tonera_song* song);

/* Renders up to `count` stereo frames into `frames` (2 x count int16_t,
 * interleaved left, right) at 48000 Hz. Returns the stereo frames written:
 * count, or fewer only at the end of the rendering, then 0. Once through, a
 * song lasts exactly tonera_frames() x tonera_samples_per_frame() stereo
 * frames (song frames shorter than one sample last one).
 * Returns 0 for a NULL song or frames. */
TONERA_API size_t tonera_render_s16(tonera_song* song, int16_t* frames, size_t count);

/* As tonera_render_s16, as floats: each sample is the 16-bit sample divided
 * by 32768 (so -1.0 <= sample < 1.0). */
TONERA_API size_t tonera_render_f32(tonera_song* song, float* frames, size_t count);

/* A text for an error code ("no error" for 0, "unknown error" for codes it
 * does not know). Never NULL. */
TONERA_API const char* tonera_strerror(int code);

/* The library's version, "MAJOR.MINOR.PATCH". */
TONERA_API const char* tonera_version(void);

/* ---- Song facts ---------------------------------------------------------- */

#define TONERA_VARIANT_PLAIN 0 /* magic "TQK": plain control values */
#define TONERA_VARIANT_CHIP 1  /* magic "CQK": control bytes as chip voice registers */

/* The variant, voice count (1..8), song frames per second, the count of
 * song frames, the loop frame (a song frame; one at or past tonera_frames
 * means the song has no loop section), and stereo frames per song frame at
 * 48000 Hz (0 for song frames shorter than one sample, which still last one
 * stereo frame). Each returns 0 for a NULL song. */
TONERA_API int tonera_variant(const tonera_song* song);
TONERA_API int tonera_channels(const tonera_song* song);
TONERA_API int tonera_frame_rate(const tonera_song* song);
TONERA_API uint32_t tonera_frames(const tonera_song* song);
TONERA_API uint32_t tonera_loop_frame(const tonera_song* song);
TONERA_API uint32_t tonera_samples_per_frame(const tonera_song* song);

/* The song once through, in milliseconds (rounded down). */
TONERA_API uint64_t tonera_duration_ms(const tonera_song* song);

/* The song text as stored: code page 437 bytes, not terminated. Sets *text
 * to the bytes (owned by the song) and returns their count; 0 and NULL when
 * the song has no text. text may be NULL to ask for the length only. */
TONERA_API size_t tonera_text(const tonera_song* song, const uint8_t** text);

/* The song text converted from code page 437 to UTF-8 into buffer (size
 * bytes, always terminated when size > 0). Returns the length of the whole
 * UTF-8 text without the terminator, as snprintf does: a result >= size
 * means the text was cut (at a character boundary). */
TONERA_API size_t tonera_text_utf8(const tonera_song* song, char* buffer, size_t size);

/* The song's credits, when its text holds them in the importer's form
 * "TITLE by AUTHOR, RELEASE" (printable ASCII, each part at most 32
 * characters; the text splits at its last " by ", and what follows at its
 * first ", ", so titles may hold both). Each returns a NUL-terminated
 * string owned by the song and valid until tonera_close(); "" when the text
 * holds no such credits (or no release), and "" for a NULL song. The free
 * text itself stays available through tonera_text() / tonera_text_utf8(). */
TONERA_API const char* tonera_title(const tonera_song* song);
TONERA_API const char* tonera_author(const tonera_song* song);
TONERA_API const char* tonera_released(const tonera_song* song);

/* ---- Length, loops and fade (as tuntool render) ------------------------- */

/* Repeat without end (tonera_set_loops). */
#define TONERA_LOOP_FOREVER (-1)

/* How often the loop section plays, the first pass included: 1 (the
 * default) plays the song once through; 2 plays it and its loop section
 * once more, and so on; TONERA_LOOP_FOREVER repeats it without end (then
 * only a length limit ends the rendering). A song without a loop section
 * plays once whatever is asked. 0 restores the default. Returns 0, or
 * TONERA_E_INVALID for other negative values. Takes effect for the whole
 * rendering, counted from the song's start. Passes that would last more
 * than UINT64_MAX stereo frames make a rendering without end, as
 * TONERA_LOOP_FOREVER does (tonera_length_frames says UINT64_MAX). */
TONERA_API int tonera_set_loops(tonera_song* song, int passes);

/* Ends the rendering after at most `ms` milliseconds (0: no limit). With
 * the default loop count, a song with a loop section repeats until the
 * limit. Returns 0, or TONERA_E_INVALID for a NULL song. */
TONERA_API int tonera_set_length_ms(tonera_song* song, uint64_t ms);

/* Fades the last `ms` milliseconds of the rendering to silence along a
 * smoothstep curve (0: no fade; all of it when the rendering is shorter).
 * A rendering without end has nothing to fade. Returns 0, or
 * TONERA_E_INVALID. */
TONERA_API int tonera_set_fade_ms(tonera_song* song, uint32_t ms);

/* Stereo frames the rendering lasts with the settings as they stand, or
 * UINT64_MAX when it has no end (or would last longer than that). */
TONERA_API uint64_t tonera_length_frames(const tonera_song* song);

/* ---- Position and seeking ------------------------------------------------ */

/* Stereo frames rendered since the start of the rendering (a seek moves it).
 * Never past tonera_length_frames: a rendering without end stops after
 * UINT64_MAX stereo frames (some twelve million years), where
 * tonera_render_s16 gives 0. */
TONERA_API uint64_t tonera_position_frames(const tonera_song* song);

/* The song frame the next tick reads (0 .. tonera_frames). */
TONERA_API uint32_t tonera_song_frame(const tonera_song* song);

/* Moves to the start of song frame `frame` (a song frame, not a stereo
 * frame) of the first pass. The voices
 * start again as at tonera_open (wave edits and mutes stay), so what
 * follows a seek is the same every time. Returns 0, or TONERA_E_INVALID
 * when frame is past tonera_frames (tonera_frames itself is the end). */
TONERA_API int tonera_seek_frame(tonera_song* song, uint32_t frame);

/* Moves to the song frame at or before `ms` milliseconds into the
 * rendering, loop passes included, as tonera_seek_frame does. A time at or
 * past the rendering's end moves to its end; in a rendering without end, a
 * time past UINT64_MAX stereo frames moves to the last song frame that
 * starts before it. Returns 0 or TONERA_E_INVALID. */
TONERA_API int tonera_seek_ms(tonera_song* song, uint64_t ms);

/* ---- Voices ------------------------------------------------------------- */

/* Silences voices: bit 0 is voice 1, bit 7 voice 8. A muted voice keeps
 * running, so the voices that sync to it or ring-modulate with it sound as
 * before. Takes effect from the next song frame. Returns 0 or
 * TONERA_E_INVALID (NULL song or bits above 7). */
TONERA_API int tonera_set_mute_mask(tonera_song* song, unsigned mask);
TONERA_API unsigned tonera_mute_mask(const tonera_song* song);

/* ---- What a visualiser shows ------------------------------------------- */

/* Frames of the oscilloscope history in a snapshot. */
#define TONERA_SCOPE_FRAMES 1024

/* One channel record as the latest song frame gave it. */
typedef struct tonera_channel {
    uint16_t pitch; /* bits 0..7 mantissa, 8..10 octave, 11 noise, 12..15 pan codes */
    uint8_t pulse;
    uint8_t control;
    uint8_t volume;
    uint8_t filter;
} tonera_channel;

typedef struct tonera_snapshot {
    uint32_t song_frame;      /* the frame the next tick reads */
    uint64_t position_frames; /* as tonera_position_frames */
    int channels;
    tonera_channel records[TONERA_MAX_VOICES];
    /* What each voice plays after the latest tick (volume 0 when muted). */
    uint8_t voice_volume[TONERA_MAX_VOICES];
    uint8_t voice_pulse[TONERA_MAX_VOICES];
    uint8_t voice_filter[TONERA_MAX_VOICES];
    /* The latest rendered stereo frames, oldest first (left, right); fewer
     * than TONERA_SCOPE_FRAMES at the start: scope_frames says how many. */
    uint32_t scope_frames;
    int16_t scope[2 * TONERA_SCOPE_FRAMES];
} tonera_snapshot;

/* Fills *snapshot with the song's state after the latest render call.
 * Returns 0 or TONERA_E_INVALID. */
TONERA_API int tonera_get_snapshot(const tonera_song* song, tonera_snapshot* snapshot);

/* ---- Wave slots (the player's live wave editing) ------------------------ */

/* Each song has two wave slots (slot 0 plays plain songs and the pulse
 * waveform of chip songs, slot 1 the other chip waveforms), each from a
 * 16-byte definition: bytes 0..7 describe the first half of
 * the wavetable, bytes 8..15 the second, each byte an amplitude (bits 0..4)
 * and a shape (bits 5..7) of one partial. The operations below act on the
 * selected slot and rebuild its wavetable at once; a rendering in progress
 * hears the change from its next call. Each returns 0 or TONERA_E_INVALID
 * for a NULL song or an argument out of range. */
#define TONERA_BASE_SINE 0
#define TONERA_BASE_SHIFTED_SINE 1

TONERA_API int tonera_wave_select(tonera_song* song, int slot);             /* 0 or 1 */
TONERA_API int tonera_wave_preset(tonera_song* song, int preset);           /* 0..5 */
TONERA_API int tonera_wave_set_base(tonera_song* song, int half, int base); /* half 0 or 1 */
TONERA_API int tonera_wave_randomise(tonera_song* song, int half);
TONERA_API int tonera_wave_clear(tonera_song* song, int half);
TONERA_API int tonera_wave_swap_halves(tonera_song* song);
TONERA_API int tonera_wave_step_partial(tonera_song* song, int index, int direction); /* 0..15, +1 or -1 */
/* Copies the slot's definition (16 bytes) into definition. */
TONERA_API int tonera_wave_definition(const tonera_song* song, int slot, uint8_t definition[16]);
/* The base waveform (TONERA_BASE_SINE or TONERA_BASE_SHIFTED_SINE) of each
 * half of the slot: bases[0] for the first half, bases[1] for the second. */
TONERA_API int tonera_wave_bases(const tonera_song* song, int slot, int bases[2]);
/* Gives the slot (0 or 1) the 16-byte definition and the base waveforms of
 * its halves and rebuilds its wavetable: the slot then sounds as the slot
 * of the song whose edits made them. A player that edits waves in one place
 * and sounds them in another hands them over with this. The selected slot
 * stays as it was. */
TONERA_API int tonera_wave_set_slot(tonera_song* song, int slot, const uint8_t definition[16], const int bases[2]);
/* Pulse folding: mirrored pulse widths play as one (on in a new song). */
TONERA_API int tonera_set_pulse_fold(tonera_song* song, int on);
TONERA_API int tonera_pulse_fold(const tonera_song* song);

#ifdef __cplusplus
}
#endif

#endif /* TONERA_TONERA_H */
