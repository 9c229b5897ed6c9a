#!/usr/bin/env python3
"""Precision: files that are not what their bytes suggest, and whether kindsniffer-cli names them wrongly.

    precision.py [--cli CMD] [--signatures FILE] [--known TSV] [--work DIR] [--only CATEGORY,...]
                 [--write-known] [--steals FILE]

Every victim is made here, most of them from the signature set itself, so that the benchmark grows with the set:

  notes     for every type whose fixed opening bytes ordinary text can hold (printable ASCII, tab, CR, LF), a few
            notes that open with them and go on as prose, a list, CSV, a plan or INI settings. Such a note may be
            named only as general text (a text type that tests no word of its own: `text`, `table`, `json`,
            `yaml`, `ini`, `xmlroot *`; or XML by its declaration alone) in ASCII, or not at all. The answer's
            type is the one at its line, as a title may stand for a general type and a specific one alike.
  xml       XML documents whose content or comments name another dialect's root element or the bytes a dialect's
            search looks for, one for each dialect of the set, and a few written by hand. Each may be named only
            as general XML or its own dialect, never as the dialect it merely mentions.
  encodings text in every encoding the set names, the Windows code pages, GBK, Big5 and EUC-KR, in seven shapes
            (prose, CSV, TSV, JSON, INI, YAML, XML). A text may be named only in its own shape and encoding, or
            not at all.
  random    2,000 files of seeded random bytes: each length from 1 to 15 bytes once, the rest from 16 bytes to
            64 KiB, as many in each power of two. At most 0.2 % may be named, and none of 16 bytes or more.
  real      text files of installed Debian packages (those scripts/setup.sh installs) with their own extensions,
            copied to a work folder: `-r --rename --dry-run` must rename none of them.

Each file named as something it is not, and each rename, is a steal. The steals are compared with the allow-list
TSV (bench/precision-known.tsv): the exit status is 0 when they are exactly the listed ones, 1 when a steal is not
listed or a listed one no longer happens (run again with --write-known to rewrite the list), 2 on a usage error.
"""

import argparse
import json
import os
import random
import re
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
import zlib
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
CATEGORIES = ("notes", "xml", "encodings", "random", "real")

TEXT_FORMS = {"text", "json", "xmlroot", "table", "line", "header", "yaml", "ini"}
# An opening of this many fixed bytes names its format: nobody starts a note with "Windows Registry Editor
# Version 5.00" by chance.
SELF_NAMING = 12
OPENING_REACH = 128  # how far into a file a type's fixed bytes may reach and still be an opening
PRINTABLE = set(range(0x20, 0x7F)) | {0x09, 0x0A, 0x0D}

# --- The set -----------------------------------------------------------------------------------------------------


def encoding_key(name):
    """One spelling for an encoding's several names."""
    key = re.sub(r"[-_ ]", "", name.lower())
    return {"sjis": "shiftjis", "cp932": "shiftjis", "windows1252": "cp1252", "windows1250": "cp1250",
            "windows1251": "cp1251", "usascii": "ascii", "gb2312": "gbk", "cp936": "gbk", "cp950": "big5",
            "uhc": "euckr", "cp949": "euckr"}.get(key, key)


def parse_classic(text):
    """(anchor, offset, bytes) of a classic pattern, bytes None for ??; None when invalid."""
    tokens = text.split(" ")
    anchor, offset = "offset", 0
    first = tokens[0]
    if first == "?:":
        anchor, tokens = "search", tokens[1:]
    elif re.fullmatch(r"-\d+:", first):
        anchor, offset, tokens = "end", int(first[1:-1]), tokens[1:]
    elif re.fullmatch(r"\d+:", first):
        offset, tokens = int(first[:-1]), tokens[1:]
    values = []
    for token in tokens:
        if token == "??":
            values.append(None)
        elif re.fullmatch(r"[0-9A-Fa-f]{2}", token):
            values.append(int(token, 16))
        else:
            return None
    return (anchor, offset, values) if values else None


def unescape_line(text):
    return re.sub(rb"%([0-9A-Fa-f]{2})", lambda m: bytes([int(m.group(1), 16)]), text.encode("latin-1"))


