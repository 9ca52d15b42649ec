#!/usr/bin/env python3
"""Writes the event sounds of Perix Chat into assets/Sound/.

Four short, soft WAV files (16-bit PCM, mono, 22050 Hz), synthesised from bell-like tones:

  NewUserConnect.wav   a rising two-note chime   (a user came online)
  UserDisconnect.wav   the same notes, falling    (a user left)
  OpenPerixChat.wav    a three-note welcome arpeggio (the program starts)
  NewMessage.wav       a soft "pop" with a little bell (a message arrived)

Only the standard library is used. Usage:

  python3 tools/soundgen/soundgen.py [output folder, default assets/Sound]
"""

import math
import os
import struct
import sys
import wave

RATE = 22050
PEAK = 0.7  # loudest sample as a fraction of full scale (about -3 dB): no clipping

# Note frequencies in Hz.
C5, E5, G5, A5, C6, E6 = 523.25, 659.26, 783.99, 880.00, 1046.50, 1318.51


def bell(freq, start, length, decay, level=1.0, attack=0.006):
    """A soft bell: a few partials with an exponential decay and a short attack.

    Returns (start, samples) with the samples as floats."""
    partials = ((1.0, 1.0), (2.0, 0.28), (3.01, 0.09), (4.2, 0.04))
    count = int(length * RATE)
    out = []
    for n in range(count):
        t = n / RATE
        env = math.exp(-t / decay)
        if t < attack:
            env *= t / attack
        tail = (count - n) / (0.02 * RATE)
        if tail < 1.0:
            env *= tail  # end each note smoothly, without a click
        value = 0.0
        for ratio, amp in partials:
            # higher partials fade faster, which keeps the tone round
            value += amp * math.exp(-t * ratio / (decay * 2.5)) * math.sin(2 * math.pi * freq * ratio * t)
        out.append(level * env * value)
    return int(start * RATE), out


def pop(start, length=0.06, high=1500.0, low=520.0, level=0.8):
    """A short sine burst whose pitch drops quickly: a soft bubble "pop"."""
    count = int(length * RATE)
    out = []
    phase = 0.0
    for n in range(count):
        t = n / RATE
        freq = low + (high - low) * math.exp(-t / 0.012)
        phase += 2 * math.pi * freq / RATE
        env = math.sin(math.pi * min(1.0, t / length)) ** 2
        out.append(level * env * math.sin(phase))
    return int(start * RATE), out


def mix(parts, total):
    """Adds the parts into one track of `total` seconds, scales it to PEAK and fades it out."""
    track = [0.0] * int(total * RATE)
    for offset, samples in parts:
        for i, value in enumerate(samples):
            if offset + i < len(track):
                track[offset + i] += value
    loudest = max(abs(v) for v in track) or 1.0
    scale = PEAK / loudest
    fade = int(0.04 * RATE)
    for i in range(len(track)):
        gain = scale
        left = len(track) - i
        if left < fade:
            gain *= left / fade
        track[i] *= gain
    return track


def write(path, track):
    with wave.open(path, "wb") as wav:
        wav.setnchannels(1)
        wav.setsampwidth(2)
        wav.setframerate(RATE)
        frames = b"".join(struct.pack("<h", int(round(v * 32767))) for v in track)
        wav.writeframes(frames)


SOUNDS = {
    "NewUserConnect.wav": lambda: mix([bell(E5, 0.00, 0.35, 0.12), bell(A5, 0.14, 0.50, 0.16)], 0.62),
    "UserDisconnect.wav": lambda: mix([bell(A5, 0.00, 0.35, 0.12, 0.9), bell(E5, 0.14, 0.50, 0.16)], 0.62),
    "OpenPerixChat.wav": lambda: mix(
        [
            bell(C5, 0.00, 0.40, 0.12),
            bell(E5, 0.12, 0.40, 0.12),
            bell(G5, 0.24, 0.62, 0.20),
            bell(C6, 0.24, 0.62, 0.20, 0.25),
        ],
        0.88,
    ),
    "NewMessage.wav": lambda: mix([pop(0.0), bell(E6, 0.02, 0.34, 0.08, 0.45)], 0.38),
}


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "..", "assets", "Sound")
    folder = sys.argv[1] if len(sys.argv) > 1 else default
    os.makedirs(folder, exist_ok=True)
    for name, make in SOUNDS.items():
        track = make()
        write(os.path.join(folder, name), track)
        print(f"{name}: {len(track) / RATE:.2f} s, peak {max(abs(v) for v in track):.2f}")


if __name__ == "__main__":
    main()
