#!/usr/bin/env python3
"""Writes the sample game's sounds as 16-bit PCM wave files.

usage: make_sounds.py FOLDER

  click.wav   0.25 s effect: a falling chirp from 1320 Hz to 660 Hz, mono
  jingle.wav  0.6 s jingle through MCI: 523, 659 and 784 Hz, stereo
  music.wav   3.2 s tune for the streamed music (encoded to MP3 by the build)
"""
import math
import os
import struct
import sys
import wave

RATE = 44100


def envelope(i, n, attack=0.01):
    a = int(attack * RATE)
    if i < a:
        return i / a
    return max(0.0, 1.0 - (i - a) / max(1, n - a)) ** 0.5


def write(path, channels, frames):
    with wave.open(path, 'wb') as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(RATE)
        data = bytearray()
        for frame in frames:
            for v in frame:
                data += struct.pack('<h', max(-32767, min(32767, int(v * 32767))))
        w.writeframes(bytes(data))


def click():
    n = int(0.25 * RATE)
    phase = 0.0
    for i in range(n):
        f = 1320 - 660 * i / n
        phase += 2 * math.pi * f / RATE
        yield (0.5 * envelope(i, n) * math.sin(phase),)


def notes(freqs, seconds, amp):
    for f in freqs:
        n = int(seconds * RATE)
        for i in range(n):
            v = amp * envelope(i, n) * math.sin(2 * math.pi * f * i / RATE)
            yield (v, v)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write(os.path.join(out, 'click.wav'), 1, click())
    write(os.path.join(out, 'jingle.wav'), 2, notes([523.25, 659.25, 783.99], 0.2, 0.45))
    tune = [392.0, 440.0, 493.88, 392.0, 329.63, 349.23, 392.0, 293.66]
    write(os.path.join(out, 'music.wav'), 2, notes(tune, 0.4, 0.3))


if __name__ == '__main__':
    main()
