/* tundec.c - the tundec element (see tundec.h).
 *
 * Threads: the song belongs to the source pad's streaming task. It is
 * opened in upstream's thread at the end of upstream's stream, before the
 * task starts, and from then on used only with the source pad's stream lock
 * held: by the task, and by a seek, which first pauses the task. The properties and the
 * figures the queries answer with (position, duration) are kept under the
 * object lock; the task brings the song up to date with the properties
 * before each block it renders.
 */
#include "tundec.h"

#include <string.h>

#include <gst/audio/audio.h>
#include <gst/base/gstadapter.h>
#include <tonera/tonera.h>

#include "shown_name.h"

GST_DEBUG_CATEGORY_STATIC(tun_dec_debug);
#define GST_CAT_DEFAULT tun_dec_debug

/* Stereo frames per buffer pushed: about 85 ms. */
#define BLOCK_FRAMES 4096

#define DEFAULT_NUM_LOOPS 1
#define DEFAULT_MUTE_MASK 0

enum { PROP_0, PROP_NUM_LOOPS, PROP_MUTE_MASK };

struct _TunDec {
    GstElement parent;
    GstPad* sinkpad;
    GstPad* srcpad;

    /* The song's bytes as they come in; refused once they are too many. */
    GstAdapter* adapter;
    gboolean refused;

    /* Under the source pad's stream lock. */
    tonera_song* song;
    GstSegment segment;
    gboolean need_stream_start;
    gboolean need_segment;
    gboolean discont;
    guint32 segment_seqnum;
    GstAudioFormat format; /* GST_AUDIO_FORMAT_UNKNOWN until negotiated */
    GstTagList* tags;

    /* Under the object lock. */
    gint num_loops;
    guint mute_mask;
    gboolean settings_changed;
    gboolean loaded;
    GstClockTime position;
    GstClockTime duration;
};

G_DEFINE_TYPE(TunDec, tun_dec, GST_TYPE_ELEMENT);
GST_ELEMENT_REGISTER_DEFINE(tundec, "tundec", GST_RANK_PRIMARY, TUN_TYPE_DEC);

static GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(TUN_SONG_CAPS));

static GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) { S16LE, F32LE }, rate = (int) 48000, "
                    "channels = (int) 2, layout = (string) interleaved, channel-mask = (bitmask) 0x3"));

/* The time of `frames` stereo frames, saturating at the latest time a
 * segment or a query can carry (G_MAXINT64 nanoseconds, some 292 years). */
static GstClockTime time_of_frames(uint64_t frames) {
    const GstClockTime time = gst_util_uint64_scale(frames, GST_SECOND, TONERA_SAMPLE_RATE);
    return time > (GstClockTime)G_MAXINT64 ? (GstClockTime)G_MAXINT64 : time;
}

/* The rendering's duration: none when it has no end, or lasts longer than
 * a time can say. */
static GstClockTime duration_of_frames(uint64_t frames) {
    const GstClockTime time = frames == UINT64_MAX ? GST_CLOCK_TIME_NONE : time_of_frames(frames);
    return time == (GstClockTime)G_MAXINT64 ? GST_CLOCK_TIME_NONE : time;
}

/* ---- Opening the song ---------------------------------------------------- */

/* The song's tags: the text as title, artist and copyright when it holds
 * them in the importer's form, else as a comment. */
static GstTagList* song_tags(const tonera_song* song) {
    GstTagList* tags = gst_tag_list_new(GST_TAG_AUDIO_CODEC, "Tonera song", NULL);
    gst_tag_list_set_scope(tags, GST_TAG_SCOPE_GLOBAL);
    if (*tonera_title(song) != '\0') {
        gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_TITLE, tonera_title(song), GST_TAG_ARTIST,
                         tonera_author(song), NULL);
        if (*tonera_released(song) != '\0')
            gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_COPYRIGHT, tonera_released(song), NULL);
        return tags;
    }
    const size_t length = tonera_text_utf8(song, NULL, 0);
    if (length == 0) return tags;
    gchar* text = g_malloc(length + 1);
    tonera_text_utf8(song, text, length + 1);
    gst_tag_list_add(tags, GST_TAG_MERGE_REPLACE, GST_TAG_COMMENT, text, NULL);
    g_free(text);
    return tags;
}

