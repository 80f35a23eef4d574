"""The demo: the real DLL plays tunes in the stand-in host under Wine.

Called by scripts/demo once the build is done and the environment is set up (it
passes the environment and the sound device in). Makes out/demo/game/ with
plugins/ and the tunes, runs the host on a script that plays them one after the
other, records the sound server, and writes out/demo/recording.wav and
out/demo/report.txt.
"""

from __future__ import annotations

import argparse
import math
import os
import shutil
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


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__)
    ap.add_argument("file", nargs="?", help="a music file to play instead of the generated tunes")
    ap.add_argument("--seconds", type=float, default=None,
                    help="how long each tune plays (default 5, or 15 for a FILE)")
    ap.add_argument("--out", default=str(ROOT / "out" / "demo"))
    ap.add_argument("--server", default="null sink", help="what the sound goes to (for the report)")
    args = ap.parse_args()

    env = dict(os.environ)
    out = Path(args.out)
    game = out / "game"
    if game.exists():
        shutil.rmtree(game)
    folder = h.GameFolder(game.name, base=out)
    shutil.copy2(h.dist_dir() / h.INI_NAME, folder.file("plugins/" + h.INI_NAME))

    # What to play: (name for the host, expected frequency or None, label).
    plays: list[tuple[str, float | None, str]] = []
    if args.file:
        src = Path(args.file).expanduser().resolve()
        if not src.is_file():
            print(f"scripts/demo: {args.file}: no such file", file=sys.stderr)
            return 2
        dest = folder.file("sound/" + src.name)
        dest.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(src, dest)
        plays.append(("sound\\" + src.name, None, src.name))
        seconds = args.seconds or 15.0
    else:
        seconds = args.seconds or 5.0
        for rel, freq, label in TUNES:
            folder.tone(rel, freq, seconds + 1.0)
            plays.append((rel.replace("/", "\\"), freq, f"{Path(rel).name} ({label}, {freq:g} Hz)"))

    script = ["init", "setvolume 255"]
    for i, (name, _, _) in enumerate(plays, 1):
        script += [f"mark tune {i}", f"play {name}", f"pump {int(seconds * 1000)}"]
    script += ["mark stop", "stop", "pump 700", "mark stopped", "title", "quit"]

    total = len(plays) * seconds + 1
    print(f"Playing {len(plays)} tune(s), about {total:.0f} s, through the DLL in the "
          f"stand-in host ({args.server}) ...", flush=True)
    run = h.run_host(folder, script, record=True, timeout=total + 60, env=env)
    rec = run.recording
    wav = rec.save_wav(out / "recording.wav")
    (folder.path / "recording.raw").unlink(missing_ok=True)

    report, ok = make_report(run, plays, seconds, args, folder)
    report_path = out / "report.txt"
    report_path.write_text(report)
    print(report)
    print(f"recording: {wav}")
    print(f"report:    {report_path}")
    print(f"host log:  {folder.path / 'log.txt'}")
    return 0 if ok else 1


def make_report(run: h.Run, plays, seconds: float, args, folder: h.GameFolder):
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
    add("Sound heard (stretches above -50 dBFS)")
    add("--------------------------------------")
    for s, e in rec.sound_spans():
        add(f"  {(s - t0) / 1000:6.2f} s to {(e - t0) / 1000:6.2f} s")
    add("")
    add(f"verdict: {'OK' if ok else 'SOMETHING IS WRONG (see above)'}")
    return "\n".join(lines) + "\n", ok


if __name__ == "__main__":
    sys.exit(main())
