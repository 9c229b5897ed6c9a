#!/usr/bin/env python3
"""Writes text files of known kinds and encodings, and checks what the console program calls them.

    text_corpus.py --cli "build/native/cli/kindsniffer-cli" --signatures data/Kindsniffer.xml OUTDIR

Text is written here and turned into each encoding with iconv, as a user's
editor would save it. Files that are not text (random bytes, zeros, UTF-16
lookalikes without a mark, binaries cut short) must get no text title.
2,000 random files may get a name in at most 1 % of cases, and never a
text title. Exits 1 when any file gets the wrong answer; the last line is "N passed, M failed".
"""

import argparse
import json
import os
import random
import shlex
import subprocess
import sys

PROSE_JA = ("吾輩は猫である。名前はまだ無い。\n"
            "どこで生れたかとんと見当がつかぬ。何でも薄暗いじめじめした所でニャーニャー泣いていた事だけは記憶している。\n"
            "ｶﾀｶﾅの半角もまぜておく。価格は１２３円、記号は「」『』※。\n")
PROSE_EN = ("The quick brown fox jumps over the lazy dog.\n"
            "Meetings move to Thursday; bring the budget sheet and last year's figures.\n")
PROSE_FR = "Le café crème est servi près de la fenêtre, à côté du garçon naïf.\nÇa coûte très cher, hélas.\n"
PROSE_DE = "Grüße aus München! Die Straße ist schön… Wir fahren morgen früh nach Köln.\r\n"
PROSE_CS = "Příliš žluťoučký kůň úpěl ďábelské ódy. Ještě dnes večer přijedu domů.\r\n"
PROSE_RU = "Съешь же ещё этих мягких французских булок, да выпей чаю.\r\nПривет всем!\r\n"
PROSE_GA = "今日はいい天気ですが、明日は雨が降るでしょう。\n私が行きます。\n"
JSON_HYO = '{"表": "表示", "項目": ["一覧表", "予定"]}\n'
CSV_JA = "氏名,年齢,住所\n山田太郎,30,東京都千代田区\n鈴木花子,25,\"大阪府大阪市, 北区\"\n"
TSV = "name\tcount\tnote\napples\t3\tred\npears\t5\t\"green, ripe\"\n"
JSON = '{\n  "status": "ok",\n  "items": [{"id": 1, "name": "日本語"}, {"id": 2, "ratio": -0.5e2}],\n  "next": null\n}\n'

# The titles the text types give; an answer among them for a file that is not text is false text.
TEXT_TITLES = {
    "Text", "Text (UTF-8)", "Text (UTF-16LE)", "Text (UTF-16BE)", "Text (Shift_JIS)", "Text (EUC-JP)",
    "Text (ISO-2022-JP)", "Text (Windows-1252)", "Text (Windows-1250)", "Text (Windows-1251)",
    "CSV (Windows-1252)", "CSV (Windows-1250)", "CSV (Windows-1251)", "CSV", "CSV (Shift_JIS)", "CSV (semicolon-separated)", "Tab-separated values",
    "Tab-separated values (Shift_JIS)", "Tab-separated values (UTF-16LE)", "JSON data", "XML document",
    "HTML document", "SVG image", "YAML document", "E-mail message", "INI settings", "SubRip subtitles",
    "JSON Lines data", "Emacs SRecode template", "Vim script",
    "XSLT stylesheet", "XML Schema", "RELAX NG schema", "Package relationships", "GTK user interface",
    "KML geographic data", "GIFTI surface",
    "XML document type definition", "Projection (well-known text)", "R raster grid header",
    "Philips PAR/REC header", "CMake script", "RELAX NG compact schema", "XML entity declarations",
    "Desktop entry", "systemd service unit", "systemd socket unit", "systemd timer unit", "systemd mount unit",
    "systemd path unit", "D-Bus service file", "Keyboard shortcut scheme", "Dia sheet", "Dia shape",
    "KDE XML GUI description", "WiX installer source", "WiX include file", "Synfig animation",
    "Elmer solver input", "Jupyter notebook", "Maven POM", "pkg-config metadata",
}


