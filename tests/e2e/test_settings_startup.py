"""Settings file, start-up and shut-down, end to end.

Host runs:
- Restart: no settings file; init, quit, init and a tune, then quit, free, load,
  init and a tune again in the same process. Both tunes sound, and no settings
  file appears.
- KeptSettings: a settings file with SubVolume=100 among other keys, comments and
  other sections comes out of a run byte for byte as it went in; with
  MsgBoxOnError=1 a text file named .mp3 is reported in a box.
- MutedByRunningProgram / NotMutedByNameWithoutExtension: Preventer1 naming the
  host's own executable in another letter case starts the module muted; the name
  without its extension does not (and with MsgBoxOnError=0 the text file named
  .mp3 gives no box).
- StartupChime: Beep=1 and the two 1200 Hz beeps.
"""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

FULL_DB = -9.03  # a sine of amplitude 0.5
TUNE_HZ = 440
CAPTION = "OrvalinMUGENBGM"
# Host volume 128 in the linear curve: 16 * (128 - 255) = -2032 hundredths of a dB.
VOL128_DB = -20.32
# What Wine's media graph answers when asked to render a file that is not audio.
WINE_NOT_AUDIO = "80040218"
HOST_EXE = "host.exe"


# Sound is measured from the `play` event, logged when the call has returned: the
# call itself may take a few hundred milliseconds while the graph is built.

def assert_heard(test, seg, db=FULL_DB, freq=TUNE_HZ, what="the tune"):
    test.assertGreater(seg.seconds, 0.3, f"{what}: the measured stretch is too short")
    test.assertAlmostEqual(seg.rms_db(), db, delta=1.0, msg=f"{what} is not heard at its level")
    test.assertAlmostEqual(seg.dominant_freq(), freq, delta=3, msg=f"{what} is not at its pitch")


def check_clean_end(test, run):
    test.assertFalse(run.timed_out, run.describe())
    test.assertEqual(run.returncode, 0, run.describe())
    test.assertTrue(run.ended, run.describe())
    test.assertEqual(run.of_kind("crash") + run.of_kind("error"), [], run.describe())


def check_host_exe_name(test, run):
    """The Preventer tests rely on the host's process name being host.exe."""
    start = run.of_kind("start")
    test.assertTrue(start, run.describe())
    test.assertEqual(start[0].fields().get("exe", "").lower(), HOST_EXE, run.describe())


class Restart(unittest.TestCase):
    """Starting twice in one process, and unloading and loading again, both leave
    a module that plays; with no settings file, shut-down creates none."""

    @classmethod
    def setUpClass(cls):
        folder = h.GameFolder("settings_startup.Restart")  # no settings file
        folder.tone("sound/a.mp3", TUNE_HZ, 4)
        cls.folder = folder
        cls.host = h.run_host(folder, [
            "init", "quit",
            "init", "setvolume 255",
            "mark first", "play sound\\a.mp3", "pump 1400",
            "mark first_end", "quit",
            "free", "load",
            "init", "setvolume 255",
            "mark second", "play sound\\a.mp3", "pump 1400",
            "mark second_end", "quit",
            "free",
        ])

    def setUp(self):
        check_clean_end(self, self.host)

    def test_no_settings_file_is_created(self):
        self.assertFalse(self.folder.exists("plugins/" + h.INI_NAME),
                         "shut-down created a settings file")
        self.assertEqual(sorted(p.name for p in self.folder.file("plugins").iterdir()),
                         [h.DLL_NAME])

    def test_init_quit_init_then_a_tune_plays(self):
        run = self.host
        self.assertEqual(run.play_results()[0], ("sound\\a.mp3", 0))
        assert_heard(self, run.recording.between(run.of_kind("play")[0], run.mark("first_end")))

    def test_quit_free_load_init_then_a_tune_plays(self):
        run = self.host
        self.assertEqual([e.rest for e in run.of_kind("free")],
                         ["unloaded=1", "unloaded=1"])
        self.assertEqual(len(run.of_kind("record")), 2, "load did not hand out the record again")
        self.assertEqual(run.play_results(), [("sound\\a.mp3", 0), ("sound\\a.mp3", 0)])
        assert_heard(self, run.recording.between(run.of_kind("play")[1], run.mark("second_end")))

    def test_quit_stops_the_tune(self):
        run = self.host
        # Between the first tune's quit and the next play nothing sounds.
        self.assertTrue(run.recording.between(run.mark("first_end"), run.mark("second")).is_silent())


KEPT_INI = (
    "; Settings of the background-music plug-in\r\n"
    "[Other]\r\n"
    "SubVolume=5\r\n"
    "name = value with spaces\r\n"
    "\r\n"
    "[Settings]\r\n"
    "; a comment inside the section\r\n"
    "Beep=0\r\n"
    "SubVolume=100\r\n"
    "MsgBoxOnError=1\r\n"
    "PauseMode = 3\r\n"
    "pausemode2=7 ; not a key the plug-in knows\r\n"
    "DispWindowTime=\r\n"
    "\r\n"
    "[Tail]\r\n"
    "k=v\r\n"
)


