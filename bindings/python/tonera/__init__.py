"""Render .tun chip-music songs with the Tonera synth engine.

A thin layer over libtonera (libtonera.so.0) through ctypes:

    import tonera
    with tonera.Song("song.tun") as song:
        pcm = song.render(song.length_frames)

Everything rendered is 16-bit stereo at 48000 frames per second, the same
samples as the playtun programs give. render() returns a numpy int16 array
of shape (frames, 2) when numpy can be imported, else the bytes (left,
right, little-endian as the machine); render_bytes() always returns bytes.

The library is found as the system's loader finds it (libtonera.so.0 in the
loader's folders, LD_LIBRARY_PATH included, then ctypes.util.find_library),
unless the environment variable TONERA_LIBRARY names the file to load.

Different songs may be used in different threads at the same time (the
library's calls release the interpreter lock); one song must be used by one
thread at a time.
"""

import ctypes
import ctypes.util
import os

try:
    import numpy
except ImportError:
    numpy = None

__all__ = ["Song", "Snapshot", "Channel", "Error", "version", "SAMPLE_RATE", "MAX_VOICES",
           "LOOP_FOREVER", "VARIANT_PLAIN", "VARIANT_CHIP"]

SAMPLE_RATE = 48000
MAX_VOICES = 8
SCOPE_FRAMES = 1024
LOOP_FOREVER = -1
VARIANT_PLAIN = 0
VARIANT_CHIP = 1

E_INVALID = -1
E_NOT_A_SONG = -2
E_COMPRESSED_DATA = -3
E_DECOMPRESSION = -4
E_CHANNEL_COUNT = -5
E_TOO_LARGE = -6
E_NO_MEMORY = -7

_UINT64_MAX = (1 << 64) - 1


class Error(Exception):
    """A failure libtonera reported: code is its (negative) TONERA_E_ code,
    text the library's text for it."""

    def __init__(self, code, text):
        super().__init__(text)
        self.code = code
        self.text = text


def _load_library():
    named = os.environ.get("TONERA_LIBRARY")
    if named:
        try:
            return ctypes.CDLL(named)
        except OSError as e:
            raise ImportError("tonera: TONERA_LIBRARY names %r, which cannot be loaded: %s" % (named, e)) from e
    try:
        return ctypes.CDLL("libtonera.so.0")
    except OSError:
        pass
    found = ctypes.util.find_library("tonera")
    if found:
        try:
            return ctypes.CDLL(found)
        except OSError:
            pass
    raise ImportError("tonera: libtonera.so.0 is not installed (or set TONERA_LIBRARY to its file)")


class Channel(ctypes.Structure):
    """One channel record as the latest song frame gave it."""
    _fields_ = [("pitch", ctypes.c_uint16), ("pulse", ctypes.c_uint8), ("control", ctypes.c_uint8),
                ("volume", ctypes.c_uint8), ("filter", ctypes.c_uint8)]

    def __repr__(self):
        return "Channel(pitch=%d, pulse=%d, control=%d, volume=%d, filter=%d)" % (
            self.pitch, self.pulse, self.control, self.volume, self.filter)


class _Snapshot(ctypes.Structure):
    _fields_ = [("song_frame", ctypes.c_uint32), ("position_frames", ctypes.c_uint64),
                ("channels", ctypes.c_int), ("records", Channel * MAX_VOICES),
                ("voice_volume", ctypes.c_uint8 * MAX_VOICES), ("voice_pulse", ctypes.c_uint8 * MAX_VOICES),
                ("voice_filter", ctypes.c_uint8 * MAX_VOICES), ("scope_frames", ctypes.c_uint32),
                ("scope", ctypes.c_int16 * (2 * SCOPE_FRAMES))]


class Snapshot:
    """What a visualiser shows after the latest render call: song_frame,
    position_frames, channels, records (one Channel per voice), voice_volume,
    voice_pulse and voice_filter (one value per voice, volume 0 when muted)
    and scope, the latest rendered stereo frames, oldest first, as render()
    gives them."""

    def __init__(self, raw):
        n = raw.channels
        self.song_frame = raw.song_frame
        self.position_frames = raw.position_frames
        self.channels = n
        self.records = [Channel.from_buffer_copy(raw.records[i]) for i in range(n)]
        self.voice_volume = list(raw.voice_volume[:n])
        self.voice_pulse = list(raw.voice_pulse[:n])
        self.voice_filter = list(raw.voice_filter[:n])
        scope = ctypes.string_at(ctypes.addressof(raw.scope), 4 * raw.scope_frames)
        self.scope = _samples(scope)


def _samples(raw_bytes):
    if numpy is None:
        return raw_bytes
    return numpy.frombuffer(raw_bytes, dtype=numpy.int16).reshape(-1, 2).copy()


