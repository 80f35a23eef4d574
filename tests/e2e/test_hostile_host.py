"""Hostile host calls, end to end: the real DLL in the stand-in host, called in orders a
careful host never uses. Every entry point before `init`, `quit` without `init`, `init`
and every call twice in a row, every call after `quit`; with the host's output module,
without it and without a main window. The host runs its script to the end without a
crash and the plug-in unloads. (What is held and given back is checked on the simulated
platform, tests/unit/host_calls_test.cpp.)
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

CALLS = ["about", "setvolume 255", "play sound\\a.mp3", "pause", "ispaused", "unpause",
         "getoutputtime", "setoutputtime 500", "getlength", "isourfile sound\\a.mp3",
         "getfileinfo sound\\a.mp3", "infobox sound\\a.mp3", "setpan 3", "key F6", "stop"]
SCRIPT = (CALLS + ["quit", "quit", "init", "init"] + [c for c in CALLS for _ in (1, 2)]
          + ["quit", "quit"] + CALLS + ["quit", "free"])


class HostileHost(unittest.TestCase):
    def test_any_order_of_calls_runs_to_the_end(self):
        for args in ([], ["--no-outmod"], ["--no-window"]):
            with self.subTest(args=args):
                folder = h.GameFolder("hostile_host" + "".join(args).replace("-", "_"),
                                      ini="[Settings]\r\nUseExPause=1\r\nDisplayToWindowText=1\r\n")
                folder.tone("sound/a.mp3", 440, 2)
                run = h.run_host(folder, SCRIPT, record=False, args=args)
                self.assertFalse(run.timed_out, run.describe())
                self.assertEqual(run.returncode, 0, run.describe())
                self.assertTrue(run.ended, run.describe())
                self.assertEqual(run.of_kind("crash") + run.of_kind("error") + run.of_kind("skipped"),
                                 [], run.describe())
                self.assertEqual(len(run.play_results()), SCRIPT.count("play sound\\a.mp3"))
                self.assertEqual([e.rest for e in run.of_kind("free")], ["unloaded=1"],
                                 run.describe())


if __name__ == "__main__":
    unittest.main()
