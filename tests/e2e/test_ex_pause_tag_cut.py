"""The extended pause (BackSpace freezes the game behind a box) and the ID3v2 tag cut
(Ctrl+X), as a player meets them.

Five host runs:
- UseExPause=1, with a heartbeat on the game's thread and a watcher that leaves boxes
  open 1.5 s, another program's window in front: BackSpace while a tune plays shows
  the key list; no beat while the box is open (the game is frozen), no sound either;
  after OK the tune goes on and the game window is in front again;
- UseExPause=2: the box says "Paused... Press OK to continue"; Ctrl+X on two tagged
  mp3 files (ID3v2.3 with padding, ID3v2.4 with a picture) cuts their tags on the
  freeze thread; with PauseMode 1 nothing sounds afterwards until the game plays
  again;
- UseExPause=1, PauseMode 5: after the cut the tune sounds again at once;
- UseExPause=0 (the cut on the game's thread): the same two files cut, each tune
  sounding again afterwards; Ctrl+X answered No changes nothing; a file that another
  program holds open can't be replaced: the backup is made, the file stays as it was,
  no temporary file is left, and the title says so;
- a game that spends its time in heap calls (--heap-busy): 100 BackSpace freezes in a
  row, and the tune still plays afterwards.
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

FULL_DB = -9.03  # a sine of amplitude 0.5
CAPTION = "OrvalinMUGENBGM"
PAUSE_CAPTION = "Paused - by OrvalinMUGENBGM"
PAUSE_TEXT_2 = "Paused... Press OK to continue"
TAG_QUESTION = "Do you want to remove ID3v2 tag?\nBackup will be Created automatically."
CUT_ERROR = "Error : Error occured."

# The tagged tunes: name, pitch, ID3v2 version, padding bytes, picture bytes.
TAGGED = [
    ("v3", 523.25, 3, 2048, 0),
    ("v4", 659.25, 4, 0, 6000),
]
PLAIN_HZ = 440.0


def ini(**settings) -> str:
    return "[Settings]\r\n" + "".join(f"{k}={v}\r\n" for k, v in settings.items())


def backup_of(name: str) -> str:
    return f"sound/[Backup]{name}.mp3"


def assert_heard(test, seg, freq, what):
    test.assertGreater(seg.seconds, 0.3, f"{what}: the measured stretch is too short")
    test.assertAlmostEqual(seg.rms_db(), FULL_DB, delta=1.5, msg=f"{what}: not heard at full level")
    test.assertAlmostEqual(seg.dominant_freq(), freq, delta=3, msg=f"{what}: not at its pitch")


def make_tagged(folder, names=None):
    """The tagged tunes; returns {name: original bytes, and the tag length as name + '_cut'}."""
    originals = {}
    for name, freq, version, padding, picture in TAGGED:
        if names is not None and name not in names:
            continue
        cut = folder.tagged_mp3(f"sound/{name}.mp3", freq, 12, version, padding, picture)
        originals[name] = (folder.read(f"sound/{name}.mp3"), cut)
    return originals


class RunChecks(unittest.TestCase):
    """Checks shared by the runs below."""

    host: h.Run

    def setUp(self):
        self.assertTrue(self.host.ended and not self.host.timed_out, self.host.describe())
        self.assertEqual(self.host.returncode, 0, self.host.describe())

    def heard(self, a, b, **kw):
        return self.host.recording.between(self._moment(a), self._moment(b), **kw)

    def _moment(self, m):
        return self.host.mark(m) if isinstance(m, str) else m

    def boxes_between(self, a, b):
        t0, t1 = self.host.mark(a).t, self.host.mark(b).t
        return [s for s in self.host.box_spans() if t0 <= s[0]["t"] <= t1]

    def assert_cut(self, folder, name, original, cut):
        self.assertEqual(folder.read(f"sound/{name}.mp3"), original[cut:],
                         f"{name}.mp3 is not the original without its tag")
        self.assertTrue(folder.exists(backup_of(name)), f"no backup of {name}.mp3")
        self.assertEqual(folder.read(backup_of(name)), original, f"the backup of {name}.mp3")
        self.assertIn(f"ID3tag was cut : sound\\{name}.mp3", self.host.titles())


class ExtendedPause(RunChecks):
    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("ex_pause_tag_cut.ExtendedPause", ini=ini(UseExPause=1))
        f.tone("sound/a.mp3", PLAIN_HZ, 12)
        cls.host = h.run_host(f, [
            "init", "setvolume 255",
            "mark play", "play sound\\a.mp3", "pump 1500",
            "decoy",
            "mark bs", "key BACK", "waitboxes 1 8000", "pump 700",
            "foreground",
            "mark after", "pump 1500",
            "mark end", "stop", "pump 300",
            "quit",
        ], args=["--heartbeat", "50", "--box-delay", "1500"], timeout=60)

    def box(self):
        spans = self.host.box_spans()
        self.assertEqual(len(spans), 1, self.host.describe())
        box, pressed, gone = spans[0]
        self.assertIsNotNone(pressed, self.host.describe())
        return box, pressed, gone

    def test_backspace_shows_the_key_list_in_a_box_of_its_own(self):
        box, _, _ = self.box()
        self.assertEqual(box["caption"], PAUSE_CAPTION)
        self.assertEqual(box["text"], h.KEY_LIST)
        self.assertEqual(box["type"], "ok")
        # The game's window is frozen: the box has no owner and runs on a thread of its own.
        self.assertEqual((box["owner"], box["thread"]), ("none", "other"))
        self.assertGreater(box["t"], self.host.mark("bs").t)

    def test_game_is_frozen_while_the_box_is_open(self):
        box, pressed, _ = self.box()
        self.assertEqual(self.host.beats(box["t"] + 1, pressed - 1), [],
                         "the game's thread went on while the box was open")
        # The heartbeat itself runs before and after.
        self.assertTrue(self.host.beats(self.host.mark("play").t, self.host.mark("bs").t))
        self.assertTrue(self.host.beats(self.host.mark("after").t, self.host.mark("end").t))

    def test_music_is_silent_while_the_box_is_open_and_goes_on_after(self):
        box, pressed, _ = self.box()
        assert_heard(self, self.heard("play", "bs"), PLAIN_HZ, "before the pause")
        quiet = self.heard(box["t"], pressed)
        self.assertTrue(quiet.is_silent(), f"sound while the game was paused: {quiet!r}")
        assert_heard(self, self.heard("after", "end"), PLAIN_HZ, "after OK")

    def test_game_window_is_in_front_again_after_the_pause(self):
        self.assertEqual([e.rest for e in self.host.of_kind("decoy")], ["foreground=decoy"])
        self.assertEqual([e.rest for e in self.host.of_kind("foreground")], ["game"])


class WorkerCut(RunChecks):
    """UseExPause=2, PauseMode 1: the cut runs while the game is frozen."""

    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("ex_pause_tag_cut.WorkerCut",
                         ini=ini(UseExPause=2, DisplayToWindowText=1))
        f.tone("sound/a.mp3", PLAIN_HZ, 12)
        cls.originals = make_tagged(f)
        script = ["init", "setvolume 255",
                  "play sound\\a.mp3", "pump 1000",
                  "mark bs", "key BACK", "waitboxes 1 5000", "pump 500", "mark bs_end"]
        for i, (name, *_rest) in enumerate(TAGGED):
            script += [f"mark {name}", f"play sound\\{name}.mp3", "pump 1200",
                       f"mark {name}_cut", "key X ctrl", f"waitboxes {i + 2} 8000", "pump 1200",
                       f"mark {name}_replay", f"play sound\\{name}.mp3", "pump 1500",
                       f"mark {name}_end"]
        script += ["stop", "pump 300", "quit"]
        cls.folder = f
        cls.host = h.run_host(f, script, timeout=90)

    def test_pause_box_says_press_ok_under_use_ex_pause_2(self):
        boxes = [s[0] for s in self.boxes_between("bs", "bs_end")]
        self.assertEqual([(b["caption"], b["text"], b["type"]) for b in boxes],
                         [(PAUSE_CAPTION, PAUSE_TEXT_2, "ok")])

    def test_ctrl_x_cuts_the_tag_while_the_game_is_frozen(self):
        for name, freq, *_ in TAGGED:
            with self.subTest(name):
                original, cut = self.originals[name]
                assert_heard(self, self.heard(name, f"{name}_cut"), freq, "the tagged tune")
                spans = self.boxes_between(f"{name}_cut", f"{name}_replay")
                self.assertEqual(len(spans), 1, self.host.describe())
                box, _, gone = spans[0]
                self.assertEqual((box["caption"], box["text"], box["type"], box["answer"]),
                                 (CAPTION, TAG_QUESTION, "yesno", "6"))
                self.assertEqual((box["owner"], box["thread"]), ("none", "other"))
                self.assert_cut(self.folder, name, original, cut)
                # PauseMode 1: the resume runs a graph without a tune; the next play sounds.
                quiet = self.heard(gone, f"{name}_replay")
                self.assertTrue(quiet.is_silent(), f"sound after the cut: {quiet!r}")
                assert_heard(self, self.heard(f"{name}_replay", f"{name}_end"), freq,
                             "the cut tune played again")


class WorkerCutPauseMode5(RunChecks):
    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("ex_pause_tag_cut.WorkerCutPauseMode5",
                         ini=ini(UseExPause=1, PauseMode=5, DisplayToWindowText=1))
        cls.originals = make_tagged(f, ["v3"])
        cls.folder = f
        cls.host = h.run_host(f, [
            "init", "setvolume 255",
            "play sound\\v3.mp3", "pump 1200",
            "mark cut", "key X ctrl", "waitboxes 1 8000", "pump 1800",
            "mark end", "stop", "pump 300",
            "quit",
        ], timeout=60)

    def test_tune_sounds_again_at_once_after_the_cut(self):
        original, cut = self.originals["v3"]
        spans = self.boxes_between("cut", "end")
        self.assertEqual([s[0]["text"] for s in spans], [TAG_QUESTION])
        self.assert_cut(self.folder, "v3", original, cut)
        assert_heard(self, self.heard(spans[0][2], "end"), TAGGED[0][1], "after the cut")


class InlineCut(RunChecks):
    """UseExPause=0: the cut runs on the game's thread, behind a box of the game window."""

    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("ex_pause_tag_cut.InlineCut", ini=ini(DisplayToWindowText=1))
        cls.originals = make_tagged(f)
        cls.other = {"no": f.tagged_mp3("sound/no.mp3", 783.99, 12, 3, 512),
                     "held": f.tagged_mp3("sound/held.mp3", 880.0, 12, 4, 256)}
        cls.other_bytes = {n: f.read(f"sound/{n}.mp3") for n in cls.other}
        script = ["init", "setvolume 255"]
        for name, *_ in TAGGED:
            script += [f"mark {name}", f"play sound\\{name}.mp3", "pump 1000",
                       f"mark {name}_cut", "key X ctrl", "pump 300",
                       f"mark {name}_after", "pump 1200", f"mark {name}_end"]
        script += ["answer 7",
                   "mark no", "play sound\\no.mp3", "pump 1000",
                   "mark no_cut", "key X ctrl", "pump 300",
                   "mark no_after", "pump 1200", "mark no_end",
                   "answer 6",
                   "mark held", "play sound\\held.mp3", "pump 1000",
                   "holdopen sound\\held.mp3",
                   "mark held_cut", "key X ctrl", "pump 800", "mark held_end",
                   "closeheld sound\\held.mp3",
                   "stop", "pump 300", "quit"]
        cls.names_before = sorted(p.name for p in f.file("sound").iterdir())
        cls.folder = f
        cls.host = h.run_host(f, script, timeout=90)

    def question(self, name):
        spans = self.boxes_between(f"{name}_cut", f"{name}_end")
        self.assertEqual(len(spans), 1, self.host.describe())
        box = spans[0][0]
        self.assertEqual((box["caption"], box["text"], box["type"]),
                         (CAPTION, TAG_QUESTION, "yesno"))
        self.assertEqual((box["owner"], box["thread"]), ("game", "main"))
        return box

    def test_ctrl_x_cuts_the_tag_and_the_tune_sounds_again(self):
        for name, freq, *_ in TAGGED:
            with self.subTest(name):
                original, cut = self.originals[name]
                self.assertEqual(self.question(name)["answer"], "6")
                self.assert_cut(self.folder, name, original, cut)
                assert_heard(self, self.heard(f"{name}_after", f"{name}_end"), freq,
                             "the tune after its cut")

    def test_answer_no_changes_nothing_and_the_tune_sounds_again(self):
        self.assertEqual(self.question("no")["answer"], "7")
        self.assertEqual(self.folder.read("sound/no.mp3"), self.other_bytes["no"])
        self.assertFalse(self.folder.exists(backup_of("no")))
        assert_heard(self, self.heard("no_after", "no_end"), 783.99, "the tune after No")

    def test_a_file_held_open_elsewhere_stays_as_it_was(self):
        self.assertEqual([e.rest for e in self.host.of_kind("holdopen")],
                         ['"sound\\\\held.mp3" -> ok'])
        self.assertEqual(self.question("held")["answer"], "6")
        self.assertEqual(self.folder.read("sound/held.mp3"), self.other_bytes["held"],
                         "the held file changed")
        self.assertEqual(self.folder.read(backup_of("held")), self.other_bytes["held"])
        t0, t1 = self.host.mark("held_cut").t, self.host.mark("held_end").t
        titles = [e.text() for e in self.host.title_events() if t0 <= e.t <= t1]
        self.assertIn(CUT_ERROR, titles)

    def test_no_file_is_left_beside_the_tunes_but_the_backups(self):
        backups = ["[Backup]held.mp3"] + [f"[Backup]{n}.mp3" for n, *_ in TAGGED]
        after = sorted(p.name for p in self.folder.file("sound").iterdir())
        self.assertEqual(after, sorted(self.names_before + backups))


