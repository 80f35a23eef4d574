"""Pause, resume, stop and volume, end to end, measured on the recorded sound.

The tune is a staircase of pitches, 2.5 s each (330, 440, 550, 660, 770, 880 Hz),
so the pitch heard tells where in the tune the player is. Each pause mode gets one
host run of the same script: the tune plays 3.8 s (into its 440 Hz step), pauses
for 2.5 s, resumes for 1.5 s and is stopped. After the resume one hears

- PauseMode 1 (pause): 440 Hz again, where it stopped;
- PauseMode 2 (mute, then back to the pause position): 440 Hz again;
- PauseMode 3 (mute while the tune goes on): 550 Hz, the tune went on meanwhile;
- PauseMode 5 (stop, then play the file anew): 330 Hz, its first step.

The PauseMode 3 run also changes the host volume from 255 to 128. One more run
checks the two warnings of a stop under contradictory settings.
"""

import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

FULL_DB = -9.03  # a sine of amplitude 0.5
STEP_S = 2.5
STEPS_HZ = [330, 440, 550, 660, 770, 880]
TUNE = "sound\\steps.mp3"
CAPTION = "OrvalinMUGENBGM"
# Host volume 128 in the linear curve: 16 * (128 - 255) = -2032 hundredths of a dB.
VOL128_DROP_DB = 20.32

PLAY_MS = 3800      # from the play event to the pause: the tune is in its 440 Hz step
PAUSE_MS = 2500     # as long as one step, so a tune that went on is one step further
RESUMED_MS = 1500


def make_steps(out: Path, freqs, step_s: float, amplitude: float = 0.5) -> Path:
    """An mp3 tune of consecutive sine steps, one frequency after the other."""
    out.parent.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as td:
        parts = []
        for i, f in enumerate(freqs):
            p = Path(td) / f"step{i}.wav"
            subprocess.run(["sox", "-n", "-r", str(h.RATE), "-c", str(h.CHANNELS), "-b", "16",
                            str(p), "synth", str(step_s), "sine", str(f), "vol", str(amplitude)],
                           check=True, capture_output=True)
            parts.append(str(p))
        whole = Path(td) / "steps.wav"
        subprocess.run(["sox", *parts, str(whole)], check=True, capture_output=True)
        subprocess.run(["lame", "--quiet", "-b", "192", str(whole), str(out)],
                       check=True, capture_output=True)
    return out


def outmod_between(run, a, b):
    """The output-module calls logged after event a and before event b, in order."""
    i, j = run.events.index(a), run.events.index(b)
    out = []
    for e in run.events[i + 1:j]:
        if e.kind == "outmod":
            parts = e.rest.split()
            arg = int(parts[1]) if len(parts) > 1 and parts[1].lstrip("-").isdigit() else None
            out.append((parts[0], arg))
    return out


def heard_before_silence(test, run, moment, ms=500):
    """What was heard during the last `ms` before the sound stopped after `moment`."""
    rec = run.recording
    quiet = rec.first_silence_after(moment)
    test.assertIsNotNone(quiet, "the sound never stopped")
    test.assertLess(quiet - moment.t, 600, "the sound did not stop promptly")
    return rec.span(quiet - ms - 100, quiet - 100)


def heard_after_onset(test, run, moment, ms=500, within_ms=1000):
    """What was heard during `ms` from 100 ms after the sound came back after `moment`."""
    rec = run.recording
    onset = rec.first_sound_after(moment)
    test.assertIsNotNone(onset, "no sound came back")
    test.assertLess(onset - moment.t, within_ms, "the sound came back too late")
    return rec.span(onset + 100, onset + 100 + ms)


