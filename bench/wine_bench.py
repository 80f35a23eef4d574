"""Benchmarks of the real DLL in the stand-in host under Wine.

    python3 bench/wine_bench.py [--rounds N] [--changes N] [--json FILE] [--steps]
                                [play] [control] [turbo] [memory] [changes]

- play: in one host process, for wav, mp3 and ogg in turn, N rounds (default 20) of a bare
  play (`bareplay`: the graph calls the plug-in makes, made by the host) and the plug-in's
  Play (`timeplay`) of the same file, one after the other; the first round of each type is
  dropped. Medians of the time each call held the window thread, and of the time from the
  call to the first audible sample in the recording of the sink.
- control: the same rounds with the bare play in both places: the bare play against itself,
  to show how far the ratio of two medians strays on this machine when nothing differs.
- turbo: in one host process, for each type, N rounds of a tune change (a Play of another
  file of the same type while one plays) with TurboLoadMusic 1 and then 0 (`setini`, `quit`,
  `init` between them); first round dropped. Medians of the time the change held the thread.
- memory: 500 tune changes (a playlist started, two F11 advances, Stop and Play, Pause and
  UnPause then Play), the process's committed private memory, handle count (by kind) and
  Unix resident anonymous memory every 100 changes; then 100 bare plays of the same files
  in the same order, to tell the platform's growth from ours (taken over the last 80).
- changes: for each type, a playlist of three 1.5 s tunes played through with
  ChangeSoundOnLoop 1 (a change to the next entry every 1.5 s), then one tune alone, which
  plays again after itself; the host's window thread beats every 5 ms. Twice: with the next
  tune prepared while one plays (PrepareNextTune 1) and without (0). Per kind of change:
  the longest stall of the game's message loop at each change (the longest turn of the loop
  that took the plug-in's graph message or one of its timers, the ways a tune's end
  reaches it; the host logs each: the longest of them, one per change), the longest turn of any kind in the stretch (for the machine's own noise),
  and the silence between the last sound of one tune and the first of
  the next, from the recording.
- --steps: the same with the DLL of the windows-steps preset, which logs the time of each
  platform call it makes: each call's time is split into the platform's steps and the
  module's own work.

Needs the windows tree built (build/windows/host.exe, dist/plugins). Prints the figures;
--json writes them for bench/report.py. Timings only, nothing is asserted.
"""

from __future__ import annotations

import argparse
import array
import json
import os
import re
import signal
import statistics
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness as h  # noqa: E402

TYPES = ("wav", "mp3", "ogg")
# A sample at or above this magnitude (-60 dBFS) is audible; the sink is digital silence
# otherwise.
AUDIBLE = 33
SETTINGS = "plugins\\OrvalinMugenBGM.ini"


# --------------------------------------------------------------------------------
# Running the host
# --------------------------------------------------------------------------------

def unix_pid_of(folder: Path) -> int | None:
    """The Linux process of the host running in `folder` (its working folder)."""
    exe = str(h.host_exe())
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if (os.readlink(entry / "cwd") == str(folder)
                    and (entry / "cmdline").read_bytes().split(b"\0")[0].decode() == exe):
                return int(entry.name)
        except (OSError, UnicodeDecodeError):
            continue
    return None


def unix_anon_bytes(pid: int | None) -> int | None:
    """RssAnon of a Linux process: what the process holds of its own, both its Windows
    side and its Unix side (sound server client, decoders)."""
    if pid is None:
        return None
    try:
        for line in Path(f"/proc/{pid}/status").read_text().splitlines():
            if line.startswith("RssAnon:"):
                return int(line.split()[1]) * 1024
    except OSError:
        return None
    return None


