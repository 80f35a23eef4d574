"""Hot keys and title-bar notices, as a player meets them.

One host run, keys posted to the game window as a keyboard would send them:

- nothing playing yet: F9 does nothing; F6, F7 and F8 still mute and adjust and show
  their notices; H alone does nothing, Ctrl+H shows the key list; Ctrl+6 starts the
  configured program; message 0x0485 holds the game's thread;
- a single file (two pitches in a row): its notice comes and goes back to the game's
  start-up title although the game renamed its window meanwhile; at its end the tune
  starts again from the beginning; F6 mutes and unmutes, F9 pauses and resumes;
- a three-entry playlist played in order: natural ends go 0, 1, 2, 0; played again,
  F11 moves on to the next entry at once.
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

GAME_TITLE = "Hotkey Test Game"
RENAMED = "Renamed By Game"
LOOP_A, LOOP_B = 440.0, 935.0          # sound\loop.wav: 1.2 s of each
P0, P1, P2 = 330.0, 550.0, 770.0       # the three playlist entries, 1.5 s each; each
                                       # change adds 0.2-0.3 s before the next is heard
PITCHES = (LOOP_A, LOOP_B, P0, P1, P2)

KEY_HELP_CAPTION = "Key Help - OrvalinMUGENBGM -"

MUTE_ON = " [Mute ON]"
VOL_FULL = "Volume : over 255  (Adjust : 0) "
VOL_UP = "Volume : over 255  (Adjust : +2) "
VOL_DOWN = "Volume : 253  (Adjust : -2) "

# Ctrl+6 opens OpenUserFileA2 with OpenUserSoftwareA. A harmless program instead of
# the editor: the command interpreter writes a file into the game folder (the
# current folder it inherits).
INI = ("[Settings]\r\n"
       "DisplayToWindowText=1\r\n"
       "DispWindowTime=5\r\n"
       "ChangeSoundOnLoop=1\r\n"
       "LoopRandom=0\r\n"
       "InitRandom=0\r\n"
       "OpenUserSoftwareA=cmd.exe\r\n"
       "OpenUserFileA2=/c echo started> ctrl6.txt\r\n")


def dedup(seq):
    """Consecutive repeats dropped (a notice's first timer tick writes its text again)."""
    out = []
    for x in seq:
        if not out or out[-1] != x:
            out.append(x)
    return out


class HotkeysAndNotices(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("hotkeys_notices.HotkeysAndNotices", ini=INI)
        h.make_tone_sequence(f.file("sound/loop.wav"), [(LOOP_A, 1.2), (LOOP_B, 1.2)])
        f.tone("sound/p0.wav", P0, 1.5)
        f.tone("sound/p1.wav", P1, 1.5)
        f.tone("sound/p2.wav", P2, 1.5)
        f.write("sound/three.txt", "[Orvalin_BGMList]\r\n[List]\r\n"
                "sound\\p0.wav\r\nsound\\p1.wav\r\nsound\\p2.wav\r\n")
        cls.folder = f
        cls.host = h.run_host(f, [
            "init",
            "setvolume 255",
            # Nothing plays yet.
            "mark idle", "key F9", "ispaused", "pump 300",
            "mark idle_f6", "key F6", "pump 300", "key F6", "pump 300",
            "key F8", "pump 300", "key F7", "pump 300", "key F7", "pump 300",
            "key F8", "pump 300",
            "mark h", "key H", "pump 700",
            "mark ctrlh", "key 0x48 ctrl", "pump 1500",
            "mark ctrl6", "key 0x36 ctrl", "pump 2500",
            "mark hold", "post 0x0485 500", "pump 300",
            "mark idle_end", "title",
            # A single file.
            "mark single", "play sound\\loop.wav", "pump 1000",
            "settitle " + RENAMED, "pump 3000",
            "mark single_end", "title",
            "mark mute", "key F6", "pump 1000",
            "mark unmute", "key F6", "pump 1000",
            "mark pause", "key F9", "pump 1000",
            "mark resume", "key F9", "pump 1000",
            "mark stop1", "stop", "pump 300",
            # A playlist in order, then F11.
            "mark list", "play sound\\three.txt", "pump 6500",
            "mark liststop", "stop", "pump 300",
            "mark list2", "play sound\\three.txt", "pump 800",
            "mark f11", "key F11", "pump 1200",
            "mark end", "stop", "pump 300",
            "quit",
        ], args=["--title", GAME_TITLE], timeout=90)

    def setUp(self):
        self.assertTrue(self.host.ended and not self.host.timed_out, self.host.describe())

    # --- helpers ----------------------------------------------------------------

    def events_between(self, a, b, kind=None):
        """Log events from mark a up to mark b (of one kind, or all)."""
        ev = self.host.events
        i0, i1 = ev.index(self.host.mark(a)), ev.index(self.host.mark(b))
        return [e for e in ev[i0:i1] if kind is None or e.kind == kind]

    def titles_between(self, a, b):
        return [e.text() for e in self.events_between(a, b, "settext")]

    def heard(self, a, b, **kw):
        return self.host.recording.between(self.host.mark(a), self.host.mark(b), **kw)

    def runs(self, a, b):
        """(pitch, start, end) heard between two marks, times in ms after mark a."""
        t0 = self.host.mark(a).t
        seg = self.heard(a, b, margin_ms=0)
        return [(f, s - t0, e - t0) for f, s, e in h.pitch_runs(seg, PITCHES)]

    # --- nothing playing ----------------------------------------------------------

    def test_f9_does_nothing_while_nothing_plays(self):
        calls = self.events_between("idle", "idle_f6", "outmod")
        self.assertEqual(calls, [], "F9 with nothing playing reached the output module")
        self.assertEqual(self.host.results("ispaused")[:1], [0])

    def test_f6_f7_f8_work_while_nothing_plays(self):
        titles = dedup(self.titles_between("idle_f6", "h"))
        self.assertEqual(titles, [MUTE_ON, VOL_FULL, VOL_UP, VOL_FULL, VOL_DOWN, VOL_FULL])
        volumes = [int(e.rest.split()[1]) for e in self.events_between("idle_f6", "h", "outmod")
                   if e.rest.startswith("SetVolume ")]
        self.assertEqual(volumes, [0, 0, 0, 0, -100, 0])

    def test_f8_after_full_volume_shows_the_adjustment(self):
        # No SubVolume stored: one F8 press makes the adjustment 100, shown as +2.
        ev = self.host.events
        i = ev.index(self.host.command("key F8"))
        after = [e.text() for e in ev[i:] if e.kind == "settext"]
        self.assertEqual(after[:1], [VOL_UP])

    def test_ctrl_h_shows_the_key_list_and_h_alone_nothing(self):
        boxes = self.host.boxes()
        self.assertEqual(len(boxes), 1, boxes)
        box = boxes[0]
        self.assertEqual(box["caption"], KEY_HELP_CAPTION)
        self.assertEqual(box["text"], h.KEY_LIST)
        self.assertEqual(box["type"], "ok")
        self.assertEqual(box["owner"], "game")
        self.assertGreaterEqual(box["t"], self.host.mark("ctrlh").t,
                                "the box came before Ctrl+H: H alone opened it")
        self.assertLess(box["t"], self.host.mark("ctrl6").t)

    def test_ctrl_6_starts_the_configured_program(self):
        self.assertTrue(self.folder.exists("ctrl6.txt"),
                        "cmd.exe /c echo ... did not run: no ctrl6.txt in the game folder")
        self.assertEqual(self.folder.read("ctrl6.txt").strip(), b"started")

    def test_message_0x0485_holds_the_game_thread(self):
        gaps = [ms for t, ms in self.host.sleepgaps()
                if self.host.mark("hold").t <= t <= self.host.mark("idle_end").t]
        self.assertEqual(len(gaps), 1, self.host.sleepgaps())
        self.assertAlmostEqual(gaps[0], 500, delta=60)

    # --- a single file ------------------------------------------------------------

    def test_playing_notice_comes_and_goes_back_to_the_start_up_title(self):
        evs = self.events_between("single", "single_end", "settext")
        texts = [e.text() for e in evs]
        self.assertEqual(dedup(texts), ["playing : sound\\loop.wav", RENAMED, GAME_TITLE])
        shown = evs[0].t
        restored = evs[-1].t
        # Five ticks of a third of a second, counted down six times: about 2 s.
        self.assertGreater(restored - shown, 1500)
        self.assertLess(restored - shown, 3000)
        titles = self.host.of_kind("title")
        self.assertEqual([e.text() for e in titles], [GAME_TITLE, GAME_TITLE])

    def test_single_file_starts_again_at_its_end(self):
        runs = self.runs("single", "mute")
        pitches = [f for f, _, _ in runs]
        self.assertEqual(pitches[:3], [LOOP_A, LOOP_B, LOOP_A], runs)
        # The first pitch comes back after the whole tune (2.4 s), not sooner.
        self.assertGreater(runs[2][1], runs[0][1] + 1800, runs)

    def test_f6_mutes_and_unmutes(self):
        mute = self.host.mark("mute").t
        before = self.host.recording.between(mute - 1200, mute)
        self.assertAlmostEqual(before.rms_db(), -9.03, delta=1.0)
        muted = self.heard("mute", "unmute")
        self.assertTrue(muted.is_silent(), f"sound while muted: {muted!r}")
        self.assertIn(MUTE_ON, self.titles_between("mute", "unmute"))
        back = self.heard("unmute", "pause")
        self.assertAlmostEqual(back.rms_db(), -9.03, delta=1.0)

    def test_f9_pauses_and_resumes(self):
        paused = self.heard("pause", "resume")
        self.assertTrue(paused.is_silent(), f"sound while paused: {paused!r}")
        resumed = self.heard("resume", "stop1")
        self.assertAlmostEqual(resumed.rms_db(), -9.03, delta=1.0)
        calls = [e.rest for e in self.events_between("pause", "stop1", "outmod")]
        self.assertEqual(calls, ["Pause 1", "Pause 0"])

    # --- a playlist in order --------------------------------------------------------

    def test_playlist_entries_follow_in_order_at_their_ends(self):
        runs = self.runs("list", "liststop")
        self.assertEqual([f for f, _, _ in runs][:4], [P0, P1, P2, P0], runs)

    def test_f11_moves_on_to_the_next_entry(self):
        runs = self.runs("list2", "end")
        self.assertEqual([f for f, _, _ in runs], [P0, P1], runs)
        key = self.host.mark("f11").t - self.host.mark("list2").t
        # The first entry would end by itself about 1.5 s after its start; the next one
        # comes at once after the key (sound onset about a quarter of a second).
        self.assertLess(runs[1][1] - key, 650, runs)
        self.assertLess(runs[0][2] - key, 650, runs)


if __name__ == "__main__":
    unittest.main()