class PauseModeRun:
    """One host run of a pause mode; subclasses name the mode and what they expect."""

    MODE = 0
    EXTRA_INI = ""
    RESUMED_HZ = 0          # the pitch heard after the resume
    CLOSE_ON_UNPAUSE = False
    EXTRA_SCRIPT: list[str] = []

    @classmethod
    def setUpClass(cls):
        folder = h.GameFolder(f"transport_volume.PauseMode{cls.MODE}", ini=(
            f"[Settings]\r\nBeep=0\r\nPauseMode={cls.MODE}\r\n{cls.EXTRA_INI}"))
        make_steps(folder.file(TUNE), STEPS_HZ, STEP_S)
        cls.folder = folder
        cls.host = h.run_host(folder, [
            "init",
            "setvolume 255",
            "mark play", f"play {TUNE}", f"pump {PLAY_MS}",
            "mark pause", "pause", "ispaused", f"pump {PAUSE_MS}",
            "mark unpause", "unpause", "ispaused", f"pump {RESUMED_MS}",
            *cls.EXTRA_SCRIPT,
            "mark stop", "stop", "pump 600",
            "mark end", "quit",
        ])

    def setUp(self):
        run = self.host
        self.assertTrue(run.ended and not run.timed_out, run.describe())
        self.assertEqual(run.returncode, 0, run.describe())
        self.assertEqual(run.play_results(), [(TUNE, 0)], run.describe())

    def test_before_the_pause_the_tune_is_in_its_second_step(self):
        seg = heard_before_silence(self, self.host, self.host.mark("pause"))
        self.assertAlmostEqual(seg.rms_db(), FULL_DB, delta=1.0)
        self.assertAlmostEqual(seg.dominant_freq(), STEPS_HZ[1], delta=3)

    def test_silent_while_paused(self):
        run = self.host
        seg = run.recording.between(run.mark("pause"), run.mark("unpause"))
        self.assertTrue(seg.is_silent(), f"sound while paused: {seg}")

    def test_resumes_at_the_expected_place(self):
        seg = heard_after_onset(self, self.host, self.host.mark("unpause"))
        self.assertAlmostEqual(seg.rms_db(), FULL_DB, delta=1.0, msg="not back at full level")
        self.assertAlmostEqual(seg.dominant_freq(), self.RESUMED_HZ, delta=3)

    def test_ispaused_gives_the_mode_then_0(self):
        self.assertEqual(self.host.results("ispaused"), [self.MODE, 0])

    def test_output_module_hears_pause_and_resume(self):
        run = self.host
        paused = outmod_between(run, run.mark("pause"), run.mark("unpause"))
        resumed = outmod_between(run, run.mark("unpause"), run.mark("stop"))
        self.assertEqual([c for c in paused if c[0] == "Pause"], [("Pause", 1)], run.describe())
        self.assertEqual([c for c in resumed if c[0] == "Pause"], [("Pause", 0)], run.describe())
        names = [c[0] for c in resumed]
        if self.CLOSE_ON_UNPAUSE:
            self.assertEqual(names.count("Close"), 1, run.describe())
            # Close comes first, before the resume itself.
            self.assertEqual(names[0], "Close", run.describe())
        else:
            self.assertNotIn("Close", [c[0] for c in run.outmod_calls()], run.describe())

    def test_stop_silences(self):
        run = self.host
        self.assertTrue(run.recording.between(run.mark("stop"), run.mark("end")).is_silent())


class PauseMode1(PauseModeRun, unittest.TestCase):
    """Pause: a silent gap, then the tune goes on from where it stopped."""
    MODE = 1
    RESUMED_HZ = STEPS_HZ[1]

    def test_same_pitch_before_and_after_the_gap(self):
        before = heard_before_silence(self, self.host, self.host.mark("pause"))
        after = heard_after_onset(self, self.host, self.host.mark("unpause"))
        self.assertAlmostEqual(after.dominant_freq(), before.dominant_freq(), delta=3)


class PauseMode2(PauseModeRun, unittest.TestCase):
    """Muted while paused; the resume goes back to the pause position. The output
    module is also closed on resume (CloseOutModWhenUnpause=1)."""
    MODE = 2
    EXTRA_INI = "CloseOutModWhenUnpause=1\r\n"
    RESUMED_HZ = STEPS_HZ[1]
    CLOSE_ON_UNPAUSE = True


class PauseMode3(PauseModeRun, unittest.TestCase):
    """Mute: silent while the tune goes on; it comes back at the current place.
    The run ends with a host volume change from 255 to 128."""
    MODE = 3
    RESUMED_HZ = STEPS_HZ[2]
    EXTRA_SCRIPT = ["mark v128", "setvolume 128", "pump 1200"]

    def test_mute_comes_back_at_the_level_it_had(self):
        run = self.host
        before = heard_before_silence(self, run, run.mark("pause"))
        after = run.recording.between(run.mark("unpause"), run.mark("v128"))
        self.assertAlmostEqual(after.rms_db(), before.rms_db(), delta=1.0)

    def test_volume_255_to_128_drops_the_level_by_20_dB(self):
        run = self.host
        rec = run.recording
        full = rec.between(run.mark("unpause"), run.mark("v128"))
        lower = rec.between(run.mark("v128"), run.mark("stop"))
        self.assertFalse(lower.is_silent(), f"silent at volume 128: {lower}")
        self.assertAlmostEqual(full.rms_db() - lower.rms_db(), VOL128_DROP_DB, delta=1.0)

    def test_output_module_hears_0_then_minus_2032(self):
        run = self.host
        at_255 = outmod_between(run, run.command("setvolume 255"), run.mark("play"))
        at_128 = outmod_between(run, run.mark("v128"), run.mark("stop"))
        self.assertEqual(at_255, [("SetVolume", 0)], run.describe())
        self.assertEqual(at_128, [("SetVolume", -2032)], run.describe())


