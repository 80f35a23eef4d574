"""Measuring a recording: levels, silence, pitch, and pitches followed through time."""

from __future__ import annotations

import array
import cmath
import math
import sys
import wave
from pathlib import Path

from e2e_env import FLOOR_DB, LATENCY_MS, MARGIN_MS, SILENCE_DB


# --------------------------------------------------------------------------------
# Analysis
# --------------------------------------------------------------------------------

def _db(x: float) -> float:
    return 20.0 * math.log10(x) if x > 0 else FLOOR_DB


class Segment:
    """A stretch of a recording: mono samples in [-1, 1] with their unix-ms span."""

    def __init__(self, samples, rate: int, start_ms: float):
        self.samples = samples
        self.rate = rate
        self.start_ms = start_ms

    @property
    def seconds(self) -> float:
        return len(self.samples) / self.rate

    @property
    def end_ms(self) -> float:
        return self.start_ms + 1000.0 * len(self.samples) / self.rate

    def __len__(self) -> int:
        return len(self.samples)

    def __repr__(self) -> str:
        return f"<Segment {self.seconds:.3f} s from {self.start_ms:.0f} ms, {self.rms_db():.1f} dB>"

    def rms(self) -> float:
        n = len(self.samples)
        if n == 0:
            return 0.0
        return math.sqrt(math.fsum(x * x for x in self.samples) / n)

    def rms_db(self) -> float:
        """RMS level in dBFS (-150 for digital silence or an empty segment)."""
        return _db(self.rms())

    def peak(self) -> float:
        return max((abs(x) for x in self.samples), default=0.0)

    def is_silent(self, threshold_db: float = SILENCE_DB) -> bool:
        return self.rms_db() < threshold_db

    def level_of(self, freq_hz: float) -> float:
        """Level (dBFS RMS) of the component at one frequency (Hann window + Goertzel).

        A sine of amplitude a at that frequency reads 20*log10(a/sqrt(2))."""
        x = self._analysis_window(2.0)
        n = len(x)
        if n < 16:
            return FLOOR_DB
        w = [0.5 - 0.5 * math.cos(2 * math.pi * i / (n - 1)) for i in range(n)]
        coeff = 2.0 * math.cos(2.0 * math.pi * freq_hz / self.rate)
        s1 = s2 = 0.0
        for xi, wi in zip(x, w):
            s0 = xi * wi + coeff * s1 - s2
            s2, s1 = s1, s0
        omega = 2.0 * math.pi * freq_hz / self.rate
        re_ = s1 - s2 * math.cos(omega)
        im_ = s2 * math.sin(omega)
        mag = math.hypot(re_, im_)
        amplitude = 2.0 * mag / math.fsum(w)
        return _db(amplitude / math.sqrt(2.0))

    def dominant_freq(self, fmin: float = 20.0, fmax: float = 8000.0) -> float:
        """Frequency (Hz) of the strongest component between fmin and fmax.

        FFT with a Hann window, then a parabolic fit on the log magnitudes around
        the peak bin: within about 1 Hz for a steady sine of 0.2 s or more. Returns
        0.0 for silence."""
        x = self._analysis_window(1.0)
        if len(x) < 64 or self.rms() == 0.0:
            return 0.0
        n = 1 << (len(x).bit_length() - 1)
        x = x[(len(x) - n) // 2:(len(x) - n) // 2 + n]
        w = [0.5 - 0.5 * math.cos(2 * math.pi * i / n) for i in range(n)]
        bins = _fft([complex(xi * wi) for xi, wi in zip(x, w)])
        mags = [abs(c) for c in bins[:n // 2]]
        lo = max(1, int(fmin * n / self.rate))
        hi = min(n // 2 - 2, int(fmax * n / self.rate) + 1)
        k = max(range(lo, hi + 1), key=mags.__getitem__)
        a, b, c = (math.log(max(mags[k + d], 1e-30)) for d in (-1, 0, 1))
        denom = a - 2 * b + c
        delta = 0.5 * (a - c) / denom if denom != 0 else 0.0
        return (k + delta) * self.rate / n

    def _analysis_window(self, max_seconds: float):
        """The middle part of the segment, at most max_seconds long."""
        n = len(self.samples)
        m = min(n, int(max_seconds * self.rate))
        i = (n - m) // 2
        return self.samples[i:i + m]


def _fft(a: list[complex]) -> list[complex]:
    """In-place iterative radix-2 FFT (len(a) a power of two)."""
    n = len(a)
    j = 0
    for i in range(1, n):
        bit = n >> 1
        while j & bit:
            j ^= bit
            bit >>= 1
        j |= bit
        if i < j:
            a[i], a[j] = a[j], a[i]
    length = 2
    while length <= n:
        wl = cmath.exp(-2j * math.pi / length)
        half = length // 2
        tw = [1 + 0j] * half
        for k in range(1, half):
            tw[k] = tw[k - 1] * wl
        for start in range(0, n, length):
            for k in range(half):
                u = a[start + k]
                v = a[start + k + half] * tw[k]
                a[start + k] = u + v
                a[start + k + half] = u - v
        length <<= 1
    return a


class Recording(Segment):
    """A whole recording; `start_ms` is the unix millisecond of its first sample."""

    def __init__(self, samples, rate: int, start_ms: float, latency_ms: float = LATENCY_MS):
        super().__init__(samples, rate, start_ms)
        self.latency_ms = latency_ms
        self.raw: bytes | None = None   # the recorded s16le frames, when recorded
        self.channels = 1

    @classmethod
    def from_s16le(cls, data: bytes, rate: int, channels: int, start_ms: float) -> "Recording":
        pcm = array.array("h")
        pcm.frombytes(data[:len(data) - len(data) % (2 * channels)])
        if sys.byteorder != "little":
            pcm.byteswap()
        if channels == 1:
            mono = [v / 32768.0 for v in pcm]
        else:
            chans = [pcm[c::channels] for c in range(channels)]
            scale = 1.0 / (32768.0 * channels)
            mono = [sum(f) * scale for f in zip(*chans)]
        rec = cls(mono, rate, start_ms)
        rec.raw, rec.channels = bytes(data[:2 * channels * len(mono)]), channels
        return rec

    @classmethod
    def load_wav(cls, path, start_ms: float = 0.0) -> "Recording":
        with wave.open(str(path), "rb") as w:
            if w.getsampwidth() != 2:
                raise ValueError("only 16-bit wav files")
            data = w.readframes(w.getnframes())
            return cls.from_s16le(data, w.getframerate(), w.getnchannels(), start_ms)

    def save_wav(self, path) -> Path:
        """Writes the recording as a 16-bit wav file (as recorded, else the mono mix)."""
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        if self.raw is not None:
            frames, channels = self.raw, self.channels
        else:
            pcm = array.array("h", (max(-32768, min(32767, int(round(x * 32768.0))))
                                    for x in self.samples))
            if sys.byteorder != "little":
                pcm.byteswap()
            frames, channels = pcm.tobytes(), 1
        with wave.open(str(path), "wb") as w:
            w.setnchannels(channels)
            w.setsampwidth(2)
            w.setframerate(self.rate)
            w.writeframes(frames)
        return path

    # --- cutting ---------------------------------------------------------------

    def _index(self, unix_ms: float) -> int:
        i = int(round((unix_ms - self.start_ms) * self.rate / 1000.0))
        return max(0, min(len(self.samples), i))

    def span(self, t0_ms: float, t1_ms: float) -> Segment:
        """The samples between two unix-ms times, exactly (no latency shift, no trim)."""
        i0, i1 = self._index(t0_ms), self._index(t1_ms)
        return Segment(self.samples[i0:max(i0, i1)], self.rate, self.start_ms + i0 * 1000.0 / self.rate)

    def between(self, a, b, margin_ms: float = MARGIN_MS, latency_ms: float | None = None) -> Segment:
        """What was heard between two moments of the log.

        a and b are unix ms (numbers) or log Events. The span is shifted by the
        output latency and margin_ms is trimmed off each end."""
        lat = self.latency_ms if latency_ms is None else latency_ms
        t0 = _ms(a) + lat + margin_ms
        t1 = _ms(b) + lat - margin_ms
        return self.span(t0, max(t0, t1))

    def after(self, a, seconds: float, offset_s: float = 0.0, margin_ms: float = MARGIN_MS,
              latency_ms: float | None = None) -> Segment:
        """`seconds` of sound starting offset_s after moment a (same shifting as between)."""
        t = _ms(a) + offset_s * 1000.0
        return self.between(t, t + seconds * 1000.0, margin_ms, latency_ms)

    def rel(self, t0_s: float, t1_s: float) -> Segment:
        """Seconds relative to the start of the recording."""
        return self.span(self.start_ms + t0_s * 1000.0, self.start_ms + t1_s * 1000.0)

    # --- finding sound ----------------------------------------------------------

    def _window_levels(self, i0: int, window_ms: float):
        w = max(1, int(self.rate * window_ms / 1000.0))
        x = self.samples
        for i in range(i0, len(x) - w + 1, w):
            yield i, _db(math.sqrt(math.fsum(v * v for v in x[i:i + w]) / w))

    def first_sound_after(self, a, threshold_db: float = -40.0, window_ms: float = 10.0):
        """Unix ms of the first window_ms window after moment a (no latency shift) whose
        level reaches threshold_db, or None."""
        for i, lvl in self._window_levels(self._index(_ms(a)), window_ms):
            if lvl >= threshold_db:
                return self.start_ms + i * 1000.0 / self.rate
        return None

    def first_silence_after(self, a, threshold_db: float = SILENCE_DB, window_ms: float = 20.0):
        """Unix ms of the first window after moment a whose level is below threshold_db."""
        for i, lvl in self._window_levels(self._index(_ms(a)), window_ms):
            if lvl < threshold_db:
                return self.start_ms + i * 1000.0 / self.rate
        return None

    def sound_spans(self, threshold_db: float = -50.0, window_ms: float = 20.0,
                    min_gap_ms: float = 60.0) -> list[tuple[float, float]]:
        """(start_ms, end_ms) of each stretch of sound, gaps shorter than min_gap_ms merged."""
        spans: list[list[float]] = []
        step = window_ms
        for i, lvl in self._window_levels(0, window_ms):
            if lvl < threshold_db:
                continue
            t = self.start_ms + i * 1000.0 / self.rate
            if spans and t - spans[-1][1] <= min_gap_ms:
                spans[-1][1] = t + step
            else:
                spans.append([t, t + step])
        return [(s, e) for s, e in spans]


def _ms(moment) -> float:
    """A moment in unix ms: a number, or a log Event (its time)."""
    t = getattr(moment, "t", None)
    return float(moment if t is None else t)


# Module-level forms of the measurements, for readability in tests.
def rms_db(segment: Segment) -> float:
    return segment.rms_db()


def is_silent(segment: Segment, threshold_db: float = SILENCE_DB) -> bool:
    return segment.is_silent(threshold_db)


def dominant_freq(segment: Segment) -> float:
    return segment.dominant_freq()


def level_of(freq_hz: float, segment: Segment) -> float:
    return segment.level_of(freq_hz)



def pitch_runs(segment: Segment, freqs, window_ms: float = 100.0, threshold_db: float = -40.0,
               min_windows: int = 2) -> list[tuple[float, float, float]]:
    """Which of the candidate pitches sounds, window by window: a list of
    (freq, start_ms, end_ms) runs of consecutive windows where that candidate is the
    loudest and reaches threshold_db. Runs shorter than min_windows are dropped (onset
    clicks, cross-fades) and neighbours of the same pitch are then merged."""
    w = max(16, int(segment.rate * window_ms / 1000.0))
    x = segment.samples
    runs: list[list[float]] = []
    for i in range(0, len(x) - w + 1, w):
        win = Segment(x[i:i + w], segment.rate, segment.start_ms + i * 1000.0 / segment.rate)
        best, best_db = None, threshold_db
        for f in freqs:
            lvl = win.level_of(f)
            if lvl >= best_db:
                best, best_db = f, lvl
        if best is None:
            continue
        if runs and runs[-1][0] == best and abs(runs[-1][2] - win.start_ms) < 1.0:
            runs[-1][2] = win.end_ms
        else:
            runs.append([best, win.start_ms, win.end_ms])
    kept = [r for r in runs if r[2] - r[1] >= min_windows * window_ms - 1.0]
    merged: list[list[float]] = []
    for r in kept:
        if merged and merged[-1][0] == r[0]:
            merged[-1][2] = r[2]
        else:
            merged.append(list(r))
    return [(f, s, e) for f, s, e in merged]
