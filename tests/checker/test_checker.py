"""bgm-check on a game folder made here: a stage of each kind, a settings file with a
typo and an out-of-range value. The report must name every problem with its file and
line and exit 1, the JSON must hold the same findings with their rule ids, and once the
folder is fixed the exit code must be 0. The report's page is opened in a headless
browser (Debian's chromium) where one is installed.

ORV_CHECKER names the checker. In the Windows tree ORV_CHECKER_EMULATOR runs it (Wine),
and when ORV_NATIVE_CHECKER (the Linux build) exists, both builds must give the same
report on the same folder. Standard library only.
"""

from __future__ import annotations

import html.parser
import json
import os
import re
import shutil
import subprocess
import sys
import tarfile
import time
import unittest
import urllib.parse
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from entry_table import ENTRIES, playlist  # noqa: E402
import project  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
CHECKER = os.environ.get("ORV_CHECKER") or str(ROOT / "build" / "native" / "bgm-check")
EMULATOR = os.environ.get("ORV_CHECKER_EMULATOR", "")
PROBE = os.environ.get("ORV_CONSOLE_PROBE", "")
NATIVE = os.environ.get("ORV_NATIVE_CHECKER", "")
WORK = Path(os.environ.get("ORV_CHECKER_WORK") or ROOT / "build" / "checker-work")
INI = "plugins/OrvalinMugenBGM.ini"

# An mp3 file's start: an ID3v2.3 tag of 4096 bytes (syncsafe 0x00 0x00 0x20 0x00).
TAGGED = b"ID3\x03\x00\x00\x00\x00\x20\x00" + bytes(4096) + b"\xff\xfb" + bytes(200)


def stage(bgmusic: str) -> bytes:
    return b"[Music]\r\nbgmusic = " + bgmusic.encode("cp1252") + b"\r\nvolume = 0\r\n"


# The folder: file -> contents. Each stage is of another kind.
BROKEN = {
    INI: b"[Settings]\r\nDebug=0\r\nBeeep=1\r\nPauseMode=9\r\nRndMusicExt3=ogg\r\n",
    "stages/single.def": stage("sound/single.mp3"),
    "sound/single.mp3": TAGGED,
    "stages/good.def": stage("good.txt"),  # found in sound/
    "sound/good.txt": playlist(b"sound\\single.mp3,vol=80,beg=15000",
                               b"sound\\Tune.ogg,vol=-15,end=2000,stop=1",
                               b"[EXT]", b"extsound = sound\\rain.wav"),
    "sound/tune.ogg": b"OggS" + bytes(100),
    "sound/rain.wav": b"RIFF" + bytes(100),
    "stages/broken.def": stage("sound/broken.txt"),
    "sound/broken.txt": playlist(b"sound\\single.mp3", head=b"[Orvalin_BGMList] "),
    "stages/gaps.def": stage("sound\\gaps.txt"),
    "sound/gaps.txt": playlist(b"sound\\single.mp3", b"sound\\missing.mp3",
                               b"sound\\" + b"x" * 255 + b".mp3", b"",
                               b"sound\\single.mp3,volume=50", b"sound\\caf\xe9.mp3"),
    "sound/caf\u00e9.mp3": TAGGED,  # the machine's name in UTF-8, the list's in cp1252
    "stages/random.def": stage("sound/bgm/random.rnd"),
    "sound/bgm/random.rnd": b"",
    "sound/bgm/a.mp3": b"\xff\xfb" + bytes(100),
    "sound/bgm/b.ogg": b"OggS" + bytes(100),
    "stages/silent.def": stage("sound/none/random.rnd"),
    "sound/none/random.rnd": b"",
    "sound/none/readme.txt": b"no music here",
    "stages/empty.def": stage(""),
    "stages/nowhere.def": stage("sound/lost.mp3"),
}

# What the report must say: (severity, path, line, words of the message, rule id).
PROBLEMS = [
    ("warning", INI, 3, "unknown key Beeep: the plug-in ignores it", "settings-unknown-key"),
    ("warning", INI, 4, "PauseMode = 9 is outside 1 to 5", "settings-out-of-range"),
    ("error", "sound/broken.txt", 1, "blanks or text follow the header", "playlist-refused"),
    ("error", "sound/gaps.txt", 4, "sound\\missing.mp3 does not exist", "playlist-missing-file"),
    ("warning", "sound/gaps.txt", 5, "the line is 265 bytes long", "playlist-line-too-long"),
    ("error", "sound/gaps.txt", 5, "does not exist", "playlist-missing-file"),
    ("error", "sound/gaps.txt", 6, "an empty entry", "playlist-empty-entry"),
    ("warning", "sound/gaps.txt", 7, "the option \"volume=50\" is not one the plug-in knows", "option-unknown"),
    ("error", "sound/none/random.rnd", 0, "no file in sound/none matches *.mp3, *.wma, *.ogg", "folder-no-match"),
    ("warning", "stages/empty.def", 2, "bgmusic is empty", "bgmusic-empty"),
    ("error", "stages/nowhere.def", 2, "sound/lost.mp3, which is found nowhere", "bgmusic-not-found"),
    ("note", "sound/single.mp3", 0, "an ID3v2.3 tag of 4106 bytes", "music-tag"),
]
FAILING = "stages/broken.def, stages/gaps.def, stages/nowhere.def, stages/silent.def"

