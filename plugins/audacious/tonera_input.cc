/* tonera_input.cc - the Audacious input plugin for .tun songs, on
 * libtonera's public API only.
 *
 * A file is a song by its extension or its magic ("TQK" or "CQK"). Its
 * tags come from the song's credits: title, artist, the release as the
 * copyright and, when the release names one, the year; a text without
 * credits becomes the comment. The length is the song's rendering with the
 * plugin's settings.
 *
 * Loops follow the player's repeat setting: with repeat off a song plays
 * once through (or as often through its loop section as the "loops"
 * setting says, then fades out over "fade" seconds); with repeat on a song
 * with a loop section repeats it without end, as a looping tune is meant
 * to be heard, and a song without one ends and is played again by the
 * player. A change of the repeat setting during playback takes effect at
 * the next block.
 *
 * Threads: play() keeps its song to itself, and read_tag() opens one of
 * its own, so any number of calls may run at once.
 */
#include <cstring>
#include <vector>

#include <libaudcore/audstrings.h>
#include <libaudcore/i18n.h>
#include <libaudcore/interface.h>
#include <libaudcore/plugin.h>
#include <libaudcore/preferences.h>
#include <libaudcore/runtime.h>
#include <tonera/tonera.h>

#include "song_tags.h"

#ifndef PACKAGE_VERSION
#error "PACKAGE_VERSION must be defined by the build"
#endif

namespace {

constexpr const char *config_section = "tonera";
constexpr int block_frames = 4096;
constexpr int max_loops = 10000;
constexpr double max_fade_seconds = 3600;

const char *const config_defaults[] = {"loops", "1", "fade", "0", nullptr};

/* A song's bytes, or the libtonera error that keeps them from being one. */
struct song_bytes {
    std::vector<unsigned char> bytes;
    int error = 0;
};

/* Reads the whole file, refusing it as soon as it holds more than a song
 * may; a file whose size is known is refused before any reading. */
song_bytes read_file(VFSFile &file)
{
    song_bytes song;
    const int64_t size = file.fsize();
    if (size > (int64_t)TONERA_MAX_SONG_BYTES) {
        song.error = TONERA_E_TOO_LARGE;
        return song;
    }
    constexpr size_t chunk = 64 * 1024;
    size_t have = 0;
    for (;;) {
        song.bytes.resize(have + chunk);
        const int64_t got = file.fread(song.bytes.data() + have, 1, chunk);
        if (got <= 0) break;
        have += (size_t)got;
        if (have > TONERA_MAX_SONG_BYTES) {
            song.bytes.clear();
            song.error = TONERA_E_TOO_LARGE;
            return song;
        }
    }
    song.bytes.resize(have);
    return song;
}

/* Opens the file as a song; sets *error to libtonera's code when it is
 * none. */
tonera_song *open_song(VFSFile &file, int *error)
{
    song_bytes read = read_file(file);
    tonera_song *song = nullptr;
    *error = read.error != 0 ? read.error : tonera_open(read.bytes.data(), read.bytes.size(), &song);
    return song;
}

int setting_loops()
{
    const int loops = aud_get_int(config_section, "loops");
    return loops < 1 ? 1 : loops > max_loops ? max_loops : loops;
}

uint32_t setting_fade_ms()
{
    const double seconds = aud_get_double(config_section, "fade");
    if (!(seconds > 0)) return 0;
    return (uint32_t)((seconds > max_fade_seconds ? max_fade_seconds : seconds) * 1000 + 0.5);
}

/* Gives the song the loop count and fade of the settings, or, with the
 * player repeating, its loop section without end. */
void apply_loops(tonera_song *song, bool repeat)
{
    const bool loops_forever = repeat && tonera_loop_frame(song) < tonera_frames(song);
    tonera_set_loops(song, loops_forever ? TONERA_LOOP_FOREVER : setting_loops());
    tonera_set_fade_ms(song, loops_forever ? 0 : setting_fade_ms());
}

int length_ms(const tonera_song *song)
{
    const uint64_t frames = tonera_length_frames(song);
    if (frames == UINT64_MAX) return -1;
    const uint64_t ms = frames * 1000 / TONERA_SAMPLE_RATE;
    return ms > INT32_MAX ? INT32_MAX : (int)ms;
}

void set_credits(const tonera_song *song, Tuple &tuple)
{
    const char *title = tonera_title(song);
    if (title[0] != '\0') {
        const char *released = tonera_released(song);
        tuple.set_str(Tuple::Title, title);
        tuple.set_str(Tuple::Artist, tonera_author(song));
        if (released[0] != '\0') {
            tuple.set_str(Tuple::Copyright, released);
            const int year = release_year(released);
            if (year != 0) tuple.set_int(Tuple::Year, year);
        }
        return;
    }
    const size_t length = tonera_text_utf8(song, nullptr, 0);
    if (length == 0) return;
    std::vector<char> text(length + 1);
    tonera_text_utf8(song, text.data(), text.size());
    tuple.set_str(Tuple::Comment, text.data());
}

} // namespace

