/* flow_cases.c - how tundec ends and seeks, as pipelines see it:
 * a downstream that stops early ends the pipeline (EOS), seeks the segment
 * cannot take are refused without a GStreamer CRITICAL, a seek from the end
 * lands there, a segment seek ends in SEGMENT_DONE, and durations of many
 * loops never wrap.
 *   flow_cases SONG
 * Prints a line per failed check and ends with status 0 when all hold. */
#include <stdio.h>
#include <string.h>

#include <gst/gst.h>

static int failures = 0;
static int criticals = 0;

#define CHECK(condition, ...)             \
    do {                                  \
        if (!(condition)) {               \
            printf("FAIL: " __VA_ARGS__); \
            printf("\n");                 \
            ++failures;                   \
        }                                 \
    } while (0)

static void count_criticals(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer data) {
    (void)data;
    ++criticals;
    g_log_default_handler(domain, level, message, NULL);
}

/* Waits up to `seconds` for one of the message types; returns the type
 * seen (GST_MESSAGE_UNKNOWN on time out), ERROR included. */
static GstMessageType wait_for(GstElement* pipeline, GstMessageType types, int seconds) {
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message =
        gst_bus_timed_pop_filtered(bus, (GstClockTime)seconds * GST_SECOND, types | GST_MESSAGE_ERROR);
    gst_object_unref(bus);
    if (message == NULL) return GST_MESSAGE_UNKNOWN;
    const GstMessageType type = GST_MESSAGE_TYPE(message);
    gst_message_unref(message);
    return type;
}

static GstElement* launch(const char* description) {
    GError* error = NULL;
    GstElement* pipeline = gst_parse_launch(description, &error);
    if (pipeline == NULL) {
        printf("FAIL: %s: %s\n", description, error->message);
        g_error_free(error);
        ++failures;
    }
    return pipeline;
}

/* Pipelines whose downstream takes a few buffers and then wants no more. */
static void early_ends(const char* song) {
    const char* forms[] = {
        "filesrc location=\"%s\" ! tundec ! fakesink num-buffers=5",
        "filesrc location=\"%s\" ! decodebin ! fakesink num-buffers=5",
        "filesrc location=\"%s\" ! tundec num-loops=-1 ! fakesink num-buffers=1",
    };
    for (size_t i = 0; i < G_N_ELEMENTS(forms); ++i) {
        gchar* description = g_strdup_printf(forms[i], song);
        GstElement* pipeline = launch(description);
        if (pipeline != NULL) {
            gst_element_set_state(pipeline, GST_STATE_PLAYING);
            const GstMessageType seen = wait_for(pipeline, GST_MESSAGE_EOS, 10);
            CHECK(seen == GST_MESSAGE_EOS, "%s: no end of stream within 10 s (%s)", description,
                  gst_message_type_get_name(seen));
            gst_element_set_state(pipeline, GST_STATE_NULL);
            gst_object_unref(pipeline);
        }
        g_free(description);
    }
}

struct seek_case {
    const char* what;
    GstSeekFlags flags;
    GstSeekType start_type;
    gint64 start;
    GstSeekType stop_type;
    gint64 stop;
    gboolean taken;
    /* When taken: where the decoder stands after it, from the start
     * (>= 0) or from the end (< 0), and what ends the stream. */
    gint64 lands;
    GstMessageType ends_with;
};

