/* tonera_demux.c - the VLC module for .tun songs, on libtonera's public API
 * only: a demux that probes songs by their magic ("TQK" or "CQK") and
 * decodes them itself into one 16-bit stereo 48000 Hz stream, with the
 * song's length, time and position seeking, and its credits as title,
 * artist and copyright (a text without credits as the description). A
 * garbled song ends in an error naming its problem. */
#include <stdlib.h>
#include <string.h>

#define MODULE_NAME tonera
#define MODULE_STRING "tonera"
#include <vlc_common.h>
#include <vlc_demux.h>
#include <vlc_dialog.h>
#include <vlc_meta.h>
#include <vlc_plugin.h>
#include <tonera/tonera.h>

/* Stereo frames per block sent: about 85 ms. */
#define BLOCK_FRAMES 4096

struct demux_sys_t {
    tonera_song* song;
    es_out_id_t* es;
};

static mtime_t time_of_frames(uint64_t frames) { return (mtime_t)(frames * CLOCK_FREQ / TONERA_SAMPLE_RATE); }

/* Reads the whole stream, refusing it once it holds more than a song may. */
static unsigned char* read_song(stream_t* s, size_t* size, int* error) {
    uint64_t known = 0;
    if (vlc_stream_GetSize(s, &known) == VLC_SUCCESS && known > TONERA_MAX_SONG_BYTES) {
        *error = TONERA_E_TOO_LARGE;
        return NULL;
    }
    size_t have = 0, room = 0;
    unsigned char* bytes = NULL;
    for (;;) {
        if (room - have < 65536) {
            room = room == 0 ? 65536 * 4 : room * 2;
            unsigned char* more = realloc(bytes, room);
            if (more == NULL) {
                free(bytes);
                *error = TONERA_E_NO_MEMORY;
                return NULL;
            }
            bytes = more;
        }
        const ssize_t got = vlc_stream_Read(s, bytes + have, 65536);
        if (got <= 0) break;
        have += (size_t)got;
        if (have > TONERA_MAX_SONG_BYTES) {
            free(bytes);
            *error = TONERA_E_TOO_LARGE;
            return NULL;
        }
    }
    *size = have;
    *error = 0;
    return bytes;
}

static int Demux(demux_t* demux) {
    demux_sys_t* sys = demux->p_sys;
    block_t* block = block_Alloc(BLOCK_FRAMES * 4);
    if (block == NULL) return VLC_DEMUXER_EGENERIC;
    const mtime_t pts = VLC_TS_0 + time_of_frames(tonera_position_frames(sys->song));
    const size_t got = tonera_render_s16(sys->song, (int16_t*)block->p_buffer, BLOCK_FRAMES);
    if (got == 0) {
        block_Release(block);
        return VLC_DEMUXER_EOF;
    }
    block->i_buffer = got * 4;
    block->i_dts = block->i_pts = pts;
    block->i_length = VLC_TS_0 + time_of_frames(tonera_position_frames(sys->song)) - pts;
    es_out_SetPCR(demux->out, pts);
    es_out_Send(demux->out, sys->es, block);
    return VLC_DEMUXER_SUCCESS;
}

static void set_meta(const tonera_song* song, vlc_meta_t* meta) {
    if (tonera_title(song)[0] != '\0') {
        vlc_meta_SetTitle(meta, tonera_title(song));
        vlc_meta_SetArtist(meta, tonera_author(song));
        if (tonera_released(song)[0] != '\0') vlc_meta_SetCopyright(meta, tonera_released(song));
        return;
    }
    const size_t length = tonera_text_utf8(song, NULL, 0);
    if (length == 0) return;
    char* text = malloc(length + 1);
    if (text == NULL) return;
    tonera_text_utf8(song, text, length + 1);
    vlc_meta_SetDescription(meta, text);
    free(text);
}

static int seek_to(demux_t* demux, uint64_t ms) {
    demux_sys_t* sys = demux->p_sys;
    if (tonera_seek_ms(sys->song, ms) != 0) return VLC_EGENERIC;
    es_out_Control(demux->out, ES_OUT_SET_NEXT_DISPLAY_TIME,
                   VLC_TS_0 + time_of_frames(tonera_position_frames(sys->song)));
    return VLC_SUCCESS;
}

