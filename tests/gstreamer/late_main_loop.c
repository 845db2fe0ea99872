/* late_main_loop.c - preloaded into gst-launch-1.0, holds it back for
 * 300 ms between starting the pipeline and running its main loop (in the
 * g_unix_signal_add it calls in between). gst-launch-1.0 ends its main
 * loop from the bus's sync handler, in the thread that posts an error; an
 * error posted before g_main_loop_run begins is therefore lost, and it
 * waits for ever. What happens now and then under load happens on every
 * run here, whichever element posts the error.
 *   LD_PRELOAD=liblate_main_loop.so gst-launch-1.0 ... */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <glib-unix.h>
#include <glib.h>

guint g_unix_signal_add(gint signum, GSourceFunc handler, gpointer user_data) {
    typedef guint (*signal_add)(gint, GSourceFunc, gpointer);
    static signal_add real;
    if (real == NULL) real = (signal_add)dlsym(RTLD_NEXT, "g_unix_signal_add");
    g_usleep(300 * 1000);
    return real(signum, handler, user_data);
}
