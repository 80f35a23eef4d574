"""Self-test of the end-to-end harness, without the DLL.

Proves the measurement chain on its own: the analysis on synthetic samples, the
tune generator, the log parser, and the real path through our PulseAudio null
sink (paplay a generated tone while recording the monitor, then measure it).
"""

import math
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402


def sine(freq, seconds, amplitude=0.5, rate=h.RATE, start_ms=0.0):
    n = int(seconds * rate)
    return h.Recording([amplitude * math.sin(2 * math.pi * freq * i / rate) for i in range(n)],
                       rate, start_ms)


class Analysis(unittest.TestCase):
    def test_rms_of_sine_and_silence(self):
        self.assertAlmostEqual(sine(440, 0.5).rms_db(), -9.03, delta=0.05)
        self.assertAlmostEqual(sine(440, 0.5, amplitude=1.0).rms_db(), -3.01, delta=0.05)
        silent = h.Recording([0.0] * 4410, h.RATE, 0)
        self.assertEqual(silent.rms_db(), h.FLOOR_DB)
        self.assertTrue(silent.is_silent())
        self.assertFalse(sine(440, 0.1, amplitude=0.01).is_silent())  # -43 dB

    def test_dominant_freq_within_a_hertz(self):
        for f in (110.0, 261.63, 440.0, 1000.0, 3520.0):
            with self.subTest(f=f):
                self.assertAlmostEqual(sine(f, 0.5).dominant_freq(), f, delta=1.0)
        self.assertAlmostEqual(sine(440, 0.2).dominant_freq(), 440, delta=2.0)
        self.assertEqual(h.Recording([0.0] * 8192, h.RATE, 0).dominant_freq(), 0.0)

    def test_dominant_freq_of_a_mix_is_the_louder(self):
        a, b = sine(440, 0.5, 0.4), sine(660, 0.5, 0.1)
        mix = h.Segment([x + y for x, y in zip(a.samples, b.samples)], h.RATE, 0)
        self.assertAlmostEqual(mix.dominant_freq(), 440, delta=1.0)

    def test_level_of_one_frequency(self):
        a, b = sine(440, 1.0, 0.5), sine(660, 1.0, 0.05)
        mix = h.Segment([x + y for x, y in zip(a.samples, b.samples)], h.RATE, 0)
        self.assertAlmostEqual(mix.level_of(440), -9.03, delta=0.2)
        self.assertAlmostEqual(mix.level_of(660), -29.03, delta=0.2)
        self.assertLess(mix.level_of(880), -80)
        self.assertLess(a.level_of(660), -80)

    def test_cutting_by_unix_ms_with_latency_and_margin(self):
        # 1 s of silence, 1 s of 440 Hz, 1 s of silence; recording starts at t=10000 ms.
        rate = h.RATE
        x = [0.0] * rate + sine(440, 1.0).samples + [0.0] * rate
        rec = h.Recording(x, rate, 10000.0, latency_ms=0)
        self.assertEqual(rec.first_sound_after(10000, -40), 11000.0)
        self.assertAlmostEqual(rec.first_silence_after(11000), 12000.0, delta=20)
        self.assertTrue(rec.between(10000, 11000).is_silent())
        self.assertAlmostEqual(rec.between(11000, 12000).rms_db(), -9.03, delta=0.1)
        self.assertAlmostEqual(rec.between(11000, 12000, margin_ms=150).seconds, 0.7, delta=0.001)
        self.assertAlmostEqual(rec.after(11000, 0.5, margin_ms=0).seconds, 0.5, delta=0.001)
        ev = h.Event(11000, "mark", "x")
        self.assertAlmostEqual(rec.between(ev, 12000).rms_db(), -9.03, delta=0.1)
        spans = rec.sound_spans()
        self.assertEqual(len(spans), 1)
        self.assertAlmostEqual(spans[0][0], 11000, delta=20)
        self.assertAlmostEqual(spans[0][1], 12000, delta=20)
        # The latency shifts every cut.
        late = h.Recording(x, rate, 10000.0 + 200, latency_ms=200)
        self.assertAlmostEqual(late.between(11000, 12000).rms_db(), -9.03, delta=0.1)


