#!/usr/bin/env python3
"""Checks of found_files.py's own judgement: python3 bench/test_found_files.py"""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import found_files  # noqa: E402


class Judgement(unittest.TestCase):
    def test_answers_are_judged_leniently_and_strictly(self):
        cases = [  # true extension, offered, (offered at all, first, strict first)
            ("jpg", ["jpeg", "jpg"], (True, True, False)),
            ("jpeg", ["jpg"], (True, True, False)),
            ("oga", ["ogg", "oga"], (True, True, False)),
            ("tiff", ["tif"], (True, True, False)),
            ("p12", ["pfx", "p12"], (True, True, False)),
            ("png", ["png"], (True, True, True)),
            ("icm", ["icc", "icm"], (True, False, False)),  # another format's usual name is not a synonym
            ("pem", ["crt"], (False, False, False)),
            ("mid", [], (False, False, False)),
        ]
        for ext, offered, expected in cases:
            with self.subTest(ext=ext, offered=offered):
                self.assertEqual(found_files.judged(ext, offered), expected)

    def test_sets_and_groups_are_read_from_the_list(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("# comment\n[font]\nfonts-a  # why\n[sound]\nsnd-b\n\n[[new]]\nfonts-c\n[game]\ngame-d\n")
        try:
            self.assertEqual(found_files.read_packages(f.name), [
                ("fonts-a", "font", "studied"), ("snd-b", "sound", "studied"),
                ("fonts-c", "other", "new"), ("game-d", "game", "new")])
        finally:
            os.unlink(f.name)

    def test_bytes_decide_whether_an_extension_is_believed(self):
        cases = [
            ("xbm", b"#define f_width 8\n#define f_height 8\n", "format"),
            ("ppu", b"PPU180\x00\x00", "binary"),
            ("so", b"/* GNU ld script */\nGROUP ( x )\n", None),
            ("conf", b"key = value\n", "text"),
            ("xyz", b"\x89PNG\r\n\x1a\n\x00\x00", None),
        ]
        for ext, head, kind in cases:
            with self.subTest(ext=ext):
                self.assertEqual(found_files.judge(ext, head, head)[0], kind)


class LanguageRow(unittest.TestCase):
    def test_the_row_counts_the_extensions_that_language_types_offer(self):
        with tempfile.NamedTemporaryFile("w", suffix=".xml", delete=False) as f:
            f.write("<dat><types>"
                    "<type><magic>lang c</magic><title>C</title><ext>.c</ext></type>"
                    "<type><magic>lang c cpp</magic><title>C or C++ header</title><ext>.h</ext><ext>.HPP</ext></type>"
                    "<type><magic>text</magic><magic>near 0 9: 3F 3E</magic><title>T</title><ext>.txt</ext></type>"
                    "<type><magic>23 21</magic><magic>lang tcl</magic><title>Tcl</title><ext>.tcl</ext></type>"
                    "</types></dat>")
        try:
            exts = found_files.weighed_extensions(f.name)
        finally:
            os.unlink(f.name)
        self.assertEqual(exts, {"c", "h", "hpp", "tcl"})
        rows = [("a.c", "c", "text", "new"), ("b.h", "h", "text", "new"), ("c.txt", "txt", "text", "new"),
                ("d.c", "c", "text", "studied")]
        tools = [("one", [(["c"], ""), (["hpp", "h"], ""), (["txt"], ""), ([], "")]),
                 ("other", [([], ""), (["h"], ""), ([], ""), (["c"], "")])]
        self.assertEqual(found_files.by_extensions("languages", exts, rows, tools, "new"),
                         "| languages | 2 | 100 % / 50 % | 50 % / 50 % |")


if __name__ == "__main__":
    unittest.main()
