#!/usr/bin/env python3
"""End-to-end tests of the console program, natively or under Wine.

    test_cli.py --cli "COMMAND" [--windows]

--cli is the program as a shell-style command (for Windows, the Wine wrapper
followed by the .exe). With --windows, paths handed to it are written as Wine
sees the host's files (Z:\\...), and the output is read the same way.
"""
import argparse
import json
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = []
WINDOWS = False

SIGNATURES = b"""<?xml version="1.0"?>
<dat><types>
<type><magic>89 50 4E 47</magic><title>PNG image</title><ext>.png</ext></type>
<type><magic>4D 5A</magic><title>Program \x83\x76\x83\x8D</title><ext>.exe</ext><ext>.dll</ext></type>
<type><magic>?: 25 25 45 4F 46</magic><title>Ends in EOF</title></type>
</types></dat>
"""


def native(path):
    """The path as the program under test receives it."""
    if not WINDOWS:
        return path
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run(*args, cli=None):
    command = (cli or CLI) + [a if isinstance(a, str) and a.startswith("-") else native(a) for a in args]
    return subprocess.run(command, capture_output=True, timeout=120)


def json_lines(stdout):
    return [json.loads(line) for line in stdout.decode("utf-8").splitlines()]


class ConsoleProgram(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kindsniffer-cli-")
        self.sig = self.write("sig.xml", SIGNATURES)
        self.png = self.write("picture.dat", b"\x89PNG\r\n\x1a\n....")
        self.exe = self.write("program.bin", b"MZ\x90\x00")
        self.text = self.write("notes.txt", b"hello")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def write(self, name, content):
        path = os.path.join(self.dir, name)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def test_json_reports_each_path_in_argument_order(self):
        missing = os.path.join(self.dir, "absent")
        result = run("--signatures", self.sig, "--json", self.png, missing, self.text, self.exe)
        self.assertEqual(result.returncode, 1, result.stderr)
        lines = json_lines(result.stdout)
        self.assertEqual([l["path"] for l in lines], [native(p) for p in (self.png, missing, self.text, self.exe)])
        self.assertEqual(lines[0], {"path": native(self.png), "state": "detected", "title": "PNG image",
                                    "extensions": [".png"]})
        self.assertEqual(lines[1], {"path": native(missing), "state": "unreadable", "title": "", "extensions": []})
        self.assertEqual(lines[2], {"path": native(self.text), "state": "undetermined", "title": "",
                                    "extensions": []})
        self.assertEqual(lines[3]["extensions"], [".exe", ".dll"])

    def test_exit_status_is_zero_when_every_path_was_examined(self):
        result = run("--json", "--signatures", self.sig, self.png, self.text)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(len(json_lines(result.stdout)), 2)

    def test_a_directory_is_unreadable(self):
        result = run("--signatures", self.sig, "--json", self.dir)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(json_lines(result.stdout)[0]["state"], "unreadable")

    def test_titles_that_are_not_utf8_stay_valid_json(self):
        result = run("--signatures", self.sig, "--json", self.exe)
        line = result.stdout.decode("ascii")  # every non-UTF-8 byte is escaped
        title = json.loads(line)["title"]
        self.assertEqual(title.encode("utf-8", "surrogateescape"), b"Program \x83\x76\x83\x8D")

    def test_readable_output_is_one_line_per_file(self):
        result = run("--signatures", self.sig, self.png, self.text)
        self.assertEqual(result.returncode, 0)
        lines = result.stdout.decode("utf-8").splitlines()
        self.assertEqual(len(lines), 2)
        self.assertIn("PNG image", lines[0])
        self.assertIn(".png", lines[0])

    def test_missing_signature_file_is_a_usage_error_that_names_it(self):
        absent = os.path.join(self.dir, "nowhere.xml")
        result = run("--signatures", absent, "--json", self.png)
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stdout, b"")
        self.assertIn(b"nowhere.xml", result.stderr)

    def test_bad_arguments_are_usage_errors(self):
        for args in ([], ["--signatures", self.sig], ["--bogus", self.png], ["--signatures"]):
            with self.subTest(args=args):
                result = run(*args)
                self.assertEqual(result.returncode, 2)
                self.assertIn(b"usage", result.stderr)

    def test_double_dash_ends_the_options(self):
        dashed = self.write("--json", b"\x89PNG....")
        result = run("--signatures", self.sig, "--json", "--", dashed)
        self.assertEqual(json_lines(result.stdout)[0]["title"], "PNG image")

    def test_default_signature_file_lies_beside_the_program(self):
        program = CLI[-1]
        copy_dir = os.path.join(self.dir, "installed")
        os.mkdir(copy_dir)
        shutil.copy(program, copy_dir)
        shutil.copy(self.sig, os.path.join(copy_dir, "Kindsniffer.xml"))
        copied = CLI[:-1] + [os.path.join(copy_dir, os.path.basename(program))]
        result = run("--json", self.png, cli=copied)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(json_lines(result.stdout)[0]["title"], "PNG image")
        os.remove(os.path.join(copy_dir, "Kindsniffer.xml"))
        result = run("--json", self.png, cli=copied)
        self.assertEqual(result.returncode, 2)
        self.assertIn(b"Kindsniffer.xml", result.stderr)

    def test_unicode_names_round_trip(self):
        name = "\u65e5\u672c\u8a9e \u00e9 \U0001F600.png"
        path = self.write(name, b"\x89PNG....")
        result = run("--signatures", self.sig, "--json", path)
        self.assertEqual(result.returncode, 0, result.stderr)
        line = json_lines(result.stdout)[0]
        self.assertEqual(line["path"], native(path))
        self.assertEqual(line["state"], "detected")

    @unittest.skipIf(sys.platform == "win32", "POSIX names are bytes")
    def test_names_that_are_not_utf8_are_escaped_and_recoverable(self):
        if WINDOWS:
            self.skipTest("Wine hands the program UTF-16 names")
        raw = os.path.join(self.dir.encode(), b"caf\xe9.bin")
        with open(raw, "wb") as f:
            f.write(b"\x89PNG....")
        result = subprocess.run(CLI + ["--signatures", self.sig, "--json", os.fsdecode(raw)],
                                capture_output=True, timeout=60)
        line = json_lines(result.stdout)[0]
        self.assertEqual(os.fsencode(line["path"]), raw)
        self.assertEqual(line["state"], "detected")


def main():
    global CLI, WINDOWS
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--windows", action="store_true")
    args, rest = parser.parse_known_args()
    CLI = shlex.split(args.cli)
    WINDOWS = args.windows
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
