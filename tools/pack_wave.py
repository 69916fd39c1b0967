#!/usr/bin/env python3
"""Speaks the nine section names and stores them as the announcement sounds.

Each announcement is spoken by espeak-ng, trimmed, levelled and resampled by
sox, fitted into 1.25..2.25 s (silence padding, or a tempo change when the
speech is too long) and written as a RIFF/WAVE file laid out the way the
player expects:

    RIFF <size> WAVE
    "fmt " 18: PCM, 1 channel, 22050 Hz, 44100 B/s, block align 2, 16 bits, cbSize 0
    "fact"  4: sample count
    "data"  n: 16-bit little-endian samples

Usage: pack_wave.py OUTPUT_DIR
"""
import os
import struct
import subprocess
import sys
import tempfile

RATE = 22050
MIN_SECONDS = 1.25
MAX_SECONDS = 2.25
# Lead-in before the voice starts, so the first syllable is never clipped by
# an audio device that takes a moment to open.
LEAD_SECONDS = 0.12

# (resource number, text given to the speech engine)
ANNOUNCEMENTS = [
    (300, "Varnola"),
    (301, "Dunes"),
    (302, "S R 47 Bridge"),
    (303, "Montaspro Bridge"),
    (304, "Bivio Carrano"),
    (305, "Vallerosa Curves"),
    (306, "S P 6, K M 4"),
    (307, "Pietraforno Curves"),
    (308, "Lidoscuro"),
]


def run(args):
    subprocess.run(args, check=True)


def speak_to_samples(text, workdir):
    spoken = os.path.join(workdir, "spoken.wav")
    run(["espeak-ng", "-v", "en-gb", "-s", "150", "-p", "45", "-w", spoken, text])
    raw = os.path.join(workdir, "clean.raw")
    # -D: no dither, so the output is repeatable. Trim silence at both ends,
    # then level to -1 dBFS.
    run(["sox", "-D", spoken, "-r", str(RATE), "-c", "1", "-b", "16", "-e", "signed-integer",
         "-t", "raw", raw,
         "silence", "1", "0.01", "0.3%", "reverse", "silence", "1", "0.01", "0.3%", "reverse",
         "gain", "-n", "-1"])
    with open(raw, "rb") as f:
        data = f.read()
    return data, raw


def fit_length(data, raw, workdir):
    lead = int(LEAD_SECONDS * RATE)
    samples = len(data) // 2
    limit = int(MAX_SECONDS * RATE) - lead - int(0.08 * RATE)
    if samples > limit:
        # Too long: speed the speech up without changing its pitch.
        faster = os.path.join(workdir, "faster.raw")
        factor = samples / limit * 1.02
        run(["sox", "-D", "-t", "raw", "-r", str(RATE), "-c", "1", "-b", "16", "-e", "signed-integer", raw,
             "-t", "raw", faster, "tempo", "-s", "%.4f" % factor])
        with open(faster, "rb") as f:
            data = f.read()
        samples = len(data) // 2
    total = max(lead + samples + int(0.08 * RATE), int(MIN_SECONDS * RATE) + int(0.05 * RATE))
    tail = total - lead - samples
    return b"\0\0" * lead + data[: samples * 2] + b"\0\0" * tail


def wave_bytes(pcm):
    sample_count = len(pcm) // 2
    fmt = struct.pack("<HHIIHHH", 1, 1, RATE, RATE * 2, 2, 16, 0)
    chunks = (b"fmt " + struct.pack("<I", len(fmt)) + fmt
              + b"fact" + struct.pack("<I", 4) + struct.pack("<I", sample_count)
              + b"data" + struct.pack("<I", len(pcm)) + pcm)
    if len(pcm) % 2:
        chunks += b"\0"  # chunks are word aligned
    return b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: pack_wave.py OUTPUT_DIR")
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for number, text in ANNOUNCEMENTS:
        with tempfile.TemporaryDirectory() as workdir:
            data, raw = speak_to_samples(text, workdir)
            pcm = fit_length(data, raw, workdir)
        seconds = len(pcm) / 2 / RATE
        if not MIN_SECONDS <= seconds <= MAX_SECONDS:
            sys.exit("%d: %.3f s is outside %.2f..%.2f s" % (number, seconds, MIN_SECONDS, MAX_SECONDS))
        path = os.path.join(out_dir, "%d.wav" % number)
        with open(path, "wb") as f:
            f.write(wave_bytes(pcm))
        print("%s  %.3f s  %r" % (path, seconds, text))


if __name__ == "__main__":
    main()