# Per stage: its entry, the kind of request and what can play.
STAGES = {
    "stages\\single.def": ("set", "file", ["sound/single.mp3"]),
    "stages\\good.def": ("set", "playlist", ["sound\\single.mp3", "sound\\tune.ogg"]),
    "stages\\broken.def": ("set", "playlist", []),
    "stages\\gaps.def": ("set", "playlist", ["sound\\single.mp3", "sound\\caf\u00e9.mp3"]),
    "stages\\random.def": ("set", "folder", ["sound\\bgm\\a.mp3", "sound\\bgm\\b.ogg"]),
    "stages\\silent.def": ("set", "folder", []),
    "stages\\empty.def": ("empty", "", []),
    "stages\\nowhere.def": ("set", "", []),
}

FIXES = {
    INI: b"[Settings]\r\nDebug=0\r\nBeep=1\r\nPauseMode=3\r\nRndMusicExt3=ogg\r\n",
    "sound/broken.txt": playlist(b"sound\\single.mp3"),
    "sound/gaps.txt": playlist(b"sound\\single.mp3", b"sound\\single.mp3,vol=50",
                               b"sound\\caf\xe9.mp3"),
    "sound/none/c.mp3": b"\xff\xfb" + bytes(100),
    "stages/empty.def": stage("sound/single.mp3"),
    "stages/nowhere.def": stage("sound/single.mp3"),
}

LINE = re.compile(r"^(?P<file>[^ ].*?)(?::(?P<line>\d+))?: (?P<severity>error|warning|note): "
                  r"(?P<message>.*)$")
# A finding line as a problem matcher reads it: at column 0, with or without a line.
MATCHER = re.compile(r"^[^ ].*:[0-9]+: (error|warning|note): |^[^ :]+: (error|warning|note): ")


def make_folder(name: str, files: dict[str, bytes]) -> Path:
    folder = WORK / name
    if folder.exists():
        shutil.rmtree(folder)
    for rel, data in files.items():
        path = folder / rel
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
    return folder


def run(folder: Path, *args: str, checker: str = CHECKER, emulator: str = EMULATOR, env=None):
    """The exit code and the output (CR LF read as LF) of the checker on `folder`."""
    command = ([emulator] if emulator else []) + [checker, *args, folder.name]
    proc = subprocess.run(command, cwd=folder.parent, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=120, env=env)
    return proc.returncode, proc.stdout.replace(b"\r\n", b"\n").decode("utf-8", "surrogateescape")


def findings(text: str) -> set[tuple[str, str, int, str]]:
    found = set()
    for line in text.splitlines():
        m = LINE.match(line)
        if m:
            found.add((m["severity"], m["file"], int(m["line"] or 0), m["message"]))
    return found


class CheckerReport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = make_folder("broken", BROKEN)
        cls.code, cls.text = run(cls.folder, "--verbose")
        cls.json_code, cls.json_text = run(cls.folder, "--json")
        cls.report = json.loads(cls.json_text)

    def test_the_report_names_every_problem_with_its_file_and_line(self):
        self.assertEqual(self.code, 1, self.text)
        found = findings(self.text)
        for severity, file, line, words, _ in PROBLEMS:
            with self.subTest(file=file, line=line, words=words):
                self.assertTrue(any(f[:3] == (severity, file, line) and words in f[3] for f in found),
                                f"missing {severity} {file}:{line} {words!r} in\n{self.text}")
        expected_errors = {(f, l) for s, f, l, _, _ in PROBLEMS if s == "error"}
        self.assertEqual({(f[1], f[2]) for f in found if f[0] == "error"}, expected_errors)

    def test_the_json_holds_the_same_findings(self):
        self.assertEqual(self.json_code, 1)
        in_json = {(f["level"], f["path"], f["line"] or 0, f["message"]) for f in self.report["findings"]}
        self.assertEqual(in_json, findings(self.text))
        keys = {k["key"]: (k["value"], k["source"], k["line"]) for k in self.report["settings"]["keys"]}
        self.assertEqual((keys["Debug"], keys["PauseMode"], keys["Beep"], keys["RndMusicExt3"]),
                         (("0", "set", 2), ("9", "set", 4), ("0", "default", None), ("ogg", "set", 5)))
        summary = self.report["summary"]
        self.assertIn(f"{summary['errors']} errors, {summary['warnings']} warnings", self.text)

    def test_each_stage_asks_for_what_its_bgmusic_names(self):
        stages = {s["file"]: s for s in self.report["stages"]}
        self.assertEqual(set(stages), set(STAGES))
        for name, (entry, kind, plays) in STAGES.items():
            with self.subTest(stage=name):
                self.assertEqual((stages[name]["entry"], stages[name]["kind"], stages[name]["plays"]),
                                 (entry, kind, plays))
        good = stages["stages\\good.def"]
        self.assertEqual([(e["file"], e["options"], e["volume"], e["start"], e["end"], e["stop"])
                          for e in good["entries"]],
                         [("sound\\single.mp3", "vol=80,beg=15000", 10080, 15000, 0, 0),
                          ("sound\\tune.ogg", "vol=-15,end=2000,stop=1", -15, 0, 2000, 1)])
        self.assertEqual(good["extsound"], "sound\\rain.wav")
        self.assertEqual([c["path"] for c in good["looked"]], ["good.txt", "sound/good.txt"])

    def test_names_are_read_in_the_code_page(self):
        self.assertIn('"sound\\\\caf\u00e9.mp3"', self.json_text)
        self.assertIn("sound\\caf\u00e9.mp3", self.text)

    def test_each_finding_has_a_documented_rule_and_a_line_or_null(self):
        documented = set(re.findall(r"^\| `([a-z0-9-]+)` \|", (ROOT / "docs" / "checker.md").read_text(), re.M))
        for f in self.report["findings"]:
            with self.subTest(finding=f["message"]):
                self.assertEqual(set(f), {"rule", "level", "path", "line", "stage", "message", "fix"})
                self.assertIn(f["rule"], documented)
                self.assertTrue(f["line"] is None or f["line"] > 0)
                self.assertNotIn("\\", f["path"])
        for severity, path, line, words, rule in PROBLEMS:
            with self.subTest(rule=rule, line=line):
                self.assertTrue(any((f["rule"], f["level"], f["path"], f["line"] or 0) == (rule, severity, path, line)
                                    and words in f["message"] for f in self.report["findings"]))

    def test_the_summary_comes_first_and_each_mode_shows_its_part(self):
        summary = "Summary: 8 stages, 4 can play music; 6 errors, 5 warnings, 7 notes"
        MODES = [  # arguments, lines in the output, lines not in it, finding levels shown
            ([], ["  PauseMode = 9 (set, line 4)", "fix: did you mean Beep?", "(said of 2 entries; --verbose lists each)"],
             ["  Ctrl+R: ", "InitRandom"], {"error", "warning", "note"}),
            (["--verbose"], ["  InitRandom = 1 (default)", "  Ctrl+R: leaves the stage alone (it finds bgmusic set)"],
             ["(said of"], {"error", "warning", "note"}),
            (["--errors-only"], ["fix: check the name, or remove the line"], ["Settings:"], {"error"}),
            (["--quiet"], [], ["Stage "], set()),
        ]
        for args, present, absent, levels in MODES:
            with self.subTest(args=args):
                code, text = run(self.folder, *args)
                lines = text.splitlines()
                self.assertEqual((code, lines[1:3]), (1, [summary, "Failing: " + FAILING]))
                for words in present:
                    self.assertIn(words, text)
                for words in absent:
                    self.assertNotIn(words, text)
                said = [line for line in lines if re.search(r": (error|warning|note): ", line)]
                self.assertEqual({f[0] for f in findings(text)}, levels)
                self.assertEqual([line for line in said if not MATCHER.match(line) or "\\" in line.split(": ")[0]], [])
        self.assertEqual(len(run(self.folder, "--quiet")[1].splitlines()), 3)

    def test_the_fixed_folder_passes(self):
        folder = make_folder("fixed", {**BROKEN, **FIXES})
        code, text = run(folder)
        self.assertEqual(code, 0, text)
        self.assertIn("8 stages, 8 can play music; 0 errors, 0 warnings", text)
        self.assertNotIn("Failing", text)
        self.assertNotIn("InitRandom", text)  # settings are listed when something is wrong

    @unittest.skipUnless(EMULATOR and Path(NATIVE).is_file(), "compares the Windows build with the Linux build")
    def test_the_windows_build_reports_as_the_linux_build(self):
        for args in ([], ["--json"]):
            with self.subTest(args=args):
                self.assertEqual(run(self.folder, *args), run(self.folder, *args, checker=NATIVE, emulator=""))


