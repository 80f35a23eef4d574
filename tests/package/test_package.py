"""The release package, as a player gets it: scripts/package makes
dist/OrvalinMugenBGM-<version>.zip, and this reads it.

Everywhere: its layout, the Windows line ends of its text files, the version (the
project's, from CMake) in its name, in the DLL's version resource and in the readme, the
32-bit format of the DLL and the checker, and that they are the tree's own build outputs.
Where the 32-bit tree runs (ORV_WINDOWS_ARCH=win32): unpacked into a fresh game folder,
the stand-in host loads the DLL from plugins\\ and plays a tune, and the checker runs
from plugins\\ under Wine. Standard library only.
"""

from __future__ import annotations

import os
import re
import shutil
import struct
import subprocess
import sys
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import harness as h  # noqa: E402
import project  # noqa: E402

VERSION = project.version()
OBJDUMP = os.environ.get("ORV_OBJDUMP", "i686-w64-mingw32-objdump")
BUILD = Path(os.environ.get("ORV_BUILD_DIR") or h.ROOT / "build" / "windows")
LAYOUT = {"OrvalinMugenBGM-readme.txt", "plugins/OrvalinMugenBGM.dll",
          "plugins/OrvalinMugenBGM.ini", "plugins/bgm-check.exe"}
TEXT_FILES = ("OrvalinMugenBGM-readme.txt", "plugins/OrvalinMugenBGM.ini")
# The Windows tree this machine runs: forced by ORV_WINDOWS_ARCH, else scripts/lib/env.sh's probe.
MACHINE_ARCH = os.environ.get("ORV_WINDOWS_ARCH") or h.tree_env()["ORV_WINDOWS_ARCH"]
RUNS_32_BIT = unittest.skipUnless(MACHINE_ARCH == "win32",
                                  "runs the 32-bit package under Wine: this machine runs no "
                                  "32-bit programs (the static checks ran)")


def make_package() -> Path:
    proc = subprocess.run(["bash", str(h.ROOT / "scripts" / "package")], stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=600)
    if proc.returncode != 0:
        raise AssertionError("scripts/package failed:\n" + proc.stderr.decode(errors="replace"))
    return Path(proc.stdout.decode().strip().splitlines()[-1])


def version_resource(dll: bytes) -> dict[str, str]:
    """The version resource's fixed file and product versions ("a.b.c.d") and its
    FileVersion and ProductVersion texts."""
    found = {}
    at = dll.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO's signature
    if at >= 0:
        _, _, file_ms, file_ls, prod_ms, prod_ls = struct.unpack_from("<6I", dll, at)
        for name, ms, ls in (("fixed file", file_ms, file_ls), ("fixed product", prod_ms, prod_ls)):
            found[name] = f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"
    for key in ("FileVersion", "ProductVersion"):
        m = re.search(re.escape(key.encode("utf-16-le")) + rb"(?:\0\0)+((?:[^\0].|\0[^\0])*?)\0\0", dll, re.S)
        if m:
            found[key] = m.group(1).decode("utf-16-le")
    return found


class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.zip_path = make_package()
        with zipfile.ZipFile(cls.zip_path) as z:
            cls.files = {i.filename: z.read(i) for i in z.infolist() if not i.is_dir()}
        cls.unpacked = h.work_dir() / "package.Package" / "zip"
        if cls.unpacked.exists():
            shutil.rmtree(cls.unpacked)
        cls.unpacked.mkdir(parents=True)
        for name, data in cls.files.items():
            (cls.unpacked / name).parent.mkdir(parents=True, exist_ok=True)
            (cls.unpacked / name).write_bytes(data)

    def test_layout_is_the_game_folders(self):
        self.assertEqual(self.zip_path.name, f"OrvalinMugenBGM-{VERSION}.zip")
        self.assertEqual(set(self.files), LAYOUT)

    def test_text_files_have_windows_line_ends(self):
        for name in TEXT_FILES:
            with self.subTest(file=name):
                data = self.files[name]
                self.assertTrue(data.endswith(b"\r\n"), "the last line has no CR LF")
                self.assertEqual(data.count(b"\n"), data.count(b"\r\n"), "a line ends in a bare LF")
                self.assertEqual(data.count(b"\r"), data.count(b"\r\n"), "a bare CR")

    def test_version_is_the_projects_everywhere(self):
        quad = VERSION + ".0"
        self.assertEqual(version_resource(self.files["plugins/OrvalinMugenBGM.dll"]),
                         {"fixed file": quad, "fixed product": quad, "FileVersion": quad,
                          "ProductVersion": quad})
        readme = self.files["OrvalinMugenBGM-readme.txt"].decode("ascii")
        self.assertTrue(readme.startswith(f"OrvalinMugenBGM {VERSION} "), readme[:80])
        self.assertNotIn("@", readme, "a placeholder left in the readme")

    def test_programs_are_32_bit_builds_of_this_tree(self):
        built = {"plugins/OrvalinMugenBGM.dll": os.environ.get("ORV_DLL") or BUILD / "OrvalinMugenBGM.dll",
                 "plugins/bgm-check.exe": os.environ.get("ORV_CHECKER") or BUILD / "bgm-check.exe"}
        for name, path in built.items():
            with self.subTest(file=name):
                out = subprocess.run([OBJDUMP, "-f", str(self.unpacked / name)], check=True,
                                     capture_output=True).stdout.decode()
                self.assertIn("file format pei-i386", out)
                self.assertTrue(self.files[name] == Path(path).read_bytes(), f"not the build output {path}")

    @RUNS_32_BIT
    def test_unpacked_into_a_game_it_plays_and_checks(self):
        folder = h.GameFolder("package.Package.game", dll=False)
        with zipfile.ZipFile(self.zip_path) as z:
            z.extractall(folder.path)
        folder.tone("sound/stage.wav", 440, 3)
        folder.write("stages/stage.def", h.stage_def("stage", "bgmusic = sound/stage.wav"))
        run = h.run_host(folder, ["init", "setvolume 255", "mark a", "play sound\\stage.wav",
                                  "pump 1500", "mark b", "stop", "quit"])
        self.assertEqual(run.play_results(), [("sound\\stage.wav", 0)], run.describe())
        heard = run.recording.between(run.mark("a"), run.mark("b"))
        self.assertAlmostEqual(heard.dominant_freq(), 440, delta=3)
        checker = [h.wine(), "plugins\\bgm-check.exe"]
        for args, code, words in ((["--version"], 0, f"bgm-check {VERSION}"),
                                  (["."], 0, "Summary: 1 stage")):
            with self.subTest(args=args):
                proc = subprocess.run(checker + args, cwd=folder.path, env=h.orv_env(pulse=False),
                                      stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
                out = proc.stdout.decode(errors="replace")
                self.assertEqual(proc.returncode, code, out)
                self.assertIn(words, out)


if __name__ == "__main__":
    unittest.main()
