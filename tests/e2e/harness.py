"""End-to-end test harness: the real DLL in the stand-in host under Wine, with sound.

Standard library only. A test typically does:

    folder = GameFolder.for_test(self, ini="[Settings]\\nBeep=0\\n")
    folder.tone("sound/a.mp3", 440, 3)
    run = run_host(folder, ["init", "setvolume 255", "mark a",
                            "play sound\\\\a.mp3", "pump 2000", "mark b",
                            "stop", "pump 500", "mark c", "quit"])
    seg = run.recording.between(run.mark("a"), run.mark("b"))
    self.assertAlmostEqual(seg.dominant_freq(), 440, delta=3)
    self.assertTrue(run.recording.between(run.mark("b"), run.mark("c")).is_silent())

Times: the host log stamps every event with unix milliseconds, and a Recording
knows the unix millisecond of its first sample, so log events and sound line up
(within about 10 ms). Sound comes out of Wine late (see LATENCY_MS);
`Recording.between` shifts by that and trims a margin off both ends so that
onsets and tails do not blur a measure.

In a TestCase keep a Run under another name than `run` (say `cls.host`):
`run` is the TestCase's own method.

Levels are RMS in dBFS over the mono mix (full-scale square wave = 0 dB, so a
full-scale sine is -3.01 dB and a sine of amplitude 0.5 is -9.03 dB).

The harness is split by job: e2e_env (paths and the environment), game_folder (game
folders, tunes, tags, stages), sink_recording (the null sink's monitor), analysis
(levels and pitches) and host_run (running the host, its log). This module gathers
them under one name for the tests.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from e2e_env import *  # noqa: E402,F401,F403
from game_folder import *  # noqa: E402,F401,F403
from sink_recording import *  # noqa: E402,F401,F403
from analysis import *  # noqa: E402,F401,F403
from host_run import *  # noqa: E402,F401,F403

# The key list Ctrl+H shows (the DLL's string resource).
KEY_LIST = ("<<<< Key List - OrvalinMUGENBGM >>>>\r\n"
            "F6 : Mute\r\n"
            "F7 : Volume down\r\n"
            "F8 : Volume up\r\n"
            "F9 : Pause / Resume BGM\r\n"
            "F11 : Next BGM\r\n"
            "BackSpace : Pause(if enabled)\r\n"
            "Ctrl + X : Cut ID3tag of Current Music\r\n"
            "Ctrl + R : Allocate new txt file to stages unset bgmusic\r\n"
            "Ctrl + 5 : Open user fileA1\r\n"
            "Ctrl + 6 : Open user fileA2\r\n"
            "Ctrl + H : Show this Key List")