class Playlists(unittest.TestCase):
    """Why a playlist is refused, and the limits of one that is taken."""

    CASES = [  # playlist text, severity, line, words of the message
        (playlist(b"a.mp3", head=b"[Orvalin_BGMList] "), "error", 1, "blanks or text follow the header"),
        (playlist(b"a.mp3", head=b" " * 47 + b"[Orvalin_BGMList]"), "error", 1, "47 spaces stand before"),
        (playlist(b"a.mp3", head=b"\t[Orvalin_BGMList]"), "error", 1, "a tab stands before the header"),
        (playlist(b"a.mp3", head=b"\xef\xbb\xbf[Orvalin_BGMList]"), "error", 1, "byte-order mark"),
        (b"[Orvalin_BGMList]\n[List]\na.mp3\n", "error", 1, "ends with a bare LF"),
        (b"[orvalin_bgmlist]\r\n[list]\r\n", "error", 2, "no entries: nothing plays"),
        (playlist(*[b"a.mp3"] * 10001), "warning", 10003, "more than 10,000 entries"),
        (b"[Orvalin_BGMList]\r\n[EXT]\r\nextsound=my rain.wav\r\n[List]\r\na.mp3\r\n", "warning", 3,
         "the extra sound's name ends at the first blank: the plug-in plays my"),
        (playlist(b"a.mp3", b"[EXT]", b"extsound = rain.wav"), "warning", 5, "the extra sound rain.wav does not exist"),
        (playlist(b"a.mp3,vol=0,vol=+20"), "warning", 3, "an option given twice"),
        (playlist(b"a.mp3,vol=-300"), "warning", 3, "a correction of -300 is beyond the volume scale"),
        (playlist(b"a.mp3,vol=300"), "warning", 3, "a volume of 300 is above the top of the volume scale"),
        (playlist(b"a.mp3,stop=2"), "note", 3, "stop=2 ends list play like stop=1"),
    ]

    def test_each_problem_is_named_at_its_line(self):
        files = {"a.mp3": b"\xff\xfb" + bytes(100)}
        for i, case in enumerate(self.CASES):
            files[f"stages/p{i}.def"] = stage(f"p{i}.txt")
            files[f"p{i}.txt"] = case[0]
        found = findings(run(make_folder("playlists", files))[1])
        for i, (_, severity, line, words) in enumerate(self.CASES):
            with self.subTest(words=words):
                self.assertTrue(any(f[:3] == (severity, f"p{i}.txt", line) and words in f[3] for f in found),
                                [f for f in found if f[1] == f"p{i}.txt"])