class HeapBusyFreezes(RunChecks):
    """The game's thread nearly always in heap calls: a freeze must not hang the game."""

    FREEZES = 100

    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("ex_pause_tag_cut.HeapBusyFreezes", ini=ini(UseExPause=1))
        f.tone("sound/a.mp3", PLAIN_HZ, 12)
        script = ["init", "setvolume 255", "play sound\\a.mp3", "pump 1000", "mark freezes"]
        for i in range(1, cls.FREEZES + 1):
            script += ["key BACK", f"waitboxes {i} 5000", "pump 250"]
        script += ["mark after", "pump 1500", "mark end", "stop", "pump 300", "quit"]
        cls.host = h.run_host(f, script, args=["--heap-busy"], timeout=120)

    def test_every_backspace_freezes_and_the_game_goes_on(self):
        captions = [b["caption"] for b in self.host.boxes()]
        self.assertEqual(captions, [PAUSE_CAPTION] * self.FREEZES)

    def test_music_still_plays_after_the_freezes(self):
        assert_heard(self, self.heard("after", "end"), PLAIN_HZ, "after 100 freezes")


class UnloadWhileTheBoxIsOpen(RunChecks):
    """A game that is not frozen (no game window given) shuts the plug-in down and unloads
    it while the pause box is still open: closing the box later must not crash the game."""

    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("ex_pause_tag_cut.UnloadWhileTheBoxIsOpen", ini=ini(UseExPause=1))
        f.tone("sound/a.mp3", PLAIN_HZ, 6)
        script = ["boxdelay 2000", "init", "setvolume 255", "play sound\\a.mp3", "pump 500",
                  "key BACK", "pump 300", "mark unloading", "quit", "free", "waitboxes 1 8000", "pump 500"]
        cls.host = h.run_host(f, script, args=["--no-window"], timeout=60)

    def test_the_box_closes_after_the_unload_without_a_crash(self):
        spans = self.host.box_spans()
        self.assertEqual([s[0]["caption"] for s in spans], [PAUSE_CAPTION])
        self.assertGreater(spans[0][1], self.host.mark("unloading").t, self.host.describe())


if __name__ == "__main__":
    unittest.main()
