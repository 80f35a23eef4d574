"""One table of every benchmark figure, with the ratios and targets.

    python3 bench/report.py [--native FILE] [--hook FILE] [--wine FILE] [--steps FILE] [--markdown]

--native: Google Benchmark's JSON (build/bench/native.json), medians of repetitions;
--hook: the output of bench/hook_instructions.sh (its "hook ..." lines);
--wine: bench/wine_bench.py's JSON; --steps: its JSON with --steps (where the time of each
call goes). Missing inputs leave their rows out. Rows are numbered by what they measure:
1 Play against a bare play, 2 turbo re-load, 3 playlist reading and the
hook, 4 folder scan, 5 memory and handles over a long game, 6 tune changes.
"""

from __future__ import annotations

import argparse
import json
import sys
from pathlib import Path

TYPES = ("wav", "mp3", "ogg")
MB = 1024 * 1024


def native_rows(path: Path) -> list[list[str]]:
    data = json.loads(path.read_text())
    by_name: dict[str, dict] = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") in (None, "median"):
            by_name[b.get("run_name", b["name"])] = b
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}

    def us(name: str) -> float | None:
        b = by_name.get(name)
        return b["real_time"] * scale[b["time_unit"]] if b else None

    rows = []
    read, copy = us("BM_ReadPlaylist"), us("BM_CopyLinesInMemory")
    if read and copy:
        ratio = read / copy
        rows.append(["3", "ReadPlaylist, 10,000 entries", f"{read:.0f} us",
                     f"in-memory copy {copy:.0f} us", f"{ratio:.2f}x", "<= 2x", met(ratio <= 2)])
    own_per_file = {}
    for files in (100, 1000, 10000):
        scan, search = us(f"BM_FindMusic/{files}"), us(f"BM_SimFolderSearch/{files}")
        if scan is None:
            continue
        per = scan / files * 1000
        base = f"sim search {search / files * 1000:.0f} ns/file" if search else "-"
        # The scan's time less its time inside platform calls, taken in the same run.
        own_ns = by_name[f"BM_FindMusic/{files}"].get("own_per_file")
        own = f"own {own_ns:.0f} ns/file" if own_ns is not None else "-"
        if own_ns is not None:
            own_per_file[files] = own_ns
        target, ok = ("total <= 5 ms", met(scan <= 5000)) if files == 10000 else ("-", "")
        rows.append(["4", f"FindMusic, {files:,} files", f"{per:.0f} ns/file ({scan / 1000:.2f} ms)",
                     base, own, target, ok])
    if 100 in own_per_file and 10000 in own_per_file:
        # The scan's own cost per file stays flat as the folder grows: at 10,000 files no
        # more than 1.5 times (or 50 ns above) its cost at 100.
        small, large = own_per_file[100], own_per_file[10000]
        flat = large <= max(1.5 * small, small + 50)
        rows.append(["4", "FindMusic own cost per file, 10,000 against 100 files",
                     f"{large:.0f} ns/file", f"{small:.0f} ns/file", f"{large - small:+.0f} ns",
                     "flat", met(flat)])
    for path, label in (("MouseMove", "WM_MOUSEMOVE"), ("IgnoredKeyDown", "key 'A'")):
        t = us(f"BM_KeyHook_{path}")
        if t is not None:
            rows.append(["3", f"KeyHook time, {label} (sim, with next hook)", f"{t * 1000:.1f} ns",
                         "-", "-", "-", ""])
    return rows


def hook_rows(path: Path) -> list[list[str]]:
    rows = []
    labels = {"MouseMove": "WM_MOUSEMOVE, not acted on", "IgnoredKeyDown": "WM_KEYDOWN 'A', ignored"}
    for line in path.read_text().splitlines():
        parts = line.split()
        if len(parts) == 5 and parts[0] == "hook":
            own = float(parts[2])
            rows.append(["3", f"KeyHook instructions, {labels.get(parts[1], parts[1])}",
                         f"{parts[2]} instr", f"sim msg read {parts[3]}, sim next hook {parts[4]}",
                         "-", "<= 50 instr", met(own <= 50)])
    return rows


