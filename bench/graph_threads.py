"""What the platform's media graphs allow between the game's thread and a worker, under Wine.

    python3 bench/graph_threads.py [--rounds N] [--seconds S]

Makes a sine tune in wav, mp3 and ogg with the end-to-end tests' tools (sox, lame), then runs
the probe bench/probes/graph_threads.cpp (the `graph_threads` target of the Windows tree) on
them and prints what it prints: the free-threaded marshaler, the worker's preparation and the
game's frames meanwhile, each call on a worker's graph from the game's thread, the end of the
stream, the release in either thread, and the worker's render while the game's thread is held.
docs/seamless-changes.md says what the figures mean. Timings only, nothing is asserted.
"""

from __future__ import annotations

import argparse
import os
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
from game_folder import make_tone  # noqa: E402


def windows_path(path: Path) -> str:
    return "Z:" + str(path.resolve()).replace("/", "\\")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=6)
    parser.add_argument("--seconds", type=float, default=3.0)
    parser.add_argument("--platform-only", action="store_true",
                        help="only the marshaler and the module's own worker")
    args = parser.parse_args()

    build = Path(os.environ.get("ORV_WINDOWS_BUILD", ROOT / "build" / "windows64"))
    probe = build / "graph_threads.exe"
    if not probe.exists():
        print(f"{probe} is missing: build the Windows tree first", file=sys.stderr)
        return 2
    tunes = build / "graph-threads"
    files = [make_tone(tunes / f"tune.{ext}", 440.0, args.seconds) for ext in ("wav", "mp3", "ogg")]
    wine_run = ROOT / "scripts" / "wine-run"
    cmd = [str(wine_run), str(probe), "--rounds", str(args.rounds),
           *(["--platform-only"] if args.platform_only else []),
           *(windows_path(f) for f in files)]
    return subprocess.run(cmd, stdin=subprocess.DEVNULL, timeout=300).returncode


if __name__ == "__main__":
    sys.exit(main())