/* The song's file as the errors name it: upstream's location (a file's
 * name, else its URI) shown as playtun shows names; "the stream" when
 * upstream names none. Free with g_free. */
static gchar* song_name(TunDec* self) {
    GstQuery* query = gst_query_new_uri();
    gchar* shown = NULL;
    if (gst_pad_peer_query(self->sinkpad, query)) {
        gchar* uri = NULL;
        gst_query_parse_uri(query, &uri);
        if (uri != NULL) {
            gchar* file = g_filename_from_uri(uri, NULL, NULL);
            shown = tun_shown_name(file != NULL ? file : uri);
            g_free(file);
            g_free(uri);
        }
    }
    gst_query_unref(query);
    return shown != NULL ? shown : g_strdup("the stream");
}

static void refuse_large_song(TunDec* self) {
    gchar* name = song_name(self);
    GST_ELEMENT_ERROR(self, STREAM, DECODE, ("The song is larger than %u bytes.", TONERA_MAX_SONG_BYTES),
                      ("%s: %s", name, tonera_strerror(TONERA_E_TOO_LARGE)));
    g_free(name);
}

/* Opens the song from the bytes gathered; posts an error when they are no
 * song. Called with the stream lock held or before the task runs. */
static gboolean open_song(TunDec* self) {
    const gsize size = gst_adapter_available(self->adapter);
    const void* bytes = size > 0 ? gst_adapter_map(self->adapter, size) : NULL;
    tonera_song* song = NULL;
    const int error = tonera_open(bytes, size, &song);
    if (size > 0) gst_adapter_unmap(self->adapter);
    gst_adapter_clear(self->adapter);
    if (error != 0) {
        gchar* name = song_name(self);
        GST_ELEMENT_ERROR(self, STREAM, DECODE, ("This is not a song that can be played: %s.", tonera_strerror(error)),
                          ("%s: tonera_open gave %d for %" G_GSIZE_FORMAT " bytes", name, error, size));
        g_free(name);
        return FALSE;
    }
    self->song = song;
    if (self->tags != NULL) gst_tag_list_unref(self->tags);
    self->tags = song_tags(song);
    GST_INFO_OBJECT(self, "song: %d voices, %d frames/s, %u frames, loop frame %u", tonera_channels(song),
                    tonera_frame_rate(song), tonera_frames(song), tonera_loop_frame(song));
    GST_OBJECT_LOCK(self);
    self->loaded = TRUE;
    self->settings_changed = TRUE;
    self->position = 0;
    GST_OBJECT_UNLOCK(self);
    return TRUE;
}

/* ---- Output -------------------------------------------------------------- */

static GstCaps* output_caps(GstAudioFormat format) {
    GstAudioInfo info;
    const GstAudioChannelPosition stereo[2] = {GST_AUDIO_CHANNEL_POSITION_FRONT_LEFT,
                                               GST_AUDIO_CHANNEL_POSITION_FRONT_RIGHT};
    gst_audio_info_set_format(&info, format, TONERA_SAMPLE_RATE, 2, stereo);
    return gst_audio_info_to_caps(&info);
}

/* Chooses S16LE, or F32LE when downstream takes only that, and sets the
 * caps. */
static gboolean negotiate(TunDec* self) {
    GstCaps* allowed = gst_pad_get_allowed_caps(self->srcpad);
    GstAudioFormat chosen = GST_AUDIO_FORMAT_UNKNOWN;
    const GstAudioFormat preferred[] = {GST_AUDIO_FORMAT_S16LE, GST_AUDIO_FORMAT_F32LE};
    for (size_t i = 0; i < G_N_ELEMENTS(preferred) && chosen == GST_AUDIO_FORMAT_UNKNOWN; ++i) {
        GstCaps* caps = output_caps(preferred[i]);
        if (allowed == NULL || gst_caps_can_intersect(allowed, caps)) chosen = preferred[i];
        gst_caps_unref(caps);
    }
    if (allowed != NULL) gst_caps_unref(allowed);
    if (chosen == GST_AUDIO_FORMAT_UNKNOWN) return FALSE;
    GstCaps* caps = output_caps(chosen);
    const gboolean set = gst_pad_set_caps(self->srcpad, caps);
    gst_caps_unref(caps);
    if (set) self->format = chosen;
    return set;
}