def encode(text, encoding):
    """The text in ENCODING, converted by iconv as the rest of the system would."""
    return subprocess.run(["iconv", "-f", "UTF-8", "-t", encoding], input=text.encode("utf-8"),
                          stdout=subprocess.PIPE, check=True).stdout


def cases():
    """(file name, bytes, expected title or None for "no text title")."""
    crlf = PROSE_JA.replace("\n", "\r\n")
    yield "memo-sjis.dat", encode(crlf, "CP932"), "Text (Shift_JIS)"
    yield "memo-eucjp.dat", encode(PROSE_JA, "EUC-JP"), "Text (EUC-JP)"
    yield "memo-jis.dat", encode(PROSE_JA.replace("ｶﾀｶﾅの半角", "カタカナの全角"), "ISO-2022-JP"), "Text (ISO-2022-JP)"
    yield "memo-utf8.dat", PROSE_JA.encode("utf-8"), "Text (UTF-8)"
    yield "memo-utf8-bom.dat", b"\xef\xbb\xbf" + PROSE_JA.encode("utf-8"), "Text (UTF-8)"
    yield "memo-utf16le.dat", encode(crlf, "UTF-16"), "Text (UTF-16LE)"  # iconv writes a mark, little-endian here
    yield "memo-utf16be.dat", b"\xfe\xff" + encode(PROSE_JA, "UTF-16BE"), "Text (UTF-16BE)"
    yield "notes", PROSE_EN.encode("ascii"), "Text"
    # Long text: the sample's edges cut characters, and the middle is never read.
    long_sjis = encode(PROSE_JA * 3000, "CP932")
    yield "long-sjis.dat", long_sjis, "Text (Shift_JIS)"
    yield "long-utf8.dat", (PROSE_JA * 3000).encode("utf-8"), "Text (UTF-8)"
    yield "letter-cp1252.dat", encode(PROSE_FR.replace(", hélas", "."), "CP1252"), "Text (Windows-1252)"
    yield "gruss-cp1252.dat", encode(PROSE_DE, "CP1252"), "Text (Windows-1252)"
    yield "dopis-cp1250.dat", encode(PROSE_CS, "CP1250"), "Text (Windows-1250)"
    yield "pismo-cp1251.dat", encode(PROSE_RU, "CP1251"), "Text (Windows-1251)"
    # Japanese shapes whose two-byte characters hold ASCII's syntax bytes: が is 24 2C in
    # ISO-2022-JP, and 表 ends in 5C in Shift_JIS.
    yield "prose-jis.dat", encode(PROSE_GA, "ISO-2022-JP"), "Text (ISO-2022-JP)"
    yield "table-sjis.json", encode(JSON_HYO, "CP932"), "JSON data"
    yield "people", encode(CSV_JA.replace("\n", "\r\n"), "CP932"), "CSV (Shift_JIS)"
    yield "people-utf8", CSV_JA.encode("utf-8"), "CSV"
    yield "sheet", TSV.encode("ascii"), "Tab-separated values"
    yield "sheet-unicode", encode(TSV.replace("\n", "\r\n"), "UTF-16"), "Tab-separated values (UTF-16LE)"
    yield "semicolons", b"a;b;c\n1;2;3\n4;5;6\n", "CSV (semicolon-separated)"
    yield "response", JSON.encode("utf-8"), "JSON data"
    yield "list-reply", b"[1, 2, 3]", "JSON data"
    yield "page", b"<!-- saved page -->\n<HTML><HEAD><TITLE>x</TITLE></HEAD><BODY>hi</BODY></HTML>\n", "HTML document"
    yield "page-body", b"\n<body>\n<p>fragment</p>\n</body>\n", "HTML document"
    yield "drawing", b'<svg xmlns="http://www.w3.org/2000/svg" width="4" height="4"/>\n', "SVG image"
    yield "drawing-comment", b'<!-- by hand -->\n<svg xmlns="http://www.w3.org/2000/svg"/>\n', "SVG image"
    yield "feed-rss", b'\n<rss version="2.0"><channel/></rss>\n', "RSS feed"
    yield "feed-atom", b'<feed xmlns="http://www.w3.org/2005/Atom"><title>t</title></feed>\n', "Atom feed"
    yield "settings-plist", b'<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "x">\n<plist version="1.0"><dict/></plist>', "XML property list"
    yield "data-xml", b"<?xml-stylesheet href='s.xsl'?>\n<order id='7'><item/></order>\n", "XML document"
    reg5 = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n"
    yield "tweaks-be.dat", b"\xfe\xff" + encode(reg5, "UTF-16BE"), "Windows registry script"
    # Without its mark, UTF-16 holds NUL bytes: no text by these rules.
    yield "tweaks-nomark.dat", encode("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n\"A\"=dword:00000001\r\n", "UTF-16BE"), None
    yield "tweaks4", b"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n", "Windows registry script"
    yield "link", b"\xef\xbb\xbf[InternetShortcut]\r\nURL=https://example.org/\r\n", "Internet shortcut"
    yield "settings", b"[General]\r\nSize=10\r\nName=x\r\n", "INI settings"
    yield "grid", b"[general]\r\ncreator=R package 'raster'\r\n[data]\r\nnbands=1\r\n", "R raster grid header"
    yield "meeting", b"\xef\xbb\xbfBEGIN:VCALENDAR\r\nVERSION:2.0\r\nEND:VCALENDAR\r\n", "iCalendar data"
    yield "contact", b"begin:vcard\r\nversion:3.0\r\nfn:A\r\nend:vcard\r\n", "vCard contact"
    yield "movie-subs", b"1\r\n00:00:01,000 --> 00:00:04,000\r\nHello.\r\n\r\n2\r\n00:00:05,000 --> 00:00:06,000\r\nBye.\r\n", "SubRip subtitles"
    yield "captions", b"\xef\xbb\xbfWEBVTT\n\n00:01.000 --> 00:04.000\nHi\n", "WebVTT subtitles"
    yield "message", (b"Return-Path: <a@example.org>\r\nReceived: from x by y\r\nFrom: A <a@example.org>\r\n"
                      b"Subject: hi\r\n\r\nBody\r\n"), "E-mail message"
    yield "message2", b"MIME-Version: 1.0\r\nFrom: a@example.org\r\nContent-Type: text/plain\r\n\r\nx\r\n", "E-mail message"
    yield "config", b"---\nname: x\nitems:\n  - 1\n  - 2\n", "YAML document"
    yield "hooks", b"# checks\nrepos:\n-   repo: https://example.org/x\n    hooks:\n    - id: y\n", "YAML document"
    yield "events", b'{"id": 1, "tags": ["a"]}\n{"id": 2, "tags": []}\n', "JSON Lines data"
    yield "message3", b"To: b@example.org\nFrom: a@example.org\nSubject: hi\n\nBody\n", "E-mail message"
    yield "fragment", b"<!-- part -->\n<h1>News</h1>\n<p>Released.</p>\n", "HTML document"
    yield "link-fragment", b'<a href="https://example.org/">home</a>\n', "HTML document"
    yield "example-xml", b"<a><b>1</b></a>\n", "XML document"
    yield "transform", b'<!-- to HTML -->\n<xsl:stylesheet version="1.0" xmlns:xsl="x"/>\n', "XSLT stylesheet"
    for root, title in (("xs:schema", "XML Schema"), ("grammar", "RELAX NG schema"),
                        ("Relationships", "Package relationships"), ("interface", "GTK user interface"),
                        ("kml", "KML geographic data"), ("GIFTI", "GIFTI surface")):
        yield "dialect-" + root.replace(":", "-"), ("<%s a='1'>\n  <x/>\n</%s>\n" % (root, root)).encode(), title
    yield "notebook", b'{"cells": [], "metadata": {}, "nbformat": 4, "nbformat_minor": 5}\n', "Jupyter notebook"
    yield "flags", b"prefix=/usr\nlibdir=${prefix}/lib\n\nName: x\nDescription: the x library\nVersion: 1\n", "pkg-config metadata"
    yield "config-mak", b"prefix=/usr\nCC=cc\n", "Text"
    yield "lux.prj", b'GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137,298.257223563]]]', "Projection (well-known text)"
    yield "scan", b"# === DATA DESCRIPTION FILE ======================\n# CAUTION - Investigational device.\n", "Philips PAR/REC header"
    yield "targets", b"# Generated by CMake\n\nif(CMAKE_VERSION VERSION_LESS 2.8)\n", "CMake script"
    yield "compact", b'namespace a = "http://relaxng.org/ns/compatibility/annotations/1.0"\nstart = doc\n', "RELAX NG compact schema"
    yield "types", b'<!ENTITY % x "y">\n<!ELEMENT doc (#PCDATA)>\n', "XML document type definition"
    # Behind a licence comment too; entities alone are a set of them, whatever they declare.
    yield "types-commented", b"<!-- licence -->\n\n<!ELEMENT doc (#PCDATA)>\n", "XML document type definition"
    yield "symbols", b'<!-- symbols -->\n<!ENTITY copy "&#169;">\n<!ENTITY % draft "IGNORE">\n', "XML entity declarations"
    # INI settings whose groups name their kind; a drop-in that amends a unit stays INI settings.
    for name, text, title in (
            ("launcher", "# generated\n[Desktop Entry]\nName=x\nExec=x\n", "Desktop entry"),
            ("unit", "[Unit]\nDescription=x\n\n[Timer]\nOnCalendar=daily\n", "systemd timer unit"),
            ("drop-in", "[Unit]\nAfter=network.target\n[Service]\nNice=5\n", "INI settings"),
            ("bus", "[D-BUS Service]\nName=org.example.X\nExec=/usr/bin/x\n", "D-Bus service file"),
            ("keys", "[Shortcuts]\nundo=Ctrl+Z\nclear=none\n", "Keyboard shortcut scheme"),
            ("app-keys", "[Shortcuts]\nundo=Ctrl+Z\n", "INI settings")):
        yield "ini-" + name, text.encode(), title
    yield "solver-input", b'Check Keywords "Warn"\n\nHeader\n  Mesh DB "."\nEnd\n\nSolver 1\n  Stabilize = Logical True\nEnd\n', "Elmer solver input"
    # XML dialects whose root is a common word: its namespace or its attributes decide.
    for name, root, title in (
            ("sheet", '<sheet xmlns="http://www.lysator.liu.se/~alla/dia/dia-sheet-ns">', "Dia sheet"),
            ("shape", '<shape xmlns="http://www.daa.com.au/~james/dia-shape-ns">', "Dia shape"),
            ("sheet-other", "<sheet>", "XML document"),
            ("gui", '<gui name="x" xmlns="http://www.kde.org/standards/kxmlgui/1.0">', "KDE XML GUI description"),
            ("wix", '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">', "WiX installer source"),
            ("canvas", '<canvas version="1.0" view-box="0 0 1 1" xres="2834">', "Synfig animation")):
        yield "xml-" + name, ('<?xml version="1.0"?>\n%s\n  <name>x</name>\n</%s>\n'
                              % (root, root[1:].split()[0].rstrip(">"))).encode(), title
    # Notebooks of both versions; a JSON file with cells but no notebook version is no notebook.
    yield "nb3", (b'{\n "metadata": {\n  "name": ""\n },\n "nbformat": 3,\n "nbformat_minor": 0,\n'
                  b' "worksheets": [\n  {\n   "cells": []\n  }\n ]\n}\n'), "Jupyter notebook"
    yield "cells-json", b'{\n "cells": [1, 2],\n "rows": 2\n}\n', "JSON data"
    yield "build-xml", b'<project name="p" default="all"><target name="all"/></project>\n', "XML document"
    yield "pom-xml", b'<?xml version="1.0"?>\n<project>\n  <modelVersion>4.0.0</modelVersion>\n</project>\n', "Maven POM"
    yield "mode.srt", b';;; c.srt --- templates\n\nset mode "c-mode"\n\ncontext file\n', "Emacs SRecode template"
    yield "measures", b"# columns: name, size, pitch\n# all in mm\nname,size,pitch\nM4,4,0.7\nM5,5,0.8\n", "CSV"
    yield "terms-yaml", "Abstract: Résumé\nListOfFigures: Figures\nListOfTables: Tables\n".encode("utf-8"), "YAML document"
    yield "addon-yaml", b'addon: x\ndescription: "syntax for x"\nfiles:\n  - syntax/x.vim\n', "YAML document"
    yield "syntax-vim", b'" Vim syntax file\n" Language: x\nsyn keyword xTodo TODO\n', "Vim script"
    yield "detect-vim", b"au BufRead,BufNewFile *.x set filetype=x\nau BufRead,BufNewFile *.y set filetype=y\n", "Vim script"
    # Weak first lines that used to name a format: each is plain text now.
    yield "readme", b"[![build](https://example.org/b.svg)](https://example.org)\n\nA tool.\n", "Text"
    yield "memo", b"From: the desk of A.\nRemember the budget sheet.\n", "Text"
    yield "post", b"---\ntitle: Notes\n---\n\nSome prose, not YAML.\n", "Text"
    yield "statements", b"v1;\npackage p;\npriority 1;\n", "Text"
    yield "flat-notes", b"Name: Ann\nPhone: 555 0100\nFiles: two\n", "Text"
    # Not text.
    rng = random.Random(16)
    yield "random.bin", bytes(rng.getrandbits(8) for _ in range(5000)), None
    yield "zeros.bin", bytes(8192), None
    yield "utf16-lookalike.bin", bytes(b for _ in range(2000) for b in (rng.getrandbits(8), 0)), None
    yield "marked-noise.bin", b"\xff\xfe" + bytes(rng.getrandbits(8) for _ in range(3000)), None
    for tool in ("/bin/ls", "/bin/sh"):
        if os.path.exists(tool):
            data = open(tool, "rb").read()
            yield "cut-%s.bin" % os.path.basename(tool), data[4096:4096 + 20000], None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True, help="the program, split like a shell command line")
    parser.add_argument("--signatures", required=True)
    parser.add_argument("outdir")
    args = parser.parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    expected = {}
    for name, data, title in cases():
        path = os.path.join(args.outdir, name)
        with open(path, "wb") as f:
            f.write(data)
        expected[path] = title
    cmd = shlex.split(args.cli) + ["--signatures", args.signatures, "--json"] + list(expected)
    out = subprocess.run(cmd, stdout=subprocess.PIPE).stdout.decode("utf-8", "replace")
    answers = {}
    for line in out.splitlines():
        if line.strip().startswith("{"):
            obj = json.loads(line)
            answers[obj.get("path", "")] = obj
    passed = failed = 0
    for path, title in expected.items():
        answer = answers.get(path) or answers.get(path.replace("/", "\\")) or {}
        got = answer.get("title") if answer.get("state") == "detected" else None
        ok = got == title if title else got not in TEXT_TITLES
        passed += ok
        failed += not ok
        if not ok:
            print("FAIL %s: expected %r, got %r" % (os.path.basename(path), title or "no text title", got))
    # Random files as a whole: at most 1 % named anything, none named text.
    noise = os.path.join(args.outdir, "random")
    os.makedirs(noise, exist_ok=True)
    rng = random.Random(2000)
    for i in range(2000):
        with open(os.path.join(noise, "r%04d" % i), "wb") as f:
            f.write(bytes(rng.getrandbits(8) for _ in range(rng.randint(16, 8192))))
    out = subprocess.run(shlex.split(args.cli) + ["--signatures", args.signatures, "--json", "-r", noise],
                         stdout=subprocess.PIPE).stdout.decode("utf-8", "replace")
    named = [json.loads(line) for line in out.splitlines() if line.strip().startswith("{")]
    named = [a.get("title") for a in named if a.get("state") == "detected"]
    ok = len(named) <= 20 and not any(t in TEXT_TITLES for t in named)
    passed += ok
    failed += not ok
    if not ok:
        print("FAIL random files: %d of 2000 named (%s)" % (len(named), ", ".join(sorted(set(named)))))
    print("%d passed, %d failed" % (passed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
