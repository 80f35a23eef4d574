"""Tune changes inside a playlist, as a player hears them, with the next tune prepared
while the current one plays (PrepareNextTune=1) and without (PrepareNextTune=0).

Three short tunes of distinct pitches, a wav, an mp3 and an ogg, with ChangeSoundOnLoop=1
and the lists in order. One host run per setting plays, one after the other: a list of
the three through; the same list with F11 pressed once the next tune is ready; a list of
two tunes with the third dropped onto it while its last entry plays; a list whose second
entry's file is removed while the first plays. Both settings must play the same tunes in
the same order and show the same boxes; with preparation the silence between two tunes
stays short.
"""

import math
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

A, B, C = 440.0, 620.0, 830.0   # sound\a.wav, sound\b.mp3 (and sound\gone.mp3), sound\c.ogg
PITCHES = (A, B, C)
TUNE_S = 1.6
MAX_GAP_MS = 120  # the silence at a change with preparation; without, 200 ms and more

INI = ("[Settings]\r\nChangeSoundOnLoop=1\r\nLoopRandom=0\r\nInitRandom=0\r\n"
       "AutosaveTxtFile=0\r\nMsgBoxOnError=1\r\nPrepareNextTune={}\r\n")


def playlist(*names: str) -> str:
    return "[Orvalin_BGMList]\r\n[List]\r\n" + "".join(f"sound\\{n}\r\n" for n in names)


def play_run(prepare: int) -> h.Run:
    f = h.GameFolder(f"seamless.Prepare{prepare}", ini=INI.format(prepare), host_in_folder=True)
    for name, pitch in (("a.wav", A), ("b.mp3", B), ("c.ogg", C), ("gone.mp3", B)):
        f.tone(f"sound/{name}", pitch, TUNE_S)
    f.write("sound/abc.txt", playlist("a.wav", "b.mp3", "c.ogg"))
    f.write("sound/ab.txt", playlist("a.wav", "b.mp3"))
    f.write("sound/gone.txt", playlist("a.wav", "gone.mp3", "c.ogg"))
    return h.run_host(f, [
        "init", "setvolume 255",
        "mark through", "play sound\\abc.txt", "pump 7000", "stop", "pump 300",
        "mark skip", "play sound\\abc.txt", "pump 800", "mark key", "key F11", "pump 3000",
        "stop", "pump 300",
        "mark last", "play sound\\ab.txt", "pump 2600", "mark drop", "drop sound\\c.ogg",
        "pump 2500", "stop", "pump 300",
        "mark gone", "play sound\\gone.txt", "pump 800", "mark remove", "pump 4000",
        "mark end", "stop", "pump 300", "quit",
    ], timeout=120, at_marks={"remove": lambda: f.file("sound/gone.mp3").unlink()})


def silences(seg: h.Segment, runs, window_ms: float = 5.0, floor_db: float = -40.0):
    """At each change of pitch in runs (pitch_runs of seg): the longest silence around it, ms."""
    w = int(seg.rate * window_ms / 1000.0)
    out = []
    for (_, _, end), (_, start, _) in zip(runs, runs[1:]):
        i0 = max(0, int((end - 150 - seg.start_ms) * seg.rate / 1000.0))
        i1 = min(len(seg.samples), int((start + 150 - seg.start_ms) * seg.rate / 1000.0))
        longest = quiet = 0
        for i in range(i0, i1 - w, w):
            silent = h.Segment(seg.samples[i:i + w], seg.rate, 0).rms_db() < floor_db
            quiet = quiet + 1 if silent else 0
            longest = max(longest, quiet)
        out.append(longest * window_ms)
    return out