def _declare(lib):
    c = ctypes
    song = c.c_void_p
    table = {
        "tonera_open": (c.c_int, [c.c_char_p, c.c_size_t, c.POINTER(c.c_void_p)]),
        "tonera_close": (None, [song]),
        "tonera_render_s16": (c.c_size_t, [song, c.c_void_p, c.c_size_t]),
        "tonera_render_f32": (c.c_size_t, [song, c.c_void_p, c.c_size_t]),
        "tonera_strerror": (c.c_char_p, [c.c_int]),
        "tonera_version": (c.c_char_p, []),
        "tonera_variant": (c.c_int, [song]),
        "tonera_channels": (c.c_int, [song]),
        "tonera_frame_rate": (c.c_int, [song]),
        "tonera_frames": (c.c_uint32, [song]),
        "tonera_loop_frame": (c.c_uint32, [song]),
        "tonera_samples_per_frame": (c.c_uint32, [song]),
        "tonera_duration_ms": (c.c_uint64, [song]),
        "tonera_text": (c.c_size_t, [song, c.c_void_p]),
        "tonera_text_utf8": (c.c_size_t, [song, c.c_char_p, c.c_size_t]),
        "tonera_title": (c.c_char_p, [song]),
        "tonera_author": (c.c_char_p, [song]),
        "tonera_released": (c.c_char_p, [song]),
        "tonera_set_loops": (c.c_int, [song, c.c_int]),
        "tonera_set_length_ms": (c.c_int, [song, c.c_uint64]),
        "tonera_set_fade_ms": (c.c_int, [song, c.c_uint32]),
        "tonera_length_frames": (c.c_uint64, [song]),
        "tonera_position_frames": (c.c_uint64, [song]),
        "tonera_song_frame": (c.c_uint32, [song]),
        "tonera_seek_frame": (c.c_int, [song, c.c_uint32]),
        "tonera_seek_ms": (c.c_int, [song, c.c_uint64]),
        "tonera_set_mute_mask": (c.c_int, [song, c.c_uint]),
        "tonera_mute_mask": (c.c_uint, [song]),
        "tonera_get_snapshot": (c.c_int, [song, c.POINTER(_Snapshot)]),
    }
    for name, (restype, argtypes) in table.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


_lib = _declare(_load_library())


def version():
    """The library's version, "MAJOR.MINOR.PATCH"."""
    return _lib.tonera_version().decode("ascii")


def _strerror(code):
    return _lib.tonera_strerror(code).decode("utf-8", "replace")


def _check(code):
    if code != 0:
        raise Error(code, _strerror(code))


def _whole_number(value, what):
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError("%s must be a whole number, not %r" % (what, value))
    if value < 0:
        raise ValueError("%s must not be negative" % what)
    return value


