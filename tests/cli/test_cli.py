#!/usr/bin/env python3
"""End-to-end tests of the console program, natively or under Wine.

    test_cli.py --cli "COMMAND" [--windows]

--cli is the program as a shell-style command (for Windows, the Wine wrapper
followed by the .exe). With --windows, paths handed to it are written as Wine
sees the host's files (Z:\\...), and the output is read the same way.
"""
import argparse
import gzip
import io
import json
import os
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

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


def run(*args, cli=None, env=None):
    command = (cli or CLI) + [a if isinstance(a, str) and a.startswith("-") else native(a) for a in args]
    return subprocess.run(command, capture_output=True, timeout=120, env=env)


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
        self.assertEqual(lines[1], {"path": native(missing), "state": "unreadable", "title": "", "extensions": [],
                                    "error": lines[1].get("error")})
        self.assertEqual(lines[2], {"path": native(self.text), "state": "undetermined", "title": "",
                                    "extensions": []})
        self.assertEqual(lines[3]["extensions"], [".exe", ".dll"])

    def test_an_unreadable_file_is_told_with_the_systems_reason(self):
        missing = os.path.join(self.dir, "absent")
        folder = os.path.join(self.dir, "folder")
        os.mkdir(folder)
        # Wine's words for a missing file are "File not found"; Windows says it "cannot find the file".
        cases = [(missing, "No such file or directory" if not WINDOWS else "(?i)not found|cannot find"),
                 (folder, "directory")]
        for mode in (["--json"], [], ["--mismatch"]):
            for path, reason in cases:
                with self.subTest(mode=mode, path=path):
                    result = run("--signatures", self.sig, *mode, path)
                    self.assertEqual(result.returncode, 1)
                    told = result.stderr.decode("utf-8").splitlines()
                    self.assertEqual(len(told), 1, told)
                    self.assertIn(native(path), told[0])
                    self.assertRegex(told[0], reason)
                    if mode == ["--json"]:
                        self.assertRegex(json_lines(result.stdout)[0]["error"], reason)

    def test_exit_status_is_zero_when_every_path_was_examined(self):
        result = run("--json", "--signatures", self.sig, self.png, self.text)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(len(json_lines(result.stdout)), 2)

    def test_a_directory_is_unreadable(self):
        result = run("--signatures", self.sig, "--json", self.dir)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(json_lines(result.stdout)[0]["state"], "unreadable")

    def test_titles_that_are_not_utf8_stay_valid_json(self):
        # Windows reads such a title in the ANSI code page (932 under a Japanese locale); with no
        # encoding declared, Linux escapes every byte that is not UTF-8.
        env = dict(os.environ, KINDSNIFFER_WINE_LANG="ja_JP.UTF-8")
        result = run("--signatures", self.sig, "--json", self.exe, env=env)
        title = json.loads(result.stdout.decode("utf-8"))["title"]
        if WINDOWS:
            self.assertEqual(title, "Program \u30d7\u30ed")
        else:
            self.assertEqual(title.encode("utf-8", "surrogateescape"), b"Program \x83\x76\x83\x8D")

    def test_readable_output_is_one_line_per_file(self):
        result = run("--signatures", self.sig, self.png, self.text)
        self.assertEqual(result.returncode, 0)
        lines = result.stdout.decode("utf-8").splitlines()
        self.assertEqual(len(lines), 2)
        self.assertIn("PNG image", lines[0])
        self.assertIn(".png", lines[0])

    def test_explain_tells_why_in_the_table_and_in_json(self):
        eof = self.write("trailer.bin", b"....%%EOF")
        missing = os.path.join(self.dir, "absent")
        result = run("--signatures", self.sig, "--json", "--explain", self.png, eof, self.text, missing)
        bases = [line["basis"] for line in json_lines(result.stdout)]
        self.assertEqual(bases, [
            {"typesTried": 1, "line": 3,
             "patterns": [{"line": 3, "pattern": "0: 89 50 4E 47", "kind": "offset", "offset": 0}]},
            {"typesTried": 1, "line": 5,
             "patterns": [{"line": 5, "pattern": "?: 25 25 45 4F 46", "kind": "search", "offset": 4}]},
            {"typesTried": 1},
            None])
        table = run("--signatures", self.sig, "--explain", self.png, self.text).stdout.decode("utf-8").splitlines()
        self.assertEqual([line.strip() for line in table[1:3]],
                         ["type at line 3 (1 type tried)", "line 3  0: 89 50 4E 47  held at offset 0"])
        self.assertEqual(table[4].strip(), "no type matched; 1 type tried")

    def test_mime_type_is_told_only_where_the_type_names_one(self):
        # The PNG type names two (the first is told), the program type none.
        with open(self.sig, "wb") as f:
            f.write(SIGNATURES.replace(b"<ext>.png</ext>", b"<ext>.png</ext><mime>image/png</mime><mime>image/x-png</mime>"))
        lines = json_lines(run("--signatures", self.sig, "--json", self.png, self.exe, self.text).stdout)
        self.assertEqual([l.get("mime") for l in lines], ["image/png", None, None])
        self.assertEqual(list(lines[0]), ["path", "state", "title", "extensions", "mime"])
        table = run("--signatures", self.sig, "--mime", self.png, self.exe, self.text).stdout.decode("utf-8").splitlines()
        self.assertRegex(table[0], r"^PNG image +\.png +image/png +\S", table)
        # The column is blank where no MIME type is told, and the paths stay aligned.
        paths = [native(p) for p in (self.png, self.exe, self.text)]
        self.assertEqual(len({row.index(path) for row, path in zip(table, paths)}), 1, table)
        plain = run("--signatures", self.sig, self.png).stdout.decode("utf-8")
        self.assertNotIn("image/png", plain)
        explained = run("--signatures", self.sig, "--explain", self.png, self.exe).stdout.decode("utf-8").splitlines()
        self.assertEqual(explained[2].strip(), "MIME type image/png (also image/x-png)")
        self.assertFalse(any("MIME" in line for line in explained[3:]), explained)

    def test_explain_tells_what_the_new_forms_held_on(self):
        sig = self.write("forms.xml", b"<dat><types>"
                         b"<type><magic>ptr 60 u32le +4: 4C 01</magic><title>PE</title></type>"
                         b"<type><magic>zip *.npy 0: 93 4E</magic><title>NPZ</title></type>"
                         b"<type><magic>gzip ?: 3C 73 76 67</magic><title>SVGZ</title></type>"
                         b"</types></dat>")
        exe = bytearray(0x100)
        exe[60:64] = (0x98).to_bytes(4, "little")
        exe[0x98:0x9E] = b"PE\0\0\x4C\x01"
        archive = io.BytesIO()
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("readme.txt", "x")
            z.writestr("arr_0.npy", b"\x93NUMPY")
        paths = [self.write("a.exe", bytes(exe)), self.write("a.npz", archive.getvalue()),
                 self.write("a.svgz", gzip.compress(b"<?xml?><svg/>"))]
        result = run("--signatures", sig, "--json", "--explain", *paths)
        patterns = [line["basis"]["patterns"][0] for line in json_lines(result.stdout)]
        self.assertEqual(patterns, [
            {"line": 1, "pattern": "ptr 60 u32le +4: 4C 01", "kind": "pointer", "offset": 0x9C,
             "pointer": 0x98, "pointerAt": 60},
            {"line": 1, "pattern": "zip *.npy 0: 93 4E", "kind": "zip", "offset": 0, "name": "arr_0.npy"},
            {"line": 1, "pattern": "gzip ?: 3C 73 76 67", "kind": "gzip", "offset": 7}])
        table = run("--signatures", sig, "--explain", *paths).stdout.decode("utf-8").splitlines()
        self.assertIn("pointer 152 read at offset 60, held at offset 156", table[2])
        self.assertIn("member arr_0.npy, held at offset 0 of its data", table[5])
        self.assertIn("found at offset 7 of the payload", table[8])

    def test_explain_tells_the_encoding_and_root_of_text(self):
        sig = self.write("text.xml", b"<dat><types>"
                         b"<type><magic>xmlroot *</magic><title>XML</title></type>"
                         b"<type><magic>text shift_jis</magic><magic>table ,</magic><title>CSV</title></type>"
                         b"<type><magic>header From Subject</magic><title>Mail</title></type>"
                         b"</types></dat>")
        paths = [self.write("feed", b"\xef\xbb\xbf<!-- c -->\n<rss version='2.0'/>"),
                 self.write("people", "\u540d\u524d,age\r\n\u5c71\u7530,30\r\n".encode("cp932")),
                 self.write("message", b"Subject: hi\r\nFrom: a@example.org\r\n\r\nBody\r\n")]
        result = run("--signatures", sig, "--json", "--explain", *paths)
        patterns = [line["basis"]["patterns"] for line in json_lines(result.stdout)]
        self.assertEqual(patterns, [
            [{"line": 1, "pattern": "xmlroot *", "kind": "xmlroot", "offset": 0, "name": "rss", "encoding": "UTF-8"}],
            [{"line": 1, "pattern": "text shift_jis", "kind": "text", "offset": 0, "encoding": "Shift_JIS"},
             {"line": 1, "pattern": "table ,", "kind": "table", "offset": 0, "encoding": "Shift_JIS"}],
            [{"line": 1, "pattern": "header From Subject", "kind": "header", "offset": 0, "encoding": "ASCII"}]])
        table = run("--signatures", sig, "--explain", *paths).stdout.decode("utf-8").splitlines()
        self.assertIn("root element rss, text in UTF-8", table[2])
        self.assertIn("text in Shift_JIS", table[6])
        self.assertIn("header From Subject  text in ASCII", table[9])

    def test_table_rows_cannot_be_forged_by_names_or_titles(self):
        forging = self.write("forging.xml", b"<dat><types><type><magic>89 50</magic>"
                             b"<title>Two\nlines\x1b[2J</title><ext>.png</ext></type></types></dat>")
        paths = [self.png, self.text]
        if not WINDOWS:
            paths.append(self.write("row\nPNG image  .png  forged\x1b[0m", b"\x89PNG...."))
        result = run("--signatures", forging, *paths)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.split(b"\n")[:-1]
        self.assertEqual(len(lines), len(paths), result.stdout)
        self.assertNotIn(b"\x1b", result.stdout)
        self.assertIn(b"Two\\x0Alines\\x1B[2J", lines[0])

    def test_missing_signature_file_is_a_usage_error_that_names_it(self):
        folder = os.path.join(self.dir, "folder.xml")
        os.mkdir(folder)
        for unreadable in (os.path.join(self.dir, "nowhere.xml"), folder):
            with self.subTest(signatures=unreadable):
                result = run("--signatures", unreadable, "--json", self.png)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, b"")
                self.assertIn(os.path.basename(unreadable).encode(), result.stderr)

    def test_signature_and_lint_files_must_be_regular_and_bounded(self):
        if WINDOWS:
            self.skipTest("FIFOs, devices and sparse files are the host's")
        fifo = os.path.join(self.dir, "fifo.xml")
        os.mkfifo(fifo)
        huge = os.path.join(self.dir, "huge.xml")
        with open(huge, "wb") as f:
            f.truncate((256 << 20) + 1)  # sparse: nothing is written, and nothing may be read
        for path, problem in ((fifo, b"not a regular file"), ("/dev/zero", b"not a regular file"),
                              (huge, b"too large")):
            for args in (["--signatures", path, self.png], ["--lint", path]):
                with self.subTest(args=args):
                    result = run(*args)  # a FIFO read would block until the timeout
                    self.assertEqual(result.returncode, 2, result.stderr)
                    self.assertIn(problem, result.stderr)
                    self.assertEqual(result.stdout, b"")
        # A pipe is refused too, rather than read twice and misreported.
        result = subprocess.run(["bash", "-c", 'exec "$@" --lint <(cat "$0")', self.sig] + CLI,
                                capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 2, result.stderr)
        self.assertIn(b"not a regular file", result.stderr)

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

    def test_default_signature_file_lies_beside_the_program_or_in_share(self):
        # An installed layout: PREFIX/bin/program and PREFIX/share/kindsniffer/.
        program = CLI[-1]
        bin_dir = os.path.join(self.dir, "prefix", "bin")
        share_dir = os.path.join(self.dir, "prefix", "share", "kindsniffer")
        os.makedirs(bin_dir)
        os.makedirs(share_dir)
        shutil.copy(program, bin_dir)
        copied = CLI[:-1] + [os.path.join(bin_dir, os.path.basename(program))]
        beside = os.path.join(bin_dir, "Kindsniffer.xml")
        shared = os.path.join(share_dir, "Kindsniffer.xml")
        only_exe = SIGNATURES.replace(b"<title>PNG image</title>", b"<title>PNG from share</title>")
        cases = [  # (beside, in share) -> title of the PNG, or None for "no signature file"
            ((SIGNATURES, only_exe), "PNG image"),
            ((None, only_exe), "PNG from share"),
            ((SIGNATURES, None), "PNG image"),
            ((None, None), None),
        ]
        for (beside_content, shared_content), title in cases:
            with self.subTest(beside=beside_content is not None, shared=shared_content is not None):
                for path, content in ((beside, beside_content), (shared, shared_content)):
                    if content is None:
                        if os.path.exists(path):
                            os.remove(path)
                    else:
                        with open(path, "wb") as f:
                            f.write(content)
                result = run("--json", self.png, cli=copied)
                if title is None:
                    self.assertEqual(result.returncode, 2)
                    self.assertIn(native(beside).encode(), result.stderr)
                    self.assertIn(b"--signatures FILE", result.stderr)
                else:
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assertEqual(json_lines(result.stdout)[0]["title"], title)

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