class WavFiles(unittest.TestCase):
    def test_save_and_load(self):
        folder = h.GameFolder.for_test(self, dll=False)
        x = sine(440, 0.3, 0.25)
        p = x.save_wav(folder.file("mono.wav"))
        back = h.Recording.load_wav(p)
        self.assertEqual(len(back), len(x))
        self.assertAlmostEqual(back.rms_db(), x.rms_db(), delta=0.01)
        # A recording keeps its channels.
        import array
        pcm = array.array("h", [1000, -1000] * 100)
        rec = h.Recording.from_s16le(pcm.tobytes(), h.RATE, 2, 0)
        self.assertEqual(rec.rms_db(), h.FLOOR_DB)  # the channels cancel in the mono mix
        back = h.Recording.load_wav(rec.save_wav(folder.file("stereo.wav")))
        self.assertEqual(back.raw, pcm.tobytes())


class Tunes(unittest.TestCase):
    def decode(self, path):
        raw = subprocess.run(["sox", str(path), "-t", "raw", "-e", "signed", "-b", "16",
                              "-r", str(h.RATE), "-c", "2", "-"], check=True,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        return h.Recording.from_s16le(raw, h.RATE, 2, 0)

    def test_tones_in_each_format(self):
        folder = h.GameFolder.for_test(self, dll=False, ini="[Settings]\r\nBeep=0\r\n")
        self.assertEqual(folder.read("plugins/OrvalinMugenBGM.ini"), b"[Settings]\r\nBeep=0\r\n")
        for name, f in (("sound/a.wav", 330.0), ("sound/b.mp3", 440.0), ("sound/c.ogg", 587.33)):
            with self.subTest(name=name):
                p = folder.tone(name, f, 1.0)
                self.assertTrue(folder.exists(name))
                rec = self.decode(p)
                self.assertGreater(rec.seconds, 0.95)
                mid = rec.rel(0.2, 0.8)
                self.assertAlmostEqual(mid.dominant_freq(), f, delta=1.0)
                self.assertAlmostEqual(mid.rms_db(), -9.03, delta=0.5)
        quiet = self.decode(folder.tone("q.wav", 440, 0.5, amplitude=0.05))
        self.assertAlmostEqual(quiet.rel(0.1, 0.4).rms_db(), -29.03, delta=0.3)

    def test_tagged_mp3_has_its_tag_in_front_and_still_plays(self):
        folder = h.GameFolder.for_test(self, dll=False)
        for version, padding, picture in ((3, 1024, 0), (4, 0, 4000)):
            with self.subTest(version=version):
                cut = folder.tagged_mp3("t.mp3", 440.0, 1.0, version, padding, picture)
                data = folder.read("t.mp3")
                self.assertEqual(data[:6], b"ID3" + bytes([version, 0, 0]))
                size = (((data[6] * 128 + data[7]) * 128 + data[8]) * 128) + data[9]
                self.assertEqual(cut, 10 + size)
                self.assertGreater(size, padding + picture)
                self.assertEqual((data[cut], data[cut + 1] & 0xE0), (0xFF, 0xE0),
                                 "no MPEG frame right after the tag")
                self.assertEqual(data.count(b"APIC"), 1 if picture else 0)
                mid = self.decode(folder.file("t.mp3")).rel(0.2, 0.8)
                self.assertAlmostEqual(mid.dominant_freq(), 440.0, delta=1.0)


SAMPLE_LOG = r'''1700000000000 start pid=32 exe=host.exe
1700000000005 record version=0x100 description="Test \"plug\"" ext=x
1700000000010 cmd init
1700000000020 settext "Stand-in Game"
1700000000030 cmd setvolume 255
1700000000031 outmod SetVolume 0
1700000000040 mark a b
1700000000050 play "sound\\a.mp3" -> 0
1700000000060 settext "playing : sound\\a.mp3\xE9"
1700000000070 box caption="Plug-in caption" text="line1\r\nline2" type=0x40 answer=1
1700000000080 ispaused -> 1
1700000000090 outmod Pause 1
1700000000100 outmod Close
1700000000110 sleepgap 350
1700000000120 end
'''


class LogParsing(unittest.TestCase):
    def test_parse(self):
        ev = h.parse_log(SAMPLE_LOG)
        run = h.Run("/nonexistent", ev, None, 0, "", "")
        self.assertTrue(run.ended)
        self.assertEqual(ev[0].kind, "start")
        self.assertEqual(run.outmod_calls(), [("SetVolume", 0), ("Pause", 1), ("Close", None)])
        self.assertEqual(run.titles(), ["Stand-in Game", "playing : sound\\a.mp3\xe9"])
        self.assertEqual(run.marks, {"a b": 1700000000040})
        self.assertEqual(run.mark("a b").t, 1700000000040)
        self.assertRaises(KeyError, run.mark, "zz")
        self.assertEqual(run.play_results(), [("sound\\a.mp3", 0)])
        self.assertEqual(run.boxes(), [{"caption": "Plug-in caption", "text": "line1\r\nline2",
                                        "type": "0x40", "answer": "1", "t": 1700000000070}])
        self.assertEqual(run.results("ispaused"), [1])
        self.assertEqual(run.sleepgaps(), [(1700000000110, 350)])
        self.assertEqual(run.command("setvolume 255").t, 1700000000030)
        self.assertEqual(ev[1].fields()["description"], 'Test "plug"')
        t, kind, rest = ev[2]
        self.assertEqual((kind, rest), ("cmd", "init"))


class SoundChain(unittest.TestCase):
    """Plays generated tones into the null sink with paplay while recording it."""

    @classmethod
    def setUpClass(cls):
        cls.env = h.orv_env(wine=False, pulse=True)
        cls.folder = h.GameFolder("harness.SoundChain", dll=False)

    def paplay(self, path):
        t = h.now_ms()
        subprocess.run(["paplay", str(path)], env=self.env, check=True, timeout=30)
        return t, h.now_ms()

    def test_idle_sink_records_silence(self):
        rec = h.record(0.5, env=self.env)
        self.assertGreater(rec.seconds, 0.4)
        self.assertTrue(rec.is_silent(-90), rec)

    def test_level_pitch_and_timing(self):
        tone = self.folder.tone("a440.wav", 440, 1.0)
        with h.Recorder(self.env) as r:
            time.sleep(0.3)
            t0, t1 = self.paplay(tone)
            rec = r.stop(tail_ms=400)
        onset = rec.first_sound_after(t0 - 100, -40)
        self.assertIsNotNone(onset, "the tone never reached the recording")
        latency = onset - t0
        sys.stderr.write(f"\n  paplay start -> sound in the recording: {latency:.0f} ms\n")
        self.assertTrue(-50 < latency < 1000, latency)
        # Before the tone: silence; the tone itself: level, pitch; nothing at 660 Hz.
        self.assertTrue(rec.span(rec.start_ms, onset - 20).is_silent(-90))
        seg = rec.span(onset + 100, onset + 900)
        self.assertAlmostEqual(seg.rms_db(), -9.03, delta=0.5)
        self.assertAlmostEqual(seg.dominant_freq(), 440, delta=2)
        self.assertLess(seg.level_of(660), -60)
        # The tone lasts its second, then silence again.
        end = rec.first_silence_after(onset + 100, -60)
        self.assertIsNotNone(end)
        self.assertAlmostEqual(end - onset, 1000, delta=60)
        spans = rec.sound_spans()
        self.assertEqual(len(spans), 1, spans)

    def test_level_drop_of_ten_db(self):
        a = self.folder.tone("loud.wav", 523.25, 0.8, amplitude=0.5)
        b = self.folder.tone("soft.wav", 523.25, 0.8, amplitude=0.5 * 10 ** (-10 / 20))
        with h.Recorder(self.env) as r:
            ta, _ = self.paplay(a)
            tb, _ = self.paplay(b)
            rec = r.stop(tail_ms=300)
        oa = rec.first_sound_after(ta - 100, -40)
        ob = rec.first_sound_after(tb - 100, -40)
        la = rec.span(oa + 100, oa + 700).rms_db()
        lb = rec.span(ob + 100, ob + 700).rms_db()
        self.assertAlmostEqual(la - lb, 10.0, delta=0.3)

    def test_recordings_are_repeatable(self):
        tone = self.folder.tone("b660.wav", 660, 0.6)
        for _ in range(3):
            with h.Recorder(self.env) as r:
                t0, _ = self.paplay(tone)
                rec = r.stop(tail_ms=200)
            onset = rec.first_sound_after(t0 - 100, -40)
            self.assertIsNotNone(onset)
            self.assertAlmostEqual(rec.span(onset + 100, onset + 500).dominant_freq(), 660, delta=2)


if __name__ == "__main__":
    unittest.main()
