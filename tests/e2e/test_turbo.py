"""The fast re-load path: with TurboLoadMusic, a tune of the same file type is loaded
into the graph already built, and only the new tune is heard."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402


class TurboLoad(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        folder = h.GameFolder("turbo.TurboLoad", ini="[Settings]\r\nTurboLoadMusic=1\r\n"
                                                    "MsgBoxOnError=1\r\nDisplayToWindowText=1\r\n")
        folder.tone("a.mp3", 440, 5)
        folder.tone("b.mp3", 660, 5)
        folder.tone("c.ogg", 550, 5)
        cls.host = h.run_host(folder, [
            "init", "setvolume 255",
            "mark a", "play a.mp3", "pump 1500",
            "mark b", "play b.mp3", "pump 1500",
            "mark a2", "play a.mp3", "pump 1500",
            "mark c", "play c.ogg", "pump 1500",
            "mark end", "stop", "quit",
        ], timeout=60)

    def test_each_tune_is_heard_alone(self):
        run, rec = self.host, self.host.recording
        self.assertTrue(run.ended, run.describe())
        plays = run.of_kind("play")  # measured from the moment each Play returned
        for played, end, freq, others in ((plays[1], "a2", 660, (440,)),
                                          (plays[2], "c", 440, (660,)),
                                          (plays[3], "end", 550, (440, 660))):
            with self.subTest(tune=played.text()):
                seg = rec.between(played, run.mark(end))
                self.assertAlmostEqual(seg.dominant_freq(), freq, delta=3)
                self.assertAlmostEqual(seg.rms_db(), -9.03, delta=1.0)
                for other in others:
                    self.assertLess(seg.level_of(other), -60, f"{other} Hz still sounds")

    def test_same_type_keeps_the_graph_without_errors(self):
        self.assertEqual(self.host.boxes(), [])
        self.assertNotIn("[ERROR] Can't render music(Turbo).", self.host.titles())


if __name__ == "__main__":
    unittest.main()
