#!/usr/bin/env python3
"""Synthesises the application's short sounds and writes them to resources/sounds/.

Alerts and the haptic tick are Core Audio Format files (.caf) of 16-bit linear PCM; the longer
effects are MPEG-4 audio files (.m4a) holding Apple Lossless frames stored uncompressed. Every
sound is a sum of decaying sine tones, so the files are small and the same on every run.

    python3 tools/sounds/make_sounds.py [OUTPUT_DIR]
"""

import math
import os
import struct
import sys

RATE = 22050


def tone(notes, length, volume=0.5, decay=6.0, attack=0.005):
    """notes: list of (start seconds, frequency Hz, relative level)."""
    n = int(RATE * length)
    out = [0.0] * n
    for start, freq, level in notes:
        first = int(start * RATE)
        for i in range(first, n):
            t = (i - first) / RATE
            env = min(1.0, t / attack) * math.exp(-decay * t)
            out[i] += level * env * (math.sin(2 * math.pi * freq * t) + 0.25 * math.sin(4 * math.pi * freq * t))
    peak = max(1e-9, max(abs(x) for x in out))
    return [int(max(-32767, min(32767, round(x / peak * volume * 32767)))) for x in out]


# name, type, notes, length: short, distinct motifs.
SOUNDS = [
    ("low-power", "caf", [(0.0, 659.25, 1), (0.18, 523.25, 1), (0.36, 392.0, 1)], 0.7),
    ("low-battery", "caf", [(0.0, 587.33, 1), (0.16, 440.0, 1)], 0.55),
    ("chime", "caf", [(0.0, 1046.5, 1), (0.0, 1568.0, 0.4)], 0.9),
    ("event", "caf", [(0.0, 783.99, 1), (0.12, 1046.5, 1)], 0.6),
    ("directions", "caf", [(0.0, 523.25, 1), (0.1, 659.25, 1), (0.2, 783.99, 1)], 0.6),
    ("lock", "caf", [(0.0, 220.0, 1), (0.05, 330.0, 0.6)], 0.25),
    ("unlock", "caf", [(0.0, 330.0, 0.6), (0.05, 440.0, 1)], 0.25),
    ("haptic", "caf", [(0.0, 180.0, 1)], 0.06),
    ("pad", "m4a", [(0.0, 261.63, 1), (0.0, 329.63, 0.8), (0.0, 392.0, 0.7)], 1.6),
    ("alt-jingle", "m4a", [(0.0, 523.25, 1), (0.15, 659.25, 1), (0.3, 783.99, 1), (0.45, 1046.5, 1)], 1.2),
    ("blips", "m4a", [(0.0, 1318.5, 1), (0.07, 1760.0, 0.8)], 0.2),
]


def caf(samples):
    pcm = b"".join(struct.pack(">h", s) for s in samples)
    # File header, then the audio description: 16-bit big-endian signed integers, mono.
    desc = struct.pack(">d4sIIIII", float(RATE), b"lpcm", 0, 2, 1, 1, 16)
    data = struct.pack(">I", 0) + pcm  # edit count, then the samples
    return (b"caff" + struct.pack(">HH", 1, 0)
            + b"desc" + struct.pack(">q", len(desc)) + desc
            + b"data" + struct.pack(">q", len(data)) + data)