class KeptSettings(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        folder = h.GameFolder("settings_startup.KeptSettings", ini=KEPT_INI)
        folder.write("sound/notmusic.mp3", "This is a text file, not music.\r\n" * 20)
        cls.folder = folder
        cls.host = h.run_host(folder, [
            "init",
            "mark render", "play sound\\notmusic.mp3", "pump 400",
            "mark end", "quit",
        ], record=False)

    def setUp(self):
        check_clean_end(self, self.host)

    def test_settings_file_is_byte_identical_after_a_run(self):
        self.assertEqual(self.folder.read("plugins/" + h.INI_NAME), KEPT_INI.encode("cp1252"))

    def test_render_error_box_with_the_platform_code(self):
        boxes = self.host.boxes()
        self.assertEqual(len(boxes), 1, self.host.describe())
        box = boxes[0]
        self.assertEqual(box["caption"], CAPTION)
        self.assertRegex(box["text"], r"^Error occured on rendering file\([0-9A-F]{1,8}\)$")
        self.assertEqual(box["text"], f"Error occured on rendering file({WINE_NOT_AUDIO})")
        self.assertEqual(box["type"], "ok")
        self.assertEqual(box["owner"], "game")
        self.assertGreaterEqual(box["t"], self.host.mark("render").t)
        self.assertLessEqual(box["t"], self.host.mark("end").t)


class MutedByRunningProgram(unittest.TestCase):
    """Preventer1 names the host's own executable in another letter case."""

    @classmethod
    def setUpClass(cls):
        folder = h.GameFolder("settings_startup.MutedByRunningProgram",
                              ini="[Settings]\r\nPreventer1=HOST.EXE\r\n")
        folder.tone("sound/a.mp3", TUNE_HZ, 4)
        cls.host = h.run_host(folder, [
            "init", "setvolume 128",
            "mark play", "play sound\\a.mp3", "pump 1400",
            "mark end", "quit",
        ])

    def setUp(self):
        check_clean_end(self, self.host)
        check_host_exe_name(self, self.host)

    def test_the_tune_is_silent(self):
        run = self.host
        self.assertEqual(run.play_results(), [("sound\\a.mp3", 0)])
        # From the moment Play returned: an unmuted tune would be sounding by then.
        seg = run.recording.between(run.of_kind("play")[0], run.mark("end"))
        self.assertGreater(seg.seconds, 0.5, run.describe())
        self.assertTrue(seg.is_silent(), f"the module did not start muted: {seg}")

    def test_the_output_module_gets_0(self):
        volumes = [v for name, v in self.host.outmod_calls() if name == "SetVolume"]
        self.assertTrue(volumes, self.host.describe())
        self.assertEqual(set(volumes), {0}, self.host.describe())


class NotMutedByNameWithoutExtension(unittest.TestCase):
    """Preventer1 = "host" matches no process: the module starts unmuted. With
    MsgBoxOnError=0 a file that cannot be rendered gives no box."""

    @classmethod
    def setUpClass(cls):
        folder = h.GameFolder("settings_startup.NotMutedByNameWithoutExtension",
                              ini="[Settings]\r\nPreventer1=host\r\nMsgBoxOnError=0\r\n")
        folder.tone("sound/a.mp3", TUNE_HZ, 4)
        folder.write("sound/notmusic.mp3", "This is a text file, not music.\r\n" * 20)
        cls.host = h.run_host(folder, [
            "init", "setvolume 128",
            "mark play", "play sound\\a.mp3", "pump 1400",
            "mark render", "play sound\\notmusic.mp3", "pump 500",
            "mark end", "quit",
        ])

    def setUp(self):
        check_clean_end(self, self.host)
        check_host_exe_name(self, self.host)

    def test_the_tune_sounds_at_host_volume_128(self):
        run = self.host
        seg = run.recording.between(run.of_kind("play")[0], run.mark("render"))
        assert_heard(self, seg, db=FULL_DB + VOL128_DB)

    def test_the_output_module_gets_minus_2032(self):
        volumes = [v for name, v in self.host.outmod_calls() if name == "SetVolume"]
        self.assertIn(-2032, volumes, self.host.describe())
        self.assertNotIn(0, volumes, self.host.describe())

    def test_no_box_for_a_render_error(self):
        run = self.host
        self.assertEqual(run.play_results(), [("sound\\a.mp3", 0), ("sound\\notmusic.mp3", 0)])
        self.assertEqual(run.boxes(), [], run.describe())
        # The file that could not be rendered plays nothing.
        self.assertTrue(run.recording.between(run.mark("render"), run.mark("end")).is_silent())


class StartupChime(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        folder = h.GameFolder("settings_startup.StartupChime", ini="[Settings]\r\nBeep=1\r\n")
        cls.host = h.run_host(folder, ["mark before", "init", "pump 800", "mark after", "quit"])

    def test_two_1200_hz_beeps_at_start_up(self):
        run = self.host
        check_clean_end(self, run)
        rec = run.recording
        seg = rec.span(run.mark("before").t, run.mark("after").t + 300)
        if seg.is_silent():
            # Wine's Beep makes no sound on the sound server: it only asks the
            # console for a bell, and the host has no console. Nothing to measure.
            self.skipTest("Beep is silent under Wine (no sound reaches the sink)")
        spans = [s for s in rec.sound_spans(threshold_db=-50, window_ms=10, min_gap_ms=20)
                 if run.mark("before").t <= s[0] <= run.mark("after").t + 300]
        self.assertEqual(len(spans), 2, spans)
        for s0, s1 in spans:
            self.assertAlmostEqual(s1 - s0, 100, delta=40)
            self.assertAlmostEqual(rec.span(s0 + 20, s1 - 20).dominant_freq(), 1200, delta=10)
        self.assertAlmostEqual(spans[1][0] - spans[0][1], 50, delta=40)


if __name__ == "__main__":
    unittest.main()
