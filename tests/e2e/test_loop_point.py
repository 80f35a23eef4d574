"""Tunes with an intro: a playlist entry with a loop start, as a player hears it.

Each tune is an intro at one pitch, a loop section at another and a short marker
at a third, in wav, mp3 and ogg. Its entry carries loop=1000, the end of the intro.
One host run plays each format for three loop points, then the wav again with F11
pressed during its intro. After the first end the intro's pitch must never come
back and the loop's pitch must. The test prints, for every loop point, how much of
the marker was heard and the silence (or, negative, the overlap) before the loop
section sounds again: benchmark figures, not assertions.
"""

import math
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

# Pitches that are not harmonics of each other, far enough apart for 10 ms windows.
INTRO, LOOP, MARK = 600.0, 1100.0, 2300.0
INTRO_S, LOOP_S, MARK_S = 1.0, 2.0, 0.5
FORMATS = ("wav", "mp3", "ogg")
FIRST_PLAY_MS = int((INTRO_S + LOOP_S + MARK_S) * 1000)
LOOP_MS = int((LOOP_S + MARK_S) * 1000)
PLAY_MS = FIRST_PLAY_MS + 2 * LOOP_MS + 1000  # three loop points

INI = "[Settings]\r\nInitRandom=0\r\n"  # ChangeSoundOnLoop=0: the tune plays again in place

# The fine measure: windows of 10 ms every 5 ms; a pitch sounds in a window from -30 dB.
FINE_WINDOW_MS, FINE_STEP_MS, FINE_DB = 10.0, 5.0, -30.0


def playlist(entry: str) -> str:
    return "[Orvalin_BGMList]\r\n[List]\r\n" + entry + "\r\n"


class FineLevels:
    """Which of the three pitches sound in short windows (Hann window, Goertzel)."""

    def __init__(self, rate: int):
        self.n = int(rate * FINE_WINDOW_MS / 1000.0)
        self.hann = [0.5 - 0.5 * math.cos(2 * math.pi * i / (self.n - 1)) for i in range(self.n)]
        self.norm = sum(self.hann)
        self.coeff = {f: 2.0 * math.cos(2.0 * math.pi * f / rate) for f in (INTRO, LOOP, MARK)}

    def sounding(self, samples, i0: int) -> set:
        """The pitches at or above FINE_DB in the window starting at sample i0."""
        win = [x * w for x, w in zip(samples[i0:i0 + self.n], self.hann)]
        out = set()
        for f, c in self.coeff.items():
            s1 = s2 = 0.0
            for x in win:
                s1, s2 = x + c * s1 - s2, s1
            power = max(s1 * s1 + s2 * s2 - c * s1 * s2, 0.0)
            amplitude = 2.0 * math.sqrt(power) / self.norm
            if 20.0 * math.log10(max(amplitude / math.sqrt(2.0), 1e-12)) >= FINE_DB:
                out.add(f)
        return out


def fine_labels(seg: h.Segment) -> list:
    """(window centre in unix ms, pitches sounding) for every fine window of seg."""
    fine = FineLevels(seg.rate)
    step = int(seg.rate * FINE_STEP_MS / 1000.0)
    return [(seg.start_ms + (i + fine.n / 2) * 1000.0 / seg.rate, fine.sounding(seg.samples, i))
            for i in range(0, len(seg.samples) - fine.n + 1, step)]


def loop_point_figures(labels: list) -> list:
    """For each marker: (how long it was heard, ms; the silence before the loop pitch
    sounds again, ms, negative when both sound together). A marker shorter than 50 ms
    is a click, not the marker."""
    figures = []
    i = 0
    while i < len(labels):
        if MARK not in labels[i][1]:
            i += 1
            continue
        on = off = labels[i][0]
        j = i
        while j < len(labels) and LOOP in labels[j][1]:  # the loop section gives way
            j += 1
        while j < len(labels) and LOOP not in labels[j][1]:
            if MARK in labels[j][1]:
                off = labels[j][0]
            j += 1
        if j == len(labels):
            break
        loop_on = labels[j][0]
        while j < len(labels) and MARK in labels[j][1]:  # the marker goes on over the loop
            off = labels[j][0]
            j += 1
        if off - on >= 50:
            figures.append((off - on, loop_on - off))
        i = j
    return figures


