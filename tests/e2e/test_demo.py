"""The demo for players and stage creators (scripts/demo, scripts/lib/demo.py).

--help answers before anything is installed, built or started; a playlist, a folder
request or a music file brings what it names into the demo's game folder; and --game
plays a stage creator's game folder (a stage with a playlist) through a copy of its
settings and music, writing nothing in it.
"""

import hashlib
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts" / "lib"))
import harness as h  # noqa: E402
import demo  # noqa: E402

PLAYLIST = (b"[Orvalin_BGMList]\r\n[List]\r\nsound\\forest\\A.wav\r\n"
            b"sound\\forest\\b.wav,vol=-20\r\nsound\\forest\\gone.mp3\r\n"
            b"[EXT]\r\nextsound = sound\\forest\\birds.wav\r\n")


def snapshot(folder: Path) -> dict[str, str]:
    return {str(p.relative_to(folder)): hashlib.sha256(p.read_bytes()).hexdigest() + str(p.stat().st_mtime_ns)
            for p in sorted(folder.rglob("*")) if p.is_file()}


class Help(unittest.TestCase):
    def test_help_answers_before_anything_is_installed_built_or_started(self):
        with tempfile.TemporaryDirectory() as stubs:
            used = Path(stubs) / "used"
            for tool in ("cmake", "ninja", "dpkg-query", "apt-get", "wine", "wine64", "wineserver",
                         "pulseaudio", "pactl"):
                stub = Path(stubs) / tool
                stub.write_text(f"#!/bin/sh\necho {tool} >>{used}\nexit 1\n")
                stub.chmod(0o755)
            env = dict(os.environ, PATH=stubs + os.pathsep + os.environ["PATH"])
            for args in (["--help"], ["-h"], ["--game", "somewhere", "--help"]):
                with self.subTest(args=args):
                    proc = subprocess.run(["bash", str(h.ROOT / "scripts" / "demo"), *args], env=env,
                                          stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
                    self.assertEqual(proc.returncode, 0, proc.stderr)
                    self.assertIn(b"usage: scripts/demo", proc.stdout)
                    self.assertIn(b"--game DIR", proc.stdout)
            self.assertFalse(used.exists(), used.read_text() if used.exists() else "")


class Copies(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.game = h.work_dir() / "demo.Copies" / "game"
        g = h.GameFolder("game", dll=False, base=cls.game.parent)
        g.write("sound/forest.txt", PLAYLIST)
        for name in ("sound/forest/a.wav", "sound/forest/b.wav", "sound/forest/birds.wav",
                     "sound/bgm/one.mp3", "sound/bgm/two.WMA", "sound/bgm/three.ogg", "sound/solo.mp3"):
            g.write(name, b"music")

    def test_each_request_brings_what_it_names(self):
        cases = [  # request, copied, not found
            ("sound\\forest.txt",
             {"sound/forest.txt", "sound/forest/a.wav", "sound/forest/b.wav", "sound/forest/birds.wav"},
             ["sound\\forest\\gone.mp3"]),
            ("sound/bgm/random.rnd", {"sound/bgm/one.mp3", "sound/bgm/two.WMA"}, []),
            ("random.rnd", set(), []),
            ("sound\\SOLO.mp3", {"sound/solo.mp3"}, []),
        ]
        for request, copied, missing in cases:
            with self.subTest(request=request):
                dest = self.game.parent / "dest"
                h.GameFolder("dest", dll=False, base=self.game.parent)
                got, not_found = demo.copy_request(self.game, request, dest)
                self.assertEqual(set(got), copied)
                self.assertEqual(not_found, missing)
                self.assertEqual({str(p.relative_to(dest)) for p in dest.rglob("*") if p.is_file()}, copied)

    def test_a_playlist_finds_its_game_folder_above_it(self):
        self.assertEqual(demo.game_root(self.game / "sound" / "forest.txt"), self.game)


class GameFolderRun(unittest.TestCase):
    """scripts/lib/demo.py --game on a stage creator's folder: one stage, whose playlist
    moves on from tune to tune (ChangeSoundOnLoop=1, in order)."""

    @classmethod
    def setUpClass(cls):
        cls.player = h.work_dir() / "demo.GameFolderRun" / "mygame"
        g = h.GameFolder("mygame", dll=False, base=cls.player.parent,
                         ini="[Settings]\r\nInitRandom=0\r\nChangeSoundOnLoop=1\r\nLoopRandom=0\r\n")
        g.write("stages/forest.def", h.stage_def("forest", "bgmusic = sound/forest.txt"))
        g.write("sound/forest.txt", b"[Orvalin_BGMList]\r\n[List]\r\nsound\\forest\\a.wav\r\n"
                                    b"sound\\forest\\b.wav\r\n")
        g.tone("sound/forest/a.wav", 440, 2.5)
        g.tone("sound/forest/b.wav", 659.25, 2.5)
        cls.before = snapshot(cls.player)
        cls.out = cls.player.parent / "out"
        cls.proc = subprocess.run(
            [sys.executable, str(h.ROOT / "scripts" / "lib" / "demo.py"), "--game", str(cls.player),
             "--seconds", "6", "--out", str(cls.out)],
            env=h.orv_env(), stdin=subprocess.DEVNULL, capture_output=True, timeout=180)
        cls.report = (cls.out / "report.txt").read_text() if (cls.out / "report.txt").exists() else ""

    def test_the_stages_playlist_plays_tune_after_tune(self):
        self.assertEqual(self.proc.returncode, 0, self.proc.stdout.decode() + self.proc.stderr.decode())
        self.assertIn("stages\\forest.def: sound/forest.txt: 3 file(s) copied", self.report)
        # Titles are shown as Python literals: a backslash doubled.
        self.assertIn(r"'playing : sound\\forest\\a.wav'", self.report)
        self.assertIn(r"'playing : sound\\forest\\b.wav'", self.report)
        self.assertIn("verdict: OK", self.report)

    def test_nothing_of_the_players_folder_is_written(self):
        self.assertEqual(snapshot(self.player), self.before)


if __name__ == "__main__":
    unittest.main()
