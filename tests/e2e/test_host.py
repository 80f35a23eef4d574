"""The stand-in host's own tools, as the end-to-end tests rely on them.

Two host runs with the plug-in loaded (it takes no part in what is checked, beyond
its message hook and its answer to message 0x0417):
- from the game folder, with a heartbeat and a box delay: the heartbeat stops while
  the window thread is held and goes on in a modal box's loop; a box stays open for
  the delay; another program's window takes the foreground and the plug-in's
  bring-to-front request gives it back; files dropped while no plug-in hook runs
  arrive as the shell's own functions read them;
- peeking before removing, in heap-busy mode: every message passes the hooks twice,
  once peeked and once removed; the pump keeps making heap calls.
"""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

KEY_HELP_CAPTION = "Key Help - OrvalinMUGENBGM -"


def quoted_texts(rest):
    return [h.unescape(q) for q in re.findall(r'"((?:[^"\\]|\\.)*)"', rest)]


def heap_calls(run):
    return [int(e.rest) for e in run.of_kind("heapcalls")]


class HeartbeatBoxesForegroundDrops(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("host.HeartbeatBoxesForegroundDrops", host_in_folder=True)
        f.write("sound/a b.mp3", b"not a tune")
        f.write("c.mp3", b"not a tune")
        cls.folder = f
        cls.host = h.run_host(f, [
            "init",
            "pump 300",
            "mark held", "sleep 600", "pump 300",
            "mark help", "key 0x48 ctrl", "pump 300",
            "decoy", "foreground",
            "post 0x0417", "pump 200", "foreground",
            "quit",
            # No hook any more: the game window reads the drop itself (--read-drops).
            'drop "sound\\a b.mp3" c.mp3', "pump 100",
        ], record=False, args=["--heartbeat", "50", "--box-delay", "800", "--read-drops"])

    def setUp(self):
        self.assertTrue(self.host.ended and not self.host.timed_out, self.host.describe())

    def test_runs_from_the_game_folder(self):
        self.assertIn("exe=" + h.HOST_NAME, self.host.of_kind("start")[0].rest)

    def test_heartbeat_stops_while_the_window_thread_is_held(self):
        held = self.host.mark("held").t
        gap = [t for t, _ in self.host.sleepgaps() if t > held][0]
        self.assertEqual(self.host.beats(held + 1, gap - 1), [])
        self.assertTrue(self.host.beats(0, held), "no beat before")
        self.assertTrue(self.host.beats(gap, self.host.mark("help").t), "no beat after")

    def test_box_stays_for_the_delay_and_the_modal_loop_beats(self):
        spans = [s for s in self.host.box_spans() if s[0]["caption"] == KEY_HELP_CAPTION]
        self.assertEqual(len(spans), 1, self.host.box_spans())
        box, pressed, gone = spans[0]
        self.assertIsNotNone(pressed)
        self.assertIsNotNone(gone)
        self.assertLessEqual(pressed, gone)
        # 800 ms at a beat every 50 ms: the box was not pressed at once.
        self.assertGreater(len(self.host.beats(box["t"], pressed)), 5)

    def test_foreground_goes_to_another_window_and_back(self):
        self.assertEqual([e.rest for e in self.host.of_kind("foreground")], ["decoy", "game"])

    def test_dropped_files_arrive_as_the_shell_reads_them(self):
        drops = self.host.of_kind("dropfiles")
        self.assertEqual(len(drops), 1, self.host.describe())
        names = quoted_texts(drops[0].rest)
        folder = "\\" + self.folder.name + "\\"
        self.assertEqual(len(names), 2, drops[0].rest)
        self.assertTrue(names[0].endswith(folder + "sound\\a b.mp3"), names)
        self.assertTrue(names[1].endswith(folder + "c.mp3"), names)
        posted = self.host.of_kind("drop")[0].rest
        self.assertTrue(posted.endswith("-> posted"), posted)


class PeekFirstHeapBusy(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("host.PeekFirstHeapBusy")
        cls.runs = {}
        for name, args in (("plain", []), ("peek", ["--peek-first", "--heap-busy"])):
            cls.runs[name] = h.run_host(f, [
                "init", "probe", "pump 200", "heapcalls", "pump 300", "heapcalls", "quit",
            ], record=False, args=args)

    def test_each_message_passes_the_hooks_once_or_peeked_then_removed(self):
        for name, expected in (("plain", ["removed=1"]), ("peek", ["removed=0", "removed=1"])):
            with self.subTest(name):
                run = self.runs[name]
                self.assertTrue(run.ended, run.describe())
                self.assertEqual([e.rest for e in run.of_kind("probe")], expected)

    def test_heap_busy_pump_keeps_calling_the_heap(self):
        self.assertEqual(heap_calls(self.runs["plain"]), [0, 0])
        first, second = heap_calls(self.runs["peek"])
        self.assertGreater(second, first)
        self.assertGreater(first, 0)


if __name__ == "__main__":
    unittest.main()