class Batches(unittest.TestCase):
    """Directories, --mismatch and --rename."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kindsniffer-batch-")
        self.sig = os.path.join(self.dir, "sig.xml")
        with open(self.sig, "wb") as f:
            f.write(SIGNATURES)
        self.tree = os.path.join(self.dir, "tree")
        os.mkdir(self.tree)

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def put(self, relative, content=b"\x89PNG...."):
        path = os.path.join(self.tree, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def json_run(self, *args):
        result = run("--signatures", self.sig, "--json", *args)
        return result, json_lines(result.stdout)

    def test_recursive_walk_is_in_a_stable_order(self):
        for name in ("b.png", "a/z.exe", "a/y.txt", "c/x.png", "a/deeper/w.png"):
            self.put(name, b"MZ\x90\x00" if name.endswith(".exe") else b"\x89PNG....")
        expected = [native(os.path.join(self.tree, n))
                    for n in ("a/deeper/w.png", "a/y.txt", "a/z.exe", "b.png", "c/x.png")]
        for _ in range(2):
            result, lines = self.json_run("-r", self.tree)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual([l["path"] for l in lines], expected)

    def test_output_is_the_same_with_one_worker_and_with_several(self):
        kinds = [b"\x89PNG....", b"MZ\x90\x00", b"plain text", b"", b"xx%%EOF" + b"y" * 5000]
        for i in range(300):
            self.put(f"d{i % 7}/f{i:03}.{'png' if i % 3 else 'txt'}", kinds[i % len(kinds)])
        missing = os.path.join(self.dir, "absent")
        for options in (["--json"], [], ["--mismatch"], ["--rename", "--dry-run"]):
            outputs = []
            for workers in ("1", "5"):
                env = dict(os.environ, KINDSNIFFER_WORKERS=workers, WINEDEBUG="-all")
                result = run("--signatures", self.sig, *options, "-r", self.tree, missing, self.tree, env=env)
                outputs.append((result.returncode, result.stdout))
            self.assertEqual(outputs[0], outputs[1], options)
            self.assertEqual(outputs[0][0], 1)

    def test_a_directory_without_recursion_is_unreadable_and_explained(self):
        self.put("a.png")
        result, lines = self.json_run(self.tree)
        self.assertEqual(result.returncode, 1)
        self.assertEqual(lines[0]["state"], "unreadable")
        self.assertIn(b"-r", result.stderr)

    def test_symlinked_directories_are_walked_only_when_asked(self):
        if WINDOWS:
            self.skipTest("Wine shows a host symlink as the folder it points to")
        self.put("real/a.png")
        outside = os.path.join(self.dir, "outside")
        os.makedirs(outside)
        with open(os.path.join(outside, "o.png"), "wb") as f:
            f.write(b"\x89PNG....")
        os.symlink(outside, os.path.join(self.tree, "linked"))
        os.symlink(self.tree, os.path.join(self.tree, "real", "loop"))
        os.symlink(os.path.join(self.tree, "real", "a.png"), os.path.join(self.tree, "filelink.png"))

        _, lines = self.json_run("-r", self.tree)
        self.assertEqual([os.path.relpath(l["path"], self.tree) for l in lines], ["filelink.png", "real/a.png"])
        result, lines = self.json_run("-r", "-L", self.tree)
        self.assertEqual(result.returncode, 0)
        self.assertEqual([os.path.relpath(l["path"], self.tree) for l in lines],
                         ["filelink.png", "linked/o.png", "real/a.png"])

    def test_a_directory_whose_real_path_cannot_be_worked_out_is_reported(self):
        if WINDOWS:
            self.skipTest("the host's PATH_MAX")
        self.put("a.png")
        # Deeper than PATH_MAX: made one level at a time, relative to the last.
        fd = os.open(self.tree, os.O_RDONLY)
        for _ in range(22):
            os.mkdir("d" * 200, dir_fd=fd)
            deeper = os.open("d" * 200, os.O_RDONLY, dir_fd=fd)
            os.close(fd)
            fd = deeper
        with open("lost.png", "wb", opener=lambda name, flags: os.open(name, flags, 0o644, dir_fd=fd)) as f:
            f.write(b"\x89PNG....")
        os.close(fd)
        result, lines = self.json_run("-r", "-L", self.tree)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"real path", result.stderr)
        self.assertEqual(lines[0]["state"], "detected")
        self.assertIn("unreadable", [l["state"] for l in lines])

    def test_files_from_reads_a_list_after_the_arguments_in_order(self):
        png = self.put("a.png")
        exe = self.put("b.dat", b"MZ\x90\x00")
        uni = self.put("\u65e5\u672c \u00e9.txt", b"\x89PNG....")
        self.put("sub/c.png")
        self.put("sub/d.txt", b"plain")
        missing = os.path.join(self.tree, "absent")
        listed = lambda *paths: [native(p).encode("utf-8") for p in paths]
        crossing = [png, exe, uni] * 1400  # past one block of the list
        # (name, list bytes or None for none, stdin, extra options, arguments, expected paths, exit status)
        cases = [
            ("lines, CR, empty", b"\r\n".join(listed(exe, missing)) + b"\r\n\n\n" + listed(uni)[0], False, [],
             [png], [png, exe, missing, uni], 1),
            ("NUL-separated", b"\0".join(listed(uni, png)) + b"\0\0", False, ["-0"], [], [uni, png], 0),
            ("standard input", b"\n".join(listed(png, exe)) + b"\n", True, [], [uni], [uni, png, exe], 0),
            ("folder walked with -r", b"\n".join(listed(os.path.join(self.tree, "sub"), png)), False, ["-r"], [],
             [os.path.join(self.tree, "sub", n) for n in ("c.png", "d.txt")] + [png], 0),
            ("blocks keep the order", b"\n".join(listed(*crossing)), False, [], [], crossing, 0),
            ("missing list", None, False, [], [png], [], 2),
            ("NUL in a line list", b"\0".join(listed(png, exe)), False, [], [], [], 2),
        ]
        list_file = os.path.join(self.dir, "list")
        for name, content, stdin, options, args, expected, status in cases:
            with self.subTest(name):
                if os.path.exists(list_file):
                    os.remove(list_file)
                if content is not None and not stdin:
                    with open(list_file, "wb") as f:
                        f.write(content)
                source = "-" if stdin else native(list_file)
                command = CLI + ["--signatures", native(self.sig), "--json", *options, "--files-from", source]
                result = subprocess.run(command + [native(a) for a in args], input=content if stdin else b"",
                                        capture_output=True, timeout=120)
                self.assertEqual(result.returncode, status, result.stderr[-500:])
                paths = [l["path"] for l in json_lines(result.stdout)]
                if status == 2:
                    self.assertIn(b"list of files", result.stderr)
                    if content is None:
                        self.assertEqual(paths, [])
                else:
                    self.assertEqual(paths, [native(p) for p in expected])

    def test_mismatch_lists_detected_files_whose_extension_does_not_fit(self):
        self.put("good.png")
        self.put("UPPER.PNG")
        wrong = self.put("wrong.txt")
        self.put("program.dll", b"MZ\x90\x00")
        self.put("unknown.dat", b"????")
        result, lines = self.json_run("--mismatch", "-r", self.tree)
        self.assertEqual(result.returncode, 0)
        self.assertEqual([l["path"] for l in lines], [native(wrong)])

    def listing(self):
        found = {}
        for root, _, files in os.walk(self.tree):
            for name in files:
                with open(os.path.join(root, name), "rb") as f:
                    found[os.path.relpath(os.path.join(root, name), self.tree)] = f.read()
        return found

    def test_rename_gives_the_first_extension_and_never_overwrites(self):
        self.put("photo.txt")
        self.put("taken.txt", b"\x89PNG-new")
        self.put("taken.png", b"existing")
        self.put("double.png.exe")
        self.put("template.png.in")  # an extension the set does not know, after the right one
        self.put("right.png")
        self.put("program", b"MZ\x90\x00")
        self.put("unknown.txt", b"????")
        self.put("minutes.june final", b"\x89PNG....")
        self.put(".hidden", b"\x89PNG....")

        result, lines = self.json_run("--rename", "-r", self.tree)
        self.assertEqual(result.returncode, 5, result.stderr)  # taken.txt was kept
        by_name = {os.path.basename(l["path"].replace("\\", "/")): l for l in lines}
        self.assertEqual(by_name["photo.txt"]["rename"], {"result": "renamed",
                                                          "to": native(os.path.join(self.tree, "photo.png"))})
        self.assertEqual(by_name["taken.txt"]["rename"]["result"], "exists")
        self.assertNotIn("rename", by_name["right.png"])
        self.assertNotIn("rename", by_name["unknown.txt"])
        self.assertNotIn("rename", by_name["template.png.in"])

        after = self.listing()
        self.assertEqual(after["taken.png"], b"existing")
        self.assertEqual(after["taken.txt"], b"\x89PNG-new")
        self.assertEqual(sorted(after), sorted(["photo.png", "taken.txt", "taken.png", "double.png", "template.png.in", "right.png",
                                                "program.exe", "unknown.txt", "minutes.june final.png",
                                                ".hidden.png"]))

    def test_a_general_answer_renames_no_name_of_its_family(self):
        with open(self.sig, "wb") as f:
            f.write(SIGNATURES.replace(b"</types>", b"""
