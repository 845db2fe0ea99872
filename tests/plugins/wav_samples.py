"""Writes the samples of a 16-bit stereo 48000 Hz WAV file, raw, to standard
output; fails on any other format, so that a player's output is compared
as the very samples it wrote.
Usage: wav_samples.py FILE.wav"""
import sys
import wave

with wave.open(sys.argv[1]) as wav:
    shape = (wav.getnchannels(), wav.getsampwidth(), wav.getframerate())
    if shape != (2, 2, 48000):
        sys.exit(f"{sys.argv[1]}: {shape[0]} channels, {8 * shape[1]} bits, {shape[2]} Hz")
    sys.stdout.buffer.write(wav.readframes(wav.getnframes()))
