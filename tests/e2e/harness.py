"""End-to-end test harness: the real DLL in the stand-in host under Wine, with sound.

Standard library only. A test typically does:

    folder = GameFolder.for_test(self, ini="[Settings]\\nBeep=0\\n")
    folder.tone("sound/a.mp3", 440, 3)
    run = run_host(folder, ["init", "setvolume 255", "mark a",
                            "play sound\\\\a.mp3", "pump 2000", "mark b",
                            "stop", "pump 500", "mark c", "quit"])
    seg = run.recording.between(run.mark("a"), run.mark("b"))
    self.assertAlmostEqual(seg.dominant_freq(), 440, delta=3)
    self.assertTrue(run.recording.between(run.mark("b"), run.mark("c")).is_silent())

Times: the host log stamps every event with unix milliseconds, and a Recording
knows the unix millisecond of its first sample, so log events and sound line up
(within about 10 ms). Sound comes out of Wine late (see LATENCY_MS);
`Recording.between` shifts by that and trims a margin off both ends so that
onsets and tails do not blur a measure.

In a TestCase keep a Run under another name than `run` (say `cls.host`):
`run` is the TestCase's own method.

Levels are RMS in dBFS over the mono mix (full-scale square wave = 0 dB, so a
full-scale sine is -3.01 dB and a sine of amplitude 0.5 is -9.03 dB).
"""

from __future__ import annotations

import array
import cmath
import fcntl
import math
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import wave
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

# The key list Ctrl+H shows (the DLL's string resource).
KEY_LIST = ("<<<< Key List - OrvalinMUGENBGM >>>>\r\n"
            "F6 : Mute\r\n"
            "F7 : Volume down\r\n"
            "F8 : Volume up\r\n"
            "F9 : Pause / Resume BGM\r\n"
            "F11 : Next BGM\r\n"
            "BackSpace : Pause(if enabled)\r\n"
            "Ctrl + X : Cut ID3tag of Current Music\r\n"
            "Ctrl + R : Allocate new txt file to stages unset bgmusic\r\n"
            "Ctrl + 5 : Open user fileA1\r\n"
            "Ctrl + 6 : Open user fileA2\r\n"
            "Ctrl + H : Show this Key List")


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


# --------------------------------------------------------------------------------
# Game folders and tunes
# --------------------------------------------------------------------------------

DLL_NAME = "OrvalinMugenBGM.dll"
INI_NAME = "OrvalinMugenBGM.ini"
HOST_NAME = "game.exe"  # the host's name when it runs from the game folder


