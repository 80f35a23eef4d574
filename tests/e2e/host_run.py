"""Running the stand-in host on a script, and reading its log."""

from __future__ import annotations

import re
import subprocess
import time
from pathlib import Path

from analysis import Recording
from e2e_env import host_exe, orv_env, wine
from sink_recording import PrivateSink, Recorder


# --------------------------------------------------------------------------------
# The host's log
# --------------------------------------------------------------------------------

class Event:
    """One line of the host's log: unix ms, kind (first word), the rest of the line."""

    __slots__ = ("t", "kind", "rest")

    def __init__(self, t: int, kind: str, rest: str):
        self.t, self.kind, self.rest = t, kind, rest

    def __iter__(self):
        return iter((self.t, self.kind, self.rest))

    def __getitem__(self, i):
        return (self.t, self.kind, self.rest)[i]

    def __repr__(self) -> str:
        return f"Event({self.t}, {self.kind!r}, {self.rest!r})"

    def text(self) -> str:
        """The first quoted text of the line, unescaped ('' if none)."""
        m = _QUOTED.search(self.rest)
        return unescape(m.group(1)) if m else ""

    def fields(self) -> dict[str, str]:
        """key=value pairs of the line; quoted values unescaped."""
        return {k: (unescape(q) if q is not None and v == "" else v)
                for k, q, v in ((m.group(1), m.group(2), m.group(3) or "")
                                for m in _FIELD.finditer(self.rest))}


_QUOTED = re.compile(r'"((?:[^"\\]|\\.)*)"')
_FIELD = re.compile(r'([A-Za-z_][A-Za-z0-9_]*)=(?:"((?:[^"\\]|\\.)*)"|(\S*))')
_ESC = re.compile(r'\\(x[0-9A-Fa-f]{2}|.)')


def unescape(s: str) -> str:
    """Undoes the log's escapes (\\\\ \\" \\r \\n \\xNN); bytes come back as latin-1 chars."""
    def sub(m):
        e = m.group(1)
        if e[0] == "x" and len(e) == 3:
            return chr(int(e[1:], 16))
        return {"r": "\r", "n": "\n", "t": "\t"}.get(e, e)
    return _ESC.sub(sub, s)


def parse_log(text: str) -> list[Event]:
    events = []
    for line in text.splitlines():
        line = line.rstrip("\r")
        m = re.match(r"(\d+) (\S+) ?(.*)$", line)
        if m:
            events.append(Event(int(m.group(1)), m.group(2), m.group(3)))
    return events


class Run:
    """The outcome of one host run: its log events, recording and process result."""

    def __init__(self, folder: Path, events: list[Event], recording: Recording | None,
                 returncode: int | None, stdout: str, stderr: str, timed_out: bool = False):
        self.folder = Path(folder)
        self.events = events
        self.recording = recording
        self.returncode = returncode
        self.stdout = stdout
        self.stderr = stderr
        self.timed_out = timed_out

    def __repr__(self) -> str:
        return f"<Run rc={self.returncode} events={len(self.events)} ended={self.ended}>"

    @property
    def ended(self) -> bool:
        """The host wrote its final `end` event."""
        return any(e.kind == "end" for e in self.events)

    def of_kind(self, kind: str) -> list[Event]:
        return [e for e in self.events if e.kind == kind]

    def outmod_calls(self) -> list[tuple[str, int | None]]:
        """Calls into the host's output module, e.g. [("SetVolume", 0), ("Close", None)]."""
        out = []
        for e in self.of_kind("outmod"):
            parts = e.rest.split()
            arg = int(parts[1]) if len(parts) > 1 and re.fullmatch(r"-?\d+", parts[1]) else None
            out.append((parts[0] if parts else "", arg))
        return out

    def boxes(self) -> list[dict[str, str]]:
        """Message boxes: dicts with caption, text, type, answer and t (unix ms)."""
        out = []
        for e in self.of_kind("box"):
            d = e.fields()
            d["t"] = e.t
            out.append(d)
        return out

    def box_spans(self) -> list[tuple[dict[str, str], int | None, int | None]]:
        """Each box (as boxes() gives it) with the unix ms when the watcher pressed its
        button and when it was gone (None if that was not logged). While a box is open
        it lies between its `t` and its press."""
        out = []
        for i, e in enumerate(self.events):
            if e.kind != "box":
                continue
            d = e.fields()
            d["t"] = e.t
            pressed = gone = None
            for later in self.events[i + 1:]:
                if later.kind not in ("boxpress", "boxgone"):
                    continue
                if later.fields().get("caption") != d.get("caption"):
                    continue
                if later.kind == "boxpress" and pressed is None:
                    pressed = later.t
                elif later.kind == "boxgone":
                    gone = later.t
                    break
            out.append((d, pressed, gone))
        return out

    def beats(self, t0: float = 0, t1: float = float("inf")) -> list[int]:
        """Times of the heartbeat's beats (host option --heartbeat) from t0 to t1."""
        return [e.t for e in self.of_kind("beat") if t0 <= e.t <= t1]

    def titles(self) -> list[str]:
        """Every title the game window got (settext events), in order."""
        return [e.text() for e in self.of_kind("settext")]

    def title_events(self) -> list[Event]:
        return self.of_kind("settext")

    @property
    def marks(self) -> dict[str, int]:
        """mark text -> unix ms (first occurrence)."""
        out: dict[str, int] = {}
        for e in self.of_kind("mark"):
            out.setdefault(e.rest, e.t)
        return out

    def mark(self, text: str) -> Event:
        """The mark event with this text (KeyError if the host never logged it)."""
        for e in self.of_kind("mark"):
            if e.rest == text:
                return e
        raise KeyError(f"no mark {text!r} in the log of {self.folder}")

    def play_results(self) -> list[tuple[str, int]]:
        """(name, result) of each play command."""
        out = []
        for e in self.of_kind("play"):
            m = re.match(r'"((?:[^"\\]|\\.)*)" -> (-?\d+)', e.rest)
            if m:
                out.append((unescape(m.group(1)), int(m.group(2))))
        return out

    def command(self, text: str) -> Event:
        """The first `cmd` event whose command line equals text."""
        for e in self.of_kind("cmd"):
            if e.rest == text:
                return e
        raise KeyError(f"no command {text!r} in the log of {self.folder}")

    def sleepgaps(self) -> list[tuple[int, int]]:
        return [(e.t, int(e.rest.split()[0])) for e in self.of_kind("sleepgap")]

    def results(self, kind: str) -> list[int]:
        """The '-> N' results of events such as ispaused or getoutputtime."""
        return [int(m.group(1)) for e in self.of_kind(kind)
                for m in [re.search(r"-> (-?\d+)", e.rest)] if m]

    def describe(self) -> str:
        """The log and the host's output, for failure messages."""
        lines = [f"{e.t} {e.kind} {e.rest}" for e in self.events]
        return ("--- log ---\n" + "\n".join(lines) + f"\n--- rc={self.returncode}"
                + (" (timed out)" if self.timed_out else "")
                + "\n--- stdout ---\n" + self.stdout + "\n--- stderr ---\n" + self.stderr)