static void push_stream_start(TunDec* self) {
    gchar* id = gst_pad_create_stream_id(self->srcpad, GST_ELEMENT_CAST(self), NULL);
    GstEvent* event = gst_event_new_stream_start(id);
    g_free(id);
    guint group = 0;
    GstEvent* upstream = gst_pad_get_sticky_event(self->sinkpad, GST_EVENT_STREAM_START, 0);
    if (upstream != NULL && gst_event_parse_group_id(upstream, &group))
        gst_event_set_group_id(event, group);
    else
        gst_event_set_group_id(event, gst_util_group_id_next());
    if (upstream != NULL) gst_event_unref(upstream);
    gst_pad_push_event(self->srcpad, event);
}

/* Brings the song up to date with the properties. */
static void apply_settings(TunDec* self) {
    GST_OBJECT_LOCK(self);
    const gboolean changed = self->settings_changed;
    const gint num_loops = self->num_loops;
    const guint mute_mask = self->mute_mask;
    self->settings_changed = FALSE;
    GST_OBJECT_UNLOCK(self);
    if (!changed) return;
    /* num-loops counts the passes of the loop section in all, as tuntool
     * render --loops does; 0 plays once through, like 1. */
    tonera_set_loops(self->song, num_loops < 0 ? TONERA_LOOP_FOREVER : num_loops == 0 ? 1 : num_loops);
    tonera_set_mute_mask(self->song, mute_mask);
    const GstClockTime duration = duration_of_frames(tonera_length_frames(self->song));
    /* The segment knows the duration, so that seeks from the end land. */
    self->segment.duration = duration;
    GST_OBJECT_LOCK(self);
    const gboolean duration_changed = duration != self->duration;
    self->duration = duration;
    GST_OBJECT_UNLOCK(self);
    if (duration_changed)
        gst_element_post_message(GST_ELEMENT_CAST(self), gst_message_new_duration_changed(GST_OBJECT_CAST(self)));
}

/* Ends the stream: EOS downstream and the task paused. */
static void end_stream(TunDec* self) {
    GstEvent* eos = gst_event_new_eos();
    if (self->segment_seqnum != GST_SEQNUM_INVALID) gst_event_set_seqnum(eos, self->segment_seqnum);
    gst_pad_push_event(self->srcpad, eos);
    gst_pad_pause_task(self->srcpad);
}

/* Ends the segment: SEGMENT_DONE (message and event) after a segment seek,
 * else the end of the stream. */
static void end_segment(TunDec* self) {
    if ((self->segment.flags & GST_SEGMENT_FLAG_SEGMENT) == 0) {
        end_stream(self);
        return;
    }
    const gint64 stop =
        GST_CLOCK_TIME_IS_VALID(self->segment.stop) ? (gint64)self->segment.stop : (gint64)self->segment.position;
    GstMessage* message = gst_message_new_segment_done(GST_OBJECT_CAST(self), GST_FORMAT_TIME, stop);
    GstEvent* event = gst_event_new_segment_done(GST_FORMAT_TIME, stop);
    if (self->segment_seqnum != GST_SEQNUM_INVALID) {
        gst_message_set_seqnum(message, self->segment_seqnum);
        gst_event_set_seqnum(event, self->segment_seqnum);
    }
    gst_element_post_message(GST_ELEMENT_CAST(self), message);
    gst_pad_push_event(self->srcpad, event);
    gst_pad_pause_task(self->srcpad);
}

