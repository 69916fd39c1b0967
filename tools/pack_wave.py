#!/usr/bin/env python3
"""Speaks the nine section names and stores them as the announcement sounds.

Each announcement is spoken by festival with the HTS voice cmu_us_slt_arctic_hts,
trimmed, resampled and peak-levelled by sox, fitted into 1.25..2.25 s (silence
padding, or a tempo change when the speech is too long), then brought to the
loudness of the quietest of the nine (EBU R128 integrated loudness, measured
below), so no announcement sounds louder than another and none clips. Each is
written as a RIFF/WAVE file laid out the way the player expects:

    RIFF <size> WAVE
    "fmt " 18: PCM, 1 channel, 22050 Hz, 44100 B/s, block align 2, 16 bits, cbSize 0
    "fact"  4: sample count
    "data"  n: 16-bit little-endian samples

Nothing depends on the time or on chance (festival's HTS voice is deterministic,
sox runs without dither), so a rerun on the same package versions gives the
same bytes.

Usage: pack_wave.py OUTPUT_DIR      make the nine files
       pack_wave.py --measure FILE...  print length, peak and loudness
"""
import array
import math
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
TAIL_SECONDS = 0.08
PEAK_DBFS = -1.0
VOICE = "(voice_cmu_us_slt_arctic_hts)"

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
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def raw_args(path):
    return ["-t", "raw", "-r", str(RATE), "-c", "1", "-b", "16", "-e", "signed-integer", path]


def read_samples(path):
    samples = array.array("h")
    with open(path, "rb") as f:
        samples.frombytes(f.read())
    if sys.byteorder != "little":
        samples.byteswap()
    return samples


def speak(text, workdir):
    """The spoken text as 16-bit samples at RATE, silence trimmed, peak at PEAK_DBFS."""
    text_file = os.path.join(workdir, "text.txt")
    with open(text_file, "w", encoding="ascii") as f:
        f.write(text + "\n")
    spoken = os.path.join(workdir, "spoken.wav")
    run(["text2wave", "-eval", VOICE, "-o", spoken, text_file])
    clean = os.path.join(workdir, "clean.raw")
    # -D: no dither, so the output is repeatable. The voice peaks near full scale, so it is
    # turned down before resampling, which would otherwise clip its overshoots.
    run(["sox", "-D", spoken] + raw_args(clean)
        + ["silence", "1", "0.01", "0.3%", "reverse", "silence", "1", "0.01", "0.3%", "reverse",
           "gain", "-n", "-6", "rate", "-h", str(RATE), "gain", "-n", str(PEAK_DBFS)])
    return clean


def fit_length(clean, workdir):
    """Padded with silence to the allowed length; sped up, pitch kept, when too long."""
    lead = int(LEAD_SECONDS * RATE)
    tail_min = int(TAIL_SECONDS * RATE)
    samples = read_samples(clean)
    limit = int(MAX_SECONDS * RATE) - lead - tail_min
    if len(samples) > limit:
        faster = os.path.join(workdir, "faster.raw")
        factor = len(samples) / limit * 1.02
        run(["sox", "-D"] + raw_args(clean) + raw_args(faster) + ["tempo", "-s", "%.4f" % factor])
        samples = read_samples(faster)
    total = max(lead + len(samples) + tail_min, int(MIN_SECONDS * RATE) + int(0.05 * RATE))
    tail = total - lead - len(samples)
    return array.array("h", [0] * lead) + samples + array.array("h", [0] * tail)


def biquad(x, b, a):
    y = [0.0] * len(x)
    x1 = x2 = y1 = y2 = 0.0
    for n, xn in enumerate(x):
        yn = b[0] * xn + b[1] * x1 + b[2] * x2 - a[1] * y1 - a[2] * y2
        x2, x1, y2, y1 = x1, xn, y1, yn
        y[n] = yn
    return y


def k_weighted(x, rate):
    """ITU-R BS.1770 K-weighting (high shelf, then high pass) designed for any sample rate."""
    k = math.tan(math.pi * 1681.974450955533 / rate)
    q = 0.7071752369554196
    vh = 10 ** (3.999843853973347 / 20)
    vb = vh ** 0.4996667741545416
    a0 = 1 + k / q + k * k
    shelf_b = ((vh + vb * k / q + k * k) / a0, 2 * (k * k - vh) / a0, (vh - vb * k / q + k * k) / a0)
    shelf_a = (1.0, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0)
    k = math.tan(math.pi * 38.13547087602444 / rate)
    q = 0.5003270373238773
    a0 = 1 + k / q + k * k
    pass_a = (1.0, 2 * (k * k - 1) / a0, (1 - k / q + k * k) / a0)
    return biquad(biquad(x, shelf_b, shelf_a), (1.0, -2.0, 1.0), pass_a)


