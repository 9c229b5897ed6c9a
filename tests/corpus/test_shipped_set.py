#!/usr/bin/env python3
"""House rules of the shipped signature set that no detection test would catch.

    test_shipped_set.py data/Kindsniffer.xml
"""
import re
import sys
import unittest
import xml.etree.ElementTree as ET

PATH = None


def types():
    root = ET.parse(PATH).getroot()
    return root.find("types").findall("type")


class ShippedSignatureSet(unittest.TestCase):
    def test_it_covers_many_formats(self):
        self.assertGreaterEqual(len(types()), 1000)

    def test_titles_are_ascii_and_extensions_carry_their_period(self):
        for t in types():
            title = t.findtext("title")
            self.assertTrue(title and title.isascii(), title)
            exts = [e.text for e in t.findall("ext")]
            for ext in exts:
                self.assertRegex(ext or "", r"^\.[A-Za-z0-9_+.-]+$", title)

    def test_every_type_names_a_mime_type(self):
        # Callers of the library key on it; its syntax is the linter's to check.
        self.assertEqual([t.findtext("title") for t in types() if not t.findtext("mime")], [])

    def test_specific_zip_based_formats_come_before_zip(self):
        order = [t.findtext("title") for t in types()]
        first_ext = {}
        for index, t in enumerate(types()):
            for e in t.findall("ext"):
                first_ext.setdefault(e.text.lower(), index)
        zip_index = first_ext[".zip"]
        for ext in (".docx", ".xlsx", ".pptx", ".odt", ".epub", ".jar", ".apk", ".aar", ".war", ".sxw", ".fcstd",
                    ".kmz"):
            with self.subTest(ext=ext):
                self.assertIn(ext, first_ext)
                self.assertLess(first_ext[ext], zip_index, f"{ext} comes after {order[zip_index]}")

    def test_containers_are_read_by_their_structure(self):
        # A PE header is found through the pointer at 60, not at listed offsets; ZIP and compound
        # files by their directories, never by a whole-file search for a name; a Matroska head at its
        # fixed places, since a search would read every video to its end.
        rules = [("4D 5A", lambda m: re.match(r"60: |\d+: 50 45 00 00", m), "listed PE header offset"),
                 ("50 4B 03 04", lambda m: m.startswith("?: "), "search in a ZIP"),
                 ("D0 CF 11 E0 A1 B1 1A E1", lambda m: m.startswith("?: "), "search in a compound file"),
                 ("1A 45 DF A3", lambda m: m.startswith("?: "), "search in a Matroska file")]
        for t in types():
            magics = [m.text for m in t.findall("magic")]
            for first, bad, what in rules:
                if magics[0] == first or magics[0].startswith(first + " "):
                    with self.subTest(title=t.findtext("title"), rule=what):
                        self.assertFalse([m for m in magics[1:] if bad(m)])

    def test_pe_kinds_rest_on_their_header(self):
        # A library is never offered as a program, and only a native image is called a driver
        # (a library that merely names a driver, say null.sys, is not one).
        for t in types():
            magics = [m.text for m in t.findall("magic")]
            exts = [e.text.lower() for e in t.findall("ext")]
            if magics[0] != "4D 5A":
                continue
            with self.subTest(title=t.findtext("title")):
                if "ptr 60 u32le +23: 20&20" in magics:
                    self.assertNotIn(".exe", exts)
                if exts[0] == ".sys":
                    self.assertIn("ptr 60 u32le +92: 01 00", magics)

    def test_every_type_opens_with_a_classic_fixed_pattern(self):
        # Types are indexed by their first fixed bytes, and an older reader must see a valid one;
        # a type that opened with a search would have every file it is tried on read whole.
        # Text types have no fixed bytes to open with: any first byte may start a text.
        for t in types():
            if is_text_type(t):
                continue
            first = t.find("magic").text
            with self.subTest(title=t.findtext("title")):
                self.assertNotIn(first.split(" ")[0], NEW_FORMS)
                self.assertFalse(first.startswith("?:"), first)

    def test_new_form_byte_tokens_are_well_formed(self):
        byte = re.compile(r"^([0-9A-Fa-f]{2}|\?\?|[0-9A-Fa-f]{2}&[0-9A-Fa-f]{2})$")
        for t in types():
            for m in (m.text for m in t.findall("magic")):
                tokens = m.split(" ")
                if tokens[0] not in NEW_FORMS or tokens[0] in TEXT_FORMS:
                    continue
                start = {"ptr": 4, "zip": 3, "ole": 2, "oleclsid": 2, "gzip": 2, "zlib": 3, "nontext": 1}.get(tokens[0])
                if tokens[0] == "near":
                    start = next(i for i, token in enumerate(tokens) if token.endswith(":")) + 1
                with self.subTest(magic=m):
                    self.assertTrue(all(byte.match(b) for b in tokens[start:]))

    def test_few_searches_read_a_whole_file(self):
        # A search that misses reads every candidate to its end; a bounded test (a fixed place, a
        # window, a directory, the root element) decides most kinds. The authoring guide says why
        # each of the few left still searches.
        searches = [t.findtext("title") for t in types()
                    if any(m.text.startswith("?: ") for m in t.findall("magic"))]
        self.assertLessEqual(len(searches), 10, searches)

    def test_specific_kinds_stand_before_their_containers(self):
        order = [t.findtext("title") for t in types()]
        magics = [[m.text for m in t.findall("magic")] for t in types()]
        plain_gzip = order.index("gzip compressed data")
        for index, ms in enumerate(magics):
            if any(m.startswith("gzip ") for m in ms):
                with self.subTest(title=order[index]):
                    self.assertLess(index, plain_gzip)
        self.assertLess(max(i for i, t in enumerate(order) if t.startswith("NIfTI-1")),
                        order.index("Analyze 7.5 image header"))

    def test_text_types_come_after_every_binary_type(self):
        # A text test holds on many files a binary type names better. Only
        # fallbacks for what the text tests refuse may follow them: text with
        # a byte-order mark, and XML whose declaration is all that is known.
        order = list(types())
        first_text = min(i for i, t in enumerate(order) if t.find("magic").text.split(" ")[0] in TEXT_FORMS)
        for t in order[first_text:]:
            title = t.findtext("title")
            declaration_only = title == "XML document" and [m.text for m in t.findall("magic")] in (
                ["3C 3F 78 6D 6C 20"], ["EF BB BF 3C 3F 78 6D 6C 20"])
            with self.subTest(title=title):
                self.assertTrue(is_text_type(t) or title.startswith("Text, ") or declaration_only)
        # A text type may stand earlier only behind fixed bytes of its own, as Tcl behind sh's "#!".
        for t in order[:first_text]:
            magics = [m.text for m in t.findall("magic")]
            if any(m.split(" ")[0] in TEXT_FORMS for m in magics):
                with self.subTest(title=t.findtext("title")):
                    self.assertNotIn(magics[0].split(" ")[0], NEW_FORMS)


TEXT_FORMS = ("text", "json", "xmlroot", "table", "line", "header", "yaml", "ini", "lang", "weigh")
NEW_FORMS = ("ptr", "zip", "ole", "oleclsid", "gzip", "zlib", "near", "nontext") + TEXT_FORMS


def is_text_type(t):
    return any(m.text.split(" ")[0] in TEXT_FORMS for m in t.findall("magic"))


if __name__ == "__main__":
    PATH = sys.argv.pop(1)
    unittest.main(verbosity=2)
