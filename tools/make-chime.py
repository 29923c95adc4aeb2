#!/usr/bin/env python3
"""Writes the demo's new-mail sound: a short two-note chime, synthesised here."""
import math
import struct
import sys
import wave

RATE = 22050


def note(frequency, seconds, volume):
    count = int(RATE * seconds)
    for i in range(count):
        t = i / RATE
        envelope = math.exp(-5.0 * t) * min(1.0, i / 200)
        tone = math.sin(2 * math.pi * frequency * t) + 0.3 * math.sin(4 * math.pi * frequency * t)
        yield volume * envelope * tone / 1.3


def main(path):
    samples = list(note(880.0, 0.25, 0.6)) + list(note(1318.5, 0.45, 0.6))
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<h", int(s * 32767)) for s in samples))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "resources/sounds/newmail.wav")