class Settings(unittest.TestCase):
    LINES = [  # a line of the settings file, and what the report says of it (None: nothing)
        (b"[Settings]", None),
        (b"Debug=5", "Debug = 5 is outside 0 to 3"),
        (b"Beep=-1", "Beep = -1 is below 0"),
        (b"UseExPause=yes", "UseExPause = yes is not a whole number: the plug-in reads 0"),
        (b"InitRandom=2x", "InitRandom = 2x is not a whole number: the plug-in reads 2"),
        (b"SubVolume=-22222", None),
        (b"AutosaveTxtFile=2", "AutosaveTxtFile = 2 is outside -1 to 1"),
        (b"RndMusicExt1=.mp3", "write the extension alone"),
        (b"RndMusicExt2=" + b"w" * 40, "is 40 characters long: the plug-in keeps the first 31"),
        (b"Debug=1", "Debug is given again: the plug-in uses line 2"),
        (b"LoopRandom 0", "\"LoopRandom 0\" has no '=': the plug-in ignores the line (did you mean LoopRandom?)"),
        (b"MsgBoxOnErorr=1", "unknown key MsgBoxOnErorr: the plug-in ignores it (did you mean MsgBoxOnError?)"),
        (b"Colour=red", "unknown key Colour: the plug-in ignores it"),
    ]

    def test_each_line_is_read_as_the_plug_in_reads_it(self):
        folder = make_folder("settings", {INI: b"\r\n".join(row[0] for row in self.LINES),
                                          "stages/a.def": stage("")})
        report = json.loads(run(folder, "--json")[1])
        said = {f["line"]: f["message"] + (f" ({f['fix']})" if f["fix"] else "")
                for f in report["findings"] if f["path"].startswith("plugins")}
        for line, (_, words) in enumerate(self.LINES, start=1):
            with self.subTest(line=line):
                self.assertIn(words, said.get(line, "")) if words else self.assertNotIn(line, said)
        keys = {k["key"]: (k["value"], k["line"]) for k in report["settings"]["keys"]}
        self.assertEqual([keys[k] for k in ("Debug", "Beep", "RndMusicExt2")],
                         [("5", 2), ("-1", 3), ("w" * 31, 9)])


class Stages(unittest.TestCase):
    """Stages read as the game reads them; what Ctrl+R would do is a line of its own."""

    CASES = [  # stage text, its entry, the kind of request, words of its Ctrl+R line, a finding
        (b"[Music]\r\nbgmusic2 = 0\r\nbgmusic =\r\nx=1\r\n", "empty", "", "it finds bgmusic2 set", None),
        (b"[Music]\nbgmusic =\nx=1\n", "empty", "", "reads the next line as the value", None),
        (b"[Music]\r\nbgmusic = ", "empty", "", "passes the stage over", None),
        (b"[Music]\r\nbgmusic = ; none\r\nx=1\r\n", "empty", "", "gives the stage the playlist sound/s3.txt", None),
        (b"[Music]\r\nbgmusic = a.mp3 ; comment\r\n", "set", "file", "leaves the stage alone", None),
        (b"[Music]\r\nbgmusic = own.mp3\r\n", "set", "file", "", None),
        (b"[Music]\r\nvolume = 0\r\n", "none", "", "", ("warning", 0, "no bgmusic entry")),
        (b"[Music]\r\nbgmusic = C:\\music\\a.mp3\r\n", "set", "", "", ("error", 2, "which is found nowhere")),
        (b"; pack\n[music]\nBGMusic = a.mp3\nbgvolume = 255\n", "set", "file", "", None),
        (b"; pack\r[Music]\rbgmusic = a.mp3\rbgvolume = 255\r", "set", "file", "", None),
        (b"[Info]\r\nbgmusic = a.mp3\r\n", "none", "", "", ("warning", 2, "not in [Music]")),
        (b"[Music]\r\nbgmusic = sound/\r\n", "set", "", "", ("error", 2, "which is a folder")),
        (b"[Music]\r\nbgmusic = a.mp3\r\nbgmusic.victory = b.mp3\r\n", "set", "file", "",
         ("note", 3, "bgmusic.victory is a variant")),
    ]

    def test_each_entry_is_found_and_followed_where_it_leads(self):
        files = {"a.mp3": TAGGED, "stages/own.mp3": TAGGED, "sound/b.mp3": TAGGED,
                 "stages/pack/deep.def": stage("a.mp3"),
                 "data/mugen.cfg": b"[Options]\nmotif = data/mine/system.def\n",
                 "data/mine/system.def": b"[Music]\ntitle.bgm = title.txt\nselect.bgm =\n",
                 "data/mine/title.txt": playlist(b"a.mp3")}
        files |= {f"stages/s{i}.def": case[0] for i, case in enumerate(self.CASES)}
        report = json.loads(run(make_folder("stages", files), "--json")[1])
        stages = {s["file"]: s for s in report["stages"]}
        for i, (_, entry, kind, ctrl_r, finding) in enumerate(self.CASES):
            with self.subTest(stage=i):
                s = stages[f"stages\\s{i}.def"]
                self.assertEqual((s["entry"], s["kind"]), (entry, kind))
                self.assertIn(ctrl_r, s["ctrl_r"])
                if finding:
                    self.assertTrue(any((f["level"], f["line"] or 0) == finding[:2] and finding[2] in f["message"]
                                        for f in report["findings"] if f["stage"] == s["file"]),
                                    report["findings"])
        self.assertEqual(stages["stages\\s5.def"]["request"], "stages/own.mp3")
        # The LF stage, the CR stage and their CR LF twin can play the same.
        self.assertEqual(stages["stages\\s8.def"]["plays"], stages["stages\\s4.def"]["plays"])
        self.assertEqual(stages["stages\\s9.def"]["plays"], stages["stages\\s4.def"]["plays"])
        self.assertEqual([(k["key"], k["line"]) for k in stages["stages\\s8.def"]["music"]], [("bgvolume", 4)])
        screens = [(s["screen"], s["kind"], s["plays"]) for s in report["stages"] if s["screen"]]
        self.assertEqual(screens, [("title.bgm", "playlist", ["a.mp3"])])
        self.assertEqual(report["summary"]["stages"], len(self.CASES) + 1)
        deep = stages["stages\\pack\\deep.def"]
        self.assertEqual((deep["plays"], deep["ctrl_r"]),
                         (["a.mp3"], "passes the stage over (it looks only in stages\\ itself)"))


