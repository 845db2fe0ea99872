/* seek_probe.c - a seek as a player makes it: the song in a playbin-like
 * pipeline (filesrc ! decodebin ! audioconvert ! S16LE ! appsink), paused,
 * then a flushing seek in time. Checks that the first buffer after the seek
 * starts at the song frame at or before the time asked (less than one song
 * frame before it), holds libtonera's samples from that frame, and that the
 * position query agrees; a seek at or past the end gives the end of the
 * stream and no error.
 *   seek_probe SONG SEEK_MS NUM_LOOPS
 * Prints one line and ends with status 0 when every check holds, else 1. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <tonera/tonera.h>

static int failures = 0;
#define CHECK(condition, ...)             \
    do {                                  \
        if (!(condition)) {               \
            printf("FAIL: " __VA_ARGS__); \
            printf("\n");                 \
            ++failures;                   \
        }                                 \
    } while (0)

static gint num_loops = 0;

static void set_loops(GstBin* bin, GstBin* sub_bin, GstElement* element, gpointer data) {
    (void)bin, (void)sub_bin, (void)data;
    if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "num-loops") != NULL)
        g_object_set(element, "num-loops", num_loops, NULL);
}

/* Waits for the pipeline to settle; FALSE on an error message. */
static gboolean settle(GstElement* pipeline) {
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(bus, 10 * GST_SECOND, GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR);
    gboolean settled = message != NULL && GST_MESSAGE_TYPE(message) == GST_MESSAGE_ASYNC_DONE;
    if (message != NULL && !settled) {
        GError* error = NULL;
        gst_message_parse_error(message, &error, NULL);
        printf("FAIL: error message: %s\n", error->message);
        g_error_free(error);
    }
    if (message != NULL) gst_message_unref(message);
    gst_object_unref(bus);
    return settled;
}

/* libtonera's samples after the same seek, for comparison. */
static tonera_song* reference_song(const char* path, guint64 seek_ms) {
    gchar* bytes = NULL;
    gsize size = 0;
    tonera_song* song = NULL;
    if (!g_file_get_contents(path, &bytes, &size, NULL) || tonera_open(bytes, size, &song) != 0) song = NULL;
    g_free(bytes);
    if (song != NULL) {
        tonera_set_loops(song, num_loops < 0 ? TONERA_LOOP_FOREVER : num_loops == 0 ? 1 : num_loops);
        tonera_seek_ms(song, seek_ms);
    }
    return song;
}

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    if (argc != 4) {
        fprintf(stderr, "usage: %s SONG SEEK_MS NUM_LOOPS\n", argv[0]);
        return 2;
    }
    const guint64 seek_ms = g_ascii_strtoull(argv[2], NULL, 10);
    num_loops = atoi(argv[3]);
    tonera_song* song = reference_song(argv[1], seek_ms);
    if (song == NULL) {
        printf("FAIL: %s cannot be opened by libtonera\n", argv[1]);
        return 1;
    }
    const GstClockTime song_frame =
        gst_util_uint64_scale(tonera_samples_per_frame(song), GST_SECOND, TONERA_SAMPLE_RATE);
    const guint64 length = tonera_length_frames(song);
    const GstClockTime end = gst_util_uint64_scale(length, GST_SECOND, TONERA_SAMPLE_RATE);
    const GstClockTime asked = seek_ms * GST_MSECOND;

    gchar* location = g_strescape(argv[1], NULL);
    gchar* description = g_strdup_printf(
        "filesrc location=\"%s\" ! decodebin name=decoder ! audioconvert ! "
        "audio/x-raw,format=S16LE,rate=48000,channels=2 ! appsink name=out sync=false",
        location);
    GError* error = NULL;
    GstElement* pipeline = gst_parse_launch(description, &error);
    g_free(description);
    g_free(location);
    if (pipeline == NULL) {
        printf("FAIL: %s\n", error->message);
        return 1;
    }
    GstElement* decoder = gst_bin_get_by_name(GST_BIN(pipeline), "decoder");
    g_signal_connect(decoder, "deep-element-added", G_CALLBACK(set_loops), NULL);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "out");

    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    if (settle(pipeline)) {
        gint64 duration = -1;
        CHECK(gst_element_query_duration(pipeline, GST_FORMAT_TIME, &duration) && (GstClockTime)duration == end,
              "duration %" G_GINT64_FORMAT " ns, expected %" G_GUINT64_FORMAT, duration, end);
        CHECK(gst_element_seek_simple(pipeline, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE,
                                      (gint64)asked),
              "the seek to %" G_GUINT64_FORMAT " ms was refused", seek_ms);
        if (settle(pipeline)) {
            GstSample* sample = gst_app_sink_pull_preroll(GST_APP_SINK(sink));
            if (asked >= end) {
                CHECK(sample == NULL && gst_app_sink_is_eos(GST_APP_SINK(sink)), "a seek past the end gave samples");
                printf("seek to %" G_GUINT64_FORMAT " ms: the end of the stream\n", seek_ms);
            } else if (sample == NULL) {
                CHECK(FALSE, "no samples after the seek");
            } else {
                GstBuffer* buffer = gst_sample_get_buffer(sample);
                const GstClockTime landed = GST_BUFFER_PTS(buffer);
                CHECK(landed <= asked && asked - landed < song_frame,
                      "landed at %" G_GUINT64_FORMAT " ns for %" G_GUINT64_FORMAT
                      " ns (song frames of %" G_GUINT64_FORMAT " ns)",
                      landed, asked, song_frame);
                gint64 position = -1;
                CHECK(gst_element_query_position(pipeline, GST_FORMAT_TIME, &position) &&
                          (GstClockTime)position >= landed &&
                          (GstClockTime)position - landed <= GST_BUFFER_DURATION(buffer),
                      "position %" G_GINT64_FORMAT " ns after landing at %" G_GUINT64_FORMAT, position, landed);
                GstMapInfo map;
                gst_buffer_map(buffer, &map, GST_MAP_READ);
                const size_t frames = map.size / 4;
                int16_t* expected = g_new(int16_t, 2 * frames);
                const size_t got = tonera_render_s16(song, expected, frames);
                CHECK(frames > 0 && got == frames && memcmp(expected, map.data, map.size) == 0,
                      "the %zu frames after the seek differ from libtonera's", frames);
                g_free(expected);
                gst_buffer_unmap(buffer, &map);
                printf("seek to %" G_GUINT64_FORMAT " ms: landed at %" GST_TIME_FORMAT ", position %" GST_TIME_FORMAT
                       ", %zu frames as libtonera's\n",
                       seek_ms, GST_TIME_ARGS(landed), GST_TIME_ARGS((GstClockTime)position), frames);
            }
            if (sample != NULL) gst_sample_unref(sample);
        }
    } else {
        ++failures;
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(sink);
    gst_object_unref(decoder);
    gst_object_unref(pipeline);
    tonera_close(song);
    return failures == 0 ? 0 : 1;
}