class SeamlessChanges(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.runs = {prepare: play_run(prepare) for prepare in (1, 0)}

    def setUp(self):
        for run in self.runs.values():
            self.assertTrue(run.ended and not run.timed_out, run.describe())

    def heard(self, prepare: int, a: str, b: str):
        """The pitch runs heard between two marks."""
        run = self.runs[prepare]
        return h.pitch_runs(run.recording.between(run.mark(a), run.mark(b), margin_ms=0), PITCHES)

    def pitches(self, prepare: int, a: str, b: str):
        return [p for p, _, _ in self.heard(prepare, a, b)]

    def test_list_plays_through_in_order_without_a_break(self):
        for prepare in (1, 0):
            with self.subTest(PrepareNextTune=prepare):
                runs = self.heard(prepare, "through", "skip")
                self.assertEqual([p for p, _, _ in runs][:4], [A, B, C, A])
                run = self.runs[prepare]
                gaps = silences(run.recording.between(run.mark("through"), run.mark("skip"),
                                                      margin_ms=0), runs)
                print(f"\nPrepareNextTune={prepare}: silence at each change "
                      f"{[round(g) for g in gaps]} ms", file=sys.stderr)
                if prepare:
                    self.assertLess(max(gaps), MAX_GAP_MS, f"silences {gaps} ms")

    def test_next_tune_key_plays_the_prepared_tune_then_the_next(self):
        for prepare in (1, 0):
            with self.subTest(PrepareNextTune=prepare):
                self.assertEqual(self.pitches(prepare, "skip", "key"), [A])
                self.assertEqual(self.pitches(prepare, "key", "last")[:2], [B, C])

    def test_tune_dropped_onto_the_list_comes_after_its_last_entry(self):
        for prepare in (1, 0):
            with self.subTest(PrepareNextTune=prepare):
                self.assertEqual(self.pitches(prepare, "last", "drop"), [A, B])
                self.assertEqual(self.pitches(prepare, "drop", "gone")[:2], [B, C])

    def test_removed_file_is_met_as_without_preparation(self):
        outcome = {}
        for prepare, run in self.runs.items():
            t0 = run.mark("gone").t
            outcome[prepare] = (self.pitches(prepare, "gone", "end"),
                                [(b["caption"], b["text"]) for b in run.boxes() if b["t"] > t0])
            self.assertFalse((run.folder / "sound" / "gone.mp3").exists())
        self.assertEqual(outcome[1], outcome[0])


class CrossFade(unittest.TestCase):
    """With CrossFade set, the next tune of a list starts that long before the end of the one
    playing: both are heard at once, the old one falling and the new one rising, each linear
    in amplitude."""

    FADE_MS = 1500

    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("seamless.CrossFade",
                         ini=INI.format(1) + f"CrossFade={cls.FADE_MS}\r\n")
        f.tone("sound/a.wav", A, 4.0)
        f.tone("sound/c.ogg", C, 4.0)
        f.write("sound/ac.txt", playlist("a.wav", "c.ogg"))
        cls.host = h.run_host(f, ["init", "setvolume 255", "mark play", "play sound\\ac.txt",
                                 "pump 6000", "mark end", "stop", "quit"])

    def test_both_tunes_follow_their_ramps(self):
        run = self.host
        self.assertTrue(run.ended and not run.timed_out, run.describe())
        rec, play = run.recording, run.mark("play").t
        full = rec.span(play + 1000, play + 2000).level_of(A)
        # Where the old tune starts to fall, roughly; the ramp's start is then the one that
        # fits the levels heard best (the sound device plays the change a little later).
        fall = next((t for t in range(int(play) + 2000, int(play) + 4000, 10)
                     if rec.span(t, t + 50).level_of(A) < full - 0.5), None)
        self.assertIsNotNone(fall, "the old tune never fell")
        levels = {t: (rec.span(fall + t, fall + t + 50).level_of(A),
                      rec.span(fall + t, fall + t + 50).level_of(C))
                  for t in range(-200, self.FADE_MS, 10)}

        def misses(onset):
            """(ms into the fade, pitch, heard dB minus the ramp's) for a ramp from onset."""
            out = []
            for t in range(onset, onset + self.FADE_MS - 50, 50):
                rising = (t - onset + 25) / self.FADE_MS
                for heard, gain, pitch in zip(levels[t], (1 - rising, rising), (A, C)):
                    if gain >= 0.3:  # near silence a 50 ms window cannot tell 1 dB
                        out.append((t - onset, pitch, heard - full - 20 * math.log10(gain)))
            return out

        onset = min(range(-200, 0, 10), key=lambda o: sum(d * d for *_, d in misses(o)))
        for ms, pitch, miss in misses(onset):
            with self.subTest(ms=ms, pitch=pitch):
                self.assertLess(abs(miss), 1.0)


if __name__ == "__main__":
    unittest.main()
