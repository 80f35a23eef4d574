"""Smoke test of the whole chain: the real DLL in the stand-in host plays tunes.

One host run, measured in several ways: each format sounds at its pitch and full
level, a lower host volume gives the level drop the volume formula promises, a
volume of 0 and a stop give silence, and the output module hears SetVolume.
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

FULL_DB = -9.03  # a sine of amplitude 0.5


class Smoke(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        folder = h.GameFolder("smoke.Smoke")
        folder.tone("sound/a.wav", 440, 4)
        folder.tone("sound/b.mp3", 554.37, 4)
        folder.tone("sound/c.ogg", 659.25, 6)
        cls.folder = folder
        cls.host = h.run_host(folder, [
            "init",
            "setvolume 255",
            "mark wav", "play sound\\a.wav", "pump 1800",
            "mark mp3", "play sound\\b.mp3", "pump 1800",
            "mark ogg", "play sound\\c.ogg", "pump 1800",
            # Linear volume: 16 * (v - 255) hundredths of a dB; 192 gives -10.08 dB.
            "mark v192", "setvolume 192", "pump 1500",
            "mark v0", "setvolume 0", "pump 1000",
            "mark v255", "setvolume 255", "pump 1000",
            "mark stop", "stop", "pump 1000",
            "mark end", "quit",
        ], timeout=90)

    def setUp(self):
        self.assertTrue(self.host.ended and not self.host.timed_out, self.host.describe())

    def test_each_format_plays_at_its_pitch_and_full_level(self):
        run, rec = self.host, self.host.recording
        self.assertEqual(run.play_results(), [("sound\\a.wav", 0), ("sound\\b.mp3", 0),
                                              ("sound\\c.ogg", 0)], run.describe())
        # Each tune is measured from the moment its Play returned: building the first
        # graph of a process can take a second or two.
        plays = run.of_kind("play")
        for played, end, freq in ((plays[0], "mp3", 440), (plays[1], "ogg", 554.37),
                                  (plays[2], "v192", 659.25)):
            with self.subTest(fmt=played.text()):
                seg = rec.between(played, run.mark(end))
                self.assertAlmostEqual(seg.dominant_freq(), freq, delta=3)
                self.assertAlmostEqual(seg.rms_db(), FULL_DB, delta=1.0)

    def test_one_tune_at_a_time(self):
        run, rec = self.host, self.host.recording
        seg = rec.between(run.of_kind("play")[1], run.mark("ogg"))
        self.assertLess(seg.level_of(440), -60, "the first tune still sounds")

    def test_host_volume_sets_the_level(self):
        run, rec = self.host, self.host.recording
        full = rec.between(run.of_kind("play")[2], run.mark("v192")).rms_db()
        lower = rec.between(run.mark("v192"), run.mark("v0")).rms_db()
        self.assertAlmostEqual(full - lower, 10.08, delta=0.5)
        self.assertTrue(rec.between(run.mark("v0"), run.mark("v255")).is_silent())
        self.assertAlmostEqual(rec.between(run.mark("v255"), run.mark("stop")).rms_db(), full, delta=0.5)

    def test_stop_silences(self):
        run, rec = self.host, self.host.recording
        self.assertTrue(rec.between(run.mark("stop"), run.mark("end")).is_silent())

    def test_output_module_hears_the_volume(self):
        calls = [c for c in self.host.outmod_calls() if c[0] == "SetVolume"]
        self.assertIn(("SetVolume", 0), calls)
        self.assertIn(("SetVolume", -1008), calls)


if __name__ == "__main__":
    unittest.main()