class PauseMode5(PauseModeRun, unittest.TestCase):
    """Pause stops the tune; the resume plays the file again from its start."""
    MODE = 5
    RESUMED_HZ = STEPS_HZ[0]


class StopWarnings(unittest.TestCase):
    """ReleaseOnStop cannot apply under PauseMode 4 nor with TurboLoadMusic: a stop
    says both, in this order."""

    @classmethod
    def setUpClass(cls):
        folder = h.GameFolder("transport_volume.StopWarnings", ini=(
            "[Settings]\r\nReleaseOnStop=1\r\nTurboLoadMusic=1\r\nPauseMode=4\r\n"
            "MsgBoxOnError=1\r\n"))
        folder.tone("sound/a.mp3", 440, 4)
        cls.host = h.run_host(folder, [
            "init", "setvolume 255",
            "mark play", "play sound\\a.mp3", "pump 1100",
            "mark stop", "stop", "pump 700",
            "mark end", "quit",
        ])

    def setUp(self):
        run = self.host
        self.assertTrue(run.ended and not run.timed_out, run.describe())
        self.assertEqual(run.returncode, 0, run.describe())

    def test_both_warnings_in_order(self):
        run = self.host
        boxes = run.boxes()
        self.assertEqual([(b["caption"], b["text"]) for b in boxes], [
            (CAPTION, "Warning : ReleaseOnStop option is invalid under PauseMode = 4 or 5."),
            (CAPTION, "Warning : ReleaseOnStop option is invalid under TurboLoadMusic = 1."),
        ], run.describe())
        for b in boxes:
            self.assertEqual(b["type"], "ok")
            self.assertGreaterEqual(b["t"], run.mark("stop").t)

    def test_the_tune_plays_and_stop_silences_it(self):
        run = self.host
        rec = run.recording
        playing = rec.between(run.of_kind("play")[0], run.mark("stop"))
        self.assertAlmostEqual(playing.rms_db(), FULL_DB, delta=1.0)
        self.assertTrue(rec.between(run.mark("stop"), run.mark("end")).is_silent())


class FadeOutOnStop(unittest.TestCase):
    """With FadeOutOnStop the game's stop returns at once and the tune fades to silence,
    linear in amplitude, over the set time."""

    FADE_MS = 1500

    @classmethod
    def setUpClass(cls):
        folder = h.GameFolder("transport_volume.FadeOutOnStop",
                              ini=f"[Settings]\r\nFadeOutOnStop={cls.FADE_MS}\r\n")
        folder.tone("sound/a.mp3", 440, 8)
        cls.host = h.run_host(folder, [
            "init", "setvolume 255",
            "play sound\\a.mp3", "pump 1500",
            "mark stop", "stop", "mark stopped", f"pump {cls.FADE_MS + 800}",
            "mark end", "quit",
        ])

    def test_the_level_follows_the_ramp_to_silence(self):
        run = self.host
        self.assertTrue(run.ended and not run.timed_out, run.describe())
        stop = run.mark("stop").t
        self.assertLess(run.mark("stopped").t - stop, 100, "Stop waited for the fade")
        rec = run.recording
        full = rec.span(stop - 600, stop).rms()
        # The ramp starts when the sound device plays what followed the stop.
        onset = next((t for t in range(int(stop), int(stop) + 600, 10)
                      if rec.span(t, t + 50).rms() < 0.95 * full), None)
        self.assertIsNotNone(onset, "the level never fell")
        for t in range(0, int(self.FADE_MS * 0.8), 50):
            with self.subTest(ms=t):
                heard = rec.span(onset + t, onset + t + 50).rms() / full
                self.assertAlmostEqual(heard, 1 - (t + 25) / self.FADE_MS, delta=0.1)
        self.assertTrue(rec.span(onset + self.FADE_MS + 100, run.mark("end").t).is_silent())


if __name__ == "__main__":
    unittest.main()