class ToneraInput : public InputPlugin
{
public:
    static const char about[];
    static const char *const extensions[];
    static const char *const mime_types[];
    static const PreferencesWidget widgets[];
    static const PluginPreferences preferences;

    constexpr ToneraInput()
        : InputPlugin(PluginInfo{"Tonera songs (.tun)", nullptr, about, &preferences, 0},
                      InputInfo().with_exts(extensions).with_mimes(mime_types))
    {
    }

    bool init() override
    {
        aud_config_set_defaults(config_section, config_defaults);
        return true;
    }

    bool is_our_file(const char *, VFSFile &file) override
    {
        char magic[3];
        if (file.fread(magic, 1, sizeof magic) != (int64_t)sizeof magic) return false;
        return std::memcmp(magic, "TQK", 3) == 0 || std::memcmp(magic, "CQK", 3) == 0;
    }

    bool read_tag(const char *filename, VFSFile &file, Tuple &tuple, Index<char> *) override
    {
        int error = 0;
        tonera_song *song = open_song(file, &error);
        /* A garbled song still gets its entry, with no length: playing it
         * then names its problem in the player's error, where a failed
         * read would only say that the file could not be decoded. */
        if (song == nullptr) {
            AUDDBG("%s: %s\n", filename, tonera_strerror(error));
            return true;
        }
        apply_loops(song, false);
        tuple.set_int(Tuple::Length, length_ms(song));
        tuple.set_int(Tuple::Channels, 2);
        tuple.set_format("Tonera song", 2, TONERA_SAMPLE_RATE, TONERA_SAMPLE_RATE * 2 * 16 / 1000);
        set_credits(song, tuple);
        tonera_close(song);
        return true;
    }

    bool play(const char *filename, VFSFile &file) override
    {
        int error = 0;
        tonera_song *song = open_song(file, &error);
        if (song == nullptr) {
            aud_ui_show_error(str_printf("%s is not a song that can be played: %s.",
                                         (const char *)uri_to_display(filename), tonera_strerror(error)));
            return false;
        }
        bool repeat = aud_get_bool(nullptr, "repeat");
        apply_loops(song, repeat);
        open_audio(FMT_S16_NE, TONERA_SAMPLE_RATE, 2);
        static_assert(sizeof(int16_t) * 2 * block_frames < 64 * 1024, "a block fits on the stack");
        int16_t frames[2 * block_frames];
        while (!check_stop()) {
            const int seek = check_seek();
            if (seek >= 0) tonera_seek_ms(song, (uint64_t)seek);
            const bool now_repeat = aud_get_bool(nullptr, "repeat");
            if (now_repeat != repeat) apply_loops(song, repeat = now_repeat);
            const size_t got = tonera_render_s16(song, frames, block_frames);
            if (got == 0) break;
            write_audio(frames, (int)(got * 2 * sizeof(int16_t)));
        }
        tonera_close(song);
        return true;
    }
};

const char ToneraInput::about[] =
    "Plays .tun chip-music songs with the Tonera synth engine (libtonera " PACKAGE_VERSION ").\n\n"
    "With repeat off a song plays once through, or as often through its loop section as "
    "the settings say; with repeat on its loop section plays without end.";
const char *const ToneraInput::extensions[] = {"tun", nullptr};
const char *const ToneraInput::mime_types[] = {"audio/x-tun", nullptr};

const PreferencesWidget ToneraInput::widgets[] = {
    WidgetLabel("<b>With repeat off</b>"),
    WidgetSpin("Times through the loop section:", WidgetInt(config_section, "loops"), {1, max_loops, 1, nullptr}),
    WidgetSpin("Fade out over the last", WidgetFloat(config_section, "fade"), {0, max_fade_seconds, 0.5, "seconds"}),
};
const PluginPreferences ToneraInput::preferences = {{widgets}, nullptr, nullptr, nullptr};

/* The name Audacious looks the plugin up by. */
__attribute__((visibility("default"))) ToneraInput aud_plugin_instance;