def load_set(path):
    """The set's types, each a dict: line, title, magics (texts), and what this benchmark reads from them."""
    lines = open(path, "rb").read().split(b"\n")
    type_lines = [i + 1 for i, l in enumerate(lines) if re.match(rb"\s*<type>", l)]
    root = ET.parse(path).getroot()
    elements = root.find("types").findall("type")
    if len(elements) != len(type_lines):
        raise SystemExit("precision: %s: %d types but %d lines that open one; write each <type> on a line of its own"
                         % (path, len(elements), len(type_lines)))
    types = []
    for index, element in enumerate(elements):
        magics = [(m.text or "").strip() for m in element.findall("magic")]
        t = {"line": type_lines[index], "title": element.findtext("title") or "",
             "magics": magics}
        keywords = [m.split(" ")[0] for m in magics]
        t["text"] = any(k in TEXT_FORMS for k in keywords)
        # A general text type tests only the encoding and the shape.
        shape, encoding, general = "text", None, t["text"]
        for m, k in zip(magics, keywords):
            if k == "text":
                encoding = encoding_key(m.split(" ")[1]) if " " in m else None
            elif k == "table":
                shape = {",": "csv", ";": "csv;", "tab": "tsv"}.get(m.split(" ")[1], "?")
            elif k == "json":
                shape = "jsonl" if m == "json lines" else "json"
            elif k in ("yaml", "ini"):
                shape = k
            elif k == "xmlroot" and m == "xmlroot *":
                shape = "xml"
            else:
                general = False
        t["general"] = (shape, encoding) if general else None
        types.append(t)
    for t in types:
        # XML that only its declaration tells (in UTF-16, or in an encoding that is no text by the text tests'
        # rules) is as general an answer as `xmlroot *`, and so is the declaration beside a test of text or
        # no text alone, which says only how the rest is read.
        declaration = t["magics"][:1] + [m for m in t["magics"][1:]
                                         if m.split(" ")[0] not in ("text", "nontext")]
        found = opening(t) if len(declaration) == 1 and parse_classic(declaration[0]) else None
        if found and None not in found[0]:
            head = bytes(found[0])
            for mark, codec, key in ((b"\xff\xfe", "utf-16-le", "utf16le"), (b"\xfe\xff", "utf-16-be", "utf16be"),
                                     (b"\xef\xbb\xbf", "utf-8", "utf8"), (b"", "ascii", None)):
                if head.startswith(mark) and head[len(mark):].decode(codec, "replace").startswith("<?xml"):
                    t["general"] = ("xml", key)
                    break
    return types


def opening(t):
    """The fixed bytes a type asks for at the start of a file: (list of byte or None, count of fixed bytes), or
    None when it asks for none, for none within OPENING_REACH, or contradicts itself."""
    cells = {}
    for m in t["magics"]:
        keyword = m.split(" ")[0]
        if keyword == "line" and " " in m:
            pattern = ("offset", 0, list(unescape_line(m.split(" ")[1])))
        else:
            pattern = parse_classic(m)
        if not pattern or pattern[0] != "offset":
            continue
        _, offset, values = pattern
        for i, v in enumerate(values):
            if v is None:
                continue
            if cells.get(offset + i, v) != v:
                return None
            cells[offset + i] = v
    if not cells or max(cells) >= OPENING_REACH:
        return None
    return [cells.get(i) for i in range(max(cells) + 1)], len(cells)


# --- Victims -----------------------------------------------------------------------------------------------------

FILLER = b"restoration notes for the old machine and the album rips "
CONTINUATIONS = {
    "prose": b" tags are missing from the album rips, so the player shows no titles.\n"
             b"We meet on Thursday; bring the budget sheet and last year's figures.\n",
    "list": b"-80K restoration notes\n\n- clean the keyboard\n- replace the capacitors\n- test the tape drive\n",
    "csv": b" Address,IP Address,Port\n00:1a:2b:3c:4d:5e,10.0.0.1,80\n00:1a:2b:3c:4d:5f,10.0.0.2,443\n",
    "plan": b"\n00:30 breakfast\n07:00 walk to the station\n12:30 lunch with Ann\n",
    "ini": b"\nkey=value\nname=notes\n\n[window]\nwidth=640\n",
}


def slug(data):
    return re.sub(r"[^A-Za-z0-9._-]", lambda m: "%%%02X" % ord(m.group()), data.decode("latin-1"))[:60]


