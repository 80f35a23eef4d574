"""The demo: the real DLL plays tunes in the stand-in host under Wine.

    scripts/demo [--seconds N]                 three generated tunes (wav, mp3, ogg)
    scripts/demo [--seconds N] FILE            a music file, a playlist (.txt) or a
                                               folder request (.rnd) of yours
    scripts/demo [--seconds N] --game DIR [REQUEST]
                                               the music of your game folder DIR, with its
                                               settings: REQUEST (a name as a stage's
                                               bgmusic gives it), or every stage's music

Makes out/demo/game/ with plugins/ (the DLL and settings) and the music, plays each
request in turn in the stand-in host while recording the sound, and writes
out/demo/recording.wav and out/demo/report.txt. What a playlist or a folder request
names is copied with it, at the same names (a playlist's names are looked up from its
folder and the folders above it). Of a game folder only its settings file (with
DisplayToWindowText=1 added, so that the report names each tune) and the music are
copied; nothing in it is written.

Called by scripts/demo once the build is done and the environment is set up (it
passes the environment and the sound device in).
"""

from __future__ import annotations

import argparse
import configparser
import json
import math
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness as h  # noqa: E402

# An A major arpeggio, one tune in each format the plug-in is mostly given.
TUNES = [("sound/tune1.wav", 440.00, "A4"),
         ("sound/tune2.mp3", 554.37, "C#5"),
         ("sound/tune3.ogg", 659.25, "E5")]


def note_name(freq: float) -> str:
    if freq <= 0:
        return "-"
    names = ["C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"]
    n = round(12 * math.log2(freq / 440.0)) + 57
    return f"{names[n % 12]}{n // 12}"


def find(root: Path, name: str) -> Path | None:
    """The file or folder `name` ('\\' or '/' separated, any letter case, as Windows finds
    it) under root, or None."""
    path = root
    for part in name.replace("\\", "/").split("/"):
        if part in ("", "."):
            continue
        if not path.is_dir():
            return None
        exact = path / part
        if exact.exists():
            path = exact
            continue
        matches = [p for p in path.iterdir() if p.name.lower() == part.lower()]
        if not matches:
            return None
        path = matches[0]
    return path


def request_kind(name: str) -> str:
    """What a play request names, by its extension, as the plug-in tells them apart."""
    ext = name.rsplit(".", 1)[-1].lower() if "." in name.lstrip(".") else ""
    return {"txt": "playlist", "rnd": "folder"}.get(ext, "file")


def playlist_names(data: bytes) -> list[str]:
    """The names a playlist lists: its entries (up to the first comma) and its extra sound.
    Only to copy the files: the plug-in reads the list itself."""
    names, section = [], ""
    for line in data.decode("cp1252", "replace").splitlines():
        text = line.strip()
        if text.lower() in ("[list]", "[ext]"):
            section = text.lower()
        elif section == "[list]" and text:
            names.append(text.split(",", 1)[0].strip())
        elif section == "[ext]" and text.lower().startswith("extsound") and "=" in text:
            names.append(text.split("=", 1)[1].strip())
    return names


def folder_types(settings: Path) -> list[str]:
    """The file types a folder request looks for (RndMusicExt1 to 3 of the settings file)."""
    ini = configparser.ConfigParser(strict=False, interpolation=None)
    if settings.is_file():
        ini.read_string(settings.read_bytes().decode("cp1252", "replace"))
    got = ini["Settings"] if ini.has_section("Settings") else {}
    types = [got.get(f"RndMusicExt{i}", "") or d for i, d in ((1, "mp3"), (2, "wma"), (3, ""))]
    return [t.lower() for t in types if t]


