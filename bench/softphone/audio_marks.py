"""The benchmark's microphone signal and what is read back from a recording of it.

The microphone plays noise that is never silent, with a loud chirp every `period` seconds. In what
the other side heard, each chirp's onset gives the mouth-to-ear delay, and every 20 ms stretch of
silence is time the player had nothing to play: a gap (frames lost or concealed)."""

import array
import math
import random
import wave

RATE = 8000
MARKER_S = 0.06
BACKGROUND = 1500
MARKER_LEVEL = 14000
ONSET_LEVEL = 7000
BLOCK = 8  # 1 ms


def write_wav(path, samples):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(array.array("h", samples).tobytes())


def read_wav(path):
    with wave.open(path, "rb") as w:
        if w.getnchannels() != 1 or w.getsampwidth() != 2:
            raise ValueError(f"{path}: not 16-bit mono")
        rate = w.getframerate()
        data = array.array("h", w.readframes(w.getnframes()))
    return rate, data


def make_microphone(path, seconds, period=2.0, first=1.0, seed=7):
    """Writes the signal; returns the marker times in seconds from the file's start."""
    rng = random.Random(seed)
    total = int(seconds * RATE)
    samples = [int(rng.uniform(-BACKGROUND, BACKGROUND)) for _ in range(total)]
    markers = []
    length = int(MARKER_S * RATE)
    at = first
    while at + MARKER_S < seconds:
        start = int(at * RATE)
        for i in range(length):
            t = i / RATE
            # 600 Hz up to 2400 Hz: a sweep survives the low-rate codecs better than a tone.
            phase = 2 * math.pi * (600 * t + 0.5 * (1800 / MARKER_S) * t * t)
            samples[start + i] = int(MARKER_LEVEL * math.sin(phase))
        markers.append(start / RATE)
        at += period
    write_wav(path, samples)
    return markers


def block_peaks(samples, block=BLOCK):
    return [max(map(abs, samples[i : i + block]), default=0)
            for i in range(0, len(samples), block)]


def onsets(path, quiet_before=0.3):
    """Times (s from the recording's start) where a marker begins."""
    rate, samples = read_wav(path)
    if rate != RATE:
        raise ValueError(f"{path}: {rate} Hz")
    peaks = block_peaks(samples)
    found = []
    quiet_blocks = int(quiet_before * 1000)
    last_loud = -quiet_blocks - 1
    for index, peak in enumerate(peaks):
        if peak >= ONSET_LEVEL:
            if index - last_loud > quiet_blocks:
                found.append(index * BLOCK / RATE)
            last_loud = index
    return found


def delays(markers_spoken, heard, period):
    """Mouth-to-ear delays in ms: each heard onset against the latest marker spoken before it.
    Both lists are on one clock (seconds)."""
    out = []
    for h in heard:
        before = [m for m in markers_spoken if m <= h]
        if before and h - before[-1] < period:
            out.append(1000.0 * (h - before[-1]))
    return out


def gaps(path, start_s=None, end_s=None, window_s=0.02, silent_below=200):
    """(silent windows, windows) of the recording between start_s and end_s."""
    rate, samples = read_wav(path)
    size = int(window_s * rate)
    first = int((start_s or 0) * rate)
    last = int(end_s * rate) if end_s is not None else len(samples)
    silent = windows = 0
    for i in range(first, min(last, len(samples)) - size + 1, size):
        windows += 1
        if max(map(abs, samples[i : i + size])) < silent_below:
            silent += 1
    return silent, windows


def summary(values):
    if not values:
        return None
    ordered = sorted(values)
    return {
        "n": len(ordered),
        "median": ordered[len(ordered) // 2],
        "min": ordered[0],
        "max": ordered[-1],
    }