static void stream_loop(gpointer user_data) {
    TunDec* self = TUN_DEC(user_data);
    if (self->song == NULL) {
        gst_pad_pause_task(self->srcpad);
        return;
    }
    if (self->need_stream_start) {
        push_stream_start(self);
        self->need_stream_start = FALSE;
    }
    if ((self->format == GST_AUDIO_FORMAT_UNKNOWN || gst_pad_check_reconfigure(self->srcpad)) && !negotiate(self)) {
        GST_ELEMENT_FLOW_ERROR(self, GST_FLOW_NOT_NEGOTIATED);
        end_stream(self);
        return;
    }
    if (self->need_segment) {
        GstEvent* event = gst_event_new_segment(&self->segment);
        if (self->segment_seqnum != GST_SEQNUM_INVALID) gst_event_set_seqnum(event, self->segment_seqnum);
        gst_pad_push_event(self->srcpad, event);
        gst_pad_push_event(self->srcpad, gst_event_new_tag(gst_tag_list_ref(self->tags)));
        self->need_segment = FALSE;
    }
    apply_settings(self);

    const uint64_t start = tonera_position_frames(self->song);
    const GstClockTime pts = time_of_frames(start);
    if (GST_CLOCK_TIME_IS_VALID(self->segment.stop) && pts >= self->segment.stop) {
        end_segment(self);
        return;
    }
    const gboolean floats = self->format == GST_AUDIO_FORMAT_F32LE;
    const gsize frame_bytes = floats ? 2 * sizeof(float) : 2 * sizeof(int16_t);
    GstBuffer* buffer = gst_buffer_new_allocate(NULL, BLOCK_FRAMES * frame_bytes, NULL);
    GstMapInfo map;
    gst_buffer_map(buffer, &map, GST_MAP_WRITE);
    const size_t got = floats ? tonera_render_f32(self->song, (float*)map.data, BLOCK_FRAMES)
                              : tonera_render_s16(self->song, (int16_t*)map.data, BLOCK_FRAMES);
    gst_buffer_unmap(buffer, &map);
    if (got == 0) {
        gst_buffer_unref(buffer);
        end_segment(self);
        return;
    }
    gst_buffer_set_size(buffer, got * frame_bytes);
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DURATION(buffer) = time_of_frames(start + got) - pts;
    GST_BUFFER_OFFSET(buffer) = start;
    GST_BUFFER_OFFSET_END(buffer) = start + got;
    if (self->discont) {
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
        self->discont = FALSE;
    }
    self->segment.position = time_of_frames(start + got);
    GST_OBJECT_LOCK(self);
    self->position = self->segment.position;
    GST_OBJECT_UNLOCK(self);

    const GstFlowReturn flow = gst_pad_push(self->srcpad, buffer);
    if (flow == GST_FLOW_OK) return;
    GST_DEBUG_OBJECT(self, "pausing: %s", gst_flow_get_name(flow));
    /* Flushing: a seek or a stop is under way and says what comes next.
     * Downstream wants no more (EOS): the stream ends there, and downstream
     * learns it so the pipeline ends. Anything else is fatal. */
    if (flow == GST_FLOW_FLUSHING) {
        gst_pad_pause_task(self->srcpad);
        return;
    }
    if (flow != GST_FLOW_EOS) GST_ELEMENT_FLOW_ERROR(self, flow);
    end_stream(self);
}

/* ---- Seeking ------------------------------------------------------------- */

/* A time a seek gives, from the start or the end; -1 when not given or not
 * known. */
static gint64 seek_time(GstClockTime duration, GstSeekType type, gint64 value) {
    if (type == GST_SEEK_TYPE_SET) return value;
    if (type == GST_SEEK_TYPE_END && GST_CLOCK_TIME_IS_VALID(duration)) return MAX((gint64)duration + value, 0);
    return -1;
}

/* Whether the seek starts after it stops, which GStreamer's segments do not
 * take (they complain aloud). */
static gboolean seek_start_after_stop(GstClockTime duration, GstSeekType start_type, gint64 start,
                                      GstSeekType stop_type, gint64 stop) {
    const gint64 from = seek_time(duration, start_type, start);
    const gint64 to = seek_time(duration, stop_type, stop);
    return from >= 0 && to >= 0 && from > to;
}

