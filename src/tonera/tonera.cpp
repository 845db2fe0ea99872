// The C API over the song data and the engine instance: one tonera_song is
// one engine with the rendering's length, fade and position around it.
//
// Two counts meet here: song frames (the song's records, one tick each) and
// stereo frames (pairs of samples at 48000 Hz, timing.samples_per_frame of
// them per song frame, at least one). Names say which: *_song_frames or
// stereo_*.
#include "tonera/tonera.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "synth/fade_curve.hpp"
#include "synth/render_length.hpp"
#include "synth/synth.hpp"
#include "text/cp437.hpp"
#include "text/song_text_fields.h"

#ifndef TONERA_VERSION_TEXT
#error "the build gives the version"
#endif

static_assert(TONERA_MAX_SONG_BYTES == song::max_song_bytes);
static_assert(TONERA_MAX_VOICES == synth::max_voices);
static_assert(TONERA_SAMPLE_RATE == song::output_rate);

namespace {

constexpr auto relaxed = std::memory_order_relaxed;
constexpr uint64_t endless = synth::endless_frames;

int error_for(song::header_outcome outcome) {
    switch (outcome) {
        case song::header_outcome::ok: return 0;
        case song::header_outcome::not_a_song_file: return TONERA_E_NOT_A_SONG;
        case song::header_outcome::compressed_data_invalid: return TONERA_E_COMPRESSED_DATA;
        case song::header_outcome::decompression_failed: return TONERA_E_DECOMPRESSION;
        case song::header_outcome::channel_count_invalid: return TONERA_E_CHANNEL_COUNT;
        case song::header_outcome::too_large: return TONERA_E_TOO_LARGE;
        case song::header_outcome::out_of_memory: return TONERA_E_NO_MEMORY;
    }
    return TONERA_E_NOT_A_SONG;
}

// Stereo frames of `ms` milliseconds (UINT64_MAX when more).
uint64_t stereo_frames_of_ms(uint64_t ms) {
    return ms > endless / TONERA_SAMPLE_RATE ? endless : ms * TONERA_SAMPLE_RATE / 1000;
}

}  // namespace

struct tonera_song {
    synth::engine engine;
    synth::song_timing timing;
    int loops = 0;  // passes; 0: once through; -1: forever
    uint64_t stereo_limit = 0;
    uint64_t stereo_fade = 0;

    // The rendering as the settings make it, in stereo frames. It never
    // lasts more than UINT64_MAX (endless) frames: a rendering without end
    // stops there.
    uint64_t stereo_length = 0;  // endless when it has no end
    uint64_t stereo_fade_start = 0;
    uint64_t stereo_position = 0;
    synth::fade_curve curve;

    // The latest rendered frames, a ring of TONERA_SCOPE_FRAMES.
    std::array<synth::stereo_frame, TONERA_SCOPE_FRAMES> scope{};
    uint32_t scope_next = 0;
    uint32_t scope_filled = 0;

    // The credits the song text holds, each part terminated ("" when the
    // text holds none): held here so that opening allocates nothing more.
    char title[SONG_TEXT_FIELD_MAX + 1] = {};
    char author[SONG_TEXT_FIELD_MAX + 1] = {};
    char released[SONG_TEXT_FIELD_MAX + 1] = {};
};