<type><magic>50 4B 03 04</magic><magic>zip word/document.xml</magic><title>Word document</title><ext>.docx</ext></type>
<type><magic>50 4B 03 04</magic><title>ZIP archive</title><ext>.zip</ext><general/></type>
<type><magic>line #!</magic><title>Script</title><ext>.sh</ext></type>
<type><magic>text ascii</magic><title>Text</title><ext>.txt</ext><general/></type>
</types>"""))
        text, zipped = b"just some words\n", b"PK\x03\x04" + b"\x00" * 26
        for name in ("tool.sh", "tool.py", "notes.txt", "photo.png", "README"):
            self.put(name, text)
        for name in ("report.docx", "bundle.xpi", "notes.sh"):
            self.put(name, zipped)
        result, lines = self.json_run("-r", self.tree)
        self.assertEqual({l["title"]: l.get("general") for l in lines},
                         {"Text": True, "ZIP archive": True}, result.stderr)
        base = lambda path: os.path.basename(path.replace("\\", "/"))
        result, lines = self.json_run("--mismatch", "-r", self.tree)
        self.assertEqual(sorted(base(l["path"]) for l in lines), ["notes.sh", "photo.png"])
        result, lines = self.json_run("--rename", "--dry-run", "-r", self.tree)
        self.assertEqual(sorted(base(l["rename"]["to"]) for l in lines if "rename" in l),
                         ["notes.zip", "photo.txt"])
        result = run("--signatures", self.sig, "--mismatch", "-r", self.tree)
        rows = result.stdout.decode().splitlines()
        self.assertEqual(sorted(row.split()[-1] for row in rows),
                         sorted(native(os.path.join(self.tree, n)) for n in ("notes.sh", "photo.png")))
        self.assertTrue(all(" (general) " in row for row in rows), rows)

    def test_hostile_input_rename_racing_another_process_loses_nothing(self):
        # Another process creates the targets as fast as it can while the
        # renames run: each file ends either renamed or kept beside the
        # other's file, and every byte of both is still there.
        names = ["f%03d" % i for i in range(150)]
        for name in names:
            self.put(name + ".txt", b"\x89PNG" + name.encode())
        racer = subprocess.Popen([sys.executable, "-c", """