def wine_rows(path: Path) -> list[list[str]]:
    data = json.loads(path.read_text())
    rows = []
    play = data.get("play")
    if play:
        for kind in TYPES:
            f = play["types"][kind]
            for key, what in (("held_ms", "held the thread"), ("heard_ms", "call to first sound")):
                m, b = f["module"][key], f["bare"][key]
                ratio = m / b if m and b else None
                rows.append(["1", f"Play {kind}: {what} (median of {f['module']['samples']})",
                             f"{m:.1f} ms", f"bare play {b:.1f} ms", ratio_text(ratio),
                             "<= 1.10x", met(ratio is not None and ratio <= 1.10)])
        control = data.get("control")
        if control:
            for kind in TYPES:
                f = control["types"][kind]
                a, b = f["module"]["held_ms"], f["bare"]["held_ms"]
                rows.append(["1", f"control {kind}: bare play against itself, held",
                             f"{a:.1f} ms", f"bare play {b:.1f} ms", ratio_text(a / b), "-", ""])
        rows.append(["1", "first Play of the process (round dropped)",
                     f"{play['first_play_ms']:.0f} ms",
                     f"first bare play {play['first_bare_ms']:.0f} ms", "-", "-", ""])
    turbo = data.get("turbo")
    if turbo:
        for kind in TYPES:
            f = turbo["types"][kind]
            ratio = f["normal_ms"] / f["turbo_ms"] if f["turbo_ms"] else None
            rows.append(["2", f"tune change {kind}, TurboLoadMusic=1 (median of {f['samples']})",
                         f"{f['turbo_ms']:.1f} ms", f"TurboLoadMusic=0 {f['normal_ms']:.1f} ms",
                         f"{ratio:.2f}x faster" if ratio else "-", ">= 1.5x faster",
                         met(ratio is not None and ratio >= 1.5)])
    memory = data.get("memory")
    if memory:
        rows += memory_rows(memory)
    changes = data.get("changes")
    if changes:
        rows += change_rows(changes)
    return rows


def change_rows(c: dict) -> list[list[str]]:
    """The game loop's stall at a tune change, and the silence between the tunes: the next
    tune prepared while one plays (measured) against made at the change (baseline)."""
    def text(f: dict | None) -> str:
        if not f:
            return "-"
        return (f"median {f['median']:.1f} ms, max {f['max']:.1f} ms"
                + (f", {f['count']} changes" if "count" in f else ""))

    rows = []
    for kind in TYPES:
        for label, modes in c["types"].get(kind, {}).items():
            for key, what, target, ok in (
                    ("stall_ms", "game loop's longest stall", "median < 2 ms, max <= 8 ms",
                     lambda f: f["median"] < 2 and f["max"] <= 8),
                    ("gap_ms", "silence between tunes", "<= 40 ms", lambda f: f["max"] <= 40)):
                p, u = ((modes.get(m) or {}).get(key) for m in ("prepared", "unprepared"))
                p, u = (f if f and f["median"] is not None else None for f in (p, u))
                if p or u:
                    ratio = p["median"] / u["median"] if p and u and u["median"] else None
                    rows.append(["6", f"change {kind}, {label}: {what}", text(p), text(u),
                                 ratio_text(ratio), target, met(ok(p)) if p else "-"])
    return rows


def memory_rows(m: dict) -> list[list[str]]:
    s = m["samples"]  # at 0, 100, ..., changes; then before and after the bare plays
    per = m["changes"] // 100
    at100, end = s[1], s[per]
    bare0, bare1 = s[-2], s[-1]  # after the first fifth of the bare plays, and at their end
    span = m["changes"] - 100
    grew = end["private"] - at100["private"]
    handles = end["handles"] - at100["handles"]
    bare_counted = m["bare_plays"] - m["bare_plays"] // 5
    bare_handles = (bare1["handles"] - bare0["handles"]) / bare_counted
    bare_private = (bare1["private"] - bare0["private"]) / bare_counted
    ours = handles - bare_handles * span
    rows = [
        ["5", f"private memory, changes 100 -> {m['changes']} ({m['changes_seen']} seen)",
         f"{grew / MB:+.2f} MB", f"bare play {bare_private / 1024:+.1f} KiB/play", "-",
         "< 1 MB", met(grew < MB)],
        ["5", f"handles, changes 100 -> {m['changes']}", f"{handles:+d}",
         f"bare play {bare_handles:+.1f}/play", f"ours {ours:+.0f}", "0",
         "yes" if handles == 0 else ("NO (platform)" if abs(ours) <= span / 10 else "NO")],
    ]
    if end.get("unix_anon") and at100.get("unix_anon"):
        anon = end["unix_anon"] - at100["unix_anon"]
        rows.append(["5", "Unix anonymous memory (whole process), 100 -> end",
                     f"{anon / MB:+.2f} MB", "-", "-", "-", ""])
    return rows