def note_victims(types):
    """(file name, description, bytes, allowed titles) for text notes that open with a type's fixed bytes."""
    seen = {}
    skipped = 0
    for t in types:
        found = opening(t)
        if not found:
            continue
        cells, fixed = found
        if any(c is not None and c not in PRINTABLE for c in cells):
            continue
        head = bytes(c if c is not None else FILLER[i % len(FILLER)] for i, c in enumerate(cells))
        # An interpreter line makes a script of whatever follows it: the system runs the file so.
        if fixed >= SELF_NAMING or head.startswith(b"#!/"):
            skipped += 1
            continue
        seen.setdefault(head, t)
    victims = []
    for head, t in seen.items():
        for name, tail in CONTINUATIONS.items():
            if head[-1:] in (b" ", b"\n") and tail[:1] in (b" ", b"\n"):
                tail = tail[1:]
            # An opening that ends where the continuation's first word starts runs on into it: "1\n00:" and
            # "00:30 breakfast" make "1\n00:30 breakfast".
            word = tail.lstrip(b" \n")
            overlap = max((k for k in range(2, min(len(head), 8) + 1) if word.startswith(head[-k:])), default=0)
            if overlap:
                tail = word[overlap:]
            victims.append(("%s-%08x.%s" % (slug(head.replace(FILLER, b""))[:32], zlib.crc32(head), name),
                            "a note (%s) opening with %r, the opening of %s" % (name, head.decode("latin-1"),
                                                                                 t["title"]),
                            head + tail, None))
    assert len({v[0] for v in victims}) == len(victims), "two notes share a name"
    return victims, skipped


XML_DECL = '<?xml version="1.0" encoding="UTF-8"?>\n'


def searched(magic):
    """The bytes a search looks for: those after the last `?:` of the pattern (a whole-file search, or a bounded
    one of a later form), when they are all fixed; else None."""
    tokens = magic.split(" ")
    if "?:" not in tokens:
        return None
    tail = tokens[len(tokens) - tokens[::-1].index("?:"):]
    if not tail or not all(re.fullmatch(r"[0-9A-Fa-f]{2}", token) for token in tail):
        return None
    return bytes(int(token, 16) for token in tail)


def xml_victims(types):
    """XML documents that name another dialect in their content: (name, description, bytes, allowed titles)."""
    victims = [
        ("epub-page-with-svg.xhtml", "an EPUB's XHTML page with an inline <svg>",
         (XML_DECL + '<!DOCTYPE html>\n<html xmlns="http://www.w3.org/1999/xhtml" '
          'xmlns:epub="http://www.idpf.org/2007/ops">\n<head><title>Chapter 1</title></head>\n<body>\n'
          '<h1>Chapter 1</h1>\n<svg xmlns="http://www.w3.org/2000/svg" width="100" height="100">'
          '<circle cx="50" cy="50" r="40"/></svg>\n<p>It was a dark night.</p>\n</body>\n</html>\n').encode(),
         {"XHTML document", "HTML document"}),
        ("rss-writer.xsl", "an XSLT stylesheet that writes RSS",
         (XML_DECL + '<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">\n'
          '<xsl:template match="/">\n<rss version="2.0"><channel><title><xsl:value-of select="/site/name"/>'
          '</title></channel></rss>\n</xsl:template>\n</xsl:stylesheet>\n').encode(),
         {"XSLT stylesheet"}),
        ("pom-with-svg-comment.xml", "a Maven POM with <svg> in a comment",
         (XML_DECL + '<project xmlns="http://maven.apache.org/POM/4.0.0">\n'
          '  <!-- the logo is drawn inline: <svg xmlns="http://www.w3.org/2000/svg"> -->\n'
          '  <modelVersion>4.0.0</modelVersion>\n  <groupId>org.example</groupId>\n'
          '  <artifactId>demo</artifactId>\n</project>\n').encode(),
         {"Maven POM"}),
    ]
    mentions = {}
    for t in types:
        for m in t["magics"]:
            if m.startswith("xmlroot ") and m != "xmlroot *":
                name = m.split(" ")[1]
                mentions.setdefault(("<%s>" % name).encode(), (t["title"], "<%s/>" % name))
        found = opening(t)
        if found and bytes(c or 0 for c in found[0][:5]) == b"<?xml":
            for m in t["magics"]:
                text = searched(m)
                if text and all(c in PRINTABLE for c in text):
                    mentions.setdefault(text, (t["title"], text.decode("latin-1")))
    for text, (title, element) in mentions.items():
        name = "%s-%08x" % (slug(text.strip(b"<>/"))[:32], zlib.crc32(text))
        body = element.replace("--", "- -")
        victims.append(("mention-%s-comment.xml" % name, "XML of root <inventory> naming %r in a comment (%s)"
                        % (text.decode("latin-1"), title),
                        (XML_DECL + "<inventory>\n  <!-- converted from %s -->\n  <item id=\"1\">bolts</item>\n"
                         "</inventory>\n" % body).encode("latin-1"), set()))
        victims.append(("mention-%s-content.xml" % name, "XML of root <inventory> holding %r in its content (%s)"
                        % (text.decode("latin-1"), title),
                        (XML_DECL + "<inventory>\n  <item id=\"1\">bolts</item>\n  <embedded>%s</embedded>\n"
                         "</inventory>\n" % element).encode("latin-1"), set()))
    assert len({v[0] for v in victims}) == len(victims), "two XML victims share a name"
    return victims


