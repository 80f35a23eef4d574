"""The end-to-end tests' environment: paths, the sink's format, and the set-up the
scripts use (scripts/lib/env.sh) for the Windows tree this machine runs."""

from __future__ import annotations

import os
import subprocess
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
ENV_SH = ROOT / "scripts" / "lib" / "env.sh"

RATE = 44100
CHANNELS = 2
SINK = "orvsink"
# Measured on Debian 12 with Wine 8: a tune's sound starts 200-250 ms after its
# `play` event (Wine opens its stream), and stops about 60 ms after `stop`.
# `Recording.between(a, b)` shifts both moments by LATENCY_MS and trims MARGIN_MS
# off both ends: it covers [a + 350 ms, b - 150 ms], safely inside a tune that
# starts at a and is stopped at b, and safely inside a silence from a stop at a.
LATENCY_MS = 100
MARGIN_MS = 250
SILENCE_DB = -60.0
FLOOR_DB = -150.0


# --------------------------------------------------------------------------------
# Environment: the same set-up the scripts use (scripts/lib/env.sh).
# --------------------------------------------------------------------------------

_env_cache: dict[tuple[bool, bool], dict[str, str]] = {}


def orv_env(wine: bool = True, pulse: bool = True) -> dict[str, str]:
    """The environment of scripts/lib/env.sh after its ensure functions ran.

    Creates the Wine prefix once, starts the persistent wineserver, the keeper
    process and our PulseAudio daemon with its null sink as needed (all re-used
    when they already run)."""
    key = (wine, pulse)
    if key not in _env_cache:
        steps = ["source " + _sh_quote(str(ENV_SH))]
        if wine:
            steps.append("orv_ensure_wine")
        if pulse:
            steps.append("orv_ensure_pulse")
        steps.append("env -0")
        proc = subprocess.run(["bash", "-c", " && ".join(steps)], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
        if proc.returncode != 0:
            raise RuntimeError("environment set-up failed:\n" + proc.stderr.decode(errors="replace"))
        env = {}
        for item in proc.stdout.split(b"\0"):
            if b"=" in item:
                k, v = item.split(b"=", 1)
                env[k.decode()] = v.decode(errors="surrogateescape")
        _env_cache[key] = env
    return dict(_env_cache[key])


def _sh_quote(s: str) -> str:
    return "'" + s.replace("'", "'\\''") + "'"


def tree_env() -> dict[str, str]:
    """scripts/lib/env.sh's choice of Windows tree (ORV_WINDOWS_ARCH, ORV_WINE,
    ORV_WINDOWS_BUILD), without starting anything."""
    return orv_env(wine=False, pulse=False)


def wine() -> str:
    """The Wine loader of the tree: wine for the 32-bit tree, wine64 (never Debian's
    wrapper, which starts the 32-bit loader) for the 64-bit one."""
    return tree_env()["ORV_WINE"]


def build_dir() -> Path:
    """The Windows tree's build folder: $ORV_BUILD_DIR, or the one env.sh chose."""
    return Path(os.environ.get("ORV_BUILD_DIR") or tree_env()["ORV_WINDOWS_BUILD"])


def host_exe() -> Path:
    """The stand-in host: $ORV_HOST, or host.exe of the tree's build folder."""
    return Path(os.environ.get("ORV_HOST") or build_dir() / "host.exe")


def dist_dir() -> Path:
    """The built plugins folder: $ORV_DIST, or the tree's (dist/plugins for the 32-bit
    tree, which ships; build/windows64/dist/plugins for the 64-bit one)."""
    if os.environ.get("ORV_DIST"):
        return Path(os.environ["ORV_DIST"])
    if tree_env()["ORV_WINDOWS_ARCH"] == "win32":
        return ROOT / "dist" / "plugins"
    return build_dir() / "dist" / "plugins"


def work_dir() -> Path:
    """Where scratch game folders go: $ORV_E2E_WORK, or e2e-work in the tree's build folder."""
    return Path(os.environ.get("ORV_E2E_WORK") or build_dir() / "e2e-work")


def now_ms() -> int:
    return time.time_ns() // 1_000_000