class Bits:
    def __init__(self):
        self.value = 0
        self.count = 0

    def put(self, v, n):
        self.value = (self.value << n) | (v & ((1 << n) - 1))
        self.count += n

    def bytes(self):
        pad = (-self.count) % 8
        return (self.value << pad).to_bytes((self.count + pad) // 8, "big")


FRAME = 4096


def alac_frame(samples):
    """One mono frame stored uncompressed (the escape form every decoder reads)."""
    b = Bits()
    b.put(0, 3)    # single channel element
    b.put(0, 4)    # element instance
    b.put(0, 12)   # unused header
    partial = len(samples) != FRAME
    b.put((1 if partial else 0) << 3 | 0 << 1 | 1, 4)  # partial frame, no shifted bytes, escape
    if partial:
        b.put(len(samples), 32)
    for s in samples:
        b.put(s & 0xFFFF, 16)
    b.put(7, 3)    # end of frame
    return b.bytes()


def box(kind, payload):
    return struct.pack(">I4s", 8 + len(payload), kind) + payload


def full_box(kind, version, flags, payload):
    return box(kind, struct.pack(">I", (version << 24) | flags) + payload)


MATRIX = struct.pack(">9I", 0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000)


def m4a(samples):
    frames = [alac_frame(samples[i:i + FRAME]) for i in range(0, len(samples), FRAME)]
    counts = [min(FRAME, len(samples) - i) for i in range(0, len(samples), FRAME)]
    n = len(samples)
    ftyp = box(b"ftyp", b"M4A " + struct.pack(">I", 0) + b"M4A mp42isom")
    mdat_payload = b"".join(frames)
    mdat = box(b"mdat", mdat_payload)
    data_offset = len(ftyp) + 8

    cookie = struct.pack(">IBBBBBBHIII", FRAME, 0, 16, 40, 10, 14, 1, 255, max(len(f) for f in frames), 0, RATE)
    entry = (b"\0" * 6 + struct.pack(">H", 1) + b"\0" * 8 + struct.pack(">HHHHI", 1, 16, 0, 0, RATE << 16)
             + full_box(b"alac", 0, 0, cookie))
    stsd = full_box(b"stsd", 0, 0, struct.pack(">I", 1) + box(b"alac", entry))
    runs = []
    for c in counts:
        if runs and runs[-1][1] == c:
            runs[-1][0] += 1
        else:
            runs.append([1, c])
    stts = full_box(b"stts", 0, 0, struct.pack(">I", len(runs)) + b"".join(struct.pack(">II", a, d) for a, d in runs))
    stsc = full_box(b"stsc", 0, 0, struct.pack(">IIII", 1, 1, len(frames), 1))
    stsz = full_box(b"stsz", 0, 0, struct.pack(">II", 0, len(frames)) + b"".join(struct.pack(">I", len(f)) for f in frames))
    stco = full_box(b"stco", 0, 0, struct.pack(">II", 1, data_offset))
    stbl = box(b"stbl", stsd + stts + stsc + stsz + stco)
    dinf = box(b"dinf", full_box(b"dref", 0, 0, struct.pack(">I", 1) + full_box(b"url ", 0, 1, b"")))
    minf = box(b"minf", full_box(b"smhd", 0, 0, struct.pack(">HH", 0, 0)) + dinf + stbl)
    hdlr = full_box(b"hdlr", 0, 0, struct.pack(">I4s12s", 0, b"soun", b"\0" * 12) + b"SoundHandler\0")
    mdhd = full_box(b"mdhd", 0, 0, struct.pack(">IIIIHH", 0, 0, RATE, n, 0x55C4, 0))
    mdia = box(b"mdia", mdhd + hdlr + minf)
    tkhd = full_box(b"tkhd", 0, 7, struct.pack(">IIIII", 0, 0, 1, 0, n) + b"\0" * 8
                    + struct.pack(">hhHH", 0, 0, 0x0100, 0) + MATRIX + struct.pack(">II", 0, 0))
    trak = box(b"trak", tkhd + mdia)
    mvhd = full_box(b"mvhd", 0, 0, struct.pack(">IIIIIH", 0, 0, RATE, n, 0x10000, 0x0100) + b"\0" * 10
                    + MATRIX + b"\0" * 24 + struct.pack(">I", 2))
    moov = box(b"moov", mvhd + trak)
    return ftyp + mdat + moov


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "resources", "sounds")
    os.makedirs(out, exist_ok=True)
    for name, kind, notes, length in SOUNDS:
        samples = tone(notes, length)
        data = caf(samples) if kind == "caf" else m4a(samples)
        with open(os.path.join(out, name + "." + kind), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