def copy_request(source: Path, request: str, dest: Path) -> tuple[list[str], list[str]]:
    """Copies into the game folder `dest` what `request` names in the game folder `source`,
    each at its name relative to `source`: the request itself, and a playlist's entries and
    extra sound, or the files of a folder request's folder of the types the settings in
    dest name. Returns the names copied and the names not found."""
    names = [request]
    kind = request_kind(request)
    found = find(source, request)
    if kind == "playlist" and found and found.is_file():
        names += playlist_names(found.read_bytes())
    elif kind == "folder":
        names = []  # the marker itself need not exist; a marker without a folder finds nothing
        parent, _, _ = request.replace("\\", "/").rpartition("/")
        folder = find(source, parent) if parent else None
        types = folder_types(dest / "plugins" / h.INI_NAME)
        if folder and folder.is_dir():
            names = [str(p.relative_to(source)) for p in sorted(folder.iterdir())
                     if p.is_file() and p.suffix.lstrip(".").lower() in types]
        marker = find(source, request)
        if marker and marker.is_file():
            names.append(request)
    copied, missing = [], []
    for name in names:
        path = find(source, name)
        if path is None or not path.is_file():
            missing.append(name)
            continue
        rel = path.relative_to(source)
        (dest / rel).parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(path, dest / rel)
        copied.append(str(rel))
    return copied, missing


def game_root(file: Path) -> Path:
    """The game folder a playlist belongs to: of its folder and the folders above it, the
    nearest where most of the names it lists are found. For a folder request, the folder
    above its own."""
    if request_kind(file.name) == "folder":
        return file.parent.parent  # the request must name the folder
    names = playlist_names(file.read_bytes())
    best, best_count = file.parent, -1
    for folder in [file.parent, *file.parent.parents]:
        count = sum(find(folder, n) is not None for n in names)
        if count > best_count:
            best, best_count = folder, count
    return best


def stage_requests(game: Path, env: dict[str, str]) -> list[tuple[str, str]]:
    """(stage file, request) of every stage of the game folder whose music is found, as the
    checker finds it (the tree's bgm-check.exe, which reads the folder and writes nothing)."""
    proc = subprocess.run([h.wine(), str(h.build_dir() / "bgm-check.exe"), "--json", game.name],
                          cwd=game.parent, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=120)
    report = json.loads(proc.stdout.decode("utf-8", "surrogateescape"))
    return [(s["file"], s["request"]) for s in report["stages"] if s.get("request")]


def copy_settings(src: Path | None, dest: h.GameFolder) -> str:
    """Copies a settings file into the demo's game folder, with notices on so that the
    report names each tune; returns what the report says of it."""
    if src is None or not src.is_file():
        return "none in the game folder: the plug-in's defaults"
    data = src.read_bytes()
    # The first DisplayToWindowText of the section counts: this one, put right after it.
    at = data.lower().find(b"[settings]")
    line = b"DisplayToWindowText=1\r\n"
    if at < 0:
        data = data + b"\r\n[Settings]\r\n" + line
    else:
        end = data.find(b"\n", at)
        end = len(data) if end < 0 else end + 1
        data = data[:end] + (b"" if data[:end].endswith(b"\n") else b"\r\n") + line + data[end:]
    dest.write("plugins/" + h.INI_NAME, data)
    return f"a copy of {src}, with DisplayToWindowText=1 for the notices"


