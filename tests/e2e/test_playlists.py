"""Playlists and folder play, as a player hears and sees them.

One host run plays, one after the other: a playlist entry with a start option, two
entries with absolute volumes, a playlist whose first entry carries an end option, a
playlist with an extra looping sound (then stopped), a text file that is not a
playlist, and a folder request. The recording says which pitches sounded and how
loud; the title bar (notices on) says what the plug-in announced.
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

FULL_DB = -9.03  # a sine of amplitude 0.5

# Pitches, far enough apart to tell apart in 100 ms windows.
TWO_FIRST, TWO_REST = 330.0, 660.0        # sound\two.wav: 1 s, then 3 s
PLAIN = 523.25                            # sound\c.wav
RAIN = 1200.0                             # sound\rain.wav, the extra sound
END_FIRST, END_LAST = 440.0, 880.0        # sound\end.wav: 2 s, then 2 s
MP3_A, MP3_B, WAV_C = 392.0, 587.33, 784.0  # music\a.mp3, music\b.mp3, music\c.wav
ALL = (TWO_FIRST, TWO_REST, PLAIN, RAIN, END_FIRST, END_LAST, MP3_A, MP3_B, WAV_C)

INI = ("[Settings]\r\n"
       "DisplayToWindowText=1\r\n"
       "DispWindowTime=1\r\n"       # short notices, so the queued list notice comes soon
       "InitRandom=0\r\n")          # a playlist starts at its first entry


def steady_level(seg: h.Segment, freq: float, window_ms: float = 200.0) -> float:
    """Median level of one frequency over short windows. A long window would read a
    steady tone low after a glitch of the sound output (a jump in its phase)."""
    w = int(seg.rate * window_ms / 1000.0)
    levels = sorted(h.Segment(seg.samples[i:i + w], seg.rate, 0).level_of(freq)
                    for i in range(0, len(seg.samples) - w + 1, w))
    return levels[len(levels) // 2] if levels else h.FLOOR_DB


def playlist(*entries: str, tail: str = "") -> str:
    return "\r\n".join(["[Orvalin_BGMList]", "[List]", *entries]) + "\r\n" + tail


class Playlists(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        f = h.GameFolder("playlists.Playlists", ini=INI)
        h.make_tone_sequence(f.file("sound/two.wav"), [(TWO_FIRST, 1.0), (TWO_REST, 3.0)])
        h.make_tone_sequence(f.file("sound/end.wav"), [(END_FIRST, 2.0), (END_LAST, 2.0)])
        f.tone("sound/c.wav", PLAIN, 4)
        f.tone("sound/rain.wav", RAIN, 2)
        f.tone("music/a.mp3", MP3_A, 4)
        f.tone("music/b.mp3", MP3_B, 4)
        f.tone("music/c.wav", WAV_C, 4)      # not one of the folder-play types
        f.write("begin.txt", playlist("sound\\two.wav,beg=1000"))
        f.write("v255.txt", playlist("sound\\c.wav,vol=255"))
        f.write("v128.txt", playlist("sound\\c.wav,vol=128"))
        f.write("three.txt", playlist("sound\\end.wav,end=2000", "sound\\c.wav", "sound\\two.wav"))
        f.write("ext.txt", playlist("sound\\c.wav", tail="[EXT]\r\nextsound=sound\\rain.wav\r\n"))
        f.write("words.txt", "Some notes about the stage\r\nsound\\c.wav\r\n")
        cls.folder = f
        cls.host = h.run_host(f, [
            "init",
            "setvolume 255",
            "mark beg", "play begin.txt", "pump 2500",
            "mark v255", "play v255.txt", "pump 1500",
            "mark v128", "play v128.txt", "pump 1500",
            "mark three", "play three.txt", "pump 4500",
            "mark ext", "play ext.txt", "pump 2000",
            "mark extstop", "stop", "pump 1000",
            "mark before_words", "play v255.txt", "pump 800",
            "mark words", "play words.txt", "pump 1200",
            "mark rnd", "play music\\random.rnd", "pump 2000",
            "mark end", "stop", "pump 300",
            "quit",
        ], timeout=90)

    def setUp(self):
        self.assertTrue(self.host.ended and not self.host.timed_out, self.host.describe())

    def heard(self, a, b, **kw):
        return self.host.recording.between(self.host.mark(a), self.host.mark(b), **kw)

    def pitches(self, a, b):
        """The pitches heard between two marks, in order (onset and tail included)."""
        seg = self.heard(a, b, margin_ms=0)
        return [f for f, _, _ in h.pitch_runs(seg, ALL)]

    def test_start_option_skips_the_first_second(self):
        run = self.host
        self.assertIn(("begin.txt", 0), run.play_results())
        # From the request to the next one: only the second pitch, from the start.
        self.assertEqual(self.pitches("beg", "v255"), [TWO_REST])
        whole = self.heard("beg", "v255", margin_ms=0)
        self.assertLess(whole.level_of(TWO_FIRST), -50, "the skipped first second sounded")
        onset = run.recording.first_sound_after(run.mark("beg"))
        self.assertIsNotNone(onset, "nothing sounded")
        first = run.recording.span(onset + 30, onset + 330)
        self.assertAlmostEqual(first.dominant_freq(), TWO_REST, delta=5,
                               msg="the tune does not begin at its second second")

    def test_absolute_entry_volumes(self):
        loud = self.heard("v255", "v128")
        soft = self.heard("v128", "three")
        self.assertAlmostEqual(loud.dominant_freq(), PLAIN, delta=3)
        self.assertAlmostEqual(soft.dominant_freq(), PLAIN, delta=3)
        self.assertAlmostEqual(loud.rms_db(), FULL_DB, delta=1.0)
        # 16 hundredths of a dB per step: 127 steps are 20.32 dB.
        self.assertAlmostEqual(loud.rms_db() - soft.rms_db(), 20.32, delta=1.0)

    def test_end_option_trims_the_end(self):
        # sound\end.wav is 2 s of one pitch and 2 s of another; end=2000 cuts the second
        # half, and the trimmed tune repeats (ChangeSoundOnLoop is off).
        self.assertEqual(self.pitches("three", "ext"), [END_FIRST])
        seg = self.heard("three", "ext")
        self.assertLess(seg.level_of(END_LAST), -50, "the trimmed end sounded")
        later = self.host.recording.after(self.host.mark("three"), 1.5, offset_s=2.6)
        self.assertAlmostEqual(later.dominant_freq(), END_FIRST, delta=3,
                               msg="the trimmed tune did not start again")

    def test_playlist_notice_counts_its_entries(self):
        titles = self.host.titles()
        self.assertIn('Using Playlist : "three.txt" --- 3 Musics detected', titles)
        self.assertIn('Using Playlist : "begin.txt" --- 1 Musics detected', titles)
        self.assertIn("playing : sound\\end.wav", titles)

    def test_extra_sound_plays_beside_the_music_and_stops_with_it(self):
        both = self.heard("ext", "extstop")
        self.assertGreater(steady_level(both, PLAIN), FULL_DB - 3, "the music is missing")
        self.assertGreater(steady_level(both, RAIN), FULL_DB - 3, "the extra sound is missing")
        after = self.heard("extstop", "before_words")
        self.assertTrue(after.is_silent(), f"sound after stop: {after!r}, "
                        f"extra sound at {after.level_of(RAIN):.1f} dB")
        # The playlists without an [EXT] section have no extra sound.
        self.assertLess(self.heard("v255", "v128").level_of(RAIN), -50)

    def test_text_that_is_not_a_playlist_is_refused_and_silent(self):
        run = self.host
        self.assertIn(("words.txt", -1), run.play_results())
        self.assertAlmostEqual(self.heard("before_words", "words").dominant_freq(), PLAIN, delta=3)
        quiet = self.heard("words", "rnd")
        self.assertTrue(quiet.is_silent(), f"sound after the refused request: {quiet!r}")
        self.assertFalse([t for t in run.titles() if "words" in t], run.titles())

    def test_folder_request_plays_one_of_its_mp3_files(self):
        run = self.host
        self.assertIn(("music\\random.rnd", 0), run.play_results())
        freq = self.heard("rnd", "end").dominant_freq()
        self.assertTrue(min(abs(freq - MP3_A), abs(freq - MP3_B)) < 3,
                        f"heard {freq:.1f} Hz, not one of the folder's mp3 tunes")
        playing = "playing : music\\a.mp3" if abs(freq - MP3_A) < 3 else "playing : music\\b.mp3"
        titles = run.titles()
        self.assertIn(playing, titles)
        # Two mp3 files: the wav file beside them does not count.
        notice = 'Folder Play Mode : "music\\random.rnd" --- 2 Musics detected'
        self.assertIn(notice, titles)
        self.assertGreater(titles.index(notice), titles.index(playing),
                           "the folder notice should come after the playing notice")


if __name__ == "__main__":
    unittest.main()
