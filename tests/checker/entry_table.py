"""Playlist entries and how the plug-in splits them: the one table behind the checker's
test (tests/checker/test_checker.py) and the real DLL's (tests/e2e/test_checker_dll.py),
so the checker's account and the DLL's own diagnostic boxes answer to the same rows.

Each row: the entry line as written; the file name and option text the splitter gives
(letters folded, spaces left out of the options); then the volume correction
(PlayerState.Hosei), start, end and stop it reads.
"""

ENTRIES = [
    (b"Battle.mp3,VOL=80", "battle.mp3", "vol=80", 10080, 0, 0, 0),
    (b"a.mp3,vol=-15", "a.mp3", "vol=-15", -15, 0, 0, 0),
    (b"a.mp3,beg=15500", "a.mp3", "beg=15500", 0, 15500, 0, 0),
    (b"a.mp3, stop = 1", "a.mp3", "stop=1", 0, 0, 0, 1),
    (b"sound\\b c.mp3", "sound\\b c.mp3", "", 0, 0, 0, 0),
    (b"sound\\b.mp3,vol=+5,end=3000", "sound\\b.mp3", "vol=+5,end=3000", 5, 0, 3000, 0),
    (b"x.mp3,vol=80beg=100", "x.mp3", "vol=80beg=100", 10080, 0, 0, 0),  # 'b' taken as separator
    (b"x.mp3,legend=5,end=3", "x.mp3", "legend=5,end=3", 0, 0, 53, 0),   # "end" inside a word
    (b"x.mp3,beg=1,beg=2", "x.mp3", "beg=1,beg=2", 0, 12, 0, 0),         # a number run on
    (b"x.mp3,beg=\t7,vol=+10080", "x.mp3", "beg=\t7,vol=+10080", 10080, 7, 0, 0),
]


def playlist(*lines: bytes, head: bytes = b"[Orvalin_BGMList]") -> bytes:
    return b"\r\n".join((head, b"[List]") + lines) + b"\r\n"