static void seeks(const char* song) {
    const GstSeekFlags flush = GST_SEEK_FLAG_FLUSH;
    const struct seek_case cases[] = {
        {"start after stop", flush, GST_SEEK_TYPE_SET, 3 * GST_SECOND, GST_SEEK_TYPE_SET, GST_SECOND, FALSE, 0, 0},
        {"start after stop, no flush", 0, GST_SEEK_TYPE_SET, 3 * GST_SECOND, GST_SEEK_TYPE_SET, GST_SECOND, FALSE, 0,
         0},
        {"start from the end after a stop", flush, GST_SEEK_TYPE_END, -GST_SECOND, GST_SEEK_TYPE_SET, GST_SECOND, FALSE,
         0, 0},
        {"5 s before the end", flush, GST_SEEK_TYPE_END, -5 * GST_SECOND, GST_SEEK_TYPE_NONE, -1, TRUE, -5 * GST_SECOND,
         GST_MESSAGE_EOS},
        {"a time into the song", flush, GST_SEEK_TYPE_SET, 2 * GST_SECOND, GST_SEEK_TYPE_NONE, -1, TRUE, 2 * GST_SECOND,
         GST_MESSAGE_EOS},
        {"a segment seek", flush | GST_SEEK_FLAG_SEGMENT, GST_SEEK_TYPE_SET, GST_SECOND, GST_SEEK_TYPE_SET,
         2 * GST_SECOND, TRUE, GST_SECOND, GST_MESSAGE_SEGMENT_DONE},
        {"a segment seek to the end", flush | GST_SEEK_FLAG_SEGMENT, GST_SEEK_TYPE_END, -GST_SECOND, GST_SEEK_TYPE_NONE,
         -1, TRUE, -GST_SECOND, GST_MESSAGE_SEGMENT_DONE},
    };
    for (size_t i = 0; i < G_N_ELEMENTS(cases); ++i) {
        const struct seek_case* c = &cases[i];
        gchar* description = g_strdup_printf("filesrc location=\"%s\" ! tundec name=dec ! fakesink sync=false", song);
        GstElement* pipeline = launch(description);
        g_free(description);
        if (pipeline == NULL) continue;
        GstElement* decoder = gst_bin_get_by_name(GST_BIN(pipeline), "dec");
        gst_element_set_state(pipeline, GST_STATE_PAUSED);
        CHECK(wait_for(pipeline, GST_MESSAGE_ASYNC_DONE, 10) == GST_MESSAGE_ASYNC_DONE, "%s: no preroll", c->what);
        gint64 duration = -1;
        CHECK(gst_element_query_duration(decoder, GST_FORMAT_TIME, &duration) && duration > 10 * GST_SECOND,
              "%s: no duration", c->what);
        const int before = criticals;
        const gboolean taken =
            gst_element_seek(decoder, 1.0, GST_FORMAT_TIME, c->flags, c->start_type, c->start, c->stop_type, c->stop);
        CHECK(taken == c->taken, "%s: the seek returned %s", c->what, taken ? "TRUE" : "FALSE");
        CHECK(criticals == before, "%s: GStreamer complained", c->what);
        if (taken && c->taken) {
            if ((c->flags & GST_SEEK_FLAG_FLUSH) != 0) wait_for(pipeline, GST_MESSAGE_ASYNC_DONE, 10);
            const gint64 target = c->lands >= 0 ? c->lands : duration + c->lands;
            gint64 position = -1;
            gst_element_query_position(decoder, GST_FORMAT_TIME, &position);
            /* At the song frame at or before the target (at most a second
             * before, for songs of one frame a second), or one block past
             * it once the first block is out. */
            CHECK(position >= target - GST_SECOND && position <= target + 100 * GST_MSECOND,
                  "%s: at %" GST_TIME_FORMAT " instead of %" GST_TIME_FORMAT, c->what, GST_TIME_ARGS(position),
                  GST_TIME_ARGS(target));
            gst_element_set_state(pipeline, GST_STATE_PLAYING);
            const GstMessageType seen = wait_for(pipeline, GST_MESSAGE_EOS | GST_MESSAGE_SEGMENT_DONE, 20);
            CHECK(seen == c->ends_with, "%s: ended with %s instead of %s", c->what, gst_message_type_get_name(seen),
                  gst_message_type_get_name(c->ends_with));
        }
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(decoder);
        gst_object_unref(pipeline);
    }
}

/* Durations of many loops: a duration past what a GStreamer time holds is
 * none (the song is endless), never a negative or a wrapped time. */
static void long_durations(const char* song) {
    const int loops[] = {0, 1000, 100000000, G_MAXINT - 1, -1};
    gint64 once = -1;
    for (size_t i = 0; i < G_N_ELEMENTS(loops); ++i) {
        gchar* description =
            g_strdup_printf("filesrc location=\"%s\" ! tundec name=dec num-loops=%d ! fakesink", song, loops[i]);
        GstElement* pipeline = launch(description);
        g_free(description);
        if (pipeline == NULL) continue;
        GstElement* decoder = gst_bin_get_by_name(GST_BIN(pipeline), "dec");
        gst_element_set_state(pipeline, GST_STATE_PAUSED);
        wait_for(pipeline, GST_MESSAGE_ASYNC_DONE, 10);
        gint64 duration = -1;
        const gboolean known = gst_element_query_duration(decoder, GST_FORMAT_TIME, &duration);
        if (loops[i] == 0) once = duration;
        CHECK(loops[i] == 0 || !known || duration >= once, "num-loops=%d: a duration of %" G_GINT64_FORMAT " ns",
              loops[i], duration);
        CHECK(loops[i] != -1 || !known, "num-loops=-1: a duration of %" G_GINT64_FORMAT " ns", duration);
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(decoder);
        gst_object_unref(pipeline);
    }
}

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    /* Each failure shows at once, even when a later case hangs. */
    setvbuf(stdout, NULL, _IOLBF, 0);
    if (argc != 2) {
        fprintf(stderr, "usage: %s SONG\n", argv[0]);
        return 2;
    }
    g_log_set_handler("GStreamer", G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING, count_criticals, NULL);
    early_ends(argv[1]);
    seeks(argv[1]);
    long_durations(argv[1]);
    printf("%s: %d failed checks\n", argv[0], failures);
    return failures == 0 ? 0 : 1;
}