# Skeletons of shared stage files, each with its own line ends, packed so that no tool
# rewrites them.
SKELETONS = ROOT / "tests" / "data" / "stage-skeletons.tar.xz"


def game_bgmusic(text: bytes) -> str:
    """The [Music] bgmusic value, read as the game reads a definition file."""
    section = ""
    for line in text.replace(b"\r\n", b"\n").replace(b"\r", b"\n").split(b"\n"):
        line = line.split(b";")[0].strip()
        if line.startswith(b"["):
            section = line[1:].split(b"]")[0].strip().lower()
        elif b"=" in line and section == b"music":
            key, value = line.split(b"=", 1)
            if key.strip().lower() == b"bgmusic":
                return value.strip().decode("cp1252")
    return ""


class SharedStages(unittest.TestCase):
    """Skeletons of stage files shared in stage packs, with the music they name: every
    stage whose bgmusic names a file that exists can play."""

    def test_every_stage_with_its_music_can_play(self):
        files, named = {}, {}
        with tarfile.open(SKELETONS) as pack:
            skeletons = {Path(m.name).name: pack.extractfile(m).read() for m in pack.getmembers()
                         if m.isfile() and m.name.lower().endswith(".def")}
        for name, text in sorted(skeletons.items()):
            files["stages/" + name] = text
            named["stages\\" + name] = music = game_bgmusic(text)
            if music:
                files[music.replace("\\", "/")] = b"\xff\xfb" + bytes(100)
        started = time.monotonic()
        code, text = run(make_folder("skeletons", files), "--json")
        report = json.loads(text)
        stages = {s["file"]: s for s in report["stages"]}
        self.assertEqual(set(stages), set(named))
        for file, music in named.items():
            with self.subTest(stage=file):
                self.assertEqual(bool(stages[file]["plays"]), bool(music), stages[file])
        summary = report["summary"]
        print(f"\nshared stages: {summary['stages']} stages, {summary['playing']} can play, "
              f"{summary['errors']} errors, {time.monotonic() - started:.2f} s", file=sys.stderr)


class Names(unittest.TestCase):
    """Names are found as Windows finds them (the same table runs on both builds)."""

    CASES = [  # a playlist entry for sound/a.mp3, and whether it finds the file
        (b"SOUND\\A.MP3", True), (b"sound/a.mp3", True), (b"sound\\\\a.mp3", True),
        (b"sound\\.\\a.mp3", True), (b"sound\\x\\..\\a.mp3", True), (b"sound\\a.mp3 .", True),
        (b"sound\\caf\xc9.mp3", True),  # É finds é: letters beyond ASCII match in any case too
        (b"sound\\a.mp3\\", False), (b"sound\\a.mp3\\b.mp3", False), (b" sound\\a.mp3", False),
    ]

    def test_names_find_files_as_on_windows(self):
        folder = make_folder("names", {"sound/a.mp3": TAGGED, "sound/caf\u00e9.mp3": TAGGED,
                                       "stages/n.def": stage("n.txt"),
                                       "n.txt": playlist(*(row[0] for row in self.CASES))})
        entries = json.loads(run(folder, "--json")[1])["stages"][0]["entries"]
        self.assertEqual([(e["file"], e["exists"]) for e in entries],
                         [(name.lower().decode("cp1252"), found) for name, found in self.CASES])


class MusicFiles(unittest.TestCase):
    CASES = [  # file, contents, what the report says of it
        ("v5.mp3", b"ID3\x05" + bytes(200), "an ID3v2.5 tag at its start, which Ctrl+X does not cut"),
        ("big.mp3", b"ID3\x03\x00\x00\x00\x00\x7f\x7f" + bytes(100), "exceeds the file's (110)"),
        ("notes.doc", bytes(100), ".doc is no music type that Windows is known to play: nothing plays"),
        ("empty.mp3", b"", "is empty: nothing plays"),
        ("song.flac", bytes(100), ".flac plays only where a DirectShow decoder for it is installed"),
        ("plain.wav", bytes(100), None),
    ]

    def test_types_and_tags(self):
        files = {f"sound/{name}": data for name, data, _ in self.CASES}
        files |= {"stages/m.def": stage("m.txt"),
                  "m.txt": playlist(*(b"sound\\" + name.encode() for name, _, _ in self.CASES))}
        report = json.loads(run(make_folder("music", files), "--json")[1])
        said = {f["path"]: f["message"] for f in report["findings"] if f["path"].startswith("sound")}
        for name, _, words in self.CASES:
            with self.subTest(file=name):
                message = said.get("sound/" + name)
                self.assertIn(words, message or "") if words else self.assertIsNone(message)


