"""Facts of the project the tests of several trees share. Standard library only."""

import os
import re
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def version() -> str:
    """The release's version: $ORV_VERSION (CMake passes project()'s), else read from
    project() in CMakeLists.txt, where it is kept."""
    if os.environ.get("ORV_VERSION"):
        return os.environ["ORV_VERSION"]
    m = re.search(r"^project\(\S+ VERSION (\d+\.\d+\.\d+)", (ROOT / "CMakeLists.txt").read_text(), re.M)
    if not m:
        raise AssertionError("CMakeLists.txt: no project(... VERSION x.y.z)")
    return m.group(1)
