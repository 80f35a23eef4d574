"""Settings files through the real platform: the same cases the unit tests run on the
simulated one (tests/data/settings_write_back.txt), so the model cannot drift from it."""

import os
import sys
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

CASES = Path(__file__).resolve().parents[1] / "data" / "settings_write_back.txt"


def unescape(text: str) -> bytes:
    return text.replace("\\r", "\r").replace("\\n", "\n").replace("\\\\", "\\").encode("latin-1")


def cases() -> list[tuple[bytes, bytes]]:
    lines = [l for l in CASES.read_text().splitlines() if l and not l.startswith("#")]
    ins = [unescape(l[5:]) for l in lines if l.startswith("in:  ")]
    outs = [unescape(l[5:]) for l in lines if l.startswith("out: ")]
    assert len(ins) == len(outs) and ins
    return list(zip(ins, outs))


class SettingsWriteBack(unittest.TestCase):
    def test_each_file_after_a_run_with_two_volume_steps_up(self):
        for i, (before, after) in enumerate(cases()):
            with self.subTest(case=i, before=before):
                folder = h.GameFolder(f"settings_files.case{i}", ini=before)
                run = h.run_host(folder, ["init", "key F8", "key F8", "quit", "free"],
                                 record=False, timeout=30)
                self.assertTrue(run.ended, run.describe())
                self.assertEqual(folder.read("plugins/OrvalinMugenBGM.ini"), after)


if __name__ == "__main__":
    unittest.main()