# Text in each language, in each shape. 表, ソ and 能 end in 5C (a backslash) in Shift_JIS; が is 24 2C (a comma)
# in ISO-2022-JP.
LANGUAGES = {
    "en": ("The budget sheet is attached. We meet on Thursday in the small room.\n"
           "Bring last year's figures, and the notes on the new printer.\n",
           ["name", "team", "note"], [["Ann", "sales", "new printer"], ["Bob", "office", "budget, figures"]]),
    "ja": ("表計算の結果を報告します。会議は木曜日に移りましたが、場所は同じです。\n"
           "予算表と昨年の数字を持ってきてください。ソフトウェアの能力は十分です。\n",
           ["氏名", "部署", "表示名"], [["山田太郎", "営業", "ソフト開発"], ["鈴木花子", "総務", "能力、評価"]]),
    "de": ("Grüße aus München! Die Straße ist schön, und der Kaffee kostet nur 3 Euro.\n"
           "Bitte bringen Sie die Übersicht für Äpfel und Öl mit; wir treffen uns am Donnerstag.\n",
           ["Name", "Straße", "Größe"], [["Jürgen", "Hauptstraße 5", "groß"], ["Käthe", "Müllerweg 2", "klein"]]),
    "fr": ("Le café crème est servi près de la fenêtre, à côté du garçon naïf.\n"
           "Ça coûte très cher, hélas ; la réunion a lieu jeudi à l'étage supérieur.\n",
           ["nom", "rôle", "été"], [["Hélène", "présidente", "à Genève"], ["François", "trésorier", "à Besançon"]]),
    "pl": ("Zażółć gęślą jaźń. Spotkanie odbędzie się w czwartek w małej sali.\n"
           "Proszę przynieść zeszłoroczne wyniki i notatki o drukarce.\n",
           ["imię", "dział", "uwagi"], [["Łukasz", "sprzedaż", "drukarka"], ["Małgorzata", "biuro", "budżet"]]),
    "cs": ("Příliš žluťoučký kůň úpěl ďábelské ódy. Schůzka bude ve čtvrtek.\n"
           "Přineste prosím loňská čísla a poznámky k nové tiskárně.\n",
           ["jméno", "oddělení", "poznámka"], [["Jiří", "prodej", "tiskárna"], ["Růžena", "kancelář", "rozpočet"]]),
    "zh": ("我们在星期四开会。请带上预算表和去年的数字。新打印机的说明也在这里，价格很合理。\n"
           "会议室在三楼，靠近电梯。\n",
           ["姓名", "部门", "备注"], [["张伟", "销售", "打印机"], ["王芳", "办公室", "预算、数字"]]),
    "zh-hant": ("我們在星期四開會。請帶上預算表和去年的數字。新印表機的說明也在這裡，價格很合理。\n"
                "會議室在三樓，靠近電梯。\n",
                ["姓名", "部門", "備註"], [["張偉", "銷售", "印表機"], ["王芳", "辦公室", "預算、數字"]]),
    "ko": ("우리는 목요일에 회의를 합니다. 예산표와 작년 숫자를 가져오세요.\n"
           "새 프린터 설명도 여기 있습니다. 회의실은 삼층 엘리베이터 옆입니다.\n",
           ["이름", "부서", "메모"], [["김민수", "영업", "프린터"], ["이영희", "사무실", "예산"]]),
    "ru": ("Съешь же ещё этих мягких французских булок, да выпей чаю.\n"
           "Встреча состоится в четверг; принесите, пожалуйста, прошлогодние цифры.\n",
           ["имя", "отдел", "заметка"], [["Анна", "продажи", "принтер"], ["Борис", "бюро", "бюджет"]]),
}
# (name, encoding, Python codec, byte-order mark, languages)
ENCODINGS = [
    ("ascii", "ascii", "ascii", b"", ["en"]),
    ("utf8", "utf8", "utf-8", b"", ["ja", "de", "ru"]),
    ("utf8bom", "utf8", "utf-8", b"\xef\xbb\xbf", ["ja"]),
    ("utf16le", "utf16le", "utf-16-le", b"\xff\xfe", ["ja", "ru"]),
    ("utf16be", "utf16be", "utf-16-be", b"\xfe\xff", ["ja"]),
    ("shiftjis", "shiftjis", "cp932", b"", ["ja"]),
    ("eucjp", "eucjp", "euc_jp", b"", ["ja"]),
    ("iso2022jp", "iso2022jp", "iso2022_jp", b"", ["ja"]),
    ("cp1252", "cp1252", "cp1252", b"", ["de", "fr"]),
    ("cp1250", "cp1250", "cp1250", b"", ["pl", "cs"]),
    ("cp1251", "cp1251", "cp1251", b"", ["ru"]),
    # Chinese and Korean, which must not pass for Japanese.
    ("gbk", "gbk", "gbk", b"", ["zh"]),
    ("big5", "big5", "big5", b"", ["zh-hant"]),
    ("euckr", "euckr", "euc_kr", b"", ["ko"]),
]
XML_ENCODING_NAMES = {"shiftjis": "Shift_JIS", "eucjp": "EUC-JP", "iso2022jp": "ISO-2022-JP", "cp1252": "windows-1252",
                      "cp1250": "windows-1250", "cp1251": "windows-1251", "ascii": "US-ASCII", "utf8": "UTF-8",
                      "utf16le": "UTF-16", "utf16be": "UTF-16", "gbk": "GBK", "big5": "Big5", "euckr": "EUC-KR"}


