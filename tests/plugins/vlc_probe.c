/* vlc_probe.c - what VLC's library makes of a song, as a player shows it:
 * its duration (milliseconds) and metadata from parsing, then, with
 * POSITION given, where playback stands as soon as it has moved after a
 * seek to that fraction of the song (VLC plays it into a null audio output).
 *   vlc_probe SONG [POSITION] */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <vlc/vlc.h>

static void print_meta(libvlc_media_t* media, const char* name, libvlc_meta_t which) {
    char* value = libvlc_media_get_meta(media, which);
    printf("%s %s\n", name, value != NULL ? value : "");
    libvlc_free(value);
}

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        fprintf(stderr, "usage: %s SONG [POSITION]\n", argv[0]);
        return 2;
    }
    const char* args[] = {"--no-video", "--aout=adummy", "--no-interact", "--quiet"};
    libvlc_instance_t* vlc = libvlc_new(4, args);
    if (vlc == NULL) return 1;
    libvlc_media_t* media = libvlc_media_new_path(vlc, argv[1]);
    libvlc_media_parse_with_options(media, libvlc_media_parse_local, 10000);
    for (int i = 0; i < 200 && libvlc_media_get_parsed_status(media) == 0; ++i) usleep(50000);
    printf("parsed %d\n", libvlc_media_get_parsed_status(media));
    printf("duration %lld\n", (long long)libvlc_media_get_duration(media));
    print_meta(media, "title", libvlc_meta_Title);
    print_meta(media, "artist", libvlc_meta_Artist);
    print_meta(media, "copyright", libvlc_meta_Copyright);
    print_meta(media, "description", libvlc_meta_Description);
    int status = 0;
    if (argc == 3) {
        libvlc_media_player_t* player = libvlc_media_player_new_from_media(media);
        libvlc_media_player_play(player);
        for (int i = 0; i < 200 && libvlc_media_player_get_time(player) <= 0; ++i) usleep(20000);
        const libvlc_time_t before = libvlc_media_player_get_time(player);
        libvlc_media_player_set_position(player, (float)atof(argv[2]));
        /* The time as soon as it has moved on by more than a second. */
        libvlc_time_t time = before;
        for (int i = 0; i < 250 && time < before + 1000; ++i) {
            usleep(20000);
            time = libvlc_media_player_get_time(player);
        }
        printf("time %lld\n", (long long)time);
        libvlc_media_player_stop(player);
        libvlc_media_player_release(player);
    }
    libvlc_media_release(media);
    libvlc_release(vlc);
    return status;
}
