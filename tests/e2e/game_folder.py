"""Scratch game folders for the stand-in host, and the tunes, tags and stage files in them."""

from __future__ import annotations

import re
import shutil
import subprocess
import tempfile
from pathlib import Path

from e2e_env import CHANNELS, RATE, dist_dir, host_exe, work_dir


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
