#!/usr/bin/env python3
"""Writes a test tone as a 16-bit PCM wave file.

usage: sine_wav.py OUT SECONDS RATE CHANNELS FREQ

Amplitude one half of full scale. In stereo the right channel carries twice
the frequency of the left, so tests can tell the channels apart. SECONDS may
be a fraction such as 12345/44100; FREQ may be a sweep such as 100:3000, the
frequency rising linearly from the first to the last sample.
"""
import fractions
import math
import struct
import sys
import wave


def main():
    out = sys.argv[1]
    seconds, rate, channels = fractions.Fraction(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    low, high = (float(f) for f in (sys.argv[5] + ':' + sys.argv[5]).split(':')[:2])
    amp = 0.5 * 32767
    count = int(round(seconds * rate))
    data = bytearray()
    for n in range(count):
        t = n / rate
        # The phase of a linear sweep: the integral of its frequency.
        phase = 2 * math.pi * (low * t + (high - low) * t * t * rate / (2 * max(count, 1)))
        data += struct.pack('<h', int(round(amp * math.sin(phase))))
        if channels == 2:
            data += struct.pack('<h', int(round(amp * math.sin(2 * phase))))
    with wave.open(out, 'wb') as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(data))


if __name__ == '__main__':
    main()