def loudness(samples, rate=RATE):
    """EBU R128 integrated loudness (LUFS) of mono 16-bit samples: 400 ms blocks every 100 ms,
    gated at -70 LUFS and then 10 LU below the mean of the blocks that pass."""
    y = k_weighted([s / 32768.0 for s in samples], rate)
    block, step = int(0.4 * rate), int(0.1 * rate)
    powers = []
    for start in range(0, len(y) - block + 1, step):
        powers.append(sum(v * v for v in y[start:start + block]) / block)

    def lufs(power):
        return -0.691 + 10 * math.log10(power) if power > 0 else -math.inf

    gated = [p for p in powers if lufs(p) > -70]
    if not gated:
        return -math.inf
    relative = lufs(sum(gated) / len(gated)) - 10
    gated = [p for p in gated if lufs(p) > relative]
    return lufs(sum(gated) / len(gated))


def peak_dbfs(samples):
    peak = max(abs(s) for s in samples)
    return 20 * math.log10(peak / 32768.0) if peak else -math.inf


def scaled(samples, gain_db):
    gain = 10 ** (gain_db / 20)
    return array.array("h", [max(-32768, min(32767, int(round(s * gain)))) for s in samples])


def wave_bytes(samples):
    pcm = samples.tobytes() if sys.byteorder == "little" else _swapped(samples).tobytes()
    fmt = struct.pack("<HHIIHHH", 1, 1, RATE, RATE * 2, 2, 16, 0)
    chunks = (b"fmt " + struct.pack("<I", len(fmt)) + fmt
              + b"fact" + struct.pack("<I", 4) + struct.pack("<I", len(samples))
              + b"data" + struct.pack("<I", len(pcm)) + pcm)
    return b"RIFF" + struct.pack("<I", 4 + len(chunks)) + b"WAVE" + chunks


def _swapped(samples):
    copy = array.array("h", samples)
    copy.byteswap()
    return copy


def samples_of_wave(path):
    """The samples of a file written by wave_bytes (or any 16-bit mono PCM WAVE)."""
    with open(path, "rb") as f:
        data = f.read()
    at = 12
    while at + 8 <= len(data):
        size = struct.unpack("<I", data[at + 4:at + 8])[0]
        if data[at:at + 4] == b"data":
            samples = array.array("h")
            samples.frombytes(data[at + 8:at + 8 + size])
            return samples if sys.byteorder == "little" else _swapped(samples)
        at += 8 + size + (size & 1)
    sys.exit("%s: no data chunk" % path)


def describe(samples):
    return "%.3f s  peak %.2f dBFS  %.2f LUFS" % (len(samples) / RATE, peak_dbfs(samples), loudness(samples))


def main():
    if len(sys.argv) > 2 and sys.argv[1] == "--measure":
        for path in sys.argv[2:]:
            print("%s  %s" % (path, describe(samples_of_wave(path))))
        return
    if len(sys.argv) != 2:
        sys.exit("usage: pack_wave.py OUTPUT_DIR | --measure FILE...")
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    spoken = []
    for number, text in ANNOUNCEMENTS:
        with tempfile.TemporaryDirectory() as workdir:
            samples = fit_length(speak(text, workdir), workdir)
        seconds = len(samples) / RATE
        if not MIN_SECONDS <= seconds <= MAX_SECONDS:
            sys.exit("%d: %.3f s is outside %.2f..%.2f s" % (number, seconds, MIN_SECONDS, MAX_SECONDS))
        spoken.append((number, text, samples, loudness(samples)))

    # Every announcement peaks at PEAK_DBFS, so the quietest sets the level: the others are only
    # turned down, and none can clip.
    target = min(level for _, _, _, level in spoken)
    for number, text, samples, level in spoken:
        levelled = scaled(samples, target - level)
        if abs(loudness(levelled) - target) > 0.5 or peak_dbfs(levelled) > PEAK_DBFS + 0.01:
            sys.exit("%d: could not be levelled to %.2f LUFS" % (number, target))
        path = os.path.join(out_dir, "%d.wav" % number)
        with open(path, "wb") as f:
            f.write(wave_bytes(levelled))
        print("%s  %s  %r" % (path, describe(levelled), text))


if __name__ == "__main__":
    main()