def intro_after_first_end_ms(labels: list) -> float:
    """How long the intro's pitch sounded after the first marker, in fine windows."""
    first = next((k for k, (_, p) in enumerate(labels) if MARK in p), len(labels))
    return sum(FINE_STEP_MS for _, p in labels[first:] if INTRO in p)


class LoopPoint(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("loop_point.LoopPoint", ini=INI)
        script = ["init", "setvolume 255"]
        for fmt in FORMATS:
            h.make_tone_sequence(f.file(f"sound/tune.{fmt}"),
                                 [(INTRO, INTRO_S), (LOOP, LOOP_S), (MARK, MARK_S)])
            f.write(f"{fmt}.txt", playlist(f"sound\\tune.{fmt},loop=1000"))
            script += [f"mark {fmt}", f"play {fmt}.txt", f"pump {PLAY_MS}"]
        script += ["mark f11", "play wav.txt", "pump 800", "mark key", "key F11", "pump 2000",
                   "mark end", "stop", "pump 300", "quit"]
        cls.folder = f
        cls.host = h.run_host(f, script, timeout=120)

    def setUp(self):
        self.assertTrue(self.host.ended and not self.host.timed_out, self.host.describe())

    def heard(self, a, b):
        return self.host.recording.between(self.host.mark(a), self.host.mark(b), margin_ms=0)

    def play_ms(self, name: str) -> int:
        """How long the game's thread spent in the first Play of a list."""
        asked = self.host.command(f"play {name}")
        done = next(e for e in self.host.of_kind("play") if e.t >= asked.t)
        return done.t - asked.t

    def check_format(self, fmt: str, until: str):
        seg = self.heard(fmt, until)
        runs = h.pitch_runs(seg, (INTRO, LOOP, MARK))
        pitches = [p for p, _, _ in runs]
        self.assertTrue(pitches and pitches[0] == INTRO,
                        f"{fmt}: the first play has no intro: {pitches}")
        self.assertIn(MARK, pitches, f"{fmt}: the tune never ended: {pitches}")
        after_end = pitches[pitches.index(MARK):]
        self.assertNotIn(INTRO, after_end, f"{fmt}: the intro came back: {pitches}")
        self.assertGreaterEqual(after_end.count(LOOP), 2,
                                f"{fmt}: the loop section did not come back: {pitches}")
        labels = fine_labels(seg)
        print(f"\n{fmt}: marker heard (of {int(MARK_S * 1000)} ms) and silence before the "
              f"loop section (negative: overlap); intro after the first end: "
              f"{intro_after_first_end_ms(labels):.0f} ms; Play took "
              f"{self.play_ms(fmt + '.txt')} ms", file=sys.stderr)
        for n, (tail, gap) in enumerate(loop_point_figures(labels), 1):
            print(f"  {fmt} loop point {n}: marker {tail:4.0f} ms  gap {gap:4.0f} ms",
                  file=sys.stderr)

    def test_wav_loops_without_its_intro(self):
        self.check_format("wav", "mp3")

    def test_mp3_loops_without_its_intro(self):
        self.check_format("mp3", "ogg")

    def test_ogg_loops_without_its_intro(self):
        self.check_format("ogg", "f11")

    def test_next_tune_key_goes_to_the_loop_start(self):
        before = [p for p, _, _ in h.pitch_runs(self.heard("f11", "key"), (INTRO, LOOP, MARK))]
        self.assertEqual(before, [INTRO], "the intro should be playing when F11 is pressed")
        after = [p for p, _, _ in h.pitch_runs(self.heard("key", "end"), (INTRO, LOOP, MARK))]
        self.assertIn(LOOP, after, f"F11 did not go on with the loop section: {after}")
        self.assertNotIn(INTRO, after[1:], f"F11 started the intro again: {after}")


if __name__ == "__main__":
    unittest.main()
