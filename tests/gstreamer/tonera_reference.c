/* tonera_reference.c - what the element must give, straight from libtonera:
 * a song rendered whole as raw little-endian samples on standard output.
 *   tonera_reference SONG s16|f32 PASSES MUTE_MASK
 * PASSES as tonera_set_loops (1: once through). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <tonera/tonera.h>

static unsigned char* read_song(const char* path, size_t* size) {
    FILE* file = fopen(path, "rb");
    if (file == NULL) return NULL;
    unsigned char* bytes = malloc(TONERA_MAX_SONG_BYTES);
    *size = bytes ? fread(bytes, 1, TONERA_MAX_SONG_BYTES, file) : 0;
    fclose(file);
    return bytes;
}

int main(int argc, char** argv) {
    if (argc != 5 || (strcmp(argv[2], "s16") != 0 && strcmp(argv[2], "f32") != 0)) {
        fprintf(stderr, "usage: %s SONG s16|f32 PASSES MUTE_MASK\n", argv[0]);
        return 2;
    }
    size_t size = 0;
    unsigned char* bytes = read_song(argv[1], &size);
    tonera_song* song = NULL;
    int error = bytes ? tonera_open(bytes, size, &song) : TONERA_E_NO_MEMORY;
    free(bytes);
    if (error == 0) error = tonera_set_loops(song, atoi(argv[3]));
    if (error == 0) error = tonera_set_mute_mask(song, (unsigned)strtoul(argv[4], NULL, 0));
    if (error != 0) {
        fprintf(stderr, "%s: %s\n", argv[1], tonera_strerror(error));
        tonera_close(song);
        return 1;
    }
    const int floats = strcmp(argv[2], "f32") == 0;
    static float float_frames[2 * 4096];
    static int16_t int_frames[2 * 4096];
    size_t got;
    while ((got = floats ? tonera_render_f32(song, float_frames, 4096) : tonera_render_s16(song, int_frames, 4096)) > 0)
        fwrite(floats ? (void*)float_frames : (void*)int_frames, floats ? 8 : 4, got, stdout);
    tonera_close(song);
    return fflush(stdout) == 0 ? 0 : 1;
}