class HostRun:
    """One host process on a script, in a private sink, optionally recorded; with `memory`,
    each `memory` line of its log gets the Linux process's RssAnon beside it."""

    def __init__(self, folder: h.GameFolder, lines: list[str], record: bool,
                 memory: bool = False, timeout: float = 1800.0, host_args: tuple = ()):
        self.folder = Path(folder)
        self.events: list[h.Event] = []
        self.samples: array.array | None = None
        self.start_ms = 0.0
        self.unix_anon: list[int | None] = []
        self.steps: list[tuple[float, float, str]] = []  # (unix ms, ms, name)
        log = self.folder / "log.txt"
        log.unlink(missing_ok=True)
        steps = self.folder / "steps.txt"
        steps.unlink(missing_ok=True)
        (self.folder / "script.txt").write_bytes(("\r\n".join(lines) + "\r\n").encode("cp1252"))
        with h.PrivateSink() as env:
            env["ORV_STEP_LOG"] = "steps.txt"  # written by a DLL of the windows-steps preset
            rec = h.Recorder(env, path=self.folder / "recording.raw").start() if record else None
            with open(self.folder / "host.out", "wb") as out:
                proc = subprocess.Popen(
                    [h.wine(), str(h.host_exe()), *host_args, "--log", "log.txt", "script.txt"],
                    cwd=self.folder, env=env, stdin=subprocess.DEVNULL, stdout=out,
                    stderr=subprocess.STDOUT)
                self._follow(proc, log, timeout, memory)
            if rec is not None:
                time.sleep(0.3)
                rec.proc.send_signal(signal.SIGINT)
                rec.proc.wait(timeout=10)
                if rec.proc.stderr:
                    rec.proc.stderr.close()
                data = rec.path.read_bytes()
                self.samples = array.array("h")
                self.samples.frombytes(data[:len(data) - len(data) % 4])
                self.start_ms = rec.start_ms
                rec.path.unlink(missing_ok=True)
        self.events = h.parse_log(log.read_bytes().decode("latin-1"))
        if steps.exists():
            for line in steps.read_text().splitlines():
                at, us, name = line.split()
                self.steps.append((int(at) / 1000.0, int(us) / 1000.0, name))
        if not any(e.kind == "end" for e in self.events):
            tail = "\n".join(f"{e.t} {e.kind} {e.rest}" for e in self.events[-30:])
            raise RuntimeError(f"the host did not end its script in {self.folder}:\n{tail}")

    def _follow(self, proc: subprocess.Popen, log: Path, timeout: float, memory: bool) -> None:
        """Waits for the host; with `memory`, reads the new lines of its log every 50 ms (the
        script pumps a while after each `memory`) and notes the process's RssAnon at each
        `memory` line. Without it the host has the machine to itself."""
        deadline = time.monotonic() + timeout
        pid = None
        read = 0
        pending = b""
        while True:
            try:
                done = proc.wait(timeout=0.05 if memory else 1.0) is not None
            except subprocess.TimeoutExpired:
                done = False
            if memory and not done:
                pid = pid or unix_pid_of(self.folder)
                with open(log, "rb") if log.exists() else open(os.devnull, "rb") as f:
                    f.seek(read)
                    chunk = f.read()
                read += len(chunk)
                pending += chunk
                lines = pending.split(b"\n")
                pending = lines.pop()
                self.unix_anon += [unix_anon_bytes(pid) for line in lines
                                   if re.match(rb"\d+ memory ", line)]
            if done:
                return
            if time.monotonic() > deadline:
                proc.kill()
                proc.wait()
                raise RuntimeError(f"the host ran over {timeout} s in {self.folder}")

    def of_kind(self, kind: str) -> list[h.Event]:
        return [e for e in self.events if e.kind == kind]

    def first_audible_ms(self, at_ms: float, within_ms: float = 2000.0) -> float | None:
        """Milliseconds from at_ms to the first audible sample after it, or None."""
        if self.samples is None:
            return None
        frame = max(0, int(round((at_ms - self.start_ms) * h.RATE / 1000.0)))
        last = min(len(self.samples) // 2, frame + int(within_ms * h.RATE / 1000.0))
        x = self.samples
        for i in range(frame, last):
            if abs(x[2 * i]) >= AUDIBLE or abs(x[2 * i + 1]) >= AUDIBLE:
                return (self.start_ms + i * 1000.0 / h.RATE) - at_ms
        return None

    def audible_spans(self, t0_ms: float, t1_ms: float, window_ms: float = 5.0,
                      min_gap_ms: float = 15.0) -> list[list[float]]:
        """[start, end] unix ms of each audible stretch between t0_ms and t1_ms."""
        spans: list[list[float]] = []
        if self.samples is None:
            return spans
        w = int(h.RATE * window_ms / 1000.0)
        i = max(0, int((t0_ms - self.start_ms) * h.RATE / 1000.0))
        last = min(len(self.samples) // 2, int((t1_ms - self.start_ms) * h.RATE / 1000.0))
        x = self.samples
        for i in range(i, last - w, w):
            if max(abs(v) for v in x[2 * i:2 * (i + w)]) < AUDIBLE:
                continue
            t = self.start_ms + i * 1000.0 / h.RATE
            if spans and t - spans[-1][1] <= min_gap_ms:
                spans[-1][1] = t + window_ms
            else:
                spans.append([t, t + window_ms])
        return spans

    def silent_before(self, at_ms: float, span_ms: float = 50.0) -> bool:
        """Nothing audible in the span_ms before at_ms (the previous tune has ended)."""
        if self.samples is None:
            return False
        i1 = max(0, int(round((at_ms - self.start_ms) * h.RATE / 1000.0)))
        i0 = max(0, i1 - int(span_ms * h.RATE / 1000.0))
        return all(abs(v) < AUDIBLE for v in self.samples[2 * i0:2 * i1])


def step_split(run: HostRun, events: list[h.Event]) -> dict:
    """Where the time of timed calls went (a DLL of the windows-steps preset): the median
    of each platform step's time within a call, and of what is left, the module's own."""
    per_step: dict[str, list[float]] = {}
    own, held_all = [], []
    for e in events:
        held, at = timing(e)
        inside = [(ms, name) for t, ms, name in run.steps if at <= t <= at + held]
        sums: dict[str, float] = {}
        for ms, name in inside:
            sums[name] = sums.get(name, 0.0) + ms
        for name in set(per_step) | set(sums):
            per_step.setdefault(name, []).append(sums.get(name, 0.0))
        own.append(held - sum(sums.values()))
        held_all.append(held)
    return {"held_ms": median(held_all), "own_ms": median(own),
            "steps_ms": {n: median(v) for n, v in sorted(per_step.items())}}


def bare_steps(events: list[h.Event]) -> dict:
    """The median of each step of bare plays (their `steps=` field), in milliseconds."""
    per: dict[str, list[float]] = {}
    for e in events:
        for item in e.fields().get("steps", "").split(","):
            if ":" in item:
                name, us = item.split(":")
                per.setdefault(name, []).append(int(us) / 1000.0)
    return {n: median(v) for n, v in per.items()}


def timing(e: h.Event) -> tuple[float, float]:
    """(held ms, unix ms at the start) of a timed line (`us=... at=...`)."""
    f = e.fields()
    return int(f["us"]) / 1000.0, int(f["at"]) / 1000.0


def median(values: list[float]) -> float | None:
    return statistics.median(values) if values else None


def settings_text(new_keys: tuple[str, ...] = (), **keys: int) -> str:
    """The shipped sample settings file with some keys set. A key of new_keys that the
    sample does not have yet goes first in [Settings]."""
    text = (ROOT / "src" / "plugin" / "OrvalinMugenBGM.ini").read_text(encoding="cp1252")
    for key, value in keys.items():
        text, n = re.subn(rf"^{key}=.*$", f"{key}={value}", text, flags=re.M)
        if n == 0 and key in new_keys:
            text, n = re.subn(r"^(\[Settings\](\r?\n))", rf"\g<1>{key}={value}\g<2>", text,
                              flags=re.M)
        if n != 1:
            raise ValueError(f"no {key} in the sample settings file")
    return text


# --------------------------------------------------------------------------------
# 1. Play against a bare play
# --------------------------------------------------------------------------------

def bench_play(rounds: int, control: bool = False) -> dict:
    """With `control`, the bare play stands in for the module's Play too: the same rounds
    compare the bare play with itself, which shows how far the medians' ratio strays when
    nothing differs."""
    folder = h.GameFolder(folder_name("control" if control else "play"), base=work_base(),
                          ini=settings_text())
    for kind in TYPES:
        folder.tone(f"sound/tune.{kind}", 440, 4)
    lines = ["init", "setvolume 255"]
    play, stop = ("bareplay", "barestop") if control else ("timeplay", "stop")
    for kind in TYPES:
        name = f"sound\\tune.{kind}"
        for r in range(rounds):
            lines += [f"mark {kind} {r}",
                      f"bareplay {name}", "pump 500", "barestop", "pump 300",
                      f"{play} {name}", "pump 500", stop, "pump 300"]
    lines += ["barerelease", "quit"]
    run = HostRun(folder, lines, record=True)
    if control:
        bare, module = run.of_kind("bareplay")[0::2], run.of_kind("bareplay")[1::2]
    else:
        bare, module = run.of_kind("bareplay"), run.of_kind("timeplay")
    if len(bare) != len(TYPES) * rounds or len(module) != len(bare):
        raise RuntimeError("play: a call is missing from the log")
    out: dict = {"rounds": rounds, "first_play_ms": timing(module[0])[0],
                 "first_bare_ms": timing(bare[0])[0], "types": {}}
    for t, kind in enumerate(TYPES):
        figures: dict = {}
        for label, events in (("bare", bare), ("module", module)):
            held, heard, unclear = [], [], 0
            for e in events[t * rounds + 1:(t + 1) * rounds]:  # the first round dropped
                if not e.rest.split(" -> ")[1].startswith(("0x0 ", "0x1 ", "0 ")):
                    raise RuntimeError(f"play: {label} failed: {e.rest}")
                ms, at = timing(e)
                held.append(ms)
                first = run.first_audible_ms(at)
                if first is None or not run.silent_before(at):
                    unclear += 1
                else:
                    heard.append(first)
            figures[label] = {"held_ms": median(held), "heard_ms": median(heard),
                              "samples": len(held), "unclear": unclear}
        figures["bare_steps_ms"] = bare_steps(bare[t * rounds + 1:(t + 1) * rounds])
        if run.steps:
            figures["module_steps"] = step_split(run, module[t * rounds + 1:(t + 1) * rounds])
        out["types"][kind] = figures
    return out


# --------------------------------------------------------------------------------
# 2. Turbo re-load
# --------------------------------------------------------------------------------

def bench_turbo(rounds: int) -> dict:
    folder = h.GameFolder(folder_name("turbo"), base=work_base(), ini=settings_text())
    for kind in TYPES:
        folder.tone(f"sound/a.{kind}", 440, 4)
        folder.tone(f"sound/b.{kind}", 660, 4)
    lines = []
    for kind in TYPES:
        for r in range(rounds):
            for turbo in (1, 0):
                lines += [f"setini {SETTINGS} Settings TurboLoadMusic {turbo}",
                          "init", "setvolume 255",
                          f"play sound\\a.{kind}", "pump 400",
                          f"mark turbo={turbo}",
                          f"timeplay sound\\b.{kind}", "pump 400", "quit"]
    run = HostRun(folder, lines, record=False)
    changes = run.of_kind("timeplay")
    if len(changes) != len(TYPES) * rounds * 2:
        raise RuntimeError("turbo: a change is missing from the log")
    boxes = run.of_kind("box")
    out: dict = {"rounds": rounds, "boxes": len(boxes), "types": {}}
    for t, kind in enumerate(TYPES):
        mine = changes[t * rounds * 2 + 2:(t + 1) * rounds * 2]  # the first round dropped
        on = [timing(e)[0] for e in mine[0::2]]
        off = [timing(e)[0] for e in mine[1::2]]
        out["types"][kind] = {"turbo_ms": median(on), "normal_ms": median(off),
                              "samples": len(on)}
        if run.steps:
            out["types"][kind]["turbo_steps"] = step_split(run, mine[0::2])
            out["types"][kind]["normal_steps"] = step_split(run, mine[1::2])
    return out


# --------------------------------------------------------------------------------
# 5. No growth over a long game
# --------------------------------------------------------------------------------

# Each change gives the output module its volume once, and the playlist entries' own
# volumes tell the changes apart: vol=V gives 16 * (V - 255).
CYCLE = [
    ("play sound\\list.txt", -80),                       # a playlist: its first entry
    ("key F11", -160),                                   # the next entry
    ("key F11", -240),                                   # and the next
    ("stop\r\nplay sound\\d.wav", 0),                    # Stop, then Play of a file
    ("pause\r\npump 100\r\nunpause\r\npump 100\r\nplay sound\\one.txt", -320),
]


def bench_memory(changes: int, bare_plays: int) -> dict:
    ini = settings_text(ChangeSoundOnLoop=1, LoopRandom=0, InitRandom=0)
    folder = h.GameFolder(folder_name("memory"), base=work_base(), ini=ini)
    folder.tone("sound/a.mp3", 440, 5)
    folder.tone("sound/b.ogg", 550, 5)
    folder.tone("sound/c.wav", 660, 5)
    folder.tone("sound/d.wav", 770, 5)
    folder.tone("sound/e.ogg", 880, 5)
    # F11 ends the entry playing by a seek past its end: under Wine an mp3 seeked there never
    # ends, so the entries F11 leaves are a wav and an ogg.
    folder.write("sound/list.txt", "[Orvalin_BGMList]\r\n[List]\r\n"
                 "sound\\c.wav,vol=250\r\nsound\\b.ogg,vol=245\r\nsound\\a.mp3,vol=240\r\n")
    folder.write("sound/one.txt", "[Orvalin_BGMList]\r\n[List]\r\nsound\\e.ogg,vol=235\r\n")
    lines = ["init", "setvolume 255", "pump 200", "memory", "pump 300"]
    expected = []
    for n in range(changes):
        command, volume = CYCLE[n % len(CYCLE)]
        lines += command.split("\r\n") + ["pump 250"]
        expected.append(volume)
        if (n + 1) % 100 == 0:
            lines += ["memory", "pump 300"]
    # The bare plays go through the files of the changes in their order; their growth is
    # taken after the first fifth of them, as the changes' after the first 100.
    lines += ["stop", "pump 200"]
    files = ["c.wav", "b.ogg", "a.mp3", "d.wav", "e.ogg"]
    for n in range(bare_plays):
        if n == bare_plays // 5:
            lines += ["barestop", "pump 200", "memory", "pump 300"]
        lines += [f"bareplay sound\\{files[n % len(files)]}", "pump 250"]
    lines += ["barestop", "pump 200", "memory", "pump 300", "barerelease", "quit"]
    run = HostRun(folder, lines, record=False, memory=True)
    volumes = [int(e.rest.split()[1]) for e in run.of_kind("outmod")
               if e.rest.startswith("SetVolume ")][1:]  # the first is `setvolume 255`'s
    made = sum(1 for got, want in zip(volumes, expected) if got == want)
    samples = []
    for e, anon in zip(run.of_kind("memory"), run.unix_anon):
        f = e.fields()
        samples.append({"private": int(f["private"]), "handles": int(f["handles"]),
                        "kinds": f["kinds"], "unix_anon": anon})
    return {"changes": changes, "changes_seen": made,
            "changes_in_order": volumes[:len(expected)] == expected,
            "bare_plays": bare_plays, "samples": samples}


# --------------------------------------------------------------------------------

# --------------------------------------------------------------------------------
# 6. Tune changes: the game loop's stall and the silence between tunes
# --------------------------------------------------------------------------------

TUNE_S = 1.5


def bench_changes(changes: int = 6) -> dict:
    out: dict = {"changes": changes, "tune_s": TUNE_S, "types": {}}
    for mode, prepare in (("prepared", 1), ("unprepared", 0)):
        for kind, labels in bench_changes_once(changes, prepare).items():
            for label, figures in labels.items():
                out["types"].setdefault(kind, {}).setdefault(label, {})[mode] = figures
    return out


def bench_changes_once(changes: int, prepare: int) -> dict:
    folder = h.GameFolder(folder_name(f"changes-{prepare}"), base=work_base(),
                          ini=settings_text(("PrepareNextTune",), ChangeSoundOnLoop=1,
                                            PrepareNextTune=prepare))
    lines = ["init", "setvolume 255"]
    sections = []
    for kind in TYPES:
        entries = []
        for i, hz in enumerate((440, 550, 660)):
            folder.tone(f"sound/{kind}{i}.{kind}", hz, TUNE_S)
            entries.append(f"sound\\{kind}{i}.{kind}".encode())
        folder.write(f"sound/list_{kind}.txt",
                     b"[Orvalin_BGMList]\r\n[List]\r\n" + b"\r\n".join(entries) + b"\r\n")
        for label, name in (("next entry", f"sound\\list_{kind}.txt"),
                            ("same tune", f"sound\\{kind}0.{kind}")):
            sections.append((kind, label))
            lines += [f"mark {kind} {label}", f"play {name}",
                      f"pump {int((changes + 0.5) * TUNE_S * 1000)}", "stop", "pump 600"]
    lines += ["mark done", "quit"]
    run = HostRun(folder, lines, record=True, host_args=("--heartbeat", "5"))
    marks = [e for e in run.events if e.kind == "mark"]
    # (time, the longest turn of the loop since the beat before, in ms)
    beats = [(e.t, int(e.fields().get("busy_us", 0)) / 1000) for e in run.of_kind("beat")]
    turns = [(e.t, int(e.fields()["us"]) / 1000) for e in run.of_kind("plugturn")]
    out: dict = {}
    for (kind, label), start, end in zip(sections, marks, marks[1:]):
        play = next(e.t for e in run.of_kind("play") if start.t < e.t < end.t)
        stop = play + (changes + 0.5) * TUNE_S * 1000
        spans = run.audible_spans(play, stop)
        gaps = [b[0] - a[1] for a, b in zip(spans, spans[1:])]
        # A silence shorter than the spans' 15 ms merges them: such changes count as 0 ms,
        # as many as the tunes heard say there were.
        period = TUNE_S * 1000 + (median(gaps) or 0.0)
        heard = int((spans[-1][1] - spans[0][0]) // period) if spans else 0
        gaps += [0.0] * (heard - len(gaps))
        # Each change is made in one turn that carried the plug-in's message or timer: the
        # longest such turns while the tunes play, as many as there were changes, bound the
        # changes' stalls (a change without a break leaves no silence to place it by).
        known = sorted((busy for t, busy in turns if play + 100 <= t <= stop),
                       reverse=True)[:len(gaps)]
        anywhere = [busy for t, busy in beats if play + 100 <= t <= stop]
        out.setdefault(kind, {})[label] = {
            "stall_ms": {"median": median(known), "max": max(known, default=None),
                         "count": len(known)},
            "longest_turn_ms": max(anywhere, default=None),
            "gap_ms": {"median": median(gaps), "max": max(gaps, default=None),
                       "count": len(gaps)}}
    return out


def folder_name(part: str) -> str:
    """The game folder of a part; runs with the steps DLL keep theirs apart."""
    return f"bench-{part}" + ("-steps" if os.environ.get("ORV_DIST", "").endswith("-steps")
                              else "")


def work_base() -> Path:
    return Path(os.environ.get("ORV_BENCH_WORK") or h.build_dir() / "bench-work")


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("parts", nargs="*", default=["play", "control", "turbo", "memory", "changes"])
    ap.add_argument("--rounds", type=int, default=20)
    ap.add_argument("--changes", type=int, default=500)
    ap.add_argument("--bare-plays", type=int, default=100)
    ap.add_argument("--json", type=Path)
    ap.add_argument("--steps", action="store_true",
                    help="use the DLL of the windows-steps preset and split each call's time "
                         "into the platform's steps and the module's own work")
    args = ap.parse_args()
    if args.steps:
        steps = Path(str(h.build_dir()) + "-steps")
        os.environ["ORV_DIST"] = str(steps)
        if not (steps / h.DLL_NAME).is_file():
            ap.error(f"build the {steps.name} preset first")
    results: dict = {}
    for part in args.parts:
        t0 = time.monotonic()
        if part == "play":
            results["play"] = bench_play(args.rounds)
        elif part == "control":
            results["control"] = bench_play(args.rounds, control=True)
        elif part == "turbo":
            results["turbo"] = bench_turbo(args.rounds)
        elif part == "memory":
            results["memory"] = bench_memory(args.changes, args.bare_plays)
        elif part == "changes":
            results["changes"] = bench_changes()
        else:
            ap.error(f"unknown part {part!r}")
        print(f"== {part} ({time.monotonic() - t0:.0f} s)")
        print(json.dumps(results[part], indent=1))
    if args.json:
        args.json.parent.mkdir(parents=True, exist_ok=True)
        args.json.write_text(json.dumps(results, indent=1) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