def main() -> int:
    ap = argparse.ArgumentParser(prog="scripts/demo", description=__doc__.split("\n\nCalled by")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("file", nargs="?", metavar="FILE|REQUEST",
                    help="a music file, playlist (.txt) or folder request (.rnd) to play instead "
                         "of the generated tunes; with --game, a name in the game folder")
    ap.add_argument("--game", metavar="DIR",
                    help="a game folder whose settings and music are copied and played; it is "
                         "only read")
    ap.add_argument("--seconds", type=float, default=None,
                    help="how long each request plays (default 5 for the generated tunes, else 15)")
    ap.add_argument("--out", default=str(ROOT / "out" / "demo"))
    ap.add_argument("--server", default="null sink", help="what the sound goes to (for the report)")
    args = ap.parse_args()

    env = dict(os.environ)
    out = Path(args.out)
    game = out / "game"
    if game.exists():
        shutil.rmtree(game)
    folder = h.GameFolder(game.name, base=out)

    # What to play: (name for the host, expected frequency or None, label).
    plays: list[tuple[str, float | None, str]] = []
    source: list[str] = []  # where the music came from, for the report
    if args.game:
        player = Path(args.game).expanduser().resolve()
        if not player.is_dir():
            print(f"scripts/demo: {args.game}: no such folder", file=sys.stderr)
            return 2
        source.append(f"game folder:  {player} (only read)")
        source.append(f"settings:     {copy_settings(find(player, 'plugins/' + h.INI_NAME), folder)}")
        requests = [("request", args.file)] if args.file else stage_requests(player, env)
        if not requests:
            print(f"scripts/demo: no stage of {player} names music that is there; name a REQUEST",
                  file=sys.stderr)
            return 2
        for label, request in requests:
            copied, missing = copy_request(player, request, folder.path)
            source.append(f"{label}: {request}: {len(copied)} file(s) copied"
                          + (f", not found: {', '.join(missing)}" if missing else ""))
            plays.append((request, None, f"{label}: {request}"))
        seconds = args.seconds or 15.0
    elif args.file:
        src = Path(args.file).expanduser().resolve()
        kind = request_kind(src.name)
        if not (src.is_file() or (kind == "folder" and src.parent.is_dir())):
            print(f"scripts/demo: {args.file}: no such file", file=sys.stderr)
            return 2
        if kind == "file":
            shutil.copy2(h.dist_dir() / h.INI_NAME, folder.file("plugins/" + h.INI_NAME))
            dest = folder.file("sound/" + src.name)
            dest.parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(src, dest)
            plays.append(("sound\\" + src.name, None, src.name))
        else:
            source.append(f"settings:     {copy_settings(h.dist_dir() / h.INI_NAME, folder)}")
            root = game_root(src)
            request = str(src.relative_to(root)).replace("/", "\\")
            copied, missing = copy_request(root, request, folder.path)
            source.append(f"{kind}:     {src} (names taken from {root}): {len(copied)} file(s) copied"
                          + (f", not found: {', '.join(missing)}" if missing else ""))
            plays.append((request, None, f"{request} ({kind})"))
        seconds = args.seconds or 15.0
    else:
        shutil.copy2(h.dist_dir() / h.INI_NAME, folder.file("plugins/" + h.INI_NAME))
        seconds = args.seconds or 5.0
        for rel, freq, label in TUNES:
            folder.tone(rel, freq, seconds + 1.0)
            plays.append((rel.replace("/", "\\"), freq, f"{Path(rel).name} ({label}, {freq:g} Hz)"))

    script = ["init", "setvolume 255"]
    for i, (name, _, _) in enumerate(plays, 1):
        script += [f"mark tune {i}", f"play {name}", f"pump {int(seconds * 1000)}"]
    script += ["mark stop", "stop", "pump 700", "mark stopped", "title", "quit"]

    total = len(plays) * seconds + 1
    print(f"Playing {len(plays)} request(s), about {total:.0f} s, through the DLL in the "
          f"stand-in host ({args.server}) ...", flush=True)
    run = h.run_host(folder, script, record=True, timeout=total + 60, env=env)
    rec = run.recording
    wav = rec.save_wav(out / "recording.wav")
    (folder.path / "recording.raw").unlink(missing_ok=True)

    report, ok = make_report(run, plays, seconds, args, folder, source)
    report_path = out / "report.txt"
    report_path.write_text(report)
    print(report)
    print(f"recording: {wav}")
    print(f"report:    {report_path}")
    print(f"host log:  {folder.path / 'log.txt'}")
    return 0 if ok else 1


def make_report(run: h.Run, plays, seconds: float, args, folder: h.GameFolder, source: list[str]):
    rec = run.recording
    t0 = run.events[0].t if run.events else rec.start_ms
    lines = []
    add = lines.append
    add("Demo of OrvalinMugenBGM.dll in the stand-in host")
    add("=" * 48)
    add(f"date:         {time.strftime('%Y-%m-%d %H:%M:%S')}")
    dll = folder.file("plugins/" + h.DLL_NAME)
    add(f"plug-in:      {dll} ({dll.stat().st_size} bytes)")
    add(f"host:         {h.host_exe()}")
    add(f"sound:        {args.server}")
    for line in source:
        add(line)
    add(f"host result:  exit code {run.returncode}" + (", TIMED OUT" if run.timed_out else "")
        + ("" if run.ended else ", no end event"))
    add(f"recording:    {rec.seconds:.1f} s, {rec.rate} Hz, whole-run level {rec.rms_db():.1f} dBFS")
    add("")
    add("Times are seconds since the host started. Levels are RMS dBFS of the mono mix")
    add("(a full-scale sine reads -3.0, the generated tunes -9.0 at full volume).")
    add("")
    add("What played")
    add("-----------")
    ok = run.ended and not run.timed_out
    results = run.play_results()
    play_events = run.of_kind("play")
    for i, (name, freq, label) in enumerate(plays, 1):
        start = run.mark(f"tune {i}")
        end = run.mark(f"tune {i + 1}") if i < len(plays) else run.mark("stop")
        result = results[i - 1][1] if i - 1 < len(results) else None
        pe = play_events[i - 1] if i - 1 < len(play_events) else None
        onset = rec.first_sound_after(start, -50)
        if onset is not None and onset > end.t + 300:
            onset = None
        seg = rec.between(pe or start, end)
        level, pitch = seg.rms_db(), seg.dominant_freq()
        add(f"tune {i}: {label}")
        add(f"    play \"{name}\" -> {result}   at {(start.t - t0) / 1000:6.2f} s, "
            f"until {(end.t - t0) / 1000:6.2f} s")
        if onset is None:
            add("    sound:  NONE heard")
            ok = False
        else:
            add(f"    sound:  from {(onset - t0) / 1000:6.2f} s "
                f"({onset - (pe.t if pe else start.t):.0f} ms after Play returned)")
        add(f"    level:  {level:6.1f} dBFS")
        add(f"    pitch:  {pitch:7.1f} Hz ({note_name(pitch)})" if pitch else "    pitch:  -")
        if freq is not None:
            good = onset is not None and abs(pitch - freq) < 3 and level > -30
            add(f"    expected {freq:g} Hz: {'OK' if good else 'WRONG'}")
            ok = ok and good
    stop, stopped = run.mark("stop"), run.mark("stopped")
    after = rec.between(stop, stopped.t + 300, margin_ms=150)
    add(f"after stop: {after.rms_db():6.1f} dBFS ({'silent' if after.is_silent() else 'NOT silent'})")
    add("")
    add("Calls into the host's output module")
    add("-----------------------------------")
    for e in run.of_kind("outmod"):
        add(f"  {(e.t - t0) / 1000:6.2f} s  {e.rest}")
    if not run.of_kind("outmod"):
        add("  (none)")
    titles = run.title_events()
    if titles:
        add("")
        add("Game window titles")
        add("------------------")
        for e in titles:
            add(f"  {(e.t - t0) / 1000:6.2f} s  {e.text()!r}")
    boxes = run.boxes()
    if boxes:
        add("")
        add("Message boxes")
        add("-------------")
        for b in boxes:
            add(f"  {(b['t'] - t0) / 1000:6.2f} s  [{b.get('caption', '')}] {b.get('text', '')!r}")
    add("")
    add("Sound heard (stretches above -50 dBFS, with their level and pitch)")
    add("------------------------------------------------------------------")
    for s, e in rec.sound_spans():
        seg = rec.span(s, e)
        pitch = seg.dominant_freq()
        add(f"  {(s - t0) / 1000:6.2f} s to {(e - t0) / 1000:6.2f} s  {seg.rms_db():6.1f} dBFS  "
            + (f"{pitch:7.1f} Hz ({note_name(pitch)})" if pitch else "-"))
    add("")
    add(f"verdict: {'OK' if ok else 'SOMETHING IS WRONG (see above)'}")
    return "\n".join(lines) + "\n", ok


if __name__ == "__main__":
    sys.exit(main())
