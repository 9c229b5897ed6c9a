#!/usr/bin/env python3
"""House rules of the shipped signature set that no detection test would catch.

    test_shipped_set.py data/Kindsniffer.xml
"""
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


if __name__ == "__main__":
    PATH = sys.argv.pop(1)
    unittest.main(verbosity=2)
