"""ABI check of the built DLL: what the game engine's loader sees.

Reads the PE headers with the tree's objdump -p: a DLL that exports exactly
`winampGetInModule2` and imports only DLLs that every Windows (and Wine) has, so
nothing of the mingw runtime needs to be shipped beside it; in the 32-bit tree, the
one that ships, a 32-bit x86 DLL and host. The 64-bit tree (machines that cannot run
32-bit programs) skips the 32-bit format checks by name.
"""

import os
import re
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

OBJDUMP = os.environ.get("ORV_OBJDUMP", "i686-w64-mingw32-objdump")
ARCH = os.environ.get("ORV_WINDOWS_ARCH", "win32")
ONLY_32_BIT = unittest.skipUnless(ARCH == "win32", "32-bit only: the 64-bit tree's files are pei-x86-64")

# DLLs that ship with every Windows since XP (compared in upper case).
SYSTEM_DLLS = {
    "KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL", "OLE32.DLL", "OLEAUT32.DLL",
    "SHELL32.DLL", "SHLWAPI.DLL", "WINMM.DLL", "MSVCRT.DLL", "COMCTL32.DLL", "COMDLG32.DLL",
    "VERSION.DLL", "NTDLL.DLL", "MSACM32.DLL", "QUARTZ.DLL", "IMM32.DLL",
}
RUNTIME_DLL = re.compile(r"^(libgcc|libstdc\+\+|libwinpthread|libssp|libgomp|libatomic)", re.I)


def pe_info(path: Path) -> dict:
    out = subprocess.run([OBJDUMP, "-p", str(path)], check=True, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE).stdout.decode(errors="replace")
    info = {"text": out}
    m = re.search(r"file format (\S+)", out)
    info["format"] = m.group(1) if m else ""
    info["is_dll"] = bool(re.search(r"^Characteristics .*(?:\n\t.*)*\n\tDLL$", out, re.M))
    info["imports"] = re.findall(r"^\s*DLL Name: (\S+)", out, re.M)
    m = re.search(r"Number in:\s*\n\s*Export Address Table\s+([0-9a-fA-F]+)", out)
    info["export_count"] = int(m.group(1), 16) if m else 0
    names = []
    m = re.search(r"\[Ordinal/Name Pointer\] Table\n((?:\t\[.*\n)*)", out)
    if m:
        names = re.findall(r"\]\s+(\S+)", m.group(1))
    info["export_names"] = names
    return info


def dll_path() -> Path:
    return Path(os.environ.get("ORV_DLL") or h.dist_dir() / h.DLL_NAME)


class DllAbi(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        path = dll_path()
        if not path.is_file():
            raise AssertionError(f"{path} is missing: build the windows preset first")
        cls.info = pe_info(path)

    @ONLY_32_BIT
    def test_is_a_32_bit_x86_dll(self):
        self.assertEqual(self.info["format"], "pei-i386")

    def test_is_a_dll(self):
        self.assertTrue(self.info["is_dll"], "the DLL flag is not set")

    def test_exports_exactly_the_module_getter(self):
        self.assertEqual(self.info["export_names"], ["winampGetInModule2"])
        self.assertEqual(self.info["export_count"], 1, "unnamed exports besides the getter")

    def test_imports_only_system_dlls(self):
        imports = self.info["imports"]
        self.assertIn("KERNEL32.DLL", [d.upper() for d in imports])
        for name in imports:
            with self.subTest(dll=name):
                self.assertIsNone(RUNTIME_DLL.match(name), f"{name}: the runtime must be linked statically")
                self.assertIn(name.upper(), SYSTEM_DLLS, f"{name} is not a system DLL")

    def test_dist_copy_is_the_built_dll(self):
        built, dist = dll_path(), h.dist_dir() / h.DLL_NAME
        self.assertTrue(dist.is_file(), f"{dist} is missing")
        self.assertTrue((h.dist_dir() / h.INI_NAME).is_file(), "the sample settings file is not in dist")
        self.assertTrue(built.read_bytes() == dist.read_bytes(), f"{dist} differs from {built}: a stale copy")


class HostAbi(unittest.TestCase):
    def test_host_needs_no_runtime_dlls(self):
        host = h.host_exe()
        if not host.is_file():
            self.skipTest(f"{host} is not built")
        info = pe_info(host)
        for name in info["imports"]:
            with self.subTest(dll=name):
                self.assertIsNone(RUNTIME_DLL.match(name), f"{name}: link the runtime statically")

    @ONLY_32_BIT
    def test_host_is_a_32_bit_program(self):
        host = h.host_exe()
        if not host.is_file():
            self.skipTest(f"{host} is not built")
        self.assertEqual(pe_info(host)["format"], "pei-i386")


if __name__ == "__main__":
    unittest.main()