static int Control(demux_t* demux, int query, va_list args) {
    demux_sys_t* sys = demux->p_sys;
    const uint64_t length = tonera_length_frames(sys->song);
    switch (query) {
        case DEMUX_CAN_SEEK: *va_arg(args, bool*) = true; return VLC_SUCCESS;
        case DEMUX_GET_LENGTH: *va_arg(args, int64_t*) = time_of_frames(length); return VLC_SUCCESS;
        case DEMUX_GET_TIME:
            *va_arg(args, int64_t*) = time_of_frames(tonera_position_frames(sys->song));
            return VLC_SUCCESS;
        case DEMUX_GET_POSITION: {
            const uint64_t position = tonera_position_frames(sys->song);
            *va_arg(args, double*) = length > 0 ? (double)position / (double)length : 0.0;
            return VLC_SUCCESS;
        }
        case DEMUX_SET_TIME: {
            const int64_t time = va_arg(args, int64_t);
            return seek_to(demux, time > 0 ? (uint64_t)time / 1000 : 0);
        }
        case DEMUX_SET_POSITION: {
            const double position = va_arg(args, double);
            const double frames = position > 0 ? position * (double)length : 0;
            return seek_to(demux, (uint64_t)(frames * 1000 / TONERA_SAMPLE_RATE));
        }
        case DEMUX_GET_META: set_meta(sys->song, va_arg(args, vlc_meta_t*)); return VLC_SUCCESS;
        case DEMUX_HAS_UNSUPPORTED_META: *va_arg(args, bool*) = false; return VLC_SUCCESS;
        case DEMUX_CAN_PAUSE:
        case DEMUX_SET_PAUSE_STATE:
        case DEMUX_CAN_CONTROL_PACE:
        case DEMUX_GET_PTS_DELAY: return demux_vaControlHelper(demux->s, 0, -1, 0, 1, query, args);
        default: return VLC_EGENERIC;
    }
}

static int Open(vlc_object_t* object) {
    demux_t* demux = (demux_t*)object;
    const uint8_t* peek;
    if (vlc_stream_Peek(demux->s, &peek, 3) < 3) return VLC_EGENERIC;
    if (memcmp(peek, "TQK", 3) != 0 && memcmp(peek, "CQK", 3) != 0) return VLC_EGENERIC;

    size_t size = 0;
    int error = 0;
    unsigned char* bytes = read_song(demux->s, &size, &error);
    tonera_song* song = NULL;
    if (error == 0) error = tonera_open(bytes, size, &song);
    free(bytes);
    if (error != 0) {
        msg_Err(demux, "this is not a song that can be played: %s", tonera_strerror(error));
        vlc_dialog_display_error(demux, "Tonera", "%s is not a song that can be played: %s.",
                                 demux->psz_location ? demux->psz_location : "The file", tonera_strerror(error));
        return VLC_EGENERIC;
    }
    demux_sys_t* sys = malloc(sizeof *sys);
    if (sys == NULL) {
        tonera_close(song);
        return VLC_ENOMEM;
    }
    sys->song = song;
    es_format_t format;
    es_format_Init(&format, AUDIO_ES, VLC_CODEC_S16N);
    format.audio.i_format = VLC_CODEC_S16N;
    format.audio.i_rate = TONERA_SAMPLE_RATE;
    format.audio.i_channels = 2;
    format.audio.i_physical_channels = AOUT_CHANS_STEREO;
    format.audio.i_bitspersample = 16;
    format.audio.i_blockalign = 4;
    format.i_bitrate = TONERA_SAMPLE_RATE * 4 * 8;
    sys->es = es_out_Add(demux->out, &format);
    if (sys->es == NULL) {
        tonera_close(song);
        free(sys);
        return VLC_EGENERIC;
    }
    demux->p_sys = sys;
    demux->pf_demux = Demux;
    demux->pf_control = Control;
    return VLC_SUCCESS;
}

static void Close(vlc_object_t* object) {
    demux_t* demux = (demux_t*)object;
    tonera_close(demux->p_sys->song);
    free(demux->p_sys);
}

vlc_module_begin() set_shortname("Tonera") set_description("Tonera .tun songs") set_category(CAT_INPUT)
    set_subcategory(SUBCAT_INPUT_DEMUX) set_capability("demux", 10) set_callbacks(Open, Close)
        add_shortcut("tonera", "tun") vlc_module_end()
