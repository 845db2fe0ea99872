"""The Python module as a script uses it: the bundled songs rendered through
it give record mode's samples, loops, length, fade and mutes give tuntool
render's bytes, open errors raise tonera.Error with the library's code and
text, and two songs in two threads give what they give alone.

Run with PLAYTUN and TUNTOOL naming the programs, SONGS the bundled songs'
folder and the module on PYTHONPATH. With TONERA_HIDE_NUMPY=1 numpy cannot
be imported, and render() gives bytes.
"""

import os
import pathlib
import subprocess
import sys
import tempfile
import threading
import unittest

if os.environ.get("TONERA_HIDE_NUMPY") == "1":
    sys.modules["numpy"] = None  # import numpy raises ImportError

import tonera

SONGS = pathlib.Path(os.environ["SONGS"])
WAV_HEADER = 44


def bundled_songs():
    return sorted(p for p in SONGS.rglob("*") if p.suffix.lower() == ".tun")


def pcm(samples):
    """The bytes of what render() returned, whichever form it has."""
    return samples if isinstance(samples, bytes) else samples.tobytes()


def render_all(song, chunk=40000):
    parts = []
    while True:
        got = pcm(song.render(chunk))
        parts.append(got)
        if len(got) < 4 * chunk:
            return b"".join(parts)


def run(*command):
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        raise AssertionError("%s: status %d: %s" % (command, done.returncode, done.stdout[-500:]))