namespace {

// The song frame that plays `played_song_frames` song frames into the
// rendering.
uint32_t song_frame_after(const synth::song_timing& t, uint64_t played_song_frames) {
    const uint64_t played = played_song_frames;
    if (played < t.frame_total || !synth::has_loop_section(t))
        return static_cast<uint32_t>(std::min<uint64_t>(played, t.frame_total));
    const uint64_t section = t.frame_total - t.loop_frame;
    return static_cast<uint32_t>(t.loop_frame + (played - t.frame_total) % section);
}

// Stereo frames per song frame: a frame shorter than one sample lasts one.
uint64_t stereo_per_song_frame(const synth::song_timing& t) {
    return t.samples_per_frame == 0 ? 1 : t.samples_per_frame;
}

// The fade curve as it stands `into` frames into a fade of `length` frames:
// x = floor(into x 65536 / length), with the remainder as its carry.
synth::fade_curve curve_at(uint64_t length, uint64_t into) {
    synth::fade_curve curve = synth::start_fade(length);
    if (length == 0) return curve;
    const unsigned __int128 scaled = static_cast<unsigned __int128>(into) * synth::full_gain;
    curve.x = static_cast<uint32_t>(std::min<unsigned __int128>(scaled / length, synth::full_gain));
    curve.carry = static_cast<uint64_t>(scaled % length);
    return curve;
}

// Works out the rendering's length and fade from the settings, and whether
// the song repeats from its loop frame.
void apply_settings(tonera_song& s) {
    // The length tuntool render gives for the same settings.
    synth::length_request request;
    request.passes = s.loops < 0 ? synth::endless_passes : static_cast<uint32_t>(s.loops);
    request.limit_frames = s.stereo_limit;
    request.exact = true;
    s.stereo_length = synth::rendering_frames(s.timing, request);
    s.engine.loop_enabled.store(synth::has_loop_section(s.timing), relaxed);
    const synth::fade_window fade = synth::fade_window_of(s.stereo_length, s.stereo_fade);
    s.stereo_fade_start = fade.start;
    s.curve = curve_at(fade.frames, s.stereo_position > fade.start ? s.stereo_position - fade.start : 0);
}

// Moves the rendering to a song frame boundary `played` song frames in.
void restart_at(tonera_song& s, uint64_t played_song_frames) {
    const uint64_t played = played_song_frames;
    synth::engine& e = s.engine;
    e.voices = {};
    e.song.channel_records = {};
    e.frame_countdown = 0;
    e.song_ended.store(false, relaxed);
    // At the rendering's end the position stays past the last frame.
    const uint64_t stereo_target = played * stereo_per_song_frame(s.timing);
    const bool at_end = s.stereo_length != endless && stereo_target >= s.stereo_length;
    synth::seek_to_frame(e, at_end ? s.timing.frame_total : song_frame_after(s.timing, played));
    s.stereo_position = std::min(stereo_target, s.stereo_length);
    s.scope_filled = 0;
    s.scope_next = 0;
    apply_settings(s);
}

// Keeps the latest frames in the scope ring, in at most two copies.
void remember(tonera_song& s, const synth::stereo_frame* frames, size_t count) {
    const size_t ring = s.scope.size();
    if (count > ring) {
        frames += count - ring;
        count = ring;
    }
    const size_t first = std::min(count, ring - s.scope_next);
    std::copy_n(frames, first, s.scope.begin() + s.scope_next);
    std::copy_n(frames + first, count - first, s.scope.begin());
    s.scope_next = static_cast<uint32_t>((s.scope_next + count) % ring);
    s.scope_filled = static_cast<uint32_t>(std::min<uint64_t>(ring, uint64_t{s.scope_filled} + count));
}

// Renders up to count frames into the song's own chunks and hands each to
// `take` (faded where the fade has begun).
template <typename Take>
size_t render(tonera_song* s, size_t count, Take take) {
    if (s == nullptr) return 0;
    const uint64_t left = s->stereo_length - s->stereo_position;
    const size_t total = static_cast<size_t>(std::min<uint64_t>(count, left));
    std::array<synth::stereo_frame, 1024> chunk;
    for (size_t done = 0; done < total;) {
        const size_t n = std::min(chunk.size(), total - done);
        synth::render_frames(s->engine, std::span(chunk.data(), n));
        if (s->stereo_position + n > s->stereo_fade_start) {
            for (size_t i = 0; i < n; ++i) {
                if (s->stereo_position + i < s->stereo_fade_start) continue;
                const uint32_t gain = synth::next_fade_gain(s->curve);
                chunk[i] = {synth::apply_gain(chunk[i].left, gain), synth::apply_gain(chunk[i].right, gain)};
            }
        }
        take(chunk.data(), n, done);
        remember(*s, chunk.data(), n);
        s->stereo_position += n;
        done += n;
    }
    return total;
}

// Copies a part of the song text into a terminated string of the song's.
void copy_part(char (&to)[SONG_TEXT_FIELD_MAX + 1], std::span<const uint8_t> text, song_text_part part) {
    std::memcpy(to, text.data() + part.start, part.length);
    to[part.length] = '\0';
}

void find_credits(tonera_song& s) {
    const std::span<const uint8_t> text = song::song_text(s.engine.song);
    song_text_fields fields;
    if (!song_text_fields_find(text.data(), text.size(), &fields)) return;
    copy_part(s.title, text, fields.title);
    copy_part(s.author, text, fields.author);
    copy_part(s.released, text, fields.release);
}

bool valid_half(int half) { return half == 0 || half == 1; }

// Runs one wave editing operation and rebuilds the selected slot's table.
template <typename Edit>
int edit_wave(tonera_song* s, bool valid, Edit edit) {
    if (s == nullptr || !valid) return TONERA_E_INVALID;
    edit(s->engine);
    synth::build_wavetable(s->engine, s->engine.selected_slot);
    return 0;
}

// Opens a song; throws std::bad_alloc when the engine's shared tables
// cannot be built.
int open_song(const void* data, size_t size, tonera_song** song) {
    std::unique_ptr<tonera_song> s(new (std::nothrow) tonera_song);
    if (!s) return TONERA_E_NO_MEMORY;
    const std::span<const uint8_t> bytes(static_cast<const uint8_t*>(data), size);
    const song::header_outcome loaded = song::load_song_bytes(s->engine.song, bytes);
    if (loaded != song::header_outcome::ok) return error_for(loaded);
    const song::header_outcome outcome = synth::start_song(s->engine);
    if (outcome != song::header_outcome::ok) return error_for(outcome);
    const song::song_state& st = s->engine.song;
    s->timing = {static_cast<uint32_t>(st.frame_total), st.loop_frame, st.samples_per_frame};
    apply_settings(*s);
    find_credits(*s);
    *song = s.release();
    return 0;
}

}  // namespace

