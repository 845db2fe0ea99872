/* render.c - renders a .tun song to raw PCM on standard output with
 * libtonera: 16-bit signed little-endian stereo at 48000 Hz, once through.
 *
 *   cc render.c $(pkg-config --cflags --libs tonera) -o render
 *   ./render song.tun | aplay -f S16_LE -c 2 -r 48000
 */
#include <stdio.h>
#include <stdlib.h>

#include <tonera/tonera.h>

/* The whole file in memory; NULL when it cannot be read. */
static unsigned char* read_file(const char* path, size_t* size) {
    FILE* file = fopen(path, "rb");
    if (file == NULL) return NULL;
    size_t capacity = 1 << 16, used = 0;
    unsigned char* bytes = malloc(capacity);
    size_t got;
    while (bytes != NULL && (got = fread(bytes + used, 1, capacity - used, file)) > 0) {
        used += got;
        if (used == capacity && used < TONERA_MAX_SONG_BYTES + 1u) {
            unsigned char* larger = realloc(bytes, capacity *= 2);
            if (larger == NULL) free(bytes);
            bytes = larger;
        } else if (used == capacity) {
            break; /* over the limit: tonera_open says so */
        }
    }
    if (ferror(file)) {
        free(bytes);
        bytes = NULL;
    }
    fclose(file);
    *size = used;
    return bytes;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s SONG.tun > out.raw\n", argv[0]);
        return 2;
    }
    size_t size = 0;
    unsigned char* bytes = read_file(argv[1], &size);
    if (bytes == NULL) {
        perror(argv[1]);
        return 1;
    }
    tonera_song* song = NULL;
    const int error = tonera_open(bytes, size, &song);
    free(bytes); /* the song keeps its own copy */
    if (error != 0) {
        fprintf(stderr, "%s: %s\n", argv[1], tonera_strerror(error));
        return 1;
    }
    int16_t frames[2 * 4096];
    size_t got;
    while ((got = tonera_render_s16(song, frames, 4096)) > 0) {
        /* Samples in the machine's order: little-endian on the usual machines. */
        if (fwrite(frames, 4, got, stdout) != got) break;
    }
    tonera_close(song);
    if (fflush(stdout) != 0 || ferror(stdout)) {
        perror("standard output");
        return 1;
    }
    return 0;
}