static gboolean seek(TunDec* self, GstEvent* event) {
    gdouble rate;
    GstFormat format;
    GstSeekFlags flags;
    GstSeekType start_type, stop_type;
    gint64 start, stop;
    gst_event_parse_seek(event, &rate, &format, &flags, &start_type, &start, &stop_type, &stop);
    if (format != GST_FORMAT_TIME || rate != 1.0) {
        GST_DEBUG_OBJECT(self, "only seeks in time at rate 1 are possible");
        return FALSE;
    }
    GST_OBJECT_LOCK(self);
    const gboolean loaded = self->loaded;
    GstSegment trial;
    gst_segment_init(&trial, GST_FORMAT_TIME);
    trial.duration = self->duration;
    GST_OBJECT_UNLOCK(self);
    if (!loaded) return FALSE;
    /* A seek the segment cannot take (a start after the stop, a time from
     * an end that is not known) is refused before anything moves. */
    gboolean update;
    if (seek_start_after_stop(trial.duration, start_type, start, stop_type, stop) ||
        !gst_segment_do_seek(&trial, rate, format, flags, start_type, start, stop_type, stop, &update)) {
        GST_DEBUG_OBJECT(self, "refusing a seek the segment cannot take");
        return FALSE;
    }

    const gboolean flush = (flags & GST_SEEK_FLAG_FLUSH) != 0;
    const guint32 seqnum = gst_event_get_seqnum(event);
    if (flush) {
        GstEvent* flush_start = gst_event_new_flush_start();
        gst_event_set_seqnum(flush_start, seqnum);
        gst_pad_push_event(self->srcpad, flush_start);
    }
    gst_pad_pause_task(self->srcpad);
    GST_PAD_STREAM_LOCK(self->srcpad);

    apply_settings(self);
    GstSegment segment = self->segment;
    if (!gst_segment_do_seek(&segment, rate, format, flags, start_type, start, stop_type, stop, &update)) {
        /* Refused (a start after the stop, counted from the end say): the
         * stream goes on where it was. */
        GST_DEBUG_OBJECT(self, "refusing a seek the segment cannot take");
        if (flush) {
            GstEvent* flush_stop = gst_event_new_flush_stop(FALSE);
            gst_event_set_seqnum(flush_stop, seqnum);
            gst_pad_push_event(self->srcpad, flush_stop);
        }
        gst_pad_start_task(self->srcpad, stream_loop, self, NULL);
        GST_PAD_STREAM_UNLOCK(self->srcpad);
        return FALSE;
    }
    tonera_seek_ms(self->song, segment.position / GST_MSECOND);
    const GstClockTime landed = time_of_frames(tonera_position_frames(self->song));
    GST_DEBUG_OBJECT(self, "seek to %" GST_TIME_FORMAT " landed at %" GST_TIME_FORMAT, GST_TIME_ARGS(segment.position),
                     GST_TIME_ARGS(landed));
    segment.start = segment.time = segment.position = landed;

    if (flush) {
        GstEvent* flush_stop = gst_event_new_flush_stop(TRUE);
        gst_event_set_seqnum(flush_stop, seqnum);
        gst_pad_push_event(self->srcpad, flush_stop);
    }
    self->segment = segment;
    self->segment_seqnum = seqnum;
    self->need_segment = TRUE;
    self->discont = TRUE;
    GST_OBJECT_LOCK(self);
    self->position = landed;
    GST_OBJECT_UNLOCK(self);
    gst_pad_start_task(self->srcpad, stream_loop, self, NULL);
    GST_PAD_STREAM_UNLOCK(self->srcpad);
    return TRUE;
}

/* ---- Pads ------------------------------------------------------------------ */

static gboolean src_event(GstPad* pad, GstObject* parent, GstEvent* event) {
    TunDec* self = TUN_DEC(parent);
    if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) {
        const gboolean done = seek(self, event);
        gst_event_unref(event);
        return done;
    }
    return gst_pad_event_default(pad, parent, event);
}

static gboolean src_query(GstPad* pad, GstObject* parent, GstQuery* query) {
    TunDec* self = TUN_DEC(parent);
    GstFormat format;
    switch (GST_QUERY_TYPE(query)) {
        case GST_QUERY_DURATION: {
            gst_query_parse_duration(query, &format, NULL);
            GST_OBJECT_LOCK(self);
            const GstClockTime duration = self->loaded ? self->duration : GST_CLOCK_TIME_NONE;
            GST_OBJECT_UNLOCK(self);
            if (format != GST_FORMAT_TIME || !GST_CLOCK_TIME_IS_VALID(duration)) return FALSE;
            gst_query_set_duration(query, GST_FORMAT_TIME, (gint64)duration);
            return TRUE;
        }
        case GST_QUERY_POSITION: {
            gst_query_parse_position(query, &format, NULL);
            GST_OBJECT_LOCK(self);
            const gboolean loaded = self->loaded;
            const GstClockTime position = self->position;
            GST_OBJECT_UNLOCK(self);
            if (format != GST_FORMAT_TIME || !loaded) return FALSE;
            gst_query_set_position(query, GST_FORMAT_TIME, (gint64)position);
            return TRUE;
        }
        case GST_QUERY_SEEKING: {
            gst_query_parse_seeking(query, &format, NULL, NULL, NULL);
            if (format != GST_FORMAT_TIME) return FALSE;
            GST_OBJECT_LOCK(self);
            const gboolean loaded = self->loaded;
            const GstClockTime duration = self->duration;
            GST_OBJECT_UNLOCK(self);
            gst_query_set_seeking(query, GST_FORMAT_TIME, loaded, 0,
                                  loaded && GST_CLOCK_TIME_IS_VALID(duration) ? (gint64)duration : -1);
            return TRUE;
        }
        default: return gst_pad_query_default(pad, parent, query);
    }
}