class GameFolder:
    """A fresh scratch game folder with plugins/OrvalinMugenBGM.dll in it.

    GameFolder("name", ini=text) makes work_dir()/name anew; `ini` (text or bytes)
    becomes plugins/OrvalinMugenBGM.ini; dll=False leaves the DLL out.
    host_in_folder=True copies the stand-in host into the folder (as HOST_NAME), and
    run_host then starts that copy, so the host program's folder is the game folder
    (names relative to it, as the plug-in stores dropped files, are exercised)."""

    def __init__(self, name: str, ini: str | bytes | None = None, dll: bool = True,
                 base: Path | None = None, host_in_folder: bool = False):
        self.name = name
        self.path = Path(base or work_dir()) / name
        self.host: Path | None = None
        if self.path.exists():
            shutil.rmtree(self.path)
        (self.path / "plugins").mkdir(parents=True)
        if host_in_folder:
            if not host_exe().is_file():
                raise FileNotFoundError(f"{host_exe()} is missing: build the windows preset "
                                        f"or set ORV_HOST")
            self.host = self.path / HOST_NAME
            shutil.copy2(host_exe(), self.host)
        if dll:
            src = dist_dir() / DLL_NAME
            if not src.is_file():
                raise FileNotFoundError(f"{src} is missing: build the windows preset first "
                                        f"(scripts/build) or set ORV_DIST")
            shutil.copy2(src, self.path / "plugins" / DLL_NAME)
        if ini is not None:
            self.write("plugins/" + INI_NAME, ini)

    @classmethod
    def for_test(cls, test, **kw) -> "GameFolder":
        """A folder named after a unittest.TestCase's current test."""
        parts = test.id().split(".")
        name = re.sub(r"[^A-Za-z0-9_.-]", "_", ".".join(parts[-2:]))
        return cls(name, **kw)

    def __fspath__(self) -> str:
        return str(self.path)

    def __str__(self) -> str:
        return str(self.path)

    def file(self, rel: str) -> Path:
        """Absolute path of a file in the folder ('/' or '\\' separated)."""
        return self.path / rel.replace("\\", "/")

    def write(self, rel: str, data: str | bytes) -> Path:
        """Writes a file (text is encoded as Windows-1252, line ends kept as given)."""
        p = self.file(rel)
        p.parent.mkdir(parents=True, exist_ok=True)
        if isinstance(data, str):
            data = data.encode("cp1252", errors="strict")
        p.write_bytes(data)
        return p

    def read(self, rel: str) -> bytes:
        return self.file(rel).read_bytes()

    def exists(self, rel: str) -> bool:
        return self.file(rel).exists()

    def tone(self, rel: str, freq_hz: float, seconds: float, fmt: str | None = None,
             amplitude: float = 0.5) -> Path:
        """Writes a stereo 44.1 kHz sine tune (wav, mp3 or ogg; default: the extension)."""
        return make_tone(self.file(rel), freq_hz, seconds, fmt, amplitude)

    def tagged_mp3(self, rel: str, freq_hz: float, seconds: float, version: int = 3,
                   padding: int = 0, picture_bytes: int = 0) -> int:
        """Writes an mp3 sine tune with an ID3v2 tag in front (see id3v2_tag); returns
        the tag's whole length (10 + its size), where the tune's own bytes begin."""
        p = self.file(rel)
        make_tone(p, freq_hz, seconds, "mp3")
        tune = p.read_bytes()
        if tune[:3] == b"ID3":
            raise RuntimeError("lame wrote a tag of its own")
        tag = id3v2_tag(version, padding=padding, picture_bytes=picture_bytes)
        p.write_bytes(tag + tune)
        return len(tag)


def _syncsafe(n: int) -> bytes:
    """Four 7-bit groups, most significant first."""
    if not 0 <= n < 1 << 28:
        raise ValueError(f"{n} does not fit a syncsafe integer")
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def id3v2_tag(version: int = 3, title: str = "Stage Theme", padding: int = 0,
              picture_bytes: int = 0) -> bytes:
    """An ID3v2.3 or 2.4 tag: the header ("ID3", version, revision 0, flags 0, syncsafe
    size), a TIT2 title frame, optionally an APIC picture frame (a PNG-looking picture
    of picture_bytes bytes) and `padding` zero bytes. Frame sizes are plain big-endian
    numbers in 2.3 and syncsafe in 2.4, as the versions have them."""
    if version not in (3, 4):
        raise ValueError("ID3v2.3 or 2.4 only")

    def frame(frame_id: str, data: bytes) -> bytes:
        size = len(data).to_bytes(4, "big") if version == 3 else _syncsafe(len(data))
        return frame_id.encode("ascii") + size + b"\0\0" + data

    body = frame("TIT2", b"\0" + title.encode("latin-1"))
    if picture_bytes:
        # No 0xFF byte anywhere, so nothing in the picture looks like an MPEG frame start.
        picture = b"\x89PNG\r\n\x1a\n" + bytes((i * 131 + 7) % 255
                                                for i in range(max(0, picture_bytes - 8)))
        body += frame("APIC", b"\0image/png\0\x03cover\0" + picture)
    body += b"\0" * padding
    return b"ID3" + bytes([version, 0, 0]) + _syncsafe(len(body)) + body