class CommandLine(unittest.TestCase):
    def test_what_cannot_be_used_exits_2(self):
        WORK.mkdir(parents=True, exist_ok=True)
        for args, said in ((["--codepage", "1234", "x"], b"unknown code page 1234 (known: 874, 932"), ([], b""),
                           (["not-a-folder"], b"not-a-folder: it does not exist"), (["--bogus", "x"], b"")):
            with self.subTest(args=args):
                command = ([EMULATOR] if EMULATOR else []) + [CHECKER, *args]
                proc = subprocess.run(command, cwd=WORK, capture_output=True, timeout=120)
                self.assertEqual(proc.returncode, 2)
                self.assertIn(said, proc.stderr)

    def test_version_is_the_projects(self):
        command = ([EMULATOR] if EMULATOR else []) + [CHECKER, "--version"]
        proc = subprocess.run(command, capture_output=True, timeout=120)
        self.assertEqual((proc.returncode, proc.stdout.strip()), (0, f"bgm-check {project.version()}".encode()))


class Entries(unittest.TestCase):
    def test_each_entry_is_split_as_the_plug_in_splits_it(self):
        folder = make_folder("entries", {"stages/list.def": stage("list.txt"),
                                         "list.txt": playlist(*(row[0] for row in ENTRIES))})
        entries = json.loads(run(folder, "--json")[1])["stages"][0]["entries"]
        self.assertEqual([(e["file"], e["options"], e["volume"], e["start"], e["end"], e["stop"])
                          for e in entries], [row[1:] for row in ENTRIES])

    def test_a_loop_start_is_an_option_it_knows(self):
        folder = make_folder("loop", {"stages/loop.def": stage("loop.txt"), "a.mp3": TAGGED,
                                      "loop.txt": playlist(b"a.mp3,beg=1000,LOOP=4000,vol=-5")})
        code, out = run(folder, "--json")
        entry = json.loads(out)["stages"][0]["entries"][0]
        self.assertEqual((entry["start"], entry["loop"], entry["volume"]), (1000, 4000, -5))
        self.assertNotIn("not one the plug-in knows", out)


class CodePage(unittest.TestCase):
    """The code page's lead bytes decide which letters the playlist reader folds."""

    CASES = [  # arguments, the entry's file, found (on Linux, which reads the name in it)
        ([], "sound\\\u0192a.mp3", False),
        (["--codepage", "932"], "sound\\\u30a2.mp3", True),
    ]

    def test_lead_bytes_follow_the_code_page(self):
        folder = make_folder("codepage", {
            "stages/jp.def": stage("sound/jp.txt"),
            "sound/jp.txt": playlist(b"sound\\\x83A.mp3"),  # katakana A in Shift-JIS
            "sound/\u30a2.mp3": TAGGED,
        })
        for args, file, found in self.CASES:
            with self.subTest(args=args):
                entry = json.loads(run(folder, "--json", *args)[1])["stages"][0]["entries"][0]
                self.assertEqual(entry["file"], file)
                if not EMULATOR:  # Windows reads names in the system's code page
                    self.assertEqual(entry["exists"], found)


class DoubleByteNames(unittest.TestCase):
    """In code page 932 the second byte of 表 (0x95 0x5C) has the value of a backslash: a name
    is cut into folders between characters, never inside one."""

    KANJI = b"\x95\x5c"
    CASES = [  # arguments, then for a playlist entry and a folder marker in sound/表/: found
        ([], False, False),
        (["--codepage", "932"], True, True),
    ]

    @unittest.skipIf(EMULATOR, "Windows reads names in the system's code page")
    def test_a_folder_named_with_a_double_byte_character_is_found(self):
        folder = make_folder("doublebyte", {
            "stages/list.def": b"[Music]\r\nbgmusic = sound/jp.txt\r\n",
            "sound/jp.txt": playlist(b"sound\\" + self.KANJI + b"\\a.mp3"),
            "stages/folder.def": b"[Music]\r\nbgmusic = sound\\" + self.KANJI + b"\\random.rnd\r\n",
            "sound/\u8868/random.rnd": b"",
            "sound/\u8868/a.mp3": TAGGED,
        })
        for args, listed, scanned in self.CASES:
            with self.subTest(args=args):
                stages = {s["file"]: s for s in json.loads(run(folder, "--json", *args)[1])["stages"]}
                entry = stages["stages\\list.def"]["entries"][0]
                self.assertEqual(entry["exists"], listed)
                plays = stages["stages\\folder.def"]["plays"]
                self.assertEqual(plays, ["sound\\\u8868\\a.mp3"] if scanned else [])