static gboolean src_activate_mode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active) {
    (void)parent;
    if (mode == GST_PAD_MODE_PUSH && !active) return gst_pad_stop_task(pad);
    return mode == GST_PAD_MODE_PUSH;
}

/* The song gathers here until the end of the stream. A song over the size
 * limit is refused at its first bytes when upstream knows its size, else
 * as soon as one byte more than the limit has come. Upstream is then told
 * that the stream has ended (not that it failed: the refusal is the one
 * error of the pipeline). */
static GstFlowReturn sink_chain(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
    TunDec* self = TUN_DEC(parent);
    if (self->refused) {
        gst_buffer_unref(buffer);
        return GST_FLOW_EOS;
    }
    gint64 upstream_size = -1;
    const gboolean first = gst_adapter_available(self->adapter) == 0;
    if ((first && gst_pad_peer_query_duration(pad, GST_FORMAT_BYTES, &upstream_size) &&
         upstream_size > (gint64)TONERA_MAX_SONG_BYTES) ||
        gst_adapter_available(self->adapter) + gst_buffer_get_size(buffer) > TONERA_MAX_SONG_BYTES) {
        gst_buffer_unref(buffer);
        gst_adapter_clear(self->adapter);
        refuse_large_song(self);
        self->refused = TRUE;
        return GST_FLOW_EOS;
    }
    gst_adapter_push(self->adapter, buffer);
    return GST_FLOW_OK;
}

/* Upstream's events describe the file, not the sound: only its end counts,
 * and the element sends its own stream start, caps and segment. */
static gboolean sink_event(GstPad* pad, GstObject* parent, GstEvent* event) {
    (void)pad;
    TunDec* self = TUN_DEC(parent);
    const GstEventType type = GST_EVENT_TYPE(event);
    gst_event_unref(event);
    if (type != GST_EVENT_EOS) return TRUE;
    GST_OBJECT_LOCK(self);
    const gboolean loaded = self->loaded;
    GST_OBJECT_UNLOCK(self);
    if (loaded || self->refused) return TRUE;
    if (!open_song(self)) return FALSE;
    return gst_pad_start_task(self->srcpad, stream_loop, self, NULL);
}

static gboolean sink_activate_mode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active) {
    (void)pad;
    TunDec* self = TUN_DEC(parent);
    if (mode != GST_PAD_MODE_PUSH) return FALSE;
    return active ? TRUE : gst_pad_stop_task(self->srcpad);
}

/* ---- The element ----------------------------------------------------------- */

static void reset(TunDec* self) {
    tonera_close(self->song);
    self->song = NULL;
    gst_adapter_clear(self->adapter);
    self->refused = FALSE;
    gst_segment_init(&self->segment, GST_FORMAT_TIME);
    self->need_stream_start = TRUE;
    self->need_segment = TRUE;
    self->discont = TRUE;
    self->segment_seqnum = GST_SEQNUM_INVALID;
    self->format = GST_AUDIO_FORMAT_UNKNOWN;
    if (self->tags != NULL) gst_tag_list_unref(self->tags);
    self->tags = NULL;
    GST_OBJECT_LOCK(self);
    self->loaded = FALSE;
    self->position = 0;
    self->duration = GST_CLOCK_TIME_NONE;
    GST_OBJECT_UNLOCK(self);
}