class Song:
    """A song opened from the bytes of a .tun file or from its path.

    It stands at its start, plays once through and has no voice muted.
    Opening a file that is not a song raises tonera.Error; a path that
    cannot be read raises OSError. Close it with close() or a with block.
    """

    def __init__(self, source):
        if isinstance(source, (str, os.PathLike)):
            with open(source, "rb") as f:
                data = f.read()
        elif isinstance(source, (bytes, bytearray, memoryview)):
            data = bytes(source)
        else:
            raise TypeError("Song takes the bytes of a song or a path, not %s" % type(source).__name__)
        self._loops = 1
        handle = ctypes.c_void_p()
        _check(_lib.tonera_open(data, len(data), ctypes.byref(handle)))
        self._song = handle

    # ---- lifetime

    def close(self):
        """Frees the song; further use raises ValueError. Closing twice is fine."""
        if self._song is not None:
            _lib.tonera_close(self._song)
            self._song = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __del__(self):
        if getattr(self, "_song", None) is not None:
            self.close()

    @property
    def closed(self):
        return self._song is None

    def _handle(self):
        if self._song is None:
            raise ValueError("the song is closed")
        return self._song

    # ---- facts

    @property
    def title(self):
        """The title of the song's credits ("TITLE by AUTHOR, RELEASE"), or ""."""
        return _lib.tonera_title(self._handle()).decode("ascii", "replace")

    @property
    def author(self):
        return _lib.tonera_author(self._handle()).decode("ascii", "replace")

    @property
    def released(self):
        return _lib.tonera_released(self._handle()).decode("ascii", "replace")

    @property
    def text(self):
        """The song's free text, converted to a str."""
        song = self._handle()
        size = _lib.tonera_text_utf8(song, None, 0) + 1
        buffer = ctypes.create_string_buffer(size)
        _lib.tonera_text_utf8(song, buffer, size)
        return buffer.value.decode("utf-8")

    @property
    def variant(self):
        """VARIANT_PLAIN or VARIANT_CHIP."""
        return _lib.tonera_variant(self._handle())

    @property
    def channels(self):
        return _lib.tonera_channels(self._handle())

    @property
    def frame_rate(self):
        """Song frames per second."""
        return _lib.tonera_frame_rate(self._handle())

    @property
    def frames(self):
        """The song's frames."""
        return _lib.tonera_frames(self._handle())

    @property
    def loop(self):
        """The frame the loop section starts at, or None when the song has none."""
        song = self._handle()
        frame = _lib.tonera_loop_frame(song)
        return frame if frame < _lib.tonera_frames(song) else None

    @property
    def samples_per_frame(self):
        return _lib.tonera_samples_per_frame(self._handle())

    @property
    def duration_ms(self):
        """The song once through, in milliseconds (rounded down)."""
        return _lib.tonera_duration_ms(self._handle())

    @property
    def duration(self):
        """The song once through, in seconds."""
        song = self._handle()
        return _lib.tonera_frames(song) * _lib.tonera_samples_per_frame(song) / SAMPLE_RATE

    # ---- length, loops and fade

    def set_loops(self, passes):
        """How often the loop section plays, the first pass included (1, the
        default, plays the song once; LOOP_FOREVER repeats it without end)."""
        if passes != LOOP_FOREVER:
            _whole_number(passes, "passes")
        _check(_lib.tonera_set_loops(self._handle(), passes))
        self._loops = passes if passes != 0 else 1

    @property
    def loops(self):
        return self._loops

    def set_length(self, ms):
        """Ends the rendering after at most ms milliseconds (0: no limit)."""
        _check(_lib.tonera_set_length_ms(self._handle(), _whole_number(ms, "ms")))

    def set_fade(self, ms):
        """Fades the last ms milliseconds of the rendering to silence (0: none)."""
        _check(_lib.tonera_set_fade_ms(self._handle(), _whole_number(ms, "ms")))

    @property
    def length_frames(self):
        """Stereo frames the rendering lasts as set, or None when it has no end."""
        frames = _lib.tonera_length_frames(self._handle())
        return None if frames == _UINT64_MAX else frames

    # ---- position

    @property
    def position_frames(self):
        """Stereo frames rendered since the start (a seek moves it)."""
        return _lib.tonera_position_frames(self._handle())

    @property
    def song_frame(self):
        return _lib.tonera_song_frame(self._handle())

    def seek(self, ms):
        """Moves to the song frame at or before ms milliseconds into the
        rendering (loop passes included)."""
        _check(_lib.tonera_seek_ms(self._handle(), _whole_number(ms, "ms")))

    def seek_frame(self, frame):
        """Moves to the start of song frame `frame` of the first pass."""
        frame = _whole_number(frame, "frame")
        if frame > 0xFFFFFFFF:
            raise Error(E_INVALID, _strerror(E_INVALID))
        _check(_lib.tonera_seek_frame(self._handle(), frame))

    # ---- voices

    @property
    def mute_mask(self):
        """Muted voices: bit 0 is voice 1, bit 7 voice 8."""
        return _lib.tonera_mute_mask(self._handle())

    @mute_mask.setter
    def mute_mask(self, mask):
        mask = _whole_number(mask, "mask")
        if mask > 0xFF:
            raise Error(E_INVALID, _strerror(E_INVALID))
        _check(_lib.tonera_set_mute_mask(self._handle(), mask))

    # ---- rendering

    def render_bytes(self, frames):
        """Up to `frames` stereo frames as bytes of int16 (left, right, in the
        machine's byte order); fewer only at the end, then b""."""
        frames = _whole_number(frames, "frames")
        buffer = ctypes.create_string_buffer(4 * frames)
        got = _lib.tonera_render_s16(self._handle(), buffer, frames)
        return buffer.raw[:4 * got]

    def render(self, frames):
        """Up to `frames` stereo frames: a numpy int16 array of shape (n, 2)
        when numpy is there, else bytes as render_bytes()."""
        if numpy is None:
            return self.render_bytes(frames)
        frames = _whole_number(frames, "frames")
        out = numpy.empty((frames, 2), dtype=numpy.int16)
        got = _lib.tonera_render_s16(self._handle(), out.ctypes.data, frames)
        return out if got == frames else out[:got].copy()

    def render_float(self, frames):
        """As render(), as floats (each sample the 16-bit one / 32768): a
        numpy float32 array of shape (n, 2), or bytes of float32 without numpy."""
        frames = _whole_number(frames, "frames")
        if numpy is None:
            buffer = ctypes.create_string_buffer(8 * frames)
            got = _lib.tonera_render_f32(self._handle(), buffer, frames)
            return buffer.raw[:8 * got]
        out = numpy.empty((frames, 2), dtype=numpy.float32)
        got = _lib.tonera_render_f32(self._handle(), out.ctypes.data, frames)
        return out if got == frames else out[:got].copy()

    def snapshot(self):
        """The song's state after the latest render call, as a Snapshot."""
        raw = _Snapshot()
        _check(_lib.tonera_get_snapshot(self._handle(), ctypes.byref(raw)))
        return Snapshot(raw)

    def __repr__(self):
        if self._song is None:
            return "<tonera.Song closed>"
        return "<tonera.Song %d frames at %d Hz, %d voices>" % (self.frames, self.frame_rate, self.channels)
