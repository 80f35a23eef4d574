"""Runs one test file as `python3 -m unittest -v FILE` does, and appends each skipped
check, by name and reason, to $ORV_SKIPPED_LOG (scripts/test lists them in its summary).

    python3 tests/run_unittest.py tests/e2e/test_x.py
"""

import os
import sys
import unittest


class RecordingSkips(unittest.TextTestResult):
    def addSkip(self, test, reason):
        super().addSkip(test, reason)
        log = os.environ.get("ORV_SKIPPED_LOG")
        if log:
            with open(log, "a", encoding="utf-8") as f:
                f.write(f"{test.id()}: {reason}\n")


if __name__ == "__main__":
    sys.path.insert(0, os.getcwd())
    runner = unittest.TextTestRunner(resultclass=RecordingSkips, verbosity=2)
    unittest.main(module=None, argv=[sys.argv[0], *sys.argv[1:]], testRunner=runner)