def run_host(folder, script_lines, record: bool = True, timeout: float = 60.0,
             args=(), tail_ms: int = 300, env: dict[str, str] | None = None,
             at_marks: dict | None = None) -> Run:
    """Runs the stand-in host on a script in a game folder and returns the Run.

    The host is the copy in the folder when the GameFolder was made with
    host_in_folder=True. Writes script.txt, starts recording the sink (record=True), runs
    `wine <host> --log log.txt [args] script.txt` with the folder as working folder,
    keeps recording tail_ms after the host exits, and parses log.txt. A host
    that outlives `timeout` is killed (Run.timed_out). at_marks maps mark texts to
    functions run while the host goes on, once it has logged that mark (say, to remove a
    file between two steps of the script)."""
    if record and env is None:
        with PrivateSink() as private_env:
            return run_host(folder, script_lines, record, timeout, args, tail_ms, private_env,
                            at_marks)
    host = getattr(folder, "host", None) or host_exe()
    folder = Path(folder)
    env = env or orv_env()
    if not host.is_file():
        raise FileNotFoundError(f"{host} is missing: build the windows preset or set ORV_HOST")
    (folder / "script.txt").write_bytes(("\r\n".join(script_lines) + "\r\n").encode("cp1252"))
    log = folder / "log.txt"
    log.unlink(missing_ok=True)
    rec = Recorder(env, path=folder / "recording.raw").start() if record else None
    timed_out = False
    with open(folder / "host.stdout", "wb") as out, open(folder / "host.stderr", "wb") as err:
        proc = subprocess.Popen([wine(), str(host), "--log", "log.txt", *args, "script.txt"],
                                cwd=folder, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        try:
            rc = _wait(proc, log, timeout, dict(at_marks or {}))
        except subprocess.TimeoutExpired:
            timed_out = True
            proc.kill()
            rc = proc.wait()
    recording = rec.stop(tail_ms=tail_ms) if rec else None
    text = log.read_bytes().decode("latin-1") if log.exists() else ""
    return Run(folder, parse_log(text), recording, rc,
               (folder / "host.stdout").read_bytes().decode("latin-1"),
               (folder / "host.stderr").read_bytes().decode("latin-1"), timed_out)


def _wait(proc: subprocess.Popen, log: Path, timeout: float, at_marks: dict) -> int:
    """Waits for the host, running at_marks[text] as soon as the log holds `mark text`."""
    deadline = time.monotonic() + timeout
    while at_marks:
        try:
            return proc.wait(timeout=0.01)
        except subprocess.TimeoutExpired:
            if time.monotonic() > deadline:
                raise
        logged = parse_log(log.read_bytes().decode("latin-1")) if log.exists() else []
        for e in logged:
            if e.kind == "mark" and e.rest in at_marks:
                at_marks.pop(e.rest)()
    return proc.wait(timeout=max(0.0, deadline - time.monotonic()))
