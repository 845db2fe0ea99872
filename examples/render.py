#!/usr/bin/env python3
"""render.py - renders a .tun song once through into a WAV file (16-bit
stereo, 48000 Hz) with the tonera module.

    python3 render.py song.tun song.wav
"""
import sys
import wave

import tonera

if len(sys.argv) != 3:
    sys.exit("usage: render.py SONG.tun OUT.wav")
try:
    with tonera.Song(sys.argv[1]) as song, wave.open(sys.argv[2], "wb") as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(tonera.SAMPLE_RATE)
        while samples := song.render_bytes(tonera.SAMPLE_RATE):
            out.writeframes(samples)  # the machine's byte order: little-endian on PCs
except (tonera.Error, OSError) as e:
    sys.exit("render.py: %s: %s" % (sys.argv[1], e))
