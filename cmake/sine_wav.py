#!/usr/bin/env python3
"""Writes a test tone as a 16-bit PCM wave file.

usage: sine_wav.py OUT SECONDS RATE CHANNELS FREQ

Amplitude one half of full scale. In stereo the right channel carries twice
the frequency of the left, so tests can tell the channels apart.
"""
import math
import struct
import sys
import wave


def main():
    out = sys.argv[1]
    seconds, rate, channels, freq = float(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
    amp = 0.5 * 32767
    data = bytearray()
    for n in range(int(round(seconds * rate))):
        t = n / rate
        data += struct.pack('<h', int(round(amp * math.sin(2 * math.pi * freq * t))))
        if channels == 2:
            data += struct.pack('<h', int(round(amp * math.sin(4 * math.pi * freq * t))))
    with wave.open(out, 'wb') as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(bytes(data))


if __name__ == '__main__':
    main()