import os, sys
for name in sys.argv[2:]:
    try:
        fd = os.open(os.path.join(sys.argv[1], name + ".png"), os.O_CREAT | os.O_EXCL | os.O_WRONLY)
        os.write(fd, b"other " + name.encode())
        os.close(fd)
    except FileExistsError:
        pass
""", self.tree] + names)
        # The files are named rather than walked: a walk of the folder the
        # racer writes into would also meet the racer's own files.
        result, lines = self.json_run("--rename", *[os.path.join(self.tree, n + ".txt") for n in names])
        racer.wait(timeout=60)
        self.assertIn(result.returncode, (0, 1, 4, 5), result.stderr)
        after = self.listing()
        for name in names:
            mine, theirs = b"\x89PNG" + name.encode(), b"other " + name.encode()
            if after.get(name + ".png") == mine:
                self.assertNotIn(name + ".txt", after)
            else:
                self.assertEqual(after.get(name + ".png"), theirs)
                self.assertEqual(after.get(name + ".txt"), mine)
        self.assertEqual(len(lines), len(names))

    def test_a_failed_rename_has_its_own_exit_status(self):
        # The new name is one byte longer than a file name may be, so the
        # move itself fails; it outranks the unreadable path beside it.
        long_name = "x" * 252 + ".d"
        self.put(long_name)
        result, lines = self.json_run("--rename", "-r", self.tree, os.path.join(self.dir, "absent"))
        self.assertEqual(result.returncode, 4, result.stderr)
        self.assertEqual(lines[0]["rename"]["result"], "failed")
        self.assertTrue(lines[0]["rename"]["error"])
        self.assertEqual(lines[1]["state"], "unreadable")
        self.assertEqual(list(self.listing()), [long_name])

    def test_dry_run_changes_nothing(self):
        self.put("photo.txt")
        self.put("taken.txt")
        self.put("taken.png", b"x")
        before = self.listing()
        result = run("--signatures", self.sig, "--rename", "--dry-run", "-r", self.tree)
        self.assertEqual(result.returncode, 0)
        self.assertEqual(self.listing(), before)
        out = result.stdout.decode("utf-8")
        self.assertIn("photo.png (dry run)", out)
        self.assertIn("taken.png exists", out)

    def test_rename_refuses_extensions_that_would_leave_the_folder(self):
        evil = os.path.join(self.dir, "evil.xml")
        with open(evil, "wb") as f:
            f.write(b"<dat><types><type><magic>89 50</magic><title>X</title>"
                    b"<ext>/../../escaped</ext></type></types></dat>")
        self.put("photo.txt")
        result = run("--signatures", evil, "--json", "--rename", "-r", self.tree)
        self.assertEqual(json_lines(result.stdout)[0]["rename"]["result"], "unusable-extension")
        self.assertEqual(sorted(self.listing()), ["photo.txt"])
        self.assertEqual(sorted(os.listdir(self.dir)), ["evil.xml", "sig.xml", "tree"])

    def test_output_that_cannot_be_written_is_a_failure(self):
        self.put("a.txt")
        self.put("b.txt")
        bad = os.path.join(self.dir, "bad.xml")
        with open(bad, "wb") as f:
            f.write(b"<dat><types><type><magic>4D5A</magic></type></types></dat>")
        cases = [(["--signatures", self.sig, "-r", self.tree], 0),
                 (["--signatures", self.sig, "--json", "-r", self.tree], 0),
                 (["--lint", bad], 0),
                 (["--help"], 0),
                 (["--signatures", self.sig, "--rename", "-r", self.tree], 2),
                 (["--signatures", self.sig, "--json", "--rename", "-r", self.tree], 1)]
        # A listed batch keeps the same promise: one file at a time, each line out before the next.
        listed = os.path.join(self.dir, "list")
        with open(listed, "wb") as f:
            f.write(b"\n".join(native(os.path.join(self.tree, n)).encode("utf-8") for n in ("a.txt", "b.txt")))
        cases.append((["--signatures", self.sig, "--json", "--rename", "--files-from", listed], 1))
        # A full disk, and (on Linux) a pipe whose reader is gone before the first line.
        sinks = ["full"] if WINDOWS else ["full", "closed pipe"]
        for (args, renames), sink in ((case, sink) for case in cases for sink in sinks):
            with self.subTest(args=args, sink=sink):
                command = CLI + [a if a.startswith("-") else native(a) for a in args]
                if sink == "full":
                    with open("/dev/full", "wb") as full:
                        result = subprocess.run(command, stdout=full, stderr=subprocess.PIPE, timeout=120)
                else:
                    reader, writer = os.pipe()
                    os.close(reader)
                    try:
                        result = subprocess.run(command, stdout=writer, stderr=subprocess.PIPE, timeout=120)
                    finally:
                        os.close(writer)
                self.assertEqual(result.returncode, 3, result.stderr)
                self.assertIn(b"cannot write the output", result.stderr)
                # No rename goes untold, and none follows a lost report.
                renamed = [n for n in self.listing() if n.endswith(".png")]
                self.assertEqual(len(renamed), renames)
                self.assertEqual(result.stderr.count(b"renamed "), renames)
                for name in renamed:
                    os.rename(os.path.join(self.tree, name), os.path.join(self.tree, name[:-4] + ".txt"))

    def test_titles_read_alike_whether_saved_as_utf8_or_in_the_declared_encoding(self):
        title = "PNG\u753b\u50cf"  # PNG画像
        cases = [("utf-8", b'<?xml version="1.0" encoding="UTF-8"?>', title.encode("utf-8")),
                 ("shift_jis", b'<?xml version="1.0" encoding="Shift_JIS"?>', title.encode("shift_jis")),
                 ("utf-8, declared otherwise", b'<?xml version="1.0" encoding="Shift_JIS"?>', title.encode("utf-8"))]
        photo = self.put("photo.dat")
        # Windows reads a title that is not UTF-8 in the ANSI code page: 932 under a Japanese locale.
        env = dict(os.environ, KINDSNIFFER_WINE_LANG="ja_JP.UTF-8")
        for name, declaration, raw in cases:
            with self.subTest(saved=name):
                sig = os.path.join(self.dir, "titles.xml")
                with open(sig, "wb") as f:
                    f.write(declaration + b"<dat><types><type><magic>89 50</magic><title>" + raw
                            + b"</title><ext>.png</ext></type></types></dat>")
                result = run("--signatures", sig, "--json", photo, env=env)
                self.assertEqual(json_lines(result.stdout)[0]["title"], title, result.stderr)

    def test_wildcards_are_expanded_on_windows_only(self):
        for name in ("b.png", "a.png", "c.txt"):
            self.put(name)
        cases = [("*.png", ["a.png", "b.png"] if WINDOWS else None),
                 ("?.txt", ["c.txt"] if WINDOWS else None),
                 ("*.gif", None)]  # no match: the argument stays as it is
        for pattern, expected in cases:
            with self.subTest(pattern=pattern):
                result, lines = self.json_run(os.path.join(self.tree, pattern))
                if expected is None:
                    self.assertEqual([l["state"] for l in lines], ["unreadable"])
                    self.assertEqual(result.returncode, 1)
                else:
                    self.assertEqual([l["path"] for l in lines], [native(os.path.join(self.tree, n)) for n in expected])
                    self.assertEqual(result.returncode, 0, result.stderr)
        result = subprocess.run(CLI + ["/?"], capture_output=True, timeout=120)
        self.assertEqual((result.returncode, b"usage:" in result.stdout), (0, True) if WINDOWS else (1, False))

    def test_help_version_and_lint(self):
        for flag in ("--help", "--version"):
            result = run(flag)
            self.assertEqual(result.returncode, 0)
            self.assertIn(b"kindsniffer-cli", result.stdout)
        self.assertEqual(run("--dry-run", self.tree).returncode, 2)
        checked = os.path.join(self.dir, "checked.xml")
        for magic, findings in ((b"49 44 33 03 00", b""), (b"49 44 33", b":2: type \"MP3\" could name a text file")):
            with open(checked, "wb") as f:
                f.write(b"<dat><types>\n<type><magic>" + magic + b"</magic><title>MP3</title></type>\n</types></dat>\n")
            result = run("--lint", checked)
            self.assertEqual(result.returncode, 1 if findings else 0, result.stdout)
            self.assertIn(findings, result.stdout)
        bad = os.path.join(self.dir, "bad.xml")
        with open(bad, "wb") as f:
            f.write(b"<dat><types>\n<type>\n<magic>4D  5A</magic><title>T</title>\n</type></types></dat>\n")
        result = run("--lint", bad)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b":3:", result.stdout)


def tree_snapshot(top):
    """Every file under `top` by its relative path as bytes, with its contents."""
    found = {}
    for root, _, files in os.walk(os.fsencode(top)):
        for name in files:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, os.fsencode(top))] = f.read()
    return found


class Journals(unittest.TestCase):
    """--journal and --undo."""

    KINDS = [b"\x89PNG....", b"MZ\x90\x00", b"plain text", b"\x89PNG" + b"x" * 5000]

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="kindsniffer-journal-")
        self.sig = os.path.join(self.dir, "sig.xml")
        with open(self.sig, "wb") as f:
            f.write(SIGNATURES)
        self.tree = os.path.join(self.dir, "tree")
        os.mkdir(self.tree)
        self.journal = os.path.join(self.dir, "journal.jsonl")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def put(self, relative, content=b"\x89PNG...."):
        path = os.path.join(os.fsencode(self.tree), os.fsencode(relative))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def generate(self, count):
        names = ["d%d/f%03d.%s" % (i % 5, i, ("txt", "dat", "png", "")[i % 4]) for i in range(count)]
        names += ["odd name \u30d5\u30a1\u30a4\u30eb.dat", "a.b.c.txt", "no extension", "\u00e9t\u00e9 \U0001F600.txt"]
        for i, name in enumerate(names):
            self.put(name.rstrip("."), self.KINDS[i % len(self.KINDS)])
        if not WINDOWS:  # names Windows cannot hold: a quote, a backslash, bytes that are not UTF-8
            self.put('odd "name\\.dat')
            self.put(b"caf\xe9 \xff.dat".decode("utf-8", "surrogateescape"))
        return tree_snapshot(self.tree)

    def undo(self):
        result = run("--undo", self.journal)
        return result, result.stderr.decode("utf-8", "replace")

    def test_a_journal_undoes_a_batch_byte_for_byte_and_twice_does_nothing(self):
        before = self.generate(60)
        # The journal is written inside the folder it records, under a name its type does not fit.
        self.journal = os.path.join(self.tree, "journal.png")
        with open(self.sig, "wb") as f:
            f.write(SIGNATURES.replace(b"</types>", b"<type><magic>7B 22</magic><title>J</title><ext>.jsonl</ext>"
                                                    b"</type></types>"))
        result = run("--signatures", self.sig, "--rename", "-r", self.tree, "--journal", self.journal)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertNotIn(b"journal.png", result.stdout)
        renamed = tree_snapshot(self.tree)
        self.assertIn(b"journal.png", renamed)
        del renamed[b"journal.png"]
        self.assertNotEqual(sorted(renamed), sorted(before))
        with open(self.journal, "rb") as f:
            lines = [json.loads(line) for line in f.read().decode("utf-8").splitlines()]
        self.assertEqual(len(lines), len(set(renamed) - set(before)))
        self.assertEqual(set(lines[0]), {"from", "to", "size", "modified"})
        for attempt in range(2):  # and once more, which finds nothing to do
            result, told = self.undo()
            self.assertEqual((result.returncode, told), (0, ""))
            self.assertEqual(result.stdout.count(b"restored "), len(lines) if attempt == 0 else 0)
            after = tree_snapshot(self.tree)
            del after[b"journal.png"]
            self.assertEqual(after, before)
        self.assertIn(b"0 restored, %d already at the old name, 0 not undone" % len(lines), result.stdout)

    def test_a_killed_batch_leaves_a_journal_that_undoes_what_was_done(self):
        before = self.generate(600)
        command = CLI + ["--signatures", native(self.sig), "--rename", "-r", native(self.tree),
                         "--journal", native(self.journal)]
        batch = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and batch.poll() is None:
            if os.path.exists(self.journal) and os.path.getsize(self.journal) > 2000:
                break
            time.sleep(0.005)
        batch.send_signal(signal.SIGKILL)
        batch.wait(timeout=60)
        self.assertNotEqual(tree_snapshot(self.tree), before, "killed before it renamed anything")
        result, told = self.undo()
        self.assertEqual(result.returncode, 0, told)
        self.assertEqual(tree_snapshot(self.tree), before)

    def test_an_undo_leaves_a_changed_file_and_a_taken_name_alone(self):
        for name in ("changed", "taken", "gone", "kept"):
            self.put(name + ".txt", b"\x89PNG " + name.encode())
        result = run("--signatures", self.sig, "--rename", "-r", self.tree, "--journal", self.journal)
        self.assertEqual(result.returncode, 0, result.stderr)
        with open(os.path.join(self.tree, "changed.png"), "ab") as f:
            f.write(b" and more")
        self.put("taken.txt", b"a new file")
        os.remove(os.path.join(self.tree, "gone.png"))
        result, told = self.undo()
        self.assertEqual(result.returncode, 5, told)
        self.assertEqual(tree_snapshot(self.tree), {b"changed.png": b"\x89PNG changed and more",
                                                   b"taken.png": b"\x89PNG taken", b"taken.txt": b"a new file",
                                                   b"kept.txt": b"\x89PNG kept"})
        for name, why in (("changed", "has changed"), ("taken", "old name is taken"), ("gone", "no longer exists")):
            self.assertRegex(told, r"journal\.jsonl:\d+: not undone: .*%s\.png -> .*%s\.txt: .*%s" % (name, name, why))
        self.assertEqual(len(told.splitlines()), 3, told)

    def test_a_journal_that_cannot_be_written_stops_the_renames(self):
        if WINDOWS:
            self.skipTest("a file size limit is how the test makes the journal fail, and Windows has none")
        import resource

        def small_files_only():
            # The write past the limit then fails with EFBIG instead of killing the process.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (700, 700))

        before = self.generate(40)
        command = CLI + ["--signatures", self.sig, "--rename", "-r", self.tree, "--journal", self.journal]
        result = subprocess.run(command, capture_output=True, timeout=120, preexec_fn=small_files_only)
        self.assertEqual(result.returncode, 4, result.stderr)
        self.assertEqual(result.stderr.count(b"cannot write the journal"), 1, result.stderr)
        renamed = set(tree_snapshot(self.tree)) - set(before)
        with open(self.journal, "rb") as f:
            self.assertEqual(f.read().count(b"\n"), len(renamed))
        self.assertGreater(len(renamed), 0)
        self.assertEqual(self.undo()[0].returncode, 0)
        self.assertEqual(tree_snapshot(self.tree), before)

    def test_no_rename_happens_without_its_journal(self):
        self.put("photo.txt")
        with open(self.journal, "wb") as f:
            f.write(b"not mine\n")
        cases = [(["--journal", self.journal], "File exists|already exists"),
                 (["--journal", os.path.join(self.dir, "absent", "journal")], "[Nn]o such|not find|not found")]
        for extra, why in cases:
            with self.subTest(extra=extra):
                result = run("--signatures", self.sig, "--rename", self.tree, "-r", *extra)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertRegex(result.stderr.decode("utf-8"), "cannot create the journal .*(%s).*no file was renamed"
                                 % why)
                self.assertEqual(sorted(tree_snapshot(self.tree)), [b"photo.txt"])
        with open(self.journal, "rb") as f:
            self.assertEqual(f.read(), b"not mine\n")
        for args in (["--journal", self.journal, self.tree], ["--rename", "--dry-run", "--journal", self.journal, self.tree],
                     ["--undo", self.journal, self.tree], ["--undo", self.journal, "--json"]):
            with self.subTest(args=args):
                self.assertEqual(run("--signatures", self.sig, *args).returncode, 2)
        result, told = self.undo()  # a file that is no journal: each line told, nothing touched
        self.assertEqual(result.returncode, 5)
        self.assertIn("journal.jsonl:1: not a journal line", told)
        self.assertEqual(run("--undo", os.path.join(self.dir, "absent")).returncode, 2)


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