static GstStateChangeReturn change_state(GstElement* element, GstStateChange transition) {
    TunDec* self = TUN_DEC(element);
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) reset(self);
    const GstStateChangeReturn result = GST_ELEMENT_CLASS(tun_dec_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) reset(self);
    return result;
}

static void set_property(GObject* object, guint id, const GValue* value, GParamSpec* param) {
    TunDec* self = TUN_DEC(object);
    GST_OBJECT_LOCK(self);
    switch (id) {
        case PROP_NUM_LOOPS: self->num_loops = g_value_get_int(value); break;
        case PROP_MUTE_MASK: self->mute_mask = g_value_get_uint(value); break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param); break;
    }
    self->settings_changed = TRUE;
    GST_OBJECT_UNLOCK(self);
}

static void get_property(GObject* object, guint id, GValue* value, GParamSpec* param) {
    TunDec* self = TUN_DEC(object);
    GST_OBJECT_LOCK(self);
    switch (id) {
        case PROP_NUM_LOOPS: g_value_set_int(value, self->num_loops); break;
        case PROP_MUTE_MASK: g_value_set_uint(value, self->mute_mask); break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, param); break;
    }
    GST_OBJECT_UNLOCK(self);
}

static void finalize(GObject* object) {
    TunDec* self = TUN_DEC(object);
    tonera_close(self->song);
    g_object_unref(self->adapter);
    if (self->tags != NULL) gst_tag_list_unref(self->tags);
    G_OBJECT_CLASS(tun_dec_parent_class)->finalize(object);
}

static void tun_dec_class_init(TunDecClass* klass) {
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    GST_DEBUG_CATEGORY_INIT(tun_dec_debug, "tundec", 0, ".tun song decoder");

    object_class->set_property = set_property;
    object_class->get_property = get_property;
    object_class->finalize = finalize;
    g_object_class_install_property(
        object_class, PROP_NUM_LOOPS,
        g_param_spec_int("num-loops", "Number of loops",
                         "How often the loop section plays in all, the first time through included "
                         "(1 or 0: once through, ending at the song's end; 2: the loop section twice; "
                         "-1: without end)",
                         -1, G_MAXINT, DEFAULT_NUM_LOOPS, G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS));
    g_object_class_install_property(
        object_class, PROP_MUTE_MASK,
        g_param_spec_uint("mute-mask", "Muted voices",
                          "Voices kept silent: bit 0 is voice 1, bit 7 voice 8 (from the next song frame on)", 0,
                          (1u << TONERA_MAX_VOICES) - 1, DEFAULT_MUTE_MASK,
                          G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS));

    element_class->change_state = change_state;
    gst_element_class_add_static_pad_template(element_class, &sink_template);
    gst_element_class_add_static_pad_template(element_class, &src_template);
    gst_element_class_set_static_metadata(element_class, ".tun song decoder", "Codec/Decoder/Audio",
                                          "Plays .tun chip-music songs with the Tonera synth engine",
                                          "playtun developers");
}

static void tun_dec_init(TunDec* self) {
    self->sinkpad = gst_pad_new_from_static_template(&sink_template, "sink");
    gst_pad_set_activatemode_function(self->sinkpad, sink_activate_mode);
    gst_pad_set_chain_function(self->sinkpad, sink_chain);
    gst_pad_set_event_function(self->sinkpad, sink_event);
    gst_element_add_pad(GST_ELEMENT_CAST(self), self->sinkpad);

    self->srcpad = gst_pad_new_from_static_template(&src_template, "src");
    gst_pad_set_activatemode_function(self->srcpad, src_activate_mode);
    gst_pad_set_event_function(self->srcpad, src_event);
    gst_pad_set_query_function(self->srcpad, src_query);
    gst_pad_use_fixed_caps(self->srcpad);
    gst_element_add_pad(GST_ELEMENT_CAST(self), self->srcpad);

    self->adapter = gst_adapter_new();
    self->num_loops = DEFAULT_NUM_LOOPS;
    self->mute_mask = DEFAULT_MUTE_MASK;
    gst_segment_init(&self->segment, GST_FORMAT_TIME);
    self->format = GST_AUDIO_FORMAT_UNKNOWN;
    self->duration = GST_CLOCK_TIME_NONE;
    self->segment_seqnum = GST_SEQNUM_INVALID;
}
