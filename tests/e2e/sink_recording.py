"""Recording the null sink's monitor while the host plays."""

from __future__ import annotations

import fcntl
import signal
import subprocess
import tempfile
import time
from pathlib import Path

from e2e_env import CHANNELS, RATE, SINK, orv_env

from analysis import Recording

# --------------------------------------------------------------------------------
# Recording the null sink's monitor
# --------------------------------------------------------------------------------

class Recorder:
    """Records the null sink's monitor with parec (raw s16le stereo 44.1 kHz).

    start() returns once samples flow, so nothing played after it is missed; the
    unix millisecond of the first sample is taken from the arrival time of the
    first data minus its duration."""

    def __init__(self, env: dict[str, str] | None = None, device: str | None = None,
                 path: Path | None = None):
        self.env = env if env is not None else orv_env(wine=False)
        self.device = device or self.env.get("PULSE_SOURCE") or SINK + ".monitor"
        self._own_tmp = path is None
        self.path = Path(path) if path else Path(tempfile.mkstemp(prefix="orvrec-", suffix=".raw")[1])
        self.proc: subprocess.Popen | None = None
        self.start_ms: float = 0.0

    def start(self, timeout: float = 5.0) -> "Recorder":
        self.path.parent.mkdir(parents=True, exist_ok=True)
        out = open(self.path, "wb")
        self.proc = subprocess.Popen(
            ["parec", "--raw", "--format=s16le", f"--rate={RATE}", f"--channels={CHANNELS}",
             "--latency-msec=20", "--client-name=orv-e2e-record", "-d", self.device],
            stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.PIPE, env=self.env)
        out.close()
        deadline = time.monotonic() + timeout
        while True:
            size = self.path.stat().st_size
            if size > 0:
                t = time.time_ns() / 1e6
                self.start_ms = t - size / (RATE * CHANNELS * 2) * 1000.0
                return self
            if self.proc.poll() is not None or time.monotonic() > deadline:
                err = self.proc.stderr.read().decode(errors="replace") if self.proc.stderr else ""
                self.stop()
                raise RuntimeError(f"parec delivered no data from {self.device}: {err}")
            time.sleep(0.002)

    def stop(self, tail_ms: int = 0) -> "Recording":
        """Stops after tail_ms more milliseconds and returns the Recording."""
        if tail_ms:
            time.sleep(tail_ms / 1000.0)
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        if self.proc and self.proc.stderr:
            self.proc.stderr.close()
        data = self.path.read_bytes()
        if self._own_tmp:
            self.path.unlink(missing_ok=True)
        return Recording.from_s16le(data, RATE, CHANNELS, self.start_ms)

    def __enter__(self) -> "Recorder":
        return self.start()

    def __exit__(self, *exc) -> None:
        if self.proc and self.proc.poll() is None:
            self.stop()


class PrivateSink:
    """A null sink of one's own for one host run, so runs in parallel never hear each
    other: the host's sound goes there through PULSE_SINK, and its monitor is what the
    Recorder records. A keep-alive stream makes the idle monitor send data."""

    # Wine remembers every sound device it has seen in its prefix and reads them all
    # when a process first opens one: a new sink name per run would make every later
    # start slower. So sinks come from a small pool of names, taken with a lock file.
    SLOTS = 8

    def __init__(self, env: dict[str, str] | None = None):
        self.base_env = env if env is not None else orv_env()
        self.name = ""
        self.lock = None
        self.module: str | None = None
        self.keepalive: subprocess.Popen | None = None

    def _take_slot(self) -> None:
        run_dir = Path(self.base_env.get("XDG_RUNTIME_DIR") or tempfile.gettempdir())
        deadline = time.monotonic() + 120
        while True:
            for slot in range(self.SLOTS):
                lock = open(run_dir / f"orvrun{slot}.lock", "w")
                try:
                    fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                except BlockingIOError:
                    lock.close()
                    continue
                self.lock, self.name = lock, f"orvrun{slot}"
                return
            if time.monotonic() > deadline:
                raise RuntimeError("no free private sink slot")
            time.sleep(0.2)

    def _unload_leftover(self) -> None:
        """A sink of this name left by a run that was killed."""
        proc = subprocess.run(["pactl", "list", "short", "modules"], env=self.base_env,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=20)
        for line in proc.stdout.decode(errors="replace").splitlines():
            fields = line.split("\t")
            if len(fields) > 2 and f"sink_name={self.name} " in fields[2] + " ":
                subprocess.run(["pactl", "unload-module", fields[0]], env=self.base_env,
                               stdin=subprocess.DEVNULL, capture_output=True, timeout=20)

    def __enter__(self) -> dict[str, str]:
        self._take_slot()
        self._unload_leftover()
        proc = subprocess.run(
            ["pactl", "load-module", "module-null-sink", f"sink_name={self.name}",
             f"rate={RATE}", f"channels={CHANNELS}", "format=s16le", "norewinds=1"],
            env=self.base_env, stdin=subprocess.DEVNULL, capture_output=True, timeout=20)
        if proc.returncode != 0:
            raise RuntimeError("pactl load-module failed: " + proc.stderr.decode(errors="replace"))
        self.module = proc.stdout.decode().strip()
        self.keepalive = subprocess.Popen(
            ["pacat", "--playback", "--raw", "--format=s16le", f"--rate={RATE}",
             f"--channels={CHANNELS}", "--client-name=orv-e2e-keepalive", "-d", self.name,
             "/dev/zero"], env=self.base_env, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        env = dict(self.base_env)
        env["PULSE_SINK"] = self.name
        env["PULSE_SOURCE"] = self.name + ".monitor"
        return env

    def __exit__(self, *exc) -> None:
        if self.keepalive and self.keepalive.poll() is None:
            self.keepalive.kill()
            self.keepalive.wait()
        if self.module:
            subprocess.run(["pactl", "unload-module", self.module], env=self.base_env,
                           stdin=subprocess.DEVNULL, capture_output=True, timeout=20)
        if self.lock:
            self.lock.close()


def record(seconds: float, env: dict[str, str] | None = None) -> "Recording":
    """Records the sink for a given time."""
    rec = Recorder(env).start()
    return rec.stop(tail_ms=int(seconds * 1000))