def shaped(shape, language, encoding):
    prose, header, rows = LANGUAGES[language]
    table = [header] + rows + [[a + "2", b, c] for a, b, c in rows]
    if shape == "prose":
        return prose * 3
    if shape == "csv":
        return "".join(",".join('"%s"' % c if "," in c else c for c in row) + "\n" for row in table)
    if shape == "tsv":
        return "".join("\t".join(row) + "\n" for row in table)
    if shape == "json":
        items = ",\n".join('    {"%s": "%s", "%s": "%s", "%s": %d}' % (header[0], r[0], header[1], r[1], header[2], i)
                           for i, r in enumerate(table[1:]))
        return '{\n  "%s": "%s",\n  "items": [\n%s\n  ]\n}\n' % (header[2], prose.split("\n")[0], items)
    if shape == "ini":
        return "".join("[%s]\n%s=%s\n%s=%s\n\n" % (r[0], header[1], r[1], header[2], r[2]) for r in table[1:])
    if shape == "yaml":
        return "%s:\n" % header[0] + "".join("  %s:\n    %s: %s\n    %s: %s\n" % (r[0], header[1], r[1], header[2],
                                                                                  r[2]) for r in table[1:])
    if shape == "xml":
        return ('<?xml version="1.0" encoding="%s"?>\n<records>\n' % XML_ENCODING_NAMES[encoding]
                + "".join('  <record %s="%s">%s</record>\n' % ("id", r[0], r[2]) for r in table[1:])
                + "  <note>%s</note>\n</records>\n" % prose.split("\n")[0])
    raise ValueError(shape)


SHAPES = {"prose": "text", "csv": "csv", "tsv": "tsv", "json": "json", "ini": "ini", "yaml": "yaml", "xml": "xml"}


def encoding_victims():
    """(name, description, bytes, (shape, encoding)) for text in every encoding and shape."""
    for name, key, codec, mark, languages in ENCODINGS:
        for language in languages:
            for shape in SHAPES:
                data = mark + shaped(shape, language, key).encode(codec)
                yield ("%s-%s.%s" % (name, language, shape), "%s %s in %s" % (language, shape, name), data,
                       (SHAPES[shape], key))


RANDOM_FILES = 2000
RANDOM_SEED = 64


def random_lengths():
    """2,000 lengths: every one from 1 to 15 bytes once, the rest from 16 bytes to 64 KiB, as many in each power
    of two."""
    rng = random.Random(RANDOM_SEED)
    lengths = list(range(1, 16))
    while len(lengths) < RANDOM_FILES:
        lengths.append(min(1 << 16, int(2 ** rng.uniform(4, 16))))
    return lengths, rng