class JapaneseNames(unittest.TestCase):
    """Every line is UTF-8: names are read in the chosen code page, a byte that does not
    read is shown as \\xNN, and names that read only in another code page bring one note."""

    TUNE = "sound/\u685c\u306e\u821e.mp3"  # in code page 932: 8D F7 82 CC 95 91
    CASES = [  # arguments, bgmusic as printed, the code page a note suggests
        ([], "sound/\\x8D\u00f7\u201a\u00cc\u2022\u2018.mp3", "932"),
        (["--codepage", "932"], TUNE, None),
    ]

    def test_names_print_as_utf8(self):
        folder = make_folder("japanese", {
            "stages/jp.def": b"[Music]\nbgmusic = " + self.TUNE.encode("cp932") + b"\n", self.TUNE: TAGGED})
        for args, printed, suggested in self.CASES:
            with self.subTest(args=args):
                _, text = run(folder, *args)
                text.encode("utf-8")  # no byte left undecoded
                self.assertIn(f"bgmusic = {printed} (line 2)", text)
                notes = [line for line in text.splitlines() if "check again with --codepage" in line]
                self.assertEqual(notes, [notes[0]] if suggested else [])
                if suggested:
                    self.assertTrue(notes[0].endswith(f"--codepage {suggested}"), notes)
                if not EMULATOR:  # Windows reads names in the system's code page
                    plays = json.loads(run(folder, "--json", *args)[1])["stages"][0]["plays"]
                    self.assertEqual(plays, [self.TUNE] if not suggested else [])

    @unittest.skipUnless(EMULATOR and shutil.which("script"), "a console of the Windows build")
    def test_a_console_shows_the_names(self):
        """On a terminal Wine gives the program a console, whose code page is not UTF-8."""
        folder = make_folder("japanese", {
            "stages/jp.def": b"[Music]\nbgmusic = " + self.TUNE.encode("cp932") + b"\n", self.TUNE: TAGGED})
        command = " ".join([EMULATOR, CHECKER, "--codepage", "932", folder.name])
        proc = subprocess.run(["script", "-qec", command, "/dev/null"], cwd=folder.parent,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
        self.assertIn(f"bgmusic = {self.TUNE}".encode(), proc.stdout)


@unittest.skipUnless(shutil.which("sox"), "sox makes the tunes")
class Trims(unittest.TestCase):
    """Trims are measured against the tune's length, read from its headers."""

    CASES = [  # entry, then the severity and words of the finding, or None
        ("t.wav,beg=3000", ("error", "starts at 3000 ms, at or past its end (the tune lasts 3000 ms)")),
        ("t.wav,beg=2900", None),
        ("t.mp3,end=3100", ("error", "ends 3100 ms early, but the tune lasts 30")),
        ("t.ogg,beg=2000,end=1000", ("error", "which leaves nothing (the tune lasts 3000 ms)")),
        ("t.ogg,loop=5000", ("warning", "repeats from 5000 ms")),
        ("t.mp3,beg=1000,end=1000", None),
    ]

    def test_trims_past_the_end(self):
        folder = make_folder("trims", {"stages/t.def": stage("list.txt"),
                                       "list.txt": playlist(*(e.encode() for e, _ in self.CASES))})
        for ext in ("wav", "mp3", "ogg"):
            subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", str(folder / f"t.{ext}"),
                            "synth", "3", "sine", "440"], check=True, capture_output=True)
        report = json.loads(run(folder, "--json")[1])
        for line, (entry, finding) in enumerate(self.CASES, start=3):
            with self.subTest(entry=entry):
                said = [(f["level"], f["message"]) for f in report["findings"]
                        if f["line"] == line and "tune lasts" in f["message"]]
                if finding:
                    self.assertEqual(len(said), 1, said)
                    self.assertEqual(said[0][0], finding[0])
                    self.assertIn(finding[1], said[0][1])
                else:
                    self.assertEqual(said, [])


class Fixes(unittest.TestCase):
    """A missing name gets the closest name of its folder; a refused playlist, what to change."""

    CASES = [  # the stage's bgmusic, a playlist entry or extra sound, the rule, the fix
        ("sound/Adon2.mp3", None, "bgmusic-not-found", "did you mean sound/Adon_2.mp3?"),
        ("l1.txt", b"sound\\adon_3.mp3", "playlist-missing-file", "did you mean sound/Adon_2.mp3?"),
        ("l2.txt", b"sound\\zzz.mp3", "playlist-missing-file", "check the name, or remove the line"),
        ("l3.txt", b"[EXT]\r\nextsound = sound\\rian.wav", "extsound-missing", "did you mean sound/rain.wav?"),
        ("sound/bmg/random.rnd", None, "bgmusic-not-found", "did you mean sound/bgm/random.rnd?"),
        ("l5.txt", b"sound\\Adon_2.mp3,vol=300", "volume-above-scale", "volumes run from 0 to 255"),
        ("l6.txt", "lf", "playlist-refused", "save it with CR LF line ends"),
    ]

    def test_each_finding_says_what_to_do(self):
        files = {"sound/Adon_2.mp3": TAGGED, "sound/rain.wav": b"RIFF" + bytes(100), "sound/bgm/random.rnd": b""}
        for i, (bgmusic, line, _, _) in enumerate(self.CASES):
            files[f"stages/f{i}.def"] = stage(bgmusic)
            if line == "lf":
                files[bgmusic] = b"[Orvalin_BGMList]\n[List]\nsound\\Adon_2.mp3\n"
            elif line:
                files[bgmusic] = playlist(b"sound\\Adon_2.mp3", line) if line.startswith(b"[") else playlist(line)
        report = json.loads(run(make_folder("fixes", files), "--json")[1])
        for i, (_, _, rule, fix) in enumerate(self.CASES):
            with self.subTest(rule=rule, fix=fix):
                fixes = [f["fix"] for f in report["findings"] if f["stage"] == f"stages\\f{i}.def" and f["rule"] == rule]
                self.assertEqual(fixes, [fix], report["findings"])


def terminal_run(folder: Path, env: dict) -> bytes:
    """The checker's output on a pseudo-terminal."""
    import pty
    leader, follower = pty.openpty()
    command = ([EMULATOR] if EMULATOR else []) + [CHECKER, folder.name]
    proc = subprocess.Popen(command, cwd=folder.parent, stdin=subprocess.DEVNULL, stdout=follower,
                            stderr=subprocess.DEVNULL, env=env)
    os.close(follower)
    out = b""
    while True:
        try:
            chunk = os.read(leader, 65536)
        except OSError:
            break
        if not chunk:
            break
        out += chunk
    proc.wait(timeout=120)
    os.close(leader)
    return out


