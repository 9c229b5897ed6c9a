#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/ from the shipped signature set and
a few hand-written cases. Run it again after a large change to the set; the
output is small and committed."""
import gzip
import io
import os
import re
import struct
import sys
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SHIPPED = os.path.join(HERE, "..", "data", "Kindsniffer.xml")


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def doc(types):
    return b'<?xml version="1.0"?>\n<dat>\n<types>\n' + b"\n".join(types) + b"\n</types>\n</dat>\n"


def pe_with_export(data):
    """A PE32+ header at 64 with one section mapping address 0x1000 to offset 0x200, where the
    export directory (and `data`) lies."""
    image = bytearray(0x200 + len(data))
    image[0:2] = b"MZ"
    struct.pack_into("<I", image, 60, 64)
    struct.pack_into("<4sHHIIIHH", image, 64, b"PE\0\0", 0x8664, 1, 0, 0, 0, 240, 0x2022)
    struct.pack_into("<HI", image, 88, 0x20B, 0)
    struct.pack_into("<III", image, 88 + 108, 16, 0x1000, len(data))
    struct.pack_into("<8sIIII", image, 88 + 240, b".edata", len(data), 0x1000, len(data), 0x200)
    image[0x200:] = data
    return bytes(image)


def bytes_for(magic):
    """Bytes on which a magic text holds, for the simple texts of the set."""
    tokens = magic.split(" ")
    offset = 0
    if tokens[0] == "?:":
        tokens, offset = tokens[1:], 3
    elif tokens[0].endswith(":"):
        offset = int(tokens[0][:-1])
        tokens = tokens[1:]
        if offset < 0 or offset > 64:
            return None
    try:
        body = bytes(0 if t == "??" else int(t, 16) & 0xFF for t in tokens)
    except ValueError:  # a new form's keyword
        return None
    return b"\0" * offset + body + b"\0"


def compound(names, shift=9, data=b""):
    """A compound file: header, one FAT sector, the directory, a data sector."""
    size = 1 << shift
    entries = b""
    for i, (name, kind) in enumerate([("Root Entry", 5)] + [(n, 2) for n in names]):
        raw = name.encode("utf-16-le")
        entries += (raw.ljust(64, b"\0") + struct.pack("<HBB3I", len(raw) + 2, kind, 1, *[0xFFFFFFFF] * 3)
                    + (b"\x06\x09\x02" if i == 0 else b"").ljust(16, b"\0")).ljust(116, b"\0") \
                   + struct.pack("<IQ", 0xFFFFFFFE, 0)
    dirs = -(-len(entries) // size)
    entries = entries.ljust(dirs * size, b"\0")
    header = (b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\0" * 16
              + struct.pack("<5H", 0x3E, 4 if shift == 12 else 3, 0xFFFE, shift, 6) + b"\0" * 6
              + struct.pack("<9I", dirs if shift == 12 else 0, 1, 1, 0, 4096, 0xFFFFFFFE, 0, 0xFFFFFFFE, 0)
              + struct.pack("<I", 0) + b"\xFF" * 432).ljust(size, b"\0")
    chain = [0xFFFFFFFD] + [s + 2 if s + 1 < dirs else 0xFFFFFFFE for s in range(dirs)] + [0xFFFFFFFE]
    fat = struct.pack("<%dI" % len(chain), *chain).ljust(size, b"\xFF")
    return header + fat + entries + data.ljust(size, b"\0")


def structure_seeds():
    """Seeds for the structure readers: ZIP archives, compound files, compressed streams, pointers."""
    for i, (members, zip64, method) in enumerate([
            ([("mimetype", b"application/epub+zip"), ("content.xml", b"<office/>" * 20)], False, zipfile.ZIP_STORED),
            ([("word/document.xml", b"<w:document/>" * 30), ("arr_0.npy", b"\x93NUMPY")], False,
             zipfile.ZIP_DEFLATED),
            ([("a", b"x"), ("b/", b"")], True, zipfile.ZIP_DEFLATED)]):
        out = io.BytesIO()
        with zipfile.ZipFile(out, "w", method) as z:
            for name, data in members:
                with z.open(zipfile.ZipInfo(name), "w", force_zip64=zip64) as f:
                    f.write(data)
            z.comment = b"comment naming mimetype"
        put("zip", "archive-%d" % i, out.getvalue())
    put("zip", "prefixed", b"MZ" + b"\0" * 200 + open(os.path.join(HERE, "corpus", "zip", "archive-0"), "rb").read())
    put("compound", "word-512", compound(["WordDocument", "\x05SummaryInformation", "1Table", "Data", "CompObj"]))
    put("compound", "sheet-4096", compound(["Workbook"], shift=12))
    put("compound", "hidden", compound(["Contents"], data=b"H\0i\0d\0"))
    svg = b'<?xml version="1.0"?><svg xmlns="http://www.w3.org/2000/svg"/>' * 4
    put("inflate", "gzip-bare", b"\x01" + gzip.compress(svg, mtime=0))
    named = b"\x1f\x8b\x08\x1e\0\0\0\0\0\x03" + b"\x02\0ab" + b"a.svg\0" + b"note\0"
    put("inflate", "gzip-fields", b"\x01" + named + zlib.compress(svg)[2:-4])
    put("inflate", "zlib", b"\x02" + zlib.compress(svg))
    put("inflate", "raw", b"\x00" + zlib.compress(svg)[2:-4])
    put("inflate", "stored", b"\x02" + zlib.compress(svg, 0))
    for i, lfanew in enumerate([0x40, 0x80, 0xB8]):
        exe = bytearray(0x100)
        exe[0:2] = b"MZ"
        exe[60:64] = struct.pack("<I", lfanew)
        exe[lfanew:lfanew + 4] = b"PE\0\0"
        put("pointer", "pe-%d" % i, struct.pack("<HBhB", 60, i % 4, 23 - i * 30, 4) + bytes(exe))


def journal_seeds():
    """Lines as --journal writes them, and the ways a crash or an editor leaves them."""
    line = b'{"from": "/srv/caf\\udce9.dat", "to": "/srv/caf\\udce9.png", "size": 8, "modified": 1796712209135972373}\n'
    for i, data in enumerate([line * 3, line + line[:40], b"\n\r\n" + line.replace(b"\n", b"\r\n"),
                              b'{"from": "C:\\\\d\\ud800", "to": "\\u30d5\\ud83d\\ude00", "size": 0, "modified": -1}\n',
                              b'{"to": "/b", "size": 01, "modified": 1, "x": "\\q"}\n{"from": "\\u0000"}\n']):
        put("journal", "seed-%d" % i, data)


def language_seeds(text):
    """Rule lines, NUL, a text: each shipped language's evidence with a few lines of its kind, and a
    hand-written pair of made-up languages."""
    samples = {b"c": b"#include <stdio.h>\nint main(void)\n{\n    return 0;\n}\n",
               b"python": b"#!/usr/bin/env python3\nimport os\n\ndef f(self):\n    return None\n",
               b"markdown": b"# Title\n\nSee [a](b).\n\n```\ncode\n```\n",
               b"batch": b"@ECHO OFF\r\nrem x\r\nset A=%~dp0\r\ngoto :eof\r\n",
               b"properties": b"# x\nlog4j.rootLogger=INFO\n  a-b.c_1=2\na..b=1\na.b==1\n.a=1\n"}
    for name, sample in samples.items():
        found = re.search(rb"<magic>lang " + name + rb"</magic>(.*?)<title>", text, re.S)
        rules = re.findall(rb"<magic>([^<]*)</magic>", found.group(1))
        rules = [r.replace(b"&lt;", b"<").replace(b"&gt;", b">").replace(b"&amp;", b"&") for r in rules]
        put("languages", "shipped-" + name.decode(), b"lang " + name + b"\n" + b"\n".join(rules) + b"\0" + sample)
    put("languages", "pair", b"lang a\nweigh 5 start al\nweigh -3 iword ::\nlang b\nweigh 5 start be\n"
                             b"weigh 4 end ;\nweigh 9 mode b\nlang a b\n\0al x;\n  be ::;\n// vim: ft=b\n")


def buffer_seeds():
    """Whole files for the library's buffer entry point: archives, a compound file, a stream, text."""
    for name in ("archive-0", "archive-1"):
        put("buffer", "zip-" + name, open(os.path.join(HERE, "corpus", "zip", name), "rb").read())
    put("buffer", "word-512", compound(["WordDocument", "1Table"]))
    put("buffer", "png", b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR" + b"\0" * 17)
    put("buffer", "gzip-svg", gzip.compress(b'<?xml version="1.0"?><svg xmlns="http://www.w3.org/2000/svg"/>', mtime=0))
    put("buffer", "json", b'{"name": "x", "list": [1, 2, 3]}\n')
    put("buffer", "script", b"#!/bin/sh\nfor f in *; do echo \"$f\"; done\n")


def main():
    text = open(SHIPPED, "rb").read()
    types = re.findall(rb"<type>.*?</type>", text, re.S)
    # A few types a document, from across the set, kept under 2 KiB each.
    for i in range(0, len(types), 24):
        chosen = [t for t in types[i:i + 24:6] if len(t) < 600]
        if chosen:
            put("signatures", "shipped-%03d.xml" % i, doc(chosen))
            put("lint", "shipped-%03d.xml" % i, doc(chosen))
    hand = {
        "comments-cdata.xml": doc([b"<type><!-- c --><magic><![CDATA[4D 5A]]></magic><title>A</title>"
                                   b"<ext>.a</ext></type>", b"<type><magic>?: 50 4B</magic><magic>FF</magic>"
                                   b"<title>&#x41;&amp;</title></type>"]),
        "end-anchor.xml": doc([b"<type><magic>-2: 55 AA</magic><title>Boot</title><ext>.img</ext></type>"]),
        "broken.xml": b"<dat><types><type><magic>4D 5A</magic><title>x</title></type></types></dat><oops",
        "spoiled.xml": doc([b"<type><magic>\n  4D  5A\t</magic><Title>t</Title><ext>exe</ext></type>",
                            b"<type><magic>0x10: 4D 5A5A zz ?</magic></type>"]),
        "shadow.xml": doc([b"<type><magic>50 4B</magic><title>Zip</title><ext>.zip</ext></type>",
                           b"<type><magic>50 4B 03 04</magic><title>Docx</title><ext>.docx</ext></type>"]),
        "text-masks.xml": doc([b"<type><magic>text</magic><title>Text &amp; more</title><ext>.txt</ext></type>",
                               b"<type><magic>text utf-8</magic><magic>json</magic><title>J & S</title></type>",
                               b"<type><magic>gzip ?: 51&amp;50 20&amp;F0</magic><title>G</title><ext>.g</ext>"
                               b"</type>"]),
        "mime.xml": doc([b"<type><magic>89 50</magic><title>P</title><ext>.p</ext><mime>image/p</mime></type>",
                         b"<type><magic>89 50 4E</magic><title>Q</title><ext>.q</ext><mime>image/p</mime>"
                         b"<mime>x-a/b+c</mime></type>",
                         b"<type><magic>01</magic><title>R s</title><ext>.r</ext><mime>IMAGE/P</mime>"
                         b"<mime>image/</mime><mime></mime><Mime>a b/c</Mime><general/></type>"]),
    }
    structure_seeds()
    buffer_seeds()
    language_seeds(text)
    for name, data in hand.items():
        put("signatures", name, data)
        put("lint", name, data)

    # Pattern seeds: text, NUL, layout byte, filler byte, bytes.
    magics = sorted(set(m.decode("latin-1") for m in re.findall(rb"<magic>([^<]{1,120})</magic>", text)))
    for i, magic in enumerate(magics[::8]):
        data = bytes_for(magic)
        if data is not None:
            put("magic", "shipped-%03d" % i, magic.encode("latin-1") + b"\0" + bytes([i % 16, 0]) + data)
    for i, (magic, data) in enumerate([("?: 50 4B", b"xxPK"), ("-3: 4D ?? 5A", b"..M.Z"), ("0: 4D 5A", b"MZ"),
                                       ("4D5A zz", b"Z"), ("-1 0x4d", b"\xffM"), ("?:", b"a"),
                                       ("512:", b""), ("?: ?? 00", b"\0\0")]):
        put("magic", "hand-%d" % i, magic.encode() + b"\0" + bytes([i * 5 % 16, 0x50]) + data)

    # Pattern seeds of the new forms, each on bytes it holds on.
    for i, (magic, data) in enumerate([("gzip 0: 3C 73", gzip.compress(b"<svg/>", mtime=0)),
                                       ("zlib 2 ?: 61", b"..\x78\x9c" + zlib.compress(b"abc")[2:]),
                                       ("ptr 0 u16le +2: 4D&FF", b"\x00\x00\x00\x00M"),
                                       ("zip a 0: 78", open(os.path.join(HERE, "corpus", "zip", "archive-2"), "rb").read()),
                                       ("ole Workbook", compound(["Workbook"])),
                                       ("oleclsid 00020906-0000-0000-0000-000000000000", compound([])),
                                       ("near 0 64: 41 42", b"..AB"), ("near -4 4: 5A", b"....Z"),
                                       ("near ptr 0 u16le -2 16: 4D", b"\x04\x00M"),
                                       ("near pe export 64: 2E 61", pe_with_export(b"a.acm\0")),
                                       ("xmlroot svg xmlns=urn:x v", b'<s:svg xmlns:s="urn:x" v="1"/>')]):
        put("magic", "form-%d" % i, magic.encode() + b"\0" + bytes([0, 0]) + data)

    # Escaping seeds: names a terminal or a JSON reader could trip on.
    for i, data in enumerate([b"plain.txt", b"new\nline.png", b"\x1b[31mred\x1b[0m", b"caf\xe9 \xc3\xa9 \xf0\x9f\x98\x80",
                              b"C:\\dir\\x41.bin", b"\xc2\x85\xc2\x9b\x7f\x00", b"\xed\xa0\x80\xf4\x90\x80\x80"]):
        put("text", "seed-%d" % i, data)

    journal_seeds()


if __name__ == "__main__":
    sys.exit(main())
