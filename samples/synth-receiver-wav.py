#!/usr/bin/env python3
"""Synthesises nec-burst.wav: what a sound card records from an IR receiver
module on its input while an NEC remote sends address 0x04, command 0x08 and
two repeat codes.

The receiver's output is low while the carrier is present. The module
stretches marks and shortens spaces by about 50 us; the sound card's input
is AC-coupled (a high-pass filter, time constant 20 ms) and band-limited (a
one-pole low-pass), and adds a little noise. 48000 Hz, 16-bit, mono.
Deterministic: running it again gives the same file.
"""
import math
import struct
import sys

RATE = 48000
SWING = 12000          # full step of the receiver's output, in sample units
STRETCH_US = 50        # marks come out longer, spaces shorter
HIGH_PASS_TAU_S = 0.020
LOW_PASS_ALPHA = 0.6   # per-sample smoothing of the input
NOISE = 150            # standard deviation of the noise


def nec_frame(address, command):
    d = [9000, 4500]
    word = address | (~address & 0xFF) << 8 | command << 16 | (~command & 0xFF) << 24
    for bit in range(32):
        d += [560, 1690 if (word >> bit) & 1 else 560]
    return d + [560]


def repeat_code():
    return [9000, 2250, 560]


def levels(frames, period_us, lead_us, tail_us):
    """Receiver output per sample: 1 idle (no carrier), 0 during a mark."""
    out = []
    t_us = lead_us
    edges = []  # (start_us, end_us) of each mark
    for k, frame in enumerate(frames):
        start = lead_us + k * period_us
        t = start
        for i, d in enumerate(frame):
            if i % 2 == 0:
                edges.append((t, t + d + STRETCH_US))
            t += d
        t_us = t
    total = int((t_us + tail_us) * RATE / 1e6)
    marks = [(int(round(a * RATE / 1e6)), int(round(b * RATE / 1e6))) for a, b in edges]
    out = [1.0] * total
    for a, b in marks:
        for i in range(a, min(b, total)):
            out[i] = 0.0
    return out


def main(path):
    frames = [nec_frame(0x04, 0x08), repeat_code(), repeat_code()]
    raw = levels(frames, 108000, 50000, 60000)
    k = math.exp(-1.0 / (HIGH_PASS_TAU_S * RATE))
    seed = 12345
    def gauss():
        nonlocal seed
        s = 0.0
        for _ in range(4):
            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
            s += seed / 0x7FFFFFFF - 0.5
        return s * math.sqrt(3.0)  # about unit variance
    samples = []
    hp_prev_in = raw[0] * SWING
    hp = 0.0
    lp = 0.0
    for v in raw:
        x = v * SWING
        hp = k * (hp + x - hp_prev_in)
        hp_prev_in = x
        lp += LOW_PASS_ALPHA * (hp - lp)
        s = int(round(lp + NOISE * gauss()))
        samples.append(max(-32768, min(32767, s)))
    data = struct.pack("<%dh" % len(samples), *samples)
    header = b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " + struct.pack(
        "<IHHIIHH", 16, 1, 1, RATE, RATE * 2, 2, 16) + b"data" + struct.pack("<I", len(data))
    with open(path, "wb") as f:
        f.write(header + data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "nec-burst.wav")