# Packages that scripts/setup.sh installs, and which of their files to take: (name, packages, path pattern, at
# most). Files are listed by dpkg, so that what else a machine has installed changes nothing.
REAL_SOURCES = [
    ("cmake-data", ["cmake-data"], r"/usr/share/cmake-[^/]+/Modules/", 500),
    ("libpython3.11-stdlib", ["libpython3.11-stdlib"], r"/usr/lib/python3\.11/(email/|json/)?[^/]+\.py$", 300),
    ("libc6-dev", ["libc6-dev"], r"/usr/include/", 300),
    ("googletest", ["googletest"], r"/usr/src/googletest/", 250),
    ("python3-dask", ["python3-dask"], r"/dist-packages/dask/", 200),
    ("python3-distributed", ["python3-distributed"], r"/dist-packages/distributed/", 250),
    ("lintian", ["lintian"], r"/usr/share/lintian/.*\.(pm|yaml|json|profile)$", 150),
    ("doc", ["git", "rpm", "openssl", "lintian", "coreutils", "file", "ghostscript", "googletest", "dosfstools",
             "e2fsprogs", "fonts-dejavu-core", "ncompress", "python3", "locales", "lzip", "lzop", "openssh-client",
             "arj", "genisoimage", "debian-archive-keyring"],
     r"/usr/share/doc/[^/]+/([^/]*README[^/]*|[^/]+\.(md|txt))$", 100),
]


