#!/usr/bin/env python3
"""Writes resources/TapSound.wav: a short, soft wooden tap (about 60 ms, mono, 16-bit, 22050 Hz).

A decaying mix of two low partials with a brief noise burst at the attack; the random generator is
seeded so that the file comes out the same on every run."""
import math
import random
import struct
import sys
import wave
from pathlib import Path

RATE = 22050
LENGTH_S = 0.06


def samples():
    rng = random.Random(7)
    count = int(RATE * LENGTH_S)
    for i in range(count):
        t = i / RATE
        body = 0.6 * math.sin(2 * math.pi * 820 * t) + 0.3 * math.sin(2 * math.pi * 1730 * t)
        body *= math.exp(-t * 70)
        click = (rng.random() * 2 - 1) * math.exp(-t * 900)
        fade = min(1.0, (count - i) / (RATE * 0.005))  # no click at the cut-off
        yield max(-1.0, min(1.0, (0.8 * body + 0.5 * click) * fade))


def main():
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "resources" / "TapSound.wav"
    with wave.open(str(target), "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(RATE)
        out.writeframes(b"".join(struct.pack("<h", int(v * 30000)) for v in samples()))
    print(f"wrote {target}")


if __name__ == "__main__":
    main()
