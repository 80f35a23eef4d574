"""The plug-in's face to the host, end to end: the record the host reads, the simple
entry points, and the first tune of a run under the ways hosts differ.

Three host runs:
- a normal one: the record, `unpause` straight after `init` and then a tune (it
  must be heard: rendering into a graph that had been set running once gave
  silence), a missing file after it (silence), getoutputtime, isourfile, and the
  config and about boxes;
- one with no output module (`--no-outmod`) and one with no main window
  (`--no-window`): the whole transport runs without a crash and the music plays.
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

FULL_DB = -9.03  # a sine of amplitude 0.5
TUNE_HZ = 440

DESCRIPTION = "Orvalin BGM Player for M.U.G.E.N(x86)"
EXTENSIONS = ("mp3\0mp3 file\0wma\0wma file\0ogg\0ogg file\0txt\0OrvalinMUGENBGM_Playlist\0"
              "rnd\0OrvalinMUGENBGM_RandomFlag\0\0")
NULL_SLOTS = ["SAVSAInit", "SAVSADeInit", "SAAddPCMData", "SAGetMode", "SAAdd",
              "VSAAddPCMData", "VSAGetMode", "VSAAdd", "VSASetInfo", "dsp_isactive",
              "dsp_dosamples", "SetInfo"]
CAPTION = "OrvalinMUGENBGM"
CONFIG_TEXT = "No config available.\n(Run under WinAmp? This plugin is NOT developed for it)"
ABOUT_TEXT = "MUGEN DShow Player\nDO NOT USE IN WINAMP!"


# Sound is measured from the `play` event, logged when the call has returned: the
# call itself may take a few hundred milliseconds while the graph is built.

def assert_tune_heard(test, seg, freq=TUNE_HZ, what="the tune"):
    test.assertGreater(seg.seconds, 0.3, f"{what}: the measured stretch is too short")
    test.assertAlmostEqual(seg.rms_db(), FULL_DB, delta=1.5, msg=f"{what} is not heard at full level")
    test.assertAlmostEqual(seg.dominant_freq(), freq, delta=3, msg=f"{what} is not at its pitch")


class RecordAndEntryPoints(unittest.TestCase):
    """One normal run with default settings (no settings file, so PauseMode 1)."""

    @classmethod
    def setUpClass(cls):
        folder = h.GameFolder("foundation.RecordAndEntryPoints")
        folder.tone("sound/a.mp3", TUNE_HZ, 5)
        cls.folder = folder
        cls.host = h.run_host(folder, [
            "init",
            # Resuming before anything was played: the graph is empty, and the
            # first tune rendered after it must still sound.
            "unpause",
            "setvolume 255",
            "mark tune", "play sound\\a.mp3", "pump 1600",
            "getoutputtime",
            "mark missing", "play sound\\missing.mp3", "pump 1100",
            "mark misc",
            "isourfile sound\\a.mp3",
            "isourfile anything.xyz",
            "config",
            "about",
            "mark end",
            "quit",
        ])

    def setUp(self):
        self.assertTrue(self.host.ended and not self.host.timed_out, self.host.describe())
        self.assertEqual(self.host.returncode, 0, self.host.describe())

    def test_record_as_the_host_reads_it(self):
        records = self.host.of_kind("record")
        self.assertEqual(len(records), 1, self.host.describe())
        rec = records[0]
        f = rec.fields()
        self.assertEqual(f["version"], "0x100")
        self.assertEqual(f["description"], DESCRIPTION)
        # The extension block byte for byte, up to and including the empty string
        # that ends it.
        self.assertEqual(f["extensions"], EXTENSIONS)
        self.assertEqual(f["seekable"], "1")
        self.assertEqual(f["usesoutput"], "1")
        # Exactly these slots are null; every other one (GetFileInfo, InfoBox,
        # EQSet, GetLength, the transport, ...) is filled.
        self.assertEqual(f["nullslots"].split(","), NULL_SLOTS)

    def test_unpause_straight_after_init_then_a_tune_is_heard(self):
        run = self.host
        self.assertIn(("sound\\a.mp3", 0), run.play_results())
        seg = run.recording.between(run.of_kind("play")[0], run.mark("missing"))
        assert_tune_heard(self, seg)

    def test_missing_file_returns_0_and_gives_silence(self):
        run = self.host
        self.assertIn(("sound\\missing.mp3", 0), run.play_results(), run.describe())
        # The tune that played before is stopped, and nothing takes its place.
        seg = run.recording.between(run.mark("missing"), run.mark("misc"))
        self.assertTrue(seg.is_silent(), f"sound after playing a missing file: {seg}")
        self.assertFalse([b for b in run.boxes() if b["t"] < run.mark("misc").t],
                         "a missing file is not to be reported with a box")

    def test_getoutputtime_is_0_while_a_tune_plays(self):
        self.assertEqual(self.host.results("getoutputtime"), [0])

    def test_isourfile_claims_any_name(self):
        self.assertEqual(self.host.results("isourfile"), [1, 1])

    def test_config_and_about_show_their_boxes(self):
        boxes = self.host.boxes()
        self.assertEqual([(b["caption"], b["text"]) for b in boxes],
                         [(CAPTION, CONFIG_TEXT), (CAPTION, ABOUT_TEXT)], self.host.describe())
        for b in boxes:
            self.assertEqual(b["type"], "ok")
            # The host passes its game window as the parent.
            self.assertEqual(b["owner"], "game")


class HostsWithoutOutputModuleOrWindow(unittest.TestCase):
    """Some hosts leave the output module or the main window out of the record: the
    whole transport must still run, without a crash, and the music must play."""

    SCRIPT = [
        "init",
        "setvolume 255",
        "mark play", "play sound\\a.mp3", "pump 1300",
        "mark pause", "pause", "pump 700",
        "mark unpause", "unpause", "pump 1000",
        "mark stop", "stop", "pump 600",
        "mark end", "quit",
    ]

    @classmethod
    def setUpClass(cls):
        cls.runs = {}
        for option in ("--no-outmod", "--no-window"):
            folder = h.GameFolder("foundation.Hosts" + option.replace("-", "_"))
            folder.tone("sound/a.mp3", TUNE_HZ, 5)
            cls.runs[option] = h.run_host(folder, cls.SCRIPT, args=[option])

    def check(self, option):
        run = self.runs[option]
        self.assertFalse(run.timed_out, run.describe())
        self.assertEqual(run.returncode, 0, run.describe())
        self.assertTrue(run.ended, run.describe())
        self.assertEqual(run.of_kind("crash") + run.of_kind("error") + run.of_kind("skipped"), [],
                         run.describe())
        self.assertEqual(run.play_results(), [("sound\\a.mp3", 0)])
        rec = run.recording
        assert_tune_heard(self, rec.between(run.of_kind("play")[0], run.mark("pause")), what="the tune")
        self.assertTrue(rec.between(run.mark("pause"), run.mark("unpause")).is_silent(),
                        "the pause is not silent")
        assert_tune_heard(self, rec.between(run.mark("unpause"), run.mark("stop")),
                          what="the tune after unpause")
        self.assertTrue(rec.between(run.mark("stop"), run.mark("end")).is_silent(),
                        "the stop is not silent")
        return run

    def test_without_output_module(self):
        run = self.check("--no-outmod")
        self.assertEqual(run.outmod_calls(), [])

    def test_without_main_window(self):
        run = self.check("--no-window")
        # The output module is still served.
        calls = run.outmod_calls()
        self.assertIn(("Pause", 1), calls)
        self.assertIn(("Pause", 0), calls)


if __name__ == "__main__":
    unittest.main()
