/* tonera_from_frame.c - what a player must give after a seek, straight
 * from libtonera: a song rendered from the start of one song frame to its
 * end (once through), as raw little-endian 16-bit stereo on standard output.
 *   tonera_from_frame SONG FRAME */
#include <stdio.h>
#include <stdlib.h>

#include <tonera/tonera.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s SONG FRAME\n", argv[0]);
        return 2;
    }
    FILE* file = fopen(argv[1], "rb");
    unsigned char* bytes = malloc(TONERA_MAX_SONG_BYTES);
    size_t size = file != NULL && bytes != NULL ? fread(bytes, 1, TONERA_MAX_SONG_BYTES, file) : 0;
    if (file != NULL) fclose(file);
    tonera_song* song = NULL;
    int error = tonera_open(bytes, size, &song);
    free(bytes);
    if (error == 0) error = tonera_seek_frame(song, (uint32_t)strtoul(argv[2], NULL, 10));
    if (error != 0) {
        fprintf(stderr, "%s: %s\n", argv[1], tonera_strerror(error));
        tonera_close(song);
        return 1;
    }
    static int16_t frames[2 * 4096];
    size_t got;
    while ((got = tonera_render_s16(song, frames, 4096)) > 0) fwrite(frames, 4, got, stdout);
    tonera_close(song);
    return fflush(stdout) == 0 ? 0 : 1;
}