def stage_def(name: str, bgmusic: str | None) -> bytes:
    """A stage definition file as the game's stages come: sections, comments, CR LF line
    ends, blanks around '=' and many keys. bgmusic is the whole music line (for example
    "bgmusic = " or "bgmusic = sound/river.mp3"), or None for a stage without that key."""
    music = ["[Music]", "; The tune or playlist played on this stage"]
    if bgmusic is not None:
        music.append(bgmusic)
    music += ["bgvolume = 0", ""]
    lines = [
        f"; {name} - stage definition",
        "",
        "[Info]",
        f'name = "{name}"',
        f'displayname = "{name}"',
        "versiondate = 09,01,2009",
        "mugenversion = 1.0",
        'author = "Stage Maker"   ; who made it',
        "",
        "[Camera]",
        "startx = 0",
        "starty = 0",
        "boundleft = -150",
        "boundright = 150",
        "boundhigh = -25",
        "boundlow = 0",
        "verticalfollow = .2",
        "floortension = 0",
        "tension = 50",
        "",
        "[PlayerInfo]",
        "p1startx = -70",
        "p1starty = 0",
        "p1facing = 1",
        "p2startx = 70",
        "p2starty = 0",
        "p2facing = -1",
        "leftbound = -1000",
        "rightbound = 1000",
        "",
        "[Bound]",
        "screenleft = 15",
        "screenright = 15",
        "",
        "[StageInfo]",
        "zoffset = 220",
        "autoturn = 1",
        "resetBG = 1",
        "",
        "[Shadow]",
        "intensity = 96",
        "color = 0,0,0",
        "yscale = .3",
        "",
        *music,
        "[BGdef]",
        f"spr = stages/{name.lower()}.sff",
        "debugbg = 0",
        "",
        '[BG Sky]',
        "type = normal",
        "spriteno = 0, 0",
        "start = 0, 0",
        "delta = .5, .5",
        "",
    ]
    return "\r\n".join(lines).encode("cp1252")


def make_tone(out: Path, freq_hz: float, seconds: float, fmt: str | None = None,
              amplitude: float = 0.5) -> Path:
    """A sine tone file made with sox (and lame for mp3)."""
    out = Path(out)
    out.parent.mkdir(parents=True, exist_ok=True)
    fmt = (fmt or out.suffix.lstrip(".")).lower()
    synth = ["synth", f"{seconds}", "sine", f"{freq_hz}", "vol", f"{amplitude}"]
    fmt_args = ["-n", "-r", str(RATE), "-c", str(CHANNELS)]
    if fmt == "wav":
        _run(["sox", *fmt_args, "-b", "16", "-t", "wav", str(out), *synth])
    elif fmt == "ogg":
        _run(["sox", *fmt_args, "-t", "vorbis", str(out), *synth])
    elif fmt == "mp3":
        with tempfile.TemporaryDirectory() as td:
            tmp = Path(td) / "t.wav"
            _run(["sox", *fmt_args, "-b", "16", "-t", "wav", str(tmp), *synth])
            _run(["lame", "--quiet", "-b", "192", str(tmp), str(out)])
    else:
        raise ValueError(f"unknown tune format {fmt!r}")
    return out


def _run(cmd: list[str]) -> None:
    proc = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)
    if proc.returncode != 0:
        raise RuntimeError(f"{cmd[0]} failed: {proc.stderr.decode(errors='replace')}")


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


# --------------------------------------------------------------------------------
# Analysis
# --------------------------------------------------------------------------------

def _db(x: float) -> float:
    return 20.0 * math.log10(x) if x > 0 else FLOOR_DB