def steps_rows(path: Path) -> list[list[str]]:
    """Where the time goes, from a run with the DLL of the windows-steps preset: the module's
    own work against the platform's steps it waits for."""
    data = json.loads(path.read_text())
    rows = []

    def top(steps: dict, n: int = 3) -> str:
        big = sorted(steps.items(), key=lambda kv: -kv[1])[:n]
        return ", ".join(f"{name} {ms:.1f}" for name, ms in big)

    for kind, f in data.get("play", {}).get("types", {}).items():
        st = f.get("module_steps")
        if st:
            rows.append(["1", f"Play {kind}, steps build: module's own work", f"{st['own_ms']:.2f} ms",
                         f"of {st['held_ms']:.1f} ms; {top(st['steps_ms'])}",
                         f"{st['own_ms'] / st['held_ms']:.1%}", "-", ""])
            bare, mod = f.get("bare_steps_ms", {}), st["steps_ms"]
            if bare:
                pairs = (("RenderFile", mod.get("RenderFile", 0), bare.get("render", 0)),
                         ("give back", mod.get("Release", 0) + mod.get("SetNotifyWindow", 0),
                          bare.get("release", 0)),
                         ("Run+wait", mod.get("Run", 0) + mod.get("GetState", 0),
                          bare.get("run", 0) + bare.get("wait", 0)))
                rows.append(["1", f"Play {kind}, steps build: module / bare, by step",
                             ", ".join(f"{n} {m:.1f}/{b:.1f}" for n, m, b in pairs) + " ms",
                             "-", "-", "-", ""])
    for kind, f in data.get("turbo", {}).get("types", {}).items():
        for key, label in (("turbo_steps", "TurboLoadMusic=1"), ("normal_steps", "TurboLoadMusic=0")):
            st = f.get(key)
            if st:
                rows.append(["2", f"change {kind} {label}, steps build: own work",
                             f"{st['own_ms']:.2f} ms",
                             f"of {st['held_ms']:.1f} ms; {top(st['steps_ms'], 4)}",
                             f"{st['own_ms'] / st['held_ms']:.1%}", "-", ""])
    return rows


def ratio_text(r: float | None) -> str:
    return f"{r:.2f}x" if r is not None else "-"


def met(ok: bool) -> str:
    return "yes" if ok else "NO"


HEAD = ["#", "what", "measured", "baseline", "ratio", "target", "met"]


def render(rows: list[list[str]], markdown: bool) -> str:
    if markdown:
        out = ["| " + " | ".join(HEAD) + " |", "|" + "---|" * len(HEAD)]
        out += ["| " + " | ".join(r) + " |" for r in rows]
        return "\n".join(out)
    widths = [max(len(r[i]) for r in [HEAD] + rows) for i in range(len(HEAD))]
    fmt = "  ".join("{:<%d}" % w for w in widths)
    return "\n".join(fmt.format(*r).rstrip() for r in [HEAD] + rows)


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--native", type=Path)
    ap.add_argument("--hook", type=Path)
    ap.add_argument("--wine", type=Path)
    ap.add_argument("--steps", type=Path)
    ap.add_argument("--markdown", action="store_true")
    args = ap.parse_args()
    rows: list[list[str]] = []
    if args.wine and args.wine.exists():
        rows += wine_rows(args.wine)
    if args.steps and args.steps.exists():
        rows += steps_rows(args.steps)
    if args.native and args.native.exists():
        rows += native_rows(args.native)
    if args.hook and args.hook.exists():
        rows += hook_rows(args.hook)
    rows.sort(key=lambda r: r[0])
    print(render(rows, args.markdown))
    return 0


if __name__ == "__main__":
    sys.exit(main())
