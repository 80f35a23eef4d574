"""Files dropped onto the game window, and playlists given to stages (Ctrl+R), as a
player and a stage maker meet them. The host runs from the game folder, so dropped
files are stored relative to it.

Runs:
- AutosaveTxtFile 1, -1 (answered Yes, then No) and 0: two tunes dropped onto a
  playing playlist with an extra sound grow it ("2 Files Added"); at the next stop the
  list is written as the setting says; with 0, a drop onto an empty playlist writes
  it at once and the dropped tune sounds;
- a game that peeks at each message before removing it: F6 mutes once, a drop adds
  one entry;
- stage files of the usual form: Ctrl+R gives the stages without music a playlist of
  their own, a second Ctrl+R has nothing left to do; then the stage maker fills one
  of those playlists by dropping a tune onto it.
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

FULL_DB = -9.03
CAPTION = "OrvalinMUGENBGM"
HEADER = b"[Orvalin_BGMList]\r\n[List]\r\n"
OVERWRITE = "MusicList has been modified. Overwrite it?"
NOT_A_LIST = "Current Music is not txt Format."
P0, P1, D0, D1 = 330.0, 440.0, 587.33, 698.46
RAIN = 1200.0


def ini(**settings) -> str:
    return ("[Settings]\r\nDisplayToWindowText=1\r\nInitRandom=0\r\n"
            + "".join(f"{k}={v}\r\n" for k, v in settings.items()))


def listing(*entries: str) -> bytes:
    """A playlist as the player writes it: no line end after the last line."""
    return b"\r\n".join([b"[Orvalin_BGMList]", b"[List]", *(e.encode() for e in entries)])


# A playing list with an extra sound, as the game's author wrote it.
EXT_LIST = HEADER + b"sound\\p0.mp3\r\nsound\\p1.mp3\r\n[EXT]\r\nextsound=sound\\rain.wav\r\n"
# ... and as it is written back with the two dropped tunes.
EXT_LIST_GROWN = (listing("sound\\p0.mp3", "sound\\p1.mp3", "sound\\d0.mp3", "sound\\d1.mp3")
                  + b"\r\n[EXT]\r\nextsound=sound\\rain.wav")


def assert_heard(test, seg, freq, what):
    test.assertGreater(seg.seconds, 0.3, f"{what}: the measured stretch is too short")
    test.assertAlmostEqual(seg.rms_db(), FULL_DB, delta=1.5, msg=f"{what}: not heard at full level")
    test.assertAlmostEqual(seg.dominant_freq(), freq, delta=3, msg=f"{what}: not at its pitch")


def game_folder(name, **settings):
    f = h.GameFolder(name, ini=ini(**settings), host_in_folder=True)
    f.tone("sound/p0.mp3", P0, 6)
    f.tone("sound/p1.mp3", P1, 6)
    f.tone("sound/d0.mp3", D0, 6)
    f.tone("sound/d1.mp3", D1, 6)
    f.tone("sound/rain.wav", RAIN, 1)
    return f


def grow(list_name, stop_mark):
    """Play a list, drop two tunes onto it, stop."""
    return [f"play sound\\{list_name}", "pump 800",
            f"mark drop_{list_name}", "drop sound\\d0.mp3 sound\\d1.mp3", "pump 500",
            f"mark {stop_mark}", "stop", "pump 400"]


class RunChecks(unittest.TestCase):
    def check_run(self, run):
        self.assertTrue(run.ended and not run.timed_out, run.describe())
        self.assertEqual(run.returncode, 0, run.describe())
        drops = run.of_kind("drop")
        self.assertTrue(drops)
        for e in drops:
            # The game window takes dropped files while the plug-in runs.
            self.assertTrue(e.rest.startswith("accept=1 ") and e.rest.endswith("-> posted"),
                            e.rest)

    def titles_between(self, run, a, b):
        t0, t1 = run.mark(a).t, run.mark(b).t
        return [e.text() for e in run.title_events() if t0 <= e.t <= t1]

    def boxes_between(self, run, a, b):
        t0, t1 = run.mark(a).t, run.mark(b).t
        return [x for x in run.boxes() if t0 <= x["t"] <= t1]


class DropWhileNothingPlays(RunChecks):
    """The list's chosen entry is missing, so nothing plays when the tune is dropped; the
    host's next requests, a music file that cannot be rendered and one that plays, come
    while nothing plays and are stopped. Only the list changes, and it holds the dropped
    tune."""

    @classmethod
    def setUpClass(cls):
        f = cls.folder = game_folder("drops_stages.DropWhileNothingPlays")
        f.write("sound/a.txt", listing("sound\\missing.mp3"))
        f.write("sound/broken.mp3", b"not a real tune")
        before = cls.snapshot(f)
        cls.host_run = h.run_host(f, ["init", "play sound\\a.txt", "pump 500",
                                 "drop sound\\d0.mp3", "pump 300", "play sound\\broken.mp3",
                                 "pump 300", "stop", "play sound\\p0.mp3", "pump 500", "stop",
                                 "pump 200", "quit"], record=False, timeout=60)
        cls.changed = {k for k, v in cls.snapshot(f).items() if before.get(k) != v}

    @staticmethod
    def snapshot(f) -> dict:
        skip = {"script.txt", "log.txt", "host.stdout", "host.stderr", "recording.raw"}
        return {str(p.relative_to(f.path)): p.read_bytes() for p in f.path.rglob("*")
                if p.is_file() and p.name not in skip}

    def test_only_the_dropped_on_list_changes(self):
        self.check_run(self.host_run)
        self.assertEqual(self.changed, {os.path.join("sound", "a.txt")})
        self.assertEqual(self.folder.read("sound/a.txt"),
                         listing("sound\\missing.mp3", "sound\\d0.mp3"))


class Autosave(RunChecks):
    @classmethod
    def setUpClass(cls):
        cls.folders, cls.runs = {}, {}
        scripts = {
            "1": grow("a.txt", "stop_a") + ["mark end"],
            "-1": grow("a.txt", "stop_a") + ["answer 7", "mark b"]
                  + grow("b.txt", "stop_b") + ["mark end"],
            "0": grow("a.txt", "stop_a")
                 + ["mark empty", "play sound\\empty.txt", "pump 800",
                    "mark drop_empty", "drop sound\\d0.mp3", "pump 300",
                    "mark empty_after", "pump 1500", "mark end"],
        }
        for setting, middle in scripts.items():
            f = game_folder(f"drops_stages.Autosave{setting}", AutosaveTxtFile=setting)
            f.write("sound/a.txt", EXT_LIST)
            f.write("sound/b.txt", EXT_LIST)
            f.write("sound/empty.txt", HEADER)
            cls.folders[setting] = f
            cls.runs[setting] = h.run_host(f, ["init", "setvolume 255", *middle, "stop", "quit"],
                                           timeout=60)

    def test_drops_grow_the_playing_list(self):
        for setting, run in self.runs.items():
            with self.subTest(AutosaveTxtFile=setting):
                self.check_run(run)
                titles = self.titles_between(run, "drop_a.txt", "stop_a")
                self.assertIn("2 Files Added", titles)

    def test_grown_list_is_written_at_stop_as_the_setting_says(self):
        # setting, list, its bytes afterwards, the answer to the question (None: not
        # asked), the stretch of the run after its stop
        cases = [("1", "a.txt", EXT_LIST_GROWN, None, "stop_a", "end"),
                 ("-1", "a.txt", EXT_LIST_GROWN, "6", "stop_a", "b"),
                 ("-1", "b.txt", EXT_LIST, "7", "stop_b", "end"),
                 ("0", "a.txt", EXT_LIST, None, "stop_a", "end")]
        for setting, name, expected, answer, stop, after in cases:
            with self.subTest(AutosaveTxtFile=setting, list=name):
                run = self.runs[setting]
                self.check_run(run)
                self.assertEqual(self.folders[setting].read(f"sound/{name}"), expected)
                asked = [(b["caption"], b["text"], b["type"], b["answer"])
                         for b in self.boxes_between(run, stop, after)]
                self.assertEqual(asked, [] if answer is None else
                                 [(CAPTION, OVERWRITE, "yesno", answer)])
                # Nothing is asked at the drop itself.
                self.assertEqual(self.boxes_between(run, f"drop_{name}", stop), [])

    def test_drop_onto_an_empty_list_writes_it_at_once_and_plays(self):
        run, f = self.runs["0"], self.folders["0"]
        self.check_run(run)
        quiet = run.recording.between(run.mark("empty"), run.mark("drop_empty"))
        self.assertTrue(quiet.is_silent(), f"an empty list sounded: {quiet!r}")
        self.assertEqual(f.read("sound/empty.txt"), listing("sound\\d0.mp3"))
        assert_heard(self, run.recording.between(run.mark("empty_after"), run.mark("end")), D0,
                     "the tune dropped onto the empty list")


class PeekFirst(RunChecks):
    """A game that peeks at every message before it removes it."""

    @classmethod
    def setUpClass(cls):
        f = game_folder("drops_stages.PeekFirst", AutosaveTxtFile=1)
        f.write("sound/a.txt", HEADER + b"sound\\p0.mp3\r\nsound\\p1.mp3\r\n")
        cls.folder = f
        cls.host = h.run_host(f, [
            "init", "setvolume 255",
            "play sound\\a.txt", "pump 1000",
            "mark mute", "key F6", "pump 1200",
            "mark drop", "drop sound\\d0.mp3", "pump 600",
            "mark stop", "stop", "pump 300",
            "quit",
        ], args=["--peek-first"], timeout=60)

    def test_f6_mutes_once(self):
        self.check_run(self.host)
        muted = self.host.recording.between(self.host.mark("mute"), self.host.mark("drop"))
        self.assertTrue(muted.is_silent(), f"F6 did not leave the tune muted: {muted!r}")

    def test_a_drop_adds_one_entry(self):
        self.check_run(self.host)
        titles = self.titles_between(self.host, "drop", "stop")
        self.assertIn("1 File Added", titles)
        self.assertNotIn("0 Files Added", titles)
        self.assertEqual(self.folder.read("sound/a.txt"),
                         listing("sound\\p0.mp3", "sound\\p1.mp3", "sound\\d0.mp3"))


class Stages(RunChecks):
    """Ctrl+R on stage files of the usual form, then a stage maker's way of filling the
    new playlist: play it, drop a tune onto it."""

    # stage name, its bgmusic line (None: no such key), the line after Ctrl+R answered Yes
    STAGES = [
        ("forest", "bgmusic = ", "bgmusic = sound/forest.txt"),
        ("lake", "bgmusic=", "bgmusic=sound/lake.txt"),
        ("river", "bgmusic = sound/river.mp3", None),
        ("cave", None, None),
    ]
    W0, W1, PLAYING = 523.25, 783.99, 392.0

    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("drops_stages.Stages", ini=ini(), host_in_folder=True)
        f.tone("sound/a.mp3", cls.PLAYING, 12)
        f.tone("sound/w0.mp3", cls.W0, 12)
        f.tone("sound/w1.mp3", cls.W1, 12)
        cls.before = {}
        for name, line, _ in cls.STAGES:
            cls.before[name] = h.stage_def(name.title(), line)
            f.write(f"stages/{name}.def", cls.before[name])
        cls.folder = f
        cls.host = h.run_host(f, [
            "init", "setvolume 255",
            "play sound\\a.mp3", "pump 800",
            "mark alloc", "key R ctrl", "pump 300",
            "mark again", "key R ctrl", "pump 300",
            "mark list", "play sound/lake.txt", "pump 1000",
            "mark drop1", "drop sound\\w0.mp3", "pump 300",
            "mark drop1_after", "pump 1500",
            "mark single", "play sound\\a.mp3", "pump 800",
            "mark drop2", "drop sound\\w1.mp3", "pump 500",
            "mark list2", "play sound/lake.txt", "pump 1500",
            "mark end", "stop", "pump 300",
            "quit",
        ], timeout=60)

    def test_ctrl_r_gives_each_stage_without_music_a_playlist(self):
        self.check_run(self.host)
        boxes = self.boxes_between(self.host, "alloc", "again")
        allocated = [name for name, _, after in self.STAGES if after is not None]
        # Per stage, in the order the stages are found: the question, then the info box.
        self.assertEqual(len(boxes), 2 * len(allocated), self.host.describe())
        asked = []
        for question, info in zip(boxes[::2], boxes[1::2]):
            name = question["text"].split('"')[1][:-len(".def")]
            asked.append(name)
            self.assertEqual((question["caption"], question["text"], question["type"],
                              question["answer"], question["owner"]),
                             ("ForceInsertMusic - OrvalinMUGENBGM",
                              f'A bgmusic of stage "{name}.def" is not set - Allocate?',
                              "yesno", "6", "game"))
            self.assertEqual((info["caption"], info["text"], info["type"]),
                             ("info", f"sound/{name}.txt", "ok"))
        self.assertEqual(sorted(asked), sorted(allocated))
        for name, line, after in self.STAGES:
            with self.subTest(name):
                expected = self.before[name]
                if after is not None:
                    old = line.encode() + b"\r\n"
                    self.assertEqual(expected.count(old), 1)
                    expected = expected.replace(old, after.encode() + b"\r\n")
                self.assertEqual(self.folder.read(f"stages/{name}.def"), expected)
        self.assertEqual(self.folder.read("sound/forest.txt"), HEADER)
        self.assertFalse(self.folder.exists("sound/river.txt"))
        self.assertFalse(self.folder.exists("sound/cave.txt"))

    def test_second_ctrl_r_finds_nothing_to_do(self):
        self.check_run(self.host)
        boxes = self.boxes_between(self.host, "again", "list")
        self.assertEqual([(b["caption"], b["text"], b["type"]) for b in boxes],
                         [(CAPTION, "All stages have bgmusic already.", "ok")])

    def test_stage_maker_fills_the_new_playlist_by_dropping_a_tune(self):
        run = self.host
        self.check_run(run)
        quiet = run.recording.between(run.mark("list"), run.mark("drop1"))
        self.assertTrue(quiet.is_silent(), f"the new, empty playlist sounded: {quiet!r}")
        assert_heard(self, run.recording.between(run.mark("drop1_after"), run.mark("single")),
                     self.W0, "the tune dropped onto the new playlist")
        self.assertIn(NOT_A_LIST, self.titles_between(run, "drop2", "list2"))
        assert_heard(self, run.recording.between(run.mark("list2"), run.mark("end")), self.W0,
                     "the playlist played again")
        refused = run.recording.between(run.mark("drop2"), run.mark("end")).level_of(self.W1)
        self.assertLess(refused, -50, "the tune refused by a single file sounded")
        self.assertEqual(self.folder.read("sound/lake.txt"), listing("sound\\w0.mp3"))


if __name__ == "__main__":
    unittest.main()