class Segment:
    """A stretch of a recording: mono samples in [-1, 1] with their unix-ms span."""

    def __init__(self, samples, rate: int, start_ms: float):
        self.samples = samples
        self.rate = rate
        self.start_ms = start_ms

    @property
    def seconds(self) -> float:
        return len(self.samples) / self.rate

    @property
    def end_ms(self) -> float:
        return self.start_ms + 1000.0 * len(self.samples) / self.rate

    def __len__(self) -> int:
        return len(self.samples)

    def __repr__(self) -> str:
        return f"<Segment {self.seconds:.3f} s from {self.start_ms:.0f} ms, {self.rms_db():.1f} dB>"

    def rms(self) -> float:
        n = len(self.samples)
        if n == 0:
            return 0.0
        return math.sqrt(math.fsum(x * x for x in self.samples) / n)

    def rms_db(self) -> float:
        """RMS level in dBFS (-150 for digital silence or an empty segment)."""
        return _db(self.rms())

    def peak(self) -> float:
        return max((abs(x) for x in self.samples), default=0.0)

    def is_silent(self, threshold_db: float = SILENCE_DB) -> bool:
        return self.rms_db() < threshold_db

    def level_of(self, freq_hz: float) -> float:
        """Level (dBFS RMS) of the component at one frequency (Hann window + Goertzel).

        A sine of amplitude a at that frequency reads 20*log10(a/sqrt(2))."""
        x = self._analysis_window(2.0)
        n = len(x)
        if n < 16:
            return FLOOR_DB
        w = [0.5 - 0.5 * math.cos(2 * math.pi * i / (n - 1)) for i in range(n)]
        coeff = 2.0 * math.cos(2.0 * math.pi * freq_hz / self.rate)
        s1 = s2 = 0.0
        for xi, wi in zip(x, w):
            s0 = xi * wi + coeff * s1 - s2
            s2, s1 = s1, s0
        omega = 2.0 * math.pi * freq_hz / self.rate
        re_ = s1 - s2 * math.cos(omega)
        im_ = s2 * math.sin(omega)
        mag = math.hypot(re_, im_)
        amplitude = 2.0 * mag / math.fsum(w)
        return _db(amplitude / math.sqrt(2.0))

    def dominant_freq(self, fmin: float = 20.0, fmax: float = 8000.0) -> float:
        """Frequency (Hz) of the strongest component between fmin and fmax.

        FFT with a Hann window, then a parabolic fit on the log magnitudes around
        the peak bin: within about 1 Hz for a steady sine of 0.2 s or more. Returns
        0.0 for silence."""
        x = self._analysis_window(1.0)
        if len(x) < 64 or self.rms() == 0.0:
            return 0.0
        n = 1 << (len(x).bit_length() - 1)
        x = x[(len(x) - n) // 2:(len(x) - n) // 2 + n]
        w = [0.5 - 0.5 * math.cos(2 * math.pi * i / n) for i in range(n)]
        bins = _fft([complex(xi * wi) for xi, wi in zip(x, w)])
        mags = [abs(c) for c in bins[:n // 2]]
        lo = max(1, int(fmin * n / self.rate))
        hi = min(n // 2 - 2, int(fmax * n / self.rate) + 1)
        k = max(range(lo, hi + 1), key=mags.__getitem__)
        a, b, c = (math.log(max(mags[k + d], 1e-30)) for d in (-1, 0, 1))
        denom = a - 2 * b + c
        delta = 0.5 * (a - c) / denom if denom != 0 else 0.0
        return (k + delta) * self.rate / n

    def _analysis_window(self, max_seconds: float):
        """The middle part of the segment, at most max_seconds long."""
        n = len(self.samples)
        m = min(n, int(max_seconds * self.rate))
        i = (n - m) // 2
        return self.samples[i:i + m]


def _fft(a: list[complex]) -> list[complex]:
    """In-place iterative radix-2 FFT (len(a) a power of two)."""
    n = len(a)
    j = 0
    for i in range(1, n):
        bit = n >> 1
        while j & bit:
            j ^= bit
            bit >>= 1
        j |= bit
        if i < j:
            a[i], a[j] = a[j], a[i]
    length = 2
    while length <= n:
        wl = cmath.exp(-2j * math.pi / length)
        half = length // 2
        tw = [1 + 0j] * half
        for k in range(1, half):
            tw[k] = tw[k - 1] * wl
        for start in range(0, n, length):
            for k in range(half):
                u = a[start + k]
                v = a[start + k + half] * tw[k]
                a[start + k] = u + v
                a[start + k + half] = u - v
        length <<= 1
    return a


class Recording(Segment):
    """A whole recording; `start_ms` is the unix millisecond of its first sample."""

    def __init__(self, samples, rate: int, start_ms: float, latency_ms: float = LATENCY_MS):
        super().__init__(samples, rate, start_ms)
        self.latency_ms = latency_ms
        self.raw: bytes | None = None   # the recorded s16le frames, when recorded
        self.channels = 1

    @classmethod
    def from_s16le(cls, data: bytes, rate: int, channels: int, start_ms: float) -> "Recording":
        pcm = array.array("h")
        pcm.frombytes(data[:len(data) - len(data) % (2 * channels)])
        if sys.byteorder != "little":
            pcm.byteswap()
        if channels == 1:
            mono = [v / 32768.0 for v in pcm]
        else:
            chans = [pcm[c::channels] for c in range(channels)]
            scale = 1.0 / (32768.0 * channels)
            mono = [sum(f) * scale for f in zip(*chans)]
        rec = cls(mono, rate, start_ms)
        rec.raw, rec.channels = bytes(data[:2 * channels * len(mono)]), channels
        return rec

    @classmethod
    def load_wav(cls, path, start_ms: float = 0.0) -> "Recording":
        with wave.open(str(path), "rb") as w:
            if w.getsampwidth() != 2:
                raise ValueError("only 16-bit wav files")
            data = w.readframes(w.getnframes())
            return cls.from_s16le(data, w.getframerate(), w.getnchannels(), start_ms)

    def save_wav(self, path) -> Path:
        """Writes the recording as a 16-bit wav file (as recorded, else the mono mix)."""
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        if self.raw is not None:
            frames, channels = self.raw, self.channels
        else:
            pcm = array.array("h", (max(-32768, min(32767, int(round(x * 32768.0))))
                                    for x in self.samples))
            if sys.byteorder != "little":
                pcm.byteswap()
            frames, channels = pcm.tobytes(), 1
        with wave.open(str(path), "wb") as w:
            w.setnchannels(channels)
            w.setsampwidth(2)
            w.setframerate(self.rate)
            w.writeframes(frames)
        return path

    # --- cutting ---------------------------------------------------------------

    def _index(self, unix_ms: float) -> int:
        i = int(round((unix_ms - self.start_ms) * self.rate / 1000.0))
        return max(0, min(len(self.samples), i))

    def span(self, t0_ms: float, t1_ms: float) -> Segment:
        """The samples between two unix-ms times, exactly (no latency shift, no trim)."""
        i0, i1 = self._index(t0_ms), self._index(t1_ms)
        return Segment(self.samples[i0:max(i0, i1)], self.rate, self.start_ms + i0 * 1000.0 / self.rate)

    def between(self, a, b, margin_ms: float = MARGIN_MS, latency_ms: float | None = None) -> Segment:
        """What was heard between two moments of the log.

        a and b are unix ms (numbers) or log Events. The span is shifted by the
        output latency and margin_ms is trimmed off each end."""
        lat = self.latency_ms if latency_ms is None else latency_ms
        t0 = _ms(a) + lat + margin_ms
        t1 = _ms(b) + lat - margin_ms
        return self.span(t0, max(t0, t1))

    def after(self, a, seconds: float, offset_s: float = 0.0, margin_ms: float = MARGIN_MS,
              latency_ms: float | None = None) -> Segment:
        """`seconds` of sound starting offset_s after moment a (same shifting as between)."""
        t = _ms(a) + offset_s * 1000.0
        return self.between(t, t + seconds * 1000.0, margin_ms, latency_ms)

    def rel(self, t0_s: float, t1_s: float) -> Segment:
        """Seconds relative to the start of the recording."""
        return self.span(self.start_ms + t0_s * 1000.0, self.start_ms + t1_s * 1000.0)

    # --- finding sound ----------------------------------------------------------

    def _window_levels(self, i0: int, window_ms: float):
        w = max(1, int(self.rate * window_ms / 1000.0))
        x = self.samples
        for i in range(i0, len(x) - w + 1, w):
            yield i, _db(math.sqrt(math.fsum(v * v for v in x[i:i + w]) / w))

    def first_sound_after(self, a, threshold_db: float = -40.0, window_ms: float = 10.0):
        """Unix ms of the first window_ms window after moment a (no latency shift) whose
        level reaches threshold_db, or None."""
        for i, lvl in self._window_levels(self._index(_ms(a)), window_ms):
            if lvl >= threshold_db:
                return self.start_ms + i * 1000.0 / self.rate
        return None

    def first_silence_after(self, a, threshold_db: float = SILENCE_DB, window_ms: float = 20.0):
        """Unix ms of the first window after moment a whose level is below threshold_db."""
        for i, lvl in self._window_levels(self._index(_ms(a)), window_ms):
            if lvl < threshold_db:
                return self.start_ms + i * 1000.0 / self.rate
        return None

    def sound_spans(self, threshold_db: float = -50.0, window_ms: float = 20.0,
                    min_gap_ms: float = 60.0) -> list[tuple[float, float]]:
        """(start_ms, end_ms) of each stretch of sound, gaps shorter than min_gap_ms merged."""
        spans: list[list[float]] = []
        step = window_ms
        for i, lvl in self._window_levels(0, window_ms):
            if lvl < threshold_db:
                continue
            t = self.start_ms + i * 1000.0 / self.rate
            if spans and t - spans[-1][1] <= min_gap_ms:
                spans[-1][1] = t + step
            else:
                spans.append([t, t + step])
        return [(s, e) for s, e in spans]


def _ms(moment) -> float:
    if isinstance(moment, Event):
        return float(moment.t)
    return float(moment)


# Module-level forms of the measurements, for readability in tests.
def rms_db(segment: Segment) -> float:
    return segment.rms_db()


def is_silent(segment: Segment, threshold_db: float = SILENCE_DB) -> bool:
    return segment.is_silent(threshold_db)


def dominant_freq(segment: Segment) -> float:
    return segment.dominant_freq()


def level_of(freq_hz: float, segment: Segment) -> float:
    return segment.level_of(freq_hz)


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
             args=(), tail_ms: int = 300, env: dict[str, str] | None = None) -> Run:
    """Runs the stand-in host on a script in a game folder and returns the Run.

    The host is the copy in the folder when the GameFolder was made with
    host_in_folder=True. Writes script.txt, starts recording the sink (record=True), runs
    `wine <host> --log log.txt [args] script.txt` with the folder as working folder,
    keeps recording tail_ms after the host exits, and parses log.txt. A host
    that outlives `timeout` is killed (Run.timed_out)."""
    if record and env is None:
        with PrivateSink() as private_env:
            return run_host(folder, script_lines, record, timeout, args, tail_ms, private_env)
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
            rc = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            timed_out = True
            proc.kill()
            rc = proc.wait()
    recording = rec.stop(tail_ms=tail_ms) if rec else None
    text = log.read_bytes().decode("latin-1") if log.exists() else ""
    return Run(folder, parse_log(text), recording, rc,
               (folder / "host.stdout").read_bytes().decode("latin-1"),
               (folder / "host.stderr").read_bytes().decode("latin-1"), timed_out)


# --------------------------------------------------------------------------------
# Tunes that change pitch, and following pitches through a recording
# --------------------------------------------------------------------------------

def make_tone_sequence(out: Path, parts, fmt: str | None = None,
                       amplitude: float = 0.5) -> Path:
    """A tune of several sine tones one after the other: parts is a list of
    (freq_hz, seconds). Made with sox (and lame for mp3)."""
    out = Path(out)
    out.parent.mkdir(parents=True, exist_ok=True)
    fmt = (fmt or out.suffix.lstrip(".")).lower()
    with tempfile.TemporaryDirectory() as td:
        pieces = [make_tone(Path(td) / f"p{i}.wav", f, s, "wav", amplitude)
                  for i, (f, s) in enumerate(parts)]
        whole = Path(td) / "whole.wav"
        _run(["sox", *map(str, pieces), str(whole)])
        if fmt == "wav":
            shutil.copyfile(whole, out)
        elif fmt == "mp3":
            _run(["lame", "--quiet", "-b", "192", str(whole), str(out)])
        elif fmt == "ogg":
            _run(["sox", str(whole), "-t", "vorbis", str(out)])
        else:
            raise ValueError(f"unknown tune format {fmt!r}")
    return out


def pitch_runs(segment: Segment, freqs, window_ms: float = 100.0, threshold_db: float = -40.0,
               min_windows: int = 2) -> list[tuple[float, float, float]]:
    """Which of the candidate pitches sounds, window by window: a list of
    (freq, start_ms, end_ms) runs of consecutive windows where that candidate is the
    loudest and reaches threshold_db. Runs shorter than min_windows are dropped (onset
    clicks, cross-fades) and neighbours of the same pitch are then merged."""
    w = max(16, int(segment.rate * window_ms / 1000.0))
    x = segment.samples
    runs: list[list[float]] = []
    for i in range(0, len(x) - w + 1, w):
        win = Segment(x[i:i + w], segment.rate, segment.start_ms + i * 1000.0 / segment.rate)
        best, best_db = None, threshold_db
        for f in freqs:
            lvl = win.level_of(f)
            if lvl >= best_db:
                best, best_db = f, lvl
        if best is None:
            continue
        if runs and runs[-1][0] == best and abs(runs[-1][2] - win.start_ms) < 1.0:
            runs[-1][2] = win.end_ms
        else:
            runs.append([best, win.start_ms, win.end_ms])
    kept = [r for r in runs if r[2] - r[1] >= min_windows * window_ms - 1.0]
    merged: list[list[float]] = []
    for r in kept:
        if merged and merged[-1][0] == r[0]:
            merged[-1][2] = r[2]
        else:
            merged.append(list(r))
    return [(f, s, e) for f, s, e in merged]
