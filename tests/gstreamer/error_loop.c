/* error_loop.c - runs a pipeline that must fail RUNS times in one process
 * and counts the runs that did not end in an error from the element named
 * within 5 s (a hang, an EOS, an error from another element), stopping
 * after three. Prints the count, and ends with status 0 when it is 0.
 *   error_loop 'DESCRIPTION' ELEMENT_PREFIX RUNS */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <gst/gst.h>

/* Whether one run ended in an error from an element whose name begins
 * with `prefix`. */
static gboolean run_once(const char* description, const char* prefix) {
    GError* error = NULL;
    GstElement* pipeline = gst_parse_launch(description, &error);
    if (pipeline == NULL) {
        fprintf(stderr, "the description: %s\n", error->message);
        g_error_free(error);
        return FALSE;
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(bus, 5 * GST_SECOND, GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
    gboolean failed_as_wanted = FALSE;
    if (message == NULL) {
        fprintf(stderr, "nothing ended the pipeline in 5 s\n");
    } else if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
        fprintf(stderr, "EOS instead of an error\n");
    } else {
        const char* name = GST_OBJECT_NAME(GST_MESSAGE_SRC(message));
        failed_as_wanted = strncmp(name, prefix, strlen(prefix)) == 0;
        if (!failed_as_wanted) fprintf(stderr, "the error came from %s\n", name);
    }
    if (message != NULL) gst_message_unref(message);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
    return failed_as_wanted;
}

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    if (argc != 4 || atoi(argv[3]) < 1) {
        fprintf(stderr, "usage: %s 'PIPELINE DESCRIPTION' ELEMENT_PREFIX RUNS\n", argv[0]);
        return 2;
    }
    const int runs = atoi(argv[3]);
    int wrong = 0;
    /* A few wrong runs tell enough; the rest would only take time. */
    int done = 0;
    for (; done < runs && wrong < 3; ++done)
        if (!run_once(argv[1], argv[2])) ++wrong;
    printf("%d of %d runs did not end in an error from %s\n", wrong, done, argv[2]);
    return wrong == 0 ? 0 : 1;
}
