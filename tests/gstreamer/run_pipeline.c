/* run_pipeline.c - runs a pipeline as gst-launch-1.0 does and reports how
 * it ended, for the failures: gst-launch-1.0 itself sometimes waits for
 * ever after an error that comes before its main loop runs, whoever posts
 * it (error_races.sh). Prints "EOS", or "ERROR from ELEMENT: MESSAGE" for the first
 * error, and ends with status 0 or 1 (3 when nothing ends it in 60 s).
 *   run_pipeline 'DESCRIPTION' */
#include <stdio.h>

#include <gst/gst.h>

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    if (argc != 2) {
        fprintf(stderr, "usage: %s 'PIPELINE DESCRIPTION'\n", argv[0]);
        return 2;
    }
    GError* error = NULL;
    GstElement* pipeline = gst_parse_launch(argv[1], &error);
    if (pipeline == NULL) {
        printf("ERROR from the description: %s\n", error->message);
        g_error_free(error);
        return 1;
    }
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(bus, 60 * GST_SECOND, GST_MESSAGE_EOS | GST_MESSAGE_ERROR);
    int status = 3;
    if (message != NULL && GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) {
        printf("EOS\n");
        status = 0;
    } else if (message != NULL) {
        gchar* details = NULL;
        gst_message_parse_error(message, &error, &details);
        printf("ERROR from %s: %s\n%s\n", GST_OBJECT_NAME(GST_MESSAGE_SRC(message)), error->message,
               details ? details : "");
        g_error_free(error);
        g_free(details);
        status = 1;
    } else {
        printf("nothing ended the pipeline in 60 s\n");
    }
    if (message != NULL) gst_message_unref(message);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
    return status;
}
