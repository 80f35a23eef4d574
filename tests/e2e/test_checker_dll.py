"""The checker's account of playlist entries against the real DLL's own.

With Debug=3 the plug-in shows, for each entry it splits, the entry ("Input"), the file
name ("Return String"), the option text ("Additional String") and the volume correction
("HoseiVolume"). One table of entries (tests/checker/entry_table.py) makes a playlist and
a stage per row; the stand-in host plays each playlist through the DLL, and the Windows
build of bgm-check reads the same folder. The checker's entries, and the boxes it says
the plug-in shows, must equal the DLL's boxes and the table.
"""

import json
import os
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "checker"))
import harness as h  # noqa: E402
from entry_table import ENTRIES, playlist  # noqa: E402

SPLIT = ("Input", "Return String", "Additional String", "HoseiVolume")
NOTE = 'the plug-in shows the box "'


class CheckerAgainstDll(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("checker.CheckerAgainstDll", ini="[Settings]\r\nDebug=3\r\nInitRandom=0\r\n")
        script = ["init"]
        for i, row in enumerate(ENTRIES):
            f.write(f"sound/e{i}.txt", playlist(row[0]))
            f.write(f"stages/e{i}.def", f"[Music]\r\nbgmusic = sound/e{i}.txt\r\n")
            script += [f"mark e{i}", f"play sound\\e{i}.txt", "pump 50"]
        cls.host = h.run_host(f, script + ["mark end", "quit"], record=False, timeout=120)
        checker = h.dist_dir() / "bgm-check.exe"
        proc = subprocess.run([h.wine(), str(checker), "--json", f.path.name], cwd=f.path.parent,
                              env=h.orv_env(pulse=False), stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=120)
        cls.report = json.loads(proc.stdout.decode("utf-8", "surrogateescape"))

    def dll_split(self, i: int) -> list[tuple[str, str]]:
        """The split boxes of the first entry the DLL splits after mark e<i>."""
        boxes, inside = [], False
        for e in self.host.events:
            if e.kind == "mark":
                inside = e.rest == f"e{i}"
            elif inside and e.kind == "box":
                box = e.fields()
                if box.get("caption") in SPLIT and (box["caption"] != "Input" or not boxes):
                    boxes.append((box["caption"], box["text"].replace("\r", "").replace("\n", " / ")))
                if box.get("caption") == "HoseiVolume" and boxes:
                    return boxes
        return boxes

    def test_the_checker_splits_each_entry_as_the_dll_does(self):
        self.assertTrue(self.host.ended, self.host.describe())
        stages = {s["file"]: s for s in self.report["stages"]}
        for i, (line, name, options, volume, start, end, stop) in enumerate(ENTRIES):
            with self.subTest(entry=line):
                entry = stages[f"stages\\e{i}.def"]["entries"][0]
                dll = self.dll_split(i)
                self.assertEqual(dict(dll).get("Return String"), entry["file"])
                self.assertEqual(dict(dll).get("Additional String", ""), entry["options"])
                self.assertTrue(dict(dll).get("HoseiVolume", "").startswith(f"Hoseivolume={entry['volume']} /"))
                self.assertEqual((entry["file"], entry["options"], entry["volume"], entry["start"],
                                  entry["end"], entry["stop"]), (name, options, volume, start, end, stop))
                said = [f["message"][len(NOTE):] for f in self.report["findings"]
                        if f["path"] == f"sound/e{i}.txt" and f["message"].startswith(NOTE)]
                self.assertEqual(said, [f'{caption}": {text}' for caption, text in dll])


if __name__ == "__main__":
    unittest.main()