extern "C" {

int tonera_open(const void* data, size_t size, tonera_song** song) {
    if (song == nullptr) return TONERA_E_INVALID;
    *song = nullptr;
    if (data == nullptr && size != 0) return TONERA_E_INVALID;
    // The engine's constructor builds the shared tables on the first open
    // and may find no memory for them; nothing thrown may reach a C caller.
    try {
        return open_song(data, size, song);
    } catch (const std::bad_alloc&) {
        return TONERA_E_NO_MEMORY;
    }
}

void tonera_close(tonera_song* song) { delete song; }

size_t tonera_render_s16(tonera_song* song, int16_t* frames, size_t count) {
    if (frames == nullptr) return 0;
    return render(song, count, [frames](const synth::stereo_frame* chunk, size_t n, size_t at) {
        for (size_t i = 0; i < n; ++i) {
            frames[2 * (at + i)] = chunk[i].left;
            frames[2 * (at + i) + 1] = chunk[i].right;
        }
    });
}

size_t tonera_render_f32(tonera_song* song, float* frames, size_t count) {
    if (frames == nullptr) return 0;
    return render(song, count, [frames](const synth::stereo_frame* chunk, size_t n, size_t at) {
        for (size_t i = 0; i < n; ++i) {
            frames[2 * (at + i)] = static_cast<float>(chunk[i].left) / 32768.0f;
            frames[2 * (at + i) + 1] = static_cast<float>(chunk[i].right) / 32768.0f;
        }
    });
}

const char* tonera_strerror(int code) {
    switch (code) {
        case 0: return "no error";
        case TONERA_E_INVALID: return "invalid argument";
        case TONERA_E_NOT_A_SONG: return "not a song file (wrong magic, too short, frame rate 0 or no whole frame)";
        case TONERA_E_COMPRESSED_DATA: return "compressed data invalid (unpacked size 0)";
        case TONERA_E_DECOMPRESSION: return "decompression failed (broken compressed body)";
        case TONERA_E_CHANNEL_COUNT: return "channel count invalid (not 1 to 8)";
        case TONERA_E_TOO_LARGE: return "song too large (over 256 MiB, or unpacks to more)";
        case TONERA_E_NO_MEMORY: return "out of memory";
        default: return "unknown error";
    }
}

const char* tonera_version(void) { return TONERA_VERSION_TEXT; }

int tonera_variant(const tonera_song* song) {
    return song != nullptr && song->engine.song.chip_variant ? TONERA_VARIANT_CHIP : TONERA_VARIANT_PLAIN;
}
int tonera_channels(const tonera_song* song) { return song ? song->engine.song.channel_count : 0; }
int tonera_frame_rate(const tonera_song* song) { return song ? song->engine.song.frame_rate : 0; }
uint32_t tonera_frames(const tonera_song* song) { return song ? song->timing.frame_total : 0; }
uint32_t tonera_loop_frame(const tonera_song* song) { return song ? song->timing.loop_frame : 0; }
uint32_t tonera_samples_per_frame(const tonera_song* song) { return song ? song->timing.samples_per_frame : 0; }

uint64_t tonera_duration_ms(const tonera_song* song) {
    if (song == nullptr) return 0;
    return uint64_t{song->timing.frame_total} * stereo_per_song_frame(song->timing) * 1000 / TONERA_SAMPLE_RATE;
}

size_t tonera_text(const tonera_song* song, const uint8_t** text) {
    const auto bytes = song ? song::song_text(song->engine.song) : std::span<const uint8_t>{};
    if (text != nullptr) *text = bytes.empty() ? nullptr : bytes.data();
    return bytes.size();
}

size_t tonera_text_utf8(const tonera_song* song, char* buffer, size_t size) {
    const auto bytes = song ? song::song_text(song->engine.song) : std::span<const uint8_t>{};
    size_t length = 0;
    size_t written = 0;
    bool fits = true;
    for (const uint8_t b : bytes) {
        char encoded[code_page::max_utf8_bytes];
        size_t n = 0;
        code_page::append_utf8(code_page::cp437_code_points[b], encoded, n);
        if (fits && buffer != nullptr && written + n < size) {
            std::memcpy(buffer + written, encoded, n);
            written += n;
        } else {
            fits = false;
        }
        length += n;
    }
    if (buffer != nullptr && size > 0) buffer[written] = '\0';
    return length;
}

const char* tonera_title(const tonera_song* song) { return song ? song->title : ""; }
const char* tonera_author(const tonera_song* song) { return song ? song->author : ""; }
const char* tonera_released(const tonera_song* song) { return song ? song->released : ""; }

int tonera_set_loops(tonera_song* song, int passes) {
    if (song == nullptr || passes < TONERA_LOOP_FOREVER) return TONERA_E_INVALID;
    song->loops = passes;
    apply_settings(*song);
    song->stereo_position = std::min(song->stereo_position, song->stereo_length);
    return 0;
}

int tonera_set_length_ms(tonera_song* song, uint64_t ms) {
    if (song == nullptr) return TONERA_E_INVALID;
    song->stereo_limit = stereo_frames_of_ms(ms);
    apply_settings(*song);
    song->stereo_position = std::min(song->stereo_position, song->stereo_length);
    return 0;
}

int tonera_set_fade_ms(tonera_song* song, uint32_t ms) {
    if (song == nullptr) return TONERA_E_INVALID;
    song->stereo_fade = stereo_frames_of_ms(ms);
    apply_settings(*song);
    return 0;
}

uint64_t tonera_length_frames(const tonera_song* song) { return song ? song->stereo_length : 0; }
uint64_t tonera_position_frames(const tonera_song* song) { return song ? song->stereo_position : 0; }
uint32_t tonera_song_frame(const tonera_song* song) { return song ? synth::playing_frame(song->engine) : 0; }

int tonera_seek_frame(tonera_song* song, uint32_t frame) {
    if (song == nullptr || frame > song->timing.frame_total) return TONERA_E_INVALID;
    restart_at(*song, frame);
    return 0;
}

int tonera_seek_ms(tonera_song* song, uint64_t ms) {
    if (song == nullptr) return TONERA_E_INVALID;
    const uint64_t stereo_target = std::min(stereo_frames_of_ms(ms), song->stereo_length);
    const uint64_t per_frame = stereo_per_song_frame(song->timing);
    uint64_t played = stereo_target / per_frame;
    // The end of a rendering that ends inside a song frame is past that frame.
    if (stereo_target == song->stereo_length && song->stereo_length != endless && stereo_target % per_frame != 0)
        ++played;
    restart_at(*song, played);
    return 0;
}

int tonera_set_mute_mask(tonera_song* song, unsigned mask) {
    if (song == nullptr || mask > 0xFF) return TONERA_E_INVALID;
    for (int v = 0; v < synth::max_voices; ++v) song->engine.voice_muted[v].store((mask >> v & 1) != 0, relaxed);
    return 0;
}

unsigned tonera_mute_mask(const tonera_song* song) {
    unsigned mask = 0;
    for (int v = 0; song != nullptr && v < synth::max_voices; ++v)
        mask |= song->engine.voice_muted[v].load(relaxed) ? 1u << v : 0u;
    return mask;
}

int tonera_get_snapshot(const tonera_song* song, tonera_snapshot* snapshot) {
    if (song == nullptr || snapshot == nullptr) return TONERA_E_INVALID;
    const synth::engine& e = song->engine;
    std::memset(snapshot, 0, sizeof *snapshot);
    snapshot->song_frame = synth::playing_frame(e);
    snapshot->position_frames = song->stereo_position;
    snapshot->channels = e.song.channel_count;
    for (int v = 0; v < synth::max_voices; ++v) {
        const synth::shown_record& r = e.shown_records[v];
        snapshot->records[v] = {r.pitch.load(relaxed), r.pulse.load(relaxed), r.control.load(relaxed),
                                r.volume.load(relaxed), r.filter.load(relaxed)};
        snapshot->voice_volume[v] = e.shown_voices[v].volume.load(relaxed);
        snapshot->voice_pulse[v] = e.shown_voices[v].pulse.load(relaxed);
        snapshot->voice_filter[v] = e.shown_voices[v].filter.load(relaxed);
    }
    const uint32_t n = song->scope_filled;
    const auto ring = static_cast<uint32_t>(song->scope.size());
    for (uint32_t i = 0; i < n; ++i) {
        const synth::stereo_frame& f = song->scope[(song->scope_next + ring - n + i) % ring];
        snapshot->scope[2 * i] = f.left;
        snapshot->scope[2 * i + 1] = f.right;
    }
    snapshot->scope_frames = n;
    return 0;
}

int tonera_wave_select(tonera_song* song, int slot) {
    if (song == nullptr || !valid_half(slot)) return TONERA_E_INVALID;
    song->engine.selected_slot = static_cast<uint8_t>(slot);
    return 0;
}

int tonera_wave_preset(tonera_song* song, int preset) {
    return edit_wave(song, preset >= 0 && preset <= 5,
                     [preset](synth::engine& e) { synth::apply_preset(e, static_cast<uint8_t>(preset)); });
}

int tonera_wave_set_base(tonera_song* song, int half, int base) {
    const bool valid = valid_half(half) && (base == TONERA_BASE_SINE || base == TONERA_BASE_SHIFTED_SINE);
    return edit_wave(song, valid, [half, base](synth::engine& e) {
        synth::set_wave_base(e, static_cast<uint8_t>(half),
                             base == TONERA_BASE_SINE ? synth::wave_base::sine : synth::wave_base::shifted_sine);
    });
}

int tonera_wave_randomise(tonera_song* song, int half) {
    return edit_wave(song, valid_half(half),
                     [half](synth::engine& e) { synth::randomise_wave_half(e, static_cast<uint8_t>(half)); });
}

int tonera_wave_clear(tonera_song* song, int half) {
    return edit_wave(song, valid_half(half),
                     [half](synth::engine& e) { synth::clear_wave_half(e, static_cast<uint8_t>(half)); });
}

int tonera_wave_swap_halves(tonera_song* song) {
    return edit_wave(song, true, [](synth::engine& e) { synth::swap_wave_halves(e); });
}

int tonera_wave_step_partial(tonera_song* song, int index, int direction) {
    const bool valid = index >= 0 && index <= 15 && (direction == 1 || direction == -1);
    return edit_wave(song, valid, [index, direction](synth::engine& e) {
        synth::step_partial(e, static_cast<uint8_t>(index), direction);
    });
}

int tonera_wave_definition(const tonera_song* song, int slot, uint8_t definition[16]) {
    if (song == nullptr || definition == nullptr || !valid_half(slot)) return TONERA_E_INVALID;
    std::memcpy(definition, song->engine.wave_slots[slot].wave_definition.data(), 16);
    return 0;
}

int tonera_wave_bases(const tonera_song* song, int slot, int bases[2]) {
    if (song == nullptr || bases == nullptr || !valid_half(slot)) return TONERA_E_INVALID;
    const synth::wave_slot& s = song->engine.wave_slots[slot];
    for (int half = 0; half < 2; ++half)
        bases[half] = s.base_table[half] == synth::tables().sine_table ? TONERA_BASE_SINE : TONERA_BASE_SHIFTED_SINE;
    return 0;
}

int tonera_wave_set_slot(tonera_song* song, int slot, const uint8_t definition[16], const int bases[2]) {
    if (song == nullptr || definition == nullptr || bases == nullptr || !valid_half(slot)) return TONERA_E_INVALID;
    for (int half = 0; half < 2; ++half)
        if (bases[half] != TONERA_BASE_SINE && bases[half] != TONERA_BASE_SHIFTED_SINE) return TONERA_E_INVALID;
    synth::wave_slot& s = song->engine.wave_slots[slot];
    std::memcpy(s.wave_definition.data(), definition, 16);
    for (int half = 0; half < 2; ++half)
        s.base_table[half] =
            bases[half] == TONERA_BASE_SINE ? synth::tables().sine_table : synth::tables().shifted_sine_table;
    synth::build_wavetable(song->engine, static_cast<uint8_t>(slot));
    return 0;
}

int tonera_set_pulse_fold(tonera_song* song, int on) {
    if (song == nullptr) return TONERA_E_INVALID;
    song->engine.pulse_fold.store(on != 0, relaxed);
    return 0;
}

int tonera_pulse_fold(const tonera_song* song) { return song && song->engine.pulse_fold.load(relaxed) ? 1 : 0; }

}  // extern "C"