def package_files(packages):
    paths = set()
    for package in packages:
        listed = subprocess.run(["dpkg-query", "-L", package], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        if listed.returncode == 0:
            paths.update(listed.stdout.decode("utf-8", "surrogateescape").splitlines())
    return sorted(paths)


def real_files():
    """(source, path) of real text files with an extension, a spread sample of each source."""
    for source, packages, pattern, most in REAL_SOURCES:
        chosen = []
        for path in package_files(packages):
            name = os.path.basename(path)
            if not re.search(pattern, path) or os.path.islink(path) or not os.path.isfile(path) \
                    or "." not in name.lstrip(".") or name.endswith(".gz"):
                continue
            try:
                with open(path, "rb") as f:
                    head = f.read(65536)
                head.decode("utf-8")
            except (OSError, UnicodeDecodeError):
                continue
            if head and b"\0" not in head and os.path.getsize(path) <= 1 << 20:
                chosen.append(path)
        step = max(1.0, len(chosen) / most)
        for i in range(min(most, len(chosen))):
            yield source, chosen[int(i * step)]


# --- Running and judging -----------------------------------------------------------------------------------------

def run_cli(cli, signatures, args, cwd):
    cmd = shlex.split(cli) + ["--signatures", signatures, "--json", "--explain"] + args
    out = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if out.returncode not in (0, 1):
        sys.stderr.write(out.stderr.decode("utf-8", "replace"))
        raise SystemExit("precision: %s failed with status %d" % (cmd[0], out.returncode))
    answers = {}
    for line in out.stdout.decode("utf-8", "replace").splitlines():
        if line.startswith("{"):
            obj = json.loads(line)
            answers[obj["path"].replace("\\", "/")] = obj
    return answers


def stolen_by(answer):
    """The type's line, and its last pattern, the one that decided."""
    basis = answer.get("basis") or {}
    pattern = (basis.get("patterns") or [{}])[-1]
    where = " at %d" % pattern["offset"] if pattern.get("kind") == "search" and "offset" in pattern else ""
    return "line %s (%s%s)" % (basis.get("line", "?"), pattern.get("pattern", ""), where)


def allow_key(steal):
    """What the allow-list holds of a steal: the notes of one opening, and the real files of one folder and
    extension, are one line each."""
    category, name, _, called, _ = steal
    if category == "notes":
        name = name.rsplit(".", 1)[0] + ".*"
    elif category == "real":
        folder, base = os.path.split(name)
        name = "%s/*%s" % (folder, os.path.splitext(base)[1])
        called = re.sub(r" -> .*(\.[^.]*)$", r" -> \1", called)
    return category, name, called


def fresh_folder(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)


def write_files(folder, victims):
    fresh_folder(folder)
    for name, _, data, _ in victims:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


def judge_named(category, folder, victims, answers, types, ok):
    """Steals among VICTIMS: each answer that OK(victim's expectation, title, (shape, encoding) of the general text
    type that named it or None) refuses. The type is the one at the answer's line: a title may stand for a general
    type and a specific one alike ("YAML document" for `yaml` and for `line %YAML`)."""
    by_line = {t["line"]: t for t in types}
    steals = []
    for name, what, _, expected in victims:
        answer = answers.get("%s/%s" % (folder, name), {})
        if answer.get("state") != "detected":
            continue
        chosen = by_line.get((answer.get("basis") or {}).get("line"), {})
        if not ok(expected, answer["title"], chosen.get("general")):
            steals.append((category, name, what, answer["title"], stolen_by(answer)))
    return steals


def check(args):
    types = load_set(args.signatures)
    kinds = {t["general"] for t in types if t["general"]}
    # Thousands of small files: in memory where the system offers it, as a busy disk creates them slowly.
    shm = "/dev/shm" if os.path.isdir("/dev/shm") and os.access("/dev/shm", os.W_OK) else None
    work = args.work or tempfile.mkdtemp(prefix="kindsniffer-precision-", dir=shm)
    os.makedirs(work, exist_ok=True)
    only = set(args.only.split(",")) if args.only else set(CATEGORIES)
    counts, steals, unchecked = {}, [], set()

    if "notes" in only:
        victims, skipped = note_victims(types)
        write_files(os.path.join(work, "notes"), victims)
        answers = run_cli(args.cli, args.signatures, ["-r", "notes"], work)
        found = judge_named("notes", "notes", victims, answers, types,
                            lambda _, title, kind: kind and kind[1] in (None, "ascii"))
        counts["notes"] = (len(victims), sum(a.get("state") == "detected" for a in answers.values()), len(found),
                           "%d openings; %d types left out whose opening names them (%d+ fixed bytes, or #!/)"
                           % (len(victims) // len(CONTINUATIONS), skipped, SELF_NAMING))
        steals += found
    if "xml" in only:
        victims = xml_victims(types)
        write_files(os.path.join(work, "xml"), victims)
        answers = run_cli(args.cli, args.signatures, ["-r", "xml"], work)
        found = judge_named("xml", "xml", victims, answers, types,
                            lambda own, title, kind: title in own or (kind and kind[0] == "xml"))
        counts["xml"] = (len(victims), sum(a.get("state") == "detected" for a in answers.values()), len(found), "")
        steals += found
    if "encodings" in only:
        victims = list(encoding_victims())
        write_files(os.path.join(work, "encodings"), victims)
        answers = run_cli(args.cli, args.signatures, ["-r", "encodings"], work)

        def shape_ok(expected, title, kind):
            shape, encoding = expected
            if not kind or kind[1] not in (None, encoding):
                return False
            # Plain text in its encoding is no wrong answer where the set has no type for the shape.
            return kind[0] == shape or (kind[0] == "text" and not any(
                s == shape and e in (None, encoding) for s, e in kinds))
        found = judge_named("encodings", "encodings", victims, answers, types, shape_ok)
        counts["encodings"] = (len(victims), sum(a.get("state") == "detected" for a in answers.values()),
                               len(found), "")
        steals += found
    if "random" in only:
        folder = os.path.join(work, "random")
        fresh_folder(folder)
        lengths, rng = random_lengths()
        sizes = {}
        for i, length in enumerate(lengths):
            name = "r%04d-%d" % (i, length)
            with open(os.path.join(folder, name), "wb") as f:
                f.write(rng.randbytes(length))
            sizes[name] = length
        answers = run_cli(args.cli, args.signatures, ["-r", "random"], work)
        named = [(name, answers.get("random/" + name, {})) for name in sizes]
        named = [(name, a) for name, a in named if a.get("state") == "detected"]
        limit = len(lengths) * 2 // 1000
        found = [("random", name, "%d random bytes" % sizes[name], a["title"], stolen_by(a))
                 for name, a in named if sizes[name] >= 16 or len(named) > limit]
        counts["random"] = (len(lengths), len(named), len(found),
                            "%.2f %% named (at most 0.2 %%, %d files), %d of them under 16 bytes"
                            % (100.0 * len(named) / len(lengths), limit, sum(sizes[n] < 16 for n, _ in named)))
        steals += found
    if "real" in only:
        folder = os.path.join(work, "real")
        fresh_folder(folder)
        copied = {}
        for source, path in real_files():
            rel = os.path.join(source, path.lstrip("/"))
            os.makedirs(os.path.join(folder, os.path.dirname(rel)), exist_ok=True)
            shutil.copyfile(path, os.path.join(folder, rel))
            copied["real/" + rel] = source
        answers = run_cli(args.cli, args.signatures, ["-r", "--rename", "--dry-run", "real"], work)
        found = []
        for path, answer in sorted(answers.items()):
            rename = answer.get("rename")
            if rename:
                found.append(("real", path[len("real/"):], "a file of %s" % copied.get(path, "?"),
                              "%s -> %s" % (answer.get("title"), os.path.basename(rename.get("to", ""))),
                              stolen_by(answer)))
        sources = set(copied.values())
        missing = [source for source, _, _, _ in REAL_SOURCES if source not in sources]
        counts["real"] = (len(copied), sum(a.get("state") == "detected" for a in answers.values()), len(found),
                          "renamed by a dry run, from %d sources%s" % (
                              len(sources), "; none installed, so not checked: " + ", ".join(missing)
                              if missing else ""))
        unchecked.update(missing)
        steals += found
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)
    return counts, steals, unchecked


def read_known(path):
    known = set()
    if os.path.exists(path):
        for line in open(path, encoding="utf-8"):
            if line.strip() and not line.startswith("#"):
                fields = line.rstrip("\n").split("\t")
                known.add(tuple(fields[:3]))
    return known


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--cli", default=os.path.join(TOP, "build", "native", "cli", "kindsniffer-cli"),
                    help="the program, split like a shell command line")
    ap.add_argument("--signatures", default=os.path.join(TOP, "data", "Kindsniffer.xml"))
    ap.add_argument("--known", default=os.path.join(HERE, "precision-known.tsv"))
    ap.add_argument("--work", help="keep the victims in this folder (by default a temporary one, removed)")
    ap.add_argument("--only", help="categories to run, comma-separated: " + ",".join(CATEGORIES))
    ap.add_argument("--write-known", action="store_true", help="rewrite the allow-list with today's steals")
    ap.add_argument("--steals", help="also write every steal to this file, one a line, with the type that stole it")
    args = ap.parse_args()
    if args.only and not set(args.only.split(",")) <= set(CATEGORIES):
        ap.error("--only takes " + ",".join(CATEGORIES))
    started = time.monotonic()
    counts, steals, unchecked = check(args)
    print("%-10s %7s %7s %7s" % ("category", "files", "named", "steals"))
    for category, (files, named, stolen, note) in counts.items():
        print("%-10s %7d %7d %7d  %s" % (category, files, named, stolen, note))
    print()
    for category, name, what, called, by in steals:
        print("%-9s %s: %s; called %r by the type at %s" % (category, name, what, called, by))
    if args.steals:
        with open(args.steals, "w", encoding="utf-8") as f:
            f.write("category\tfile\twhat it is\tcalled\t"
                    "stolen by (the type's line in the set, the pattern that decided)\n")
            for steal in steals:
                f.write("\t".join(steal) + "\n")
    keys = {allow_key(steal) for steal in steals}
    # What was not run, or whose files this machine lacks, can be neither found nor gone.
    listed = read_known(args.known)
    known = {k for k in listed if k[0] in counts and not (k[0] == "real" and k[1].split("/")[0] in unchecked)}
    if args.write_known:
        with open(args.known, "w", encoding="utf-8") as f:
            f.write("# Steals that bench/precision.py finds today: category, file (a group of notes of one opening,\n"
                    "# or real files of one folder and extension), what it was called. The benchmark fails on any\n"
                    "# steal not listed here, and on a listed one that is gone: rewrite it with --write-known.\n")
            for key in sorted(keys | (listed - known), key=lambda k: (CATEGORIES.index(k[0]), k[1:])):
                f.write("\t".join(key) + "\n")
        known = keys
    new = sorted(keys - known)
    gone = sorted(known - keys)
    for key in new:
        print("NEW    %s" % "\t".join(key))
    for key in gone:
        print("GONE   %s  (no longer happens: take it off %s)" % ("\t".join(key), args.known))
    print("%d steals, %d listed, %d new, %d gone; %.1f s" % (len(keys), len(known), len(new), len(gone),
                                                             time.monotonic() - started))
    sys.exit(1 if new or gone else 0)


if __name__ == "__main__":
    main()