class PythonModule(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        cls.dir = pathlib.Path(cls.work.name)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def recorded(self, song_path):
        """Record mode's samples of a song (its WAV without the header)."""
        wav = self.dir / (song_path.stem + ".record.wav")
        if not wav.exists():
            run(os.environ["PLAYTUN"], str(song_path), str(wav))
        return wav.read_bytes()[WAV_HEADER:]

    def test_numpy_used_when_there(self):
        with tonera.Song(SONGS / "lullaby.tun") as song:
            out = song.render(1000)
            if os.environ.get("TONERA_HIDE_NUMPY") == "1":
                self.assertIsNone(tonera.numpy)
                self.assertIsInstance(out, bytes)
                self.assertEqual(len(out), 4000)
                self.assertEqual(len(song.render_float(3)), 24)
            else:
                self.assertEqual(out.shape, (1000, 2))
                self.assertEqual(str(out.dtype), "int16")
                floats = song.render_float(3)
                self.assertEqual((floats.shape, str(floats.dtype)), ((3, 2), "float32"))

    def test_bundled_songs_give_record_modes_samples(self):
        for path in bundled_songs():
            with self.subTest(song=str(path.relative_to(SONGS))):
                recorded = self.recorded(path)
                with tonera.Song(path) as song:
                    rendered = render_all(song)
                    # The song exactly once through. Record mode writes whole
                    # blocks of 1024 frames: it may stop inside the last song
                    # frame or run on past it. What both have is compared.
                    self.assertEqual(len(rendered), 4 * song.frames * song.samples_per_frame)
                    self.assertEqual(song.length_frames, song.frames * song.samples_per_frame)
                    self.assertEqual(song.position_frames, len(rendered) // 4)
                    self.assertEqual(pcm(song.render(100)), b"", "nothing after the end")
                common = min(len(rendered), len(recorded))
                self.assertGreater(common, len(rendered) - 4 * 1024)
                self.assertTrue(rendered[:common] == recorded[:common], "samples differ from record mode's")

    def test_floats_are_the_16_bit_samples_scaled(self):
        with tonera.Song(SONGS / "chip" / "circuit.tun") as a, tonera.Song(SONGS / "chip" / "circuit.tun") as b:
            ints = pcm(a.render(5000))
            floats = b.render_float(5000)
            floats = floats if isinstance(floats, bytes) else floats.tobytes()
        import array
        i = array.array("h", ints)
        f = array.array("f", floats)
        self.assertEqual(len(i), len(f))
        self.assertTrue(any(i), "the opening is not silent")
        self.assertEqual([round(x * 32768) for x in f], list(i))

    def test_shaped_renderings_equal_tuntool_render(self):
        path = SONGS / "imported" / "vent-arkijuusto.tun"
        with tonera.Song(path) as song:
            self.assertIsNotNone(song.loop, "the song used here has a loop section")
        rows = [
            (["--loops", "2"], dict(loops=2)),
            (["--length", "7.5"], dict(length=7500)),
            (["--loops", "2", "--fade", "1.5"], dict(loops=2, fade=1500)),
            (["--length", "4", "--fade", "10"], dict(length=4000, fade=10000)),
            (["--mute", "1,3"], dict(mute=0b101)),
        ]
        out = self.dir / "shaped.wav"
        for options, shape in rows:
            with self.subTest(options=" ".join(options)):
                run(os.environ["TUNTOOL"], "render", "-q", *options, "-o", str(out), str(path))
                expected = out.read_bytes()[WAV_HEADER:]
                with tonera.Song(path) as song:
                    song.set_loops(shape.get("loops", 1))
                    song.set_length(shape.get("length", 0))
                    song.set_fade(shape.get("fade", 0))
                    song.mute_mask = shape.get("mute", 0)
                    self.assertEqual(song.mute_mask, shape.get("mute", 0))
                    length = song.length_frames
                    rendered = render_all(song, 30001)
                self.assertEqual(len(rendered), 4 * length)
                if "loops" in shape or "length" in shape:
                    self.assertEqual(len(rendered), len(expected))
                else:
                    # Unshaped, tuntool render writes record mode's blocks.
                    common = min(len(rendered), len(expected))
                    self.assertGreater(common, len(rendered) - 4 * 1024)
                    rendered, expected = rendered[:common], expected[:common]
                self.assertTrue(rendered == expected, "samples differ from tuntool render's")

    def test_endless_rendering_has_no_length(self):
        with tonera.Song(SONGS / "imported" / "vent-arkijuusto.tun") as song:
            song.set_loops(tonera.LOOP_FOREVER)
            self.assertIsNone(song.length_frames)
            self.assertEqual(song.loops, tonera.LOOP_FOREVER)
            once = 4 * song.frames * song.samples_per_frame
            self.assertEqual(len(pcm(song.render(once // 4 + 5000))), once + 20000)

    def test_open_errors_raise_the_librarys_code_and_text(self):
        good = (SONGS / "lullaby.tun").read_bytes()
        not_a_song = "not a song file (wrong magic, too short, frame rate 0 or no whole frame)"
        rows = [
            ("empty", b"", tonera.E_NOT_A_SONG, not_a_song),
            ("wrong magic", b"TXK" + good[3:], tonera.E_NOT_A_SONG, not_a_song),
            ("the header alone", good[:12], tonera.E_NOT_A_SONG, not_a_song),
            ("score text", (SONGS / "lullaby.txt").read_bytes(), tonera.E_NOT_A_SONG, not_a_song),
            ("nine channels", good[:3] + bytes([(good[3] & 0xF0) | 9]) + good[4:], tonera.E_CHANNEL_COUNT,
             "channel count invalid (not 1 to 8)"),
        ]
        for what, data, code, text in rows:
            with self.subTest(what):
                with self.assertRaises(tonera.Error) as caught:
                    tonera.Song(data)
                self.assertEqual(caught.exception.code, code)
                self.assertEqual(caught.exception.text, text)
                self.assertEqual(str(caught.exception), text)

    def test_wrong_arguments_raise(self):
        rows = [
            ("loops -2", lambda s: s.set_loops(-2), ValueError),
            ("mute bit 8", lambda s: setattr(s, "mute_mask", 0x100), tonera.Error),
            ("seek past the end", lambda s: s.seek_frame(s.frames + 1), tonera.Error),
            ("frames as a float", lambda s: s.render(10.0), TypeError),
            ("fade as a bool", lambda s: s.set_fade(True), TypeError),
        ]
        with tonera.Song(SONGS / "lullaby.tun") as song:
            for what, call, error in rows:
                with self.subTest(what):
                    with self.assertRaises(error) as caught:
                        call(song)
                    if error is tonera.Error:
                        self.assertEqual(caught.exception.code, tonera.E_INVALID)
                        self.assertEqual(caught.exception.text, "invalid argument")
        with self.assertRaises(TypeError):
            tonera.Song(42)
        with self.assertRaises(FileNotFoundError):
            tonera.Song(self.dir / "missing.tun")

    def test_path_str_and_bytes_open_the_same_song(self):
        path = SONGS / "wide" / "panorama.tun"
        sources = [path, str(path), path.read_bytes(), bytearray(path.read_bytes()),
                   memoryview(path.read_bytes())]
        renderings = []
        for source in sources:
            with tonera.Song(source) as song:
                renderings.append(pcm(song.render(20000)))
        self.assertEqual(len(renderings[0]), 80000)
        for other in renderings[1:]:
            self.assertTrue(other == renderings[0])

    def test_two_songs_in_two_threads_give_what_they_give_alone(self):
        paths = [SONGS / "chip" / "circuit.tun", SONGS / "plain" / "meadow.tun"]
        alone = []
        for path in paths:
            with tonera.Song(path) as song:
                alone.append(render_all(song, 4096))
        together = [None, None]

        def play(i):
            with tonera.Song(paths[i]) as song:
                together[i] = render_all(song, 1024 + 7 * i)

        threads = [threading.Thread(target=play, args=(i,)) for i in range(2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for i in range(2):
            self.assertTrue(together[i] == alone[i], "song %d differs when played beside another" % i)

    def test_facts_and_credits(self):
        rows = [
            ("imported/vent-arkijuusto.tun", "arkijuusto (toinen siivu)", "vent", "2013 triad"),
            ("lullaby.tun", "", "", ""),
        ]
        for name, title, author, released in rows:
            with self.subTest(name), tonera.Song(SONGS / name) as song:
                self.assertEqual((song.title, song.author, song.released), (title, author, released))
                spf = song.samples_per_frame
                self.assertEqual(spf, tonera.SAMPLE_RATE // song.frame_rate)
                self.assertEqual(song.duration_ms, song.frames * spf * 1000 // tonera.SAMPLE_RATE)
                self.assertAlmostEqual(song.duration, song.frames * spf / tonera.SAMPLE_RATE)
                self.assertIn(song.channels, range(1, 9))
                if title:
                    self.assertIn(title, song.text)

    def test_seek_moves_the_position(self):
        with tonera.Song(SONGS / "chip" / "circuit.tun") as song:
            spf = song.samples_per_frame
            song.render(10000)
            song.seek_frame(100)
            self.assertEqual((song.song_frame, song.position_frames), (100, 100 * spf))
            song.seek(2000)
            self.assertEqual(song.song_frame, 2000 * song.frame_rate // 1000)
            song.seek_frame(song.frames)
            self.assertEqual(pcm(song.render(10)), b"")

    def test_snapshot_holds_the_latest_frames(self):
        with tonera.Song(SONGS / "wide" / "panorama.tun") as song:
            rendered = pcm(song.render(3000))
            shot = song.snapshot()
            self.assertEqual(shot.position_frames, 3000)
            self.assertEqual(shot.channels, song.channels)
            self.assertEqual(len(shot.records), song.channels)
            self.assertEqual(len(shot.voice_volume), song.channels)
            self.assertTrue(pcm(shot.scope) == rendered[-4 * tonera.SCOPE_FRAMES:])
            song.mute_mask = (1 << song.channels) - 1
            song.render(2 * song.samples_per_frame)
            self.assertEqual(song.snapshot().voice_volume, [0] * song.channels)

    def test_closed_song_refuses_use(self):
        song = tonera.Song(SONGS / "lullaby.tun")
        with song:
            pass
        self.assertTrue(song.closed)
        song.close()
        for call in (lambda: song.render(10), lambda: song.frames, lambda: song.snapshot()):
            with self.assertRaises(ValueError):
                call()

    def test_version_is_the_projects(self):
        self.assertEqual(tonera.version(), os.environ["TONERA_EXPECTED_VERSION"])


if __name__ == "__main__":
    unittest.main()
