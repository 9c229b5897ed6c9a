#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/ from the shipped signature set and
a few hand-written cases. Run it again after a large change to the set; the
output is small and committed."""
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SHIPPED = os.path.join(HERE, "..", "data", "Kindsniffer.xml")


def put(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def doc(types):
    return b'<?xml version="1.0"?>\n<dat>\n<types>\n' + b"\n".join(types) + b"\n</types>\n</dat>\n"


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
    body = bytes(0 if t == "??" else int(t, 16) & 0xFF for t in tokens)
    return b"\0" * offset + body + b"\0"


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
    }
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

    # Escaping seeds: names a terminal or a JSON reader could trip on.
    for i, data in enumerate([b"plain.txt", b"new\nline.png", b"\x1b[31mred\x1b[0m", b"caf\xe9 \xc3\xa9 \xf0\x9f\x98\x80",
                              b"C:\\dir\\x41.bin", b"\xc2\x85\xc2\x9b\x7f\x00", b"\xed\xa0\x80\xf4\x90\x80\x80"]):
        put("text", "seed-%d" % i, data)


if __name__ == "__main__":
    sys.exit(main())