class Colour(unittest.TestCase):
    CASES = [  # on a terminal, NO_COLOR, escape codes in the output
        (False, None, False),
        (True, None, True),
        (True, "1", False),
    ]

    def test_colour_only_on_a_terminal_without_no_color(self):
        folder = make_folder("colour", BROKEN)
        for terminal, no_color, escapes in self.CASES:
            with self.subTest(terminal=terminal, no_color=no_color):
                if terminal and EMULATOR:
                    self.skipTest("on a pseudo-terminal Wine's console redraws what a program writes with "
                                  "escape codes of its own and no colour: colour can't be told from none")
                env = {k: v for k, v in os.environ.items() if k != "NO_COLOR"}
                if no_color:
                    env["NO_COLOR"] = no_color
                out = terminal_run(folder, env) if terminal else run(folder, env=env)[1].encode("utf-8", "surrogateescape")
                self.assertEqual(b"\x1b[" in out, escapes, out[:300])


class DomRows(html.parser.HTMLParser):
    """The page's table rows (class, hidden) and its players' links, as the browser left them."""

    def __init__(self):
        super().__init__()
        self.rows, self.audio, self.ready = [], [], False

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if tag == "tr" and "class" in a:
            self.rows.append((a["class"], "hidden" in a))
        elif tag == "audio":
            self.audio.append(a["src"])
        elif tag == "body":
            self.ready = a.get("data-ready") == "yes"


CHROMIUM = shutil.which("chromium")


@unittest.skipUnless(CHROMIUM, "no headless browser: Debian's chromium is not installed (scripts/setup-packages "
                               "installs it where the package can be had)")
class Page(unittest.TestCase):
    """The page in a real browser: it loads without a script error, shows one row per
    stage and screen, its filter leaves the problems, and each player names a file."""

    def browse(self, url: str) -> DomRows:
        profile = WORK / "chromium-profile"
        proc = subprocess.run([CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", f"--user-data-dir={profile}",
                               "--enable-logging=stderr", "--v=0", "--dump-dom", url],
                              capture_output=True, timeout=120)
        console = [line for line in proc.stderr.decode(errors="replace").splitlines() if ":CONSOLE" in line]
        self.assertEqual(console, [], "the page's script reports errors")
        dom = DomRows()
        dom.feed(proc.stdout.decode())
        self.assertTrue(dom.ready, "the page's script did not run to its end")
        return dom

    def test_the_page_in_a_browser(self):
        folder = make_folder("page", {**BROKEN, "data/system.def": b"[Music]\r\ntitle.bgm = sound/single.mp3\r\n"})
        page = WORK / "pages" / "report.html"
        page.parent.mkdir(exist_ok=True)
        page.write_text("the page of an earlier run")
        code, _ = run(folder, "--quiet", "--html", "pages/report.html")
        self.assertEqual(code, 1)
        self.assertEqual([p.name for p in page.parent.iterdir()], [page.name])  # replaced whole
        report = json.loads(run(folder, "--json")[1])
        problems = ["problem" if any(f["level"] != "note" and f["stage"] == s["file"] for f in report["findings"])
                    else "fine" for s in report["stages"]]
        everything = self.browse(page.as_uri())
        self.assertEqual([c for c, _ in everything.rows], problems)
        self.assertEqual([hidden for _, hidden in everything.rows], [False] * len(problems))
        self.assertEqual(len(everything.audio), sum(len(s["plays"]) for s in report["stages"]))
        for src in everything.audio:
            with self.subTest(src=src):
                self.assertFalse(src.startswith(("/", "file:", "http")), src)
                self.assertTrue((page.parent / urllib.parse.unquote(src)).is_file(), src)
        filtered = self.browse(page.as_uri() + "#problems")
        self.assertEqual([c for c, hidden in filtered.rows if not hidden], [c for c in problems if c == "problem"])


class WithoutArguments(unittest.TestCase):
    """From its place in the game's plugins folder, the checker reads the folder above it."""

    def test_it_checks_the_game_folder_above_it(self):
        folder = make_folder("above", {**BROKEN, **FIXES})
        name = Path(CHECKER).name
        shutil.copy(CHECKER, folder / "plugins" / name)
        for place, code in ((folder / "plugins" / name, 0), (WORK / name, 2)):
            with self.subTest(place=str(place)):
                if place.parent == WORK:
                    shutil.copy(CHECKER, place)
                proc = subprocess.run(([EMULATOR] if EMULATOR else []) + [str(place)], cwd=WORK / "..",
                                      stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
                self.assertEqual(proc.returncode, code, proc.stderr)


@unittest.skipUnless(EMULATOR and PROBE, "the double-click rule is Windows' (run in the Windows tree, under Wine)")
class DoubleClick(unittest.TestCase):
    """Alone on a console of its own with a console for input, the checker waits for a key
    before that console closes; otherwise it never waits."""

    CASES = [  # how it is started, whether it waits
        ("own", True),
        ("own-no-input", False),
        ("shared", False),
    ]

    def test_it_waits_only_for_a_double_click(self):
        folder = make_folder("clicked", {**BROKEN, **FIXES})
        shutil.copy(CHECKER, folder / "plugins" / "bgm-check.exe")
        for mode, waits in self.CASES:
            with self.subTest(mode=mode):
                proc = subprocess.run([EMULATOR, PROBE, mode, "plugins", "plugins\\bgm-check.exe"], cwd=folder,
                                      stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
                self.assertEqual(proc.stdout.decode().split(), ["waited" if waits else "ended", "0"], proc.stderr)


if __name__ == "__main__":
    unittest.main()
