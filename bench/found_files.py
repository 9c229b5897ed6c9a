#!/usr/bin/env python3
"""Found files: real files taken from Debian packages, each with its own extension as the truth.

    found_files.py gather CACHE [--packages LIST] [--per-extension N]
    found_files.py score  CACHE --cli PATH --signatures FILE [--file-type-script MJS] [--magika-script MJS]
                          [--misses TSV] [--answers TSV]

`gather` downloads the packages named in LIST with `apt-get download`, unpacks each with `dpkg-deb -x` (nothing is
installed and no maintainer script runs), picks at most N files per extension and copies them into CACHE/corpus.
LIST splits the packages into sets ("[[new]]" starts one; the first is "studied"), and each set gets its own N
places per extension, so that adding packages to a later set leaves the files of an earlier one as they were.
An extension is trusted only after the file's own bytes agree with it; files that disagree are dropped and the
reason is written to CACHE/dropped.tsv. The result is CACHE/MANIFEST.tsv (path, true extension, category, set)
and CACHE/READY.

`score` runs kindsniffer-cli, `file --extension` and (when their scripts are given) the npm package file-type and
Magika over the manifest and prints Markdown tables, one set at a time: for each tool, the share of files whose true
extension it offers at all, and the share where it offers it first (counting another name of the same content, and by
the exact name alone), over all files, without the text category, and by category; then the named text formats, and
the weighed languages (the extensions that the set's types with a `lang` test offer), each as a row of its own.
"""

import argparse
import collections
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

HEAD = 36 << 10  # enough to reach an ISO 9660 volume descriptor
MAX_SIZE = 32 << 20
BATCH = 200

# Extensions that many unrelated formats use, or that only say "some bytes".
GENERIC = set("""
dat data bin raw img rom fw out tmp cache dump blob db map idx hex obj sample example default orig old bak
in am ac lst log res pak def sym list save new dist cfg conf ini local signed unsigned lines flate
expect golden input notzip
""".split())  # the last line: test fixtures named for their role in a test (Go's testdata)


# --- The truth check --------------------------------------------------------------------------------------------

def at(data, offset, magic):
    return data[offset:offset + len(magic)] == magic


def riff(form):
    return lambda h, t: at(h, 0, b"RIFF") and at(h, 8, form)


def starts(*magics):
    return lambda h, t: any(at(h, 0, m) for m in magics)


def zipped(h, t):
    return at(h, 0, b"PK\x03\x04") or at(h, 0, b"PK\x05\x06")


def gzipped(h, t):
    return at(h, 0, b"\x1f\x8b")


def elf(h, t):
    return at(h, 0, b"\x7fELF")


def mz(h, t):
    return at(h, 0, b"MZ")


def sfnt(h, t):
    return h[:4] in (b"\x00\x01\x00\x00", b"OTTO", b"true", b"typ1")


def mp3(h, t):
    return at(h, 0, b"ID3") or (len(h) > 1 and h[0] == 0xFF and (h[1] & 0xE0) == 0xE0)


def text_start(*magics):
    """A text format known by how it opens, after an optional byte-order mark and blank space."""
    def check(h, t):
        body = h[3:] if h.startswith(b"\xef\xbb\xbf") else h
        body = body.lstrip()
        return any(body.startswith(m) for m in magics)
    return check


def contains(magic, within=4096):
    return lambda h, t: magic in h[:within]


# Binary formats: the extension is believed only when the bytes agree.
BINARY = {
    "png": starts(b"\x89PNG\r\n\x1a\n"), "apng": starts(b"\x89PNG\r\n\x1a\n"), "kpp": starts(b"\x89PNG\r\n\x1a\n"),
    "jpg": starts(b"\xff\xd8\xff"), "jpeg": starts(b"\xff\xd8\xff"), "jpe": starts(b"\xff\xd8\xff"),
    "gif": starts(b"GIF87a", b"GIF89a"), "bmp": starts(b"BM"),
    "ico": starts(b"\x00\x00\x01\x00"), "cur": starts(b"\x00\x00\x02\x00"), "ani": riff(b"ACON"),
    "tif": starts(b"II*\x00", b"MM\x00*"), "tiff": starts(b"II*\x00", b"MM\x00*"),
    "webp": riff(b"WEBP"), "wav": riff(b"WAVE"), "avi": riff(b"AVI "), "sf2": riff(b"sfbk"), "rmi": riff(b"RMID"),
    "exr": starts(b"\x76\x2f\x31\x01"), "hdr": starts(b"#?RADIANCE", b"#?RGBE"), "psd": starts(b"8BPS"),
    "xcf": starts(b"gimp xcf"), "icns": starts(b"icns"), "jxl": starts(b"\xff\x0a", b"\x00\x00\x00\x0cJXL "),
    "tga": lambda h, t: b"TRUEVISION-XFILE" in t[-26:] or (len(h) > 2 and h[1] in (0, 1) and h[2] in (1, 2, 3, 9, 10, 11)),
    "pcx": starts(b"\x0a"), "dds": starts(b"DDS "), "ktx": starts(b"\xabKTX"),
    "ogg": starts(b"OggS"), "oga": starts(b"OggS"), "ogv": starts(b"OggS"), "opus": starts(b"OggS"),
    "spx": starts(b"OggS"), "flac": starts(b"fLaC"), "mp3": mp3, "mid": starts(b"MThd"), "midi": starts(b"MThd"),
    "au": starts(b".snd"), "snd": starts(b".snd"), "aif": starts(b"FORM"), "aiff": starts(b"FORM"),
    "xm": starts(b"Extended Module: "), "it": starts(b"IMPM"), "s3m": lambda h, t: at(h, 44, b"SCRM"),
    "mp4": lambda h, t: at(h, 4, b"ftyp"), "m4a": lambda h, t: at(h, 4, b"ftyp"),
    "mkv": starts(b"\x1a\x45\xdf\xa3"), "webm": starts(b"\x1a\x45\xdf\xa3"),
    "pdf": contains(b"%PDF-", 1024), "djvu": starts(b"AT&TFORM"), "chm": starts(b"ITSF"),
    "doc": starts(b"\xd0\xcf\x11\xe0"), "xls": starts(b"\xd0\xcf\x11\xe0"), "ppt": starts(b"\xd0\xcf\x11\xe0"),
    "msi": starts(b"\xd0\xcf\x11\xe0"), "gbr": lambda h, t: at(h, 20, b"GIMP") or at(h, 20, b"GPAT"),
    "pat": lambda h, t: at(h, 20, b"GPAT") or at(h, 0, b"GF1PATCH"),
    "gih": contains(b"GIMP", 1024), "abr": lambda h, t: h[:2] in (b"\x00\x01", b"\x00\x02", b"\x00\x06", b"\x00\x07", b"\x00\x0a"),
    "blend": starts(b"BLENDER", b"\x1f\x8b", b"\x28\xb5\x2f\xfd"),
    "gz": gzipped, "tgz": gzipped, "svgz": gzipped, "emz": gzipped, "xopp": gzipped, "gnumeric": gzipped,
    "rds": lambda h, t: gzipped(h, t) or h[:2] in (b"X\n", b"A\n", b"B\n") or at(h, 0, b"BZh") or at(h, 0, b"\xfd7zXZ"),
    "rda": starts(b"\x1f\x8b", b"BZh", b"\xfd7zXZ", b"RDX"), "rdata": starts(b"\x1f\x8b", b"BZh", b"\xfd7zXZ", b"RDX"),
    "bz2": starts(b"BZh"), "xz": starts(b"\xfd7zXZ\x00"), "txz": starts(b"\xfd7zXZ\x00"), "lzma": starts(b"\x5d\x00\x00"),
    "zst": starts(b"\x28\xb5\x2f\xfd"), "lz": starts(b"LZIP"), "7z": starts(b"7z\xbc\xaf\x27\x1c"), "cab": starts(b"MSCF"),
    "rar": starts(b"Rar!"), "iso": lambda h, t: at(h, 0x8001, b"CD001"), "tar": lambda h, t: at(h, 257, b"ustar"), "rpm": starts(b"\xed\xab\xee\xdb"),
    "cpio": starts(b"070701", b"070702", b"070707", b"\xc7\x71", b"\x71\xc7"), "deb": starts(b"!<arch>\ndebian"),
    "a": starts(b"!<arch>\n", b"!<thin>\n"), "lib": starts(b"!<arch>\n"),
    "zip": zipped, "jar": zipped, "war": zipped, "ear": zipped, "whl": zipped, "apk": zipped, "xpi": zipped,
    "oxt": zipped, "epub": zipped, "kra": zipped, "ora": zipped, "mscz": zipped, "fcstd": zipped, "bundle": zipped,
    "kpl": zipped, "ez": zipped, "nupkg": zipped, "docx": zipped, "xlsx": zipped, "pptx": zipped, "bau": zipped,
    "odt": zipped, "ods": zipped, "odp": zipped, "odg": zipped, "odf": zipped, "odb": zipped, "odc": zipped,
    "odm": zipped, "ott": zipped, "ots": zipped, "otp": zipped, "otg": zipped, "oth": zipped,
    "sxw": zipped, "sxc": zipped, "sxi": zipped, "sxd": zipped, "ggb": zipped, "3mf": zipped, "kmz": zipped,
    "so": elf, "o": elf, "ko": elf, "elf": elf, "go": elf, "cmxs": elf, "node": elf, "c32": elf, "eln": elf, "axf": elf,
    "mod": lambda h, t: elf(h, t) or at(h, 1080, b"M.K.") or at(h, 0, b"MZ"),
    "exe": mz, "dll": mz, "sys": mz, "cpl": mz, "ocx": mz, "drv": mz, "acm": mz, "ax": mz, "efi": mz, "scr": mz,
    "mui": mz, "tsp": mz, "exe16": mz, "dll16": mz, "drv16": mz, "mod16": mz, "vxd": mz, "fon": mz,
    "tlb": lambda h, t: at(h, 0, b"MSFT") or mz(h, t) or at(h, 0, b"SLTG"),
    "ttf": sfnt, "otf": sfnt, "otb": sfnt, "ttc": starts(b"ttcf"), "woff": starts(b"wOFF"), "woff2": starts(b"wOF2"),
    "eot": lambda h, t: at(h, 34, b"LP"), "pfb": starts(b"\x80\x01"), "t1": starts(b"\x80\x01", b"%!"),
    "pfm": starts(b"\x00\x01"), "psf": starts(b"\x36\x04", b"\x72\xb5\x4a\x86"), "psfu": starts(b"\x36\x04", b"\x72\xb5\x4a\x86"),
    "pcf": starts(b"\x01fcp"), "tfm": lambda h, t: len(h) > 24 and h[0] < 0x80, "vf": starts(b"\xf7\xca"),
    "dvi": starts(b"\xf7\x02"), "pk": starts(b"\xf7\x59"), "gf": starts(b"\xf7\x83"),
    "mo": starts(b"\xde\x12\x04\x95", b"\x95\x04\x12\xde"), "gmo": starts(b"\xde\x12\x04\x95", b"\x95\x04\x12\xde"),
    "qm": starts(b"\x3c\xb8\x64\x18\xca\xef\x9c\x95"),
    "gpg": lambda h, t: len(h) > 0 and h[0] & 0x80 != 0, "pgp": lambda h, t: len(h) > 0 and h[0] & 0x80 != 0,
    "kbx": lambda h, t: at(h, 8, b"KBXf"), "der": starts(b"\x30\x82", b"\x30\x81"), "p12": starts(b"\x30\x82"),
    "pfx": starts(b"\x30\x82"), "jks": starts(b"\xfe\xed\xfe\xed"),
    "beam": lambda h, t: at(h, 0, b"FOR1") and at(h, 8, b"BEAM"), "elc": starts(b";ELC"),
    "class": starts(b"\xca\xfe\xba\xbe"), "pyc": lambda h, t: at(h, 2, b"\r\n"), "zo": starts(b"#~"),
    "fasl": contains(b"# FASL", 512), "boot": starts(b"\x00\x00\x00\x00chez"),
    "cmi": starts(b"Caml1999I"), "cmo": starts(b"Caml1999O"), "cma": starts(b"Caml1999A"), "cmx": starts(b"Caml1999Y"),
    "cmxa": starts(b"Caml1999Z"), "cmt": starts(b"Caml1999T"), "cmti": starts(b"Caml1999T"),
    "jmod": starts(b"JM"), 
    "npy": starts(b"\x93NUMPY"), "npz": zipped, "mat": lambda h, t: at(h, 0, b"MATLAB") or h[:4] == b"\x00\x00\x00\x00",
    "nc": starts(b"CDF\x01", b"CDF\x02", b"\x89HDF"), "h5": starts(b"\x89HDF\r\n\x1a\n"), "hdf5": starts(b"\x89HDF\r\n\x1a\n"),
    "fits": starts(b"SIMPLE  ="), "sav": lambda h, t: at(h, 0, b"SR\x00\x04") or at(h, 0, b"$FL2") or at(h, 0, b"$FL3"),
    "sqlite": starts(b"SQLite format 3\x00"), "sqlite3": starts(b"SQLite format 3\x00"), "wad": starts(b"IWAD", b"PWAD"),
    "swf": starts(b"FWS", b"CWS", b"ZWS"),
    "dtb": starts(b"\xd0\x0d\xfe\xed"), "spl": starts(b"VIMspell"), "sug": starts(b"VIMsug"),
    "dz": gzipped, "wasm": starts(b"\x00asm"), "luac": starts(b"\x1bLua"),
    "ppu": starts(b"PPU"), "rcc": starts(b"qres"), "parquet": starts(b"PAR1"), "grib": starts(b"GRIB"),
    "shp": starts(b"\x00\x00\x27\x0a"), "shx": starts(b"\x00\x00\x27\x0a"), "gpkg": starts(b"SQLite format 3\x00"),
    "szdd": starts(b"SZDD"), "arj": starts(b"\x60\xea"), "tnef": starts(b"\x78\x9f\x3e\x22"), "sf3": riff(b"sfbk"),
}

# Text formats that open in a fixed way: believed, and counted with their family rather than as text.
TEXT_FORMATS = {
    "afm": text_start(b"StartFontMetrics"), "bdf": text_start(b"STARTFONT"), "pfa": text_start(b"%!"),
    "ps": text_start(b"%!"), "eps": lambda h, t: text_start(b"%!")(h, t) or at(h, 0, b"\xc5\xd0\xd3\xc6"),
    "pem": contains(b"-----BEGIN "), "crt": contains(b"-----BEGIN "), "cer": contains(b"-----BEGIN "),
    "key": contains(b"-----BEGIN "), "asc": text_start(b"-----BEGIN PGP"), "rtf": text_start(b"{\\rtf"),
    "svg": contains(b"<svg", 4096), "xpm": text_start(b"/* XPM */", b"! XPM2"),
    "pbm": text_start(b"P1", b"P4"), "pgm": text_start(b"P2", b"P5"), "ppm": text_start(b"P3", b"P6"),
    "pnm": text_start(b"P1", b"P2", b"P3", b"P4", b"P5", b"P6"), "pam": text_start(b"P7"),
    "vbr": text_start(b"GIMP-VBR"), "gpl": text_start(b"GIMP Palette"), "ggr": text_start(b"GIMP Gradient"),
    "xbm": text_start(b"#define"), "fig": text_start(b"#FIG"),
}

# Content of a standalone format in a file whose extension we do not know: its name is not its format.
STANDALONE = [
    (b"\x89PNG\r\n\x1a\n", "PNG image"), (b"\xff\xd8\xff", "JPEG image"), (b"GIF8", "GIF image"),
    (b"%PDF-", "PDF document"), (b"\x7fELF", "ELF file"), (b"OggS", "Ogg stream"),
]

# Category of an extension; a dict chooses by the package group for extensions that two families share.
CATEGORY = {}
for _cat, _exts in {
    "image": "png apng jpg jpeg jpe gif bmp ico cur ani tif tiff webp svg svgz xpm xbm pgm ppm pbm pnm pam tga pcx "
             "exr hdr jxl avif icns jp2 dds ktx",
    "graphics": "icc icm gbr gih vbr kpp abr myb ggr gpl kra ora bundle kpl blend xcf psd fig",
    "document": "dia pdf ps eps rtf odt ods odp odg odf odb odc odm ott ots otp otg oth doc xls ppt msi docx xlsx pptx "
                "epub djvu chm gnumeric bau sxw sxc sxi sxd",
    "font": "ttf otf ttc otb woff woff2 eot pfb pfa t1 afm pfm bdf pcf psf psfu fon",
    "tex": "tfm vf dvi pk gf",
    "audio": "wav ogg oga opus spx flac mp3 mid midi rmi sf2 sf3 au snd aif aiff xm it s3m mscz",
    "video": "ogv avi mp4 m4a mkv webm swf",
    "archive": "zip gz tgz bz2 xz txz lzma zst lz 7z cab rar tar rpm cpio deb dz arj szdd tnef rcc",
    "program": "so o ko elf a node eln axf c32",
    "windows": "exe dll sys cpl ocx drv acm ax efi scr mui tsp exe16 dll16 drv16 mod16 vxd tlb lib syso",
    "bytecode": "beam go elc class pyc ppu zo fasl fas boot cmi cmo cma cmx cmxa cmxs cmt cmti jar war ear whl ez jmod "
                "jsa luac wasm",
    "translation": "mo gmo qm",
    "keys": "gpg pgp asc pem crt cer der key p12 pfx kbx jks crl p7b",
    "science": "rds rda rdata rdb rdx npy npz mat nc h5 hdf5 fits sav fcstd parquet pkl sas7bdat dta shp shx dbf gpkg "
               "grib gsb gtx",
    "game": "wad",
    "system": "iso dtb lkrn pxe kpxe kkpxe mbr",
}.items():
    for _ext in _exts.split():
        CATEGORY[_ext] = _cat
CATEGORY["pat"] = {"sound": "audio", None: "graphics"}
CATEGORY["mod"] = {"sound": "audio", "game": "audio", "windows": "windows", None: "program"}


# Files whose extension we do not place count with their package's group.
GROUP_CATEGORY = {"sound": "audio", "runtime": "bytecode", "office": "document"}


def category_of(ext, group):
    cat = CATEGORY.get(ext)
    if isinstance(cat, dict):
        return cat.get(group, cat[None])
    return cat or GROUP_CATEGORY.get(group, group)


def is_text(head):
    """No NUL and no control characters but the usual layout ones, in UTF-8 or a legacy 8-bit code page."""
    if not head or b"\x00" in head:
        return False
    return not any(b < 32 and b not in (8, 9, 10, 12, 13, 27) for b in head)


def judge(ext, head, tail):
    """(category-or-None, reason): the category when the extension tells the truth, else why it does not."""
    text = is_text(head)
    if ext in BINARY:
        if BINARY[ext](head, tail):
            return "binary", ""
        return None, "text file named like a binary format" if text else "bytes do not match the extension's format"
    if ext in TEXT_FORMATS:
        if TEXT_FORMATS[ext](head, tail):
            return "format", ""
        return None, f"does not open the way the .{ext} format this benchmark knows does"
    if text:
        return "text", ""
    for magic, what in STANDALONE:
        if head.startswith(magic):
            return None, f"holds a {what} under an unknown extension"
    return "binary", ""


# --- Gathering ---------------------------------------------------------------------------------------------------

def read_packages(path):
    """[(package, group, set)]: "[group]" starts a group, "[[set]]" a set; the packages before any set are "studied"."""
    packages, group, pset = [], "other", "studied"
    with open(path) as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            if line.startswith("[["):
                pset, group = line.strip("[]"), "other"
            elif line.startswith("["):
                group = line.strip("[]")
            else:
                packages.append((line, group, pset))
    return packages


def run(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, **kw)


def fetch(packages, debs):
    os.makedirs(debs, exist_ok=True)
    have = {n.split("_", 1)[0] for n in os.listdir(debs) if n.endswith(".deb")}
    missing = [p for p, _, _ in packages if p not in have]
    if missing and run(["apt-get", "download", *missing], cwd=debs).returncode != 0:
        for p in missing:  # one at a time, to name the one that cannot be had
            if run(["apt-get", "download", p], cwd=debs).returncode != 0:
                print(f"found-files: cannot download {p}", file=sys.stderr)
    return {n.split("_", 1)[0]: os.path.join(debs, n) for n in sorted(os.listdir(debs)) if n.endswith(".deb")}


def unpack(deb, into):
    if not os.path.isdir(into):
        tmp = into + ".tmp"
        shutil.rmtree(tmp, ignore_errors=True)
        os.makedirs(tmp)
        subprocess.run(["dpkg-deb", "-x", deb, tmp], check=True)
        os.rename(tmp, into)


EXT_RE = re.compile(r"^[a-z0-9_+-]{1,10}$")


def extension_of(name):
    if "." not in name.lstrip("."):
        return None
    ext = name.rsplit(".", 1)[1].lower()
    # TeX names bitmap fonts after their resolution: cmr10.600pk is a .pk file.
    ext = re.sub(r"^[0-9]+(pk|gf)$", r"\1", ext)
    if not EXT_RE.match(ext) or not re.search("[a-z]", ext) or ext in GENERIC:
        return None
    return ext


def head_and_tail(path):
    with open(path, "rb") as f:
        head = f.read(HEAD)
        size = os.fstat(f.fileno()).st_size
        if size > HEAD:
            f.seek(max(HEAD, size - 512))
            tail = f.read()
        else:
            tail = head
    return head, tail


def in_turns(candidates):
    """(package, path) taken in turns over the packages, so that one package cannot fill an extension's places."""
    by_pkg = collections.OrderedDict()
    for pkg, path in candidates:
        by_pkg.setdefault(pkg, []).append(path)
    order = []
    while any(by_pkg.values()):
        for pkg in list(by_pkg):
            if by_pkg[pkg]:
                order.append((pkg, by_pkg[pkg].pop(0)))
    return order


def gather(args):
    cache = os.path.abspath(args.cache)
    packages = read_packages(args.packages)
    group_of = {p: g for p, g, _ in packages}
    set_of = {p: s for p, _, s in packages}
    sets = list(dict.fromkeys(s for _, _, s in packages))
    debs = fetch(packages, os.path.join(cache, "debs"))
    debs = {p: d for p, d in debs.items() if p in group_of}  # the folder may hold packages no longer listed
    candidates = collections.defaultdict(list)  # (set, ext) -> [(package, path)]
    dropped = []
    for pkg, deb in debs.items():
        root = os.path.join(cache, "unpacked", pkg)
        unpack(deb, root)
        for folder, dirs, files in os.walk(root):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(folder, name)
                ext = extension_of(name)
                if ext is None:
                    continue
                if os.path.islink(path):
                    dropped.append((path, ext, "symbolic link"))
                    continue
                size = os.path.getsize(path)
                if size == 0 or size > MAX_SIZE:
                    dropped.append((path, ext, "empty" if size == 0 else "larger than 32 MiB"))
                    continue
                candidates[set_of[pkg], ext].append((pkg, path))
    # The packages themselves are found files too.
    for pset in sets:
        own = [(p, d) for p, d in debs.items() if set_of[p] == pset]
        for pkg, deb in own[:: max(1, len(own) // 5)]:
            candidates[pset, "deb"].append((pkg, deb))

    # Built aside and swapped in whole, so that a reader of the old corpus never sees half of the new one.
    corpus = os.path.join(cache, "corpus")
    building = corpus + ".new"
    shutil.rmtree(building, ignore_errors=True)
    # The sets are picked in the order the list names them, each with its own places for every extension; a later
    # set does not take again a file that an earlier one holds, and cannot change what an earlier one picks.
    manifest, seen = [], set()
    for pset in sets:
        for ext in sorted(e for s, e in candidates if s == pset):
            taken = 0
            for pkg, path in in_turns(candidates[pset, ext]):
                if taken == args.per_extension:
                    break
                with open(path, "rb") as f:
                    digest = hashlib.sha256(f.read()).hexdigest()
                if digest in seen:
                    continue
                seen.add(digest)
                head, tail = head_and_tail(path)
                kind, reason = judge(ext, head, tail)
                if kind is None:
                    dropped.append((path, ext, reason))
                    continue
                cat = "text" if kind == "text" else category_of(ext, group_of[pkg])
                dest_dir = os.path.join(pset, cat, ext)
                os.makedirs(os.path.join(building, dest_dir), exist_ok=True)
                dest = os.path.join(dest_dir, f"{pkg}--{os.path.basename(path)}")
                if os.path.exists(os.path.join(building, dest)):  # the same name in two folders of a package
                    dest = os.path.join(dest_dir, f"{pkg}--{taken}-{os.path.basename(path)}")
                shutil.copyfile(path, os.path.join(building, dest))
                manifest.append((os.path.join(corpus, dest), "." + ext, cat, pset))
                taken += 1
    with open(os.path.join(cache, "dropped.tsv"), "w") as f:
        f.write("# path\textension\treason\n")
        for path, ext, reason in dropped:
            f.write(f"{os.path.relpath(path, cache)}\t.{ext}\t{reason}\n")
    shutil.rmtree(corpus, ignore_errors=True)
    os.rename(building, corpus)
    # The unpacked trees are several times the size of the packages, and quick to make again.
    shutil.rmtree(os.path.join(cache, "unpacked"), ignore_errors=True)
    with open(os.path.join(cache, "MANIFEST.tsv.new"), "w") as f:
        f.write("# path\ttrue extension\tcategory\tset\n")
        for row in manifest:
            f.write("\t".join(row) + "\n")
    os.replace(os.path.join(cache, "MANIFEST.tsv.new"), os.path.join(cache, "MANIFEST.tsv"))
    with open(os.path.join(cache, "READY"), "w") as f:
        f.write(f"{len(manifest)} files\n")
    reasons = collections.Counter(r for _, _, r in dropped)
    for pset in sets:
        counts = collections.Counter(cat for _, _, cat, s in manifest if s == pset)
        print(f"found-files: {pset}: {sum(counts.values())} files from "
              f"{sum(1 for p in debs if set_of[p] == pset)} packages: "
              + ", ".join(f"{c} {n}" for c, n in sorted(counts.items())), file=sys.stderr)
    print("found-files: dropped " + ", ".join(f"{n} ({r})" for r, n in reasons.most_common()), file=sys.stderr)


# --- Scoring ----------------------------------------------------------------------------------------------------

def batches(items):
    for start in range(0, len(items), BATCH):
        yield items[start:start + BATCH]


def offers_kindsniffer(cli, signatures, paths):
    out = {}
    for part in batches(paths):
        res = subprocess.run([cli, "--signatures", signatures, "--json", "--", *part],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        for line in res.stdout.decode("utf-8", "surrogateescape").splitlines():
            if line.startswith("{"):
                obj = json.loads(line)
                exts = obj.get("extensions", []) if obj.get("state") == "detected" else []
                out[obj["path"]] = ([e.lstrip(".").lower() for e in exts], obj.get("title", ""))
    return [out.get(p, ([], "")) for p in paths]


def offers_file(paths):
    out = []
    for part in batches(paths):
        res = subprocess.run(["file", "--brief", "--extension", "--", *part],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        lines = res.stdout.decode("utf-8", "replace").splitlines()
        lines += ["???"] * (len(part) - len(lines))
        for line in lines[:len(part)]:
            line = line.strip()
            exts = [] if line == "???" else [e.strip().lower() for e in line.split("/") if e.strip()]
            out.append((exts, line))
    return out


def offers_file_type(script, paths):
    res = subprocess.run(["node", script], input="\n".join(paths).encode(), stdout=subprocess.PIPE)
    out = []
    for line in res.stdout.decode().splitlines():
        obj = json.loads(line)
        out.append(([obj["ext"].lower()] if obj.get("ext") else [], obj.get("mime") or ""))
    out += [([], "")] * (len(paths) - len(out))
    return out


def offers_magika(script, paths):
    """Magika's runner (magika-ext.mjs) answers one line a path: path, label, score, extensions with their dots."""
    with tempfile.NamedTemporaryFile("wb", suffix=".list") as listing:
        listing.write(b"\0".join(os.fsencode(p) for p in paths))
        listing.flush()
        res = subprocess.run(["node", script, "-0", "--files-from", listing.name], stdout=subprocess.PIPE)
    out = {}
    for line in res.stdout.decode("utf-8", "surrogateescape").splitlines():
        fields = line.split("\t")
        if len(fields) >= 4 and not fields[1].startswith("ERROR"):
            out[fields[0]] = ([e.lstrip(".").lower() for e in fields[3].split()], fields[1])
    return [out.get(p, ([], "")) for p in paths]


def weighed_extensions(signatures):
    """The extensions that the set's language types (those with a `lang` test) offer."""
    exts = set()
    for t in ET.parse(signatures).getroot().iter("type"):
        if any((m.text or "").strip().startswith("lang ") for m in t.findall("magic")):
            exts.update((e.text or "").strip().lstrip(".").lower() for e in t.findall("ext"))
    exts.discard("")
    return exts


def file_version():
    res = subprocess.run(["file", "--version"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    first = res.stdout.decode(errors="replace").splitlines()[0] if res.stdout else "file"
    return first.strip()


def share(hits, total):
    return f"{hits} of {total} ({100.0 * hits / total:.1f} %)" if total else "–"


def percent(hits, total):
    return f"{100.0 * hits / total:.0f} %" if total else "–"


# Names that stand for the same content: an answer whose first extension is another name of the true one is right
# in the lenient count. Kept to names that nobody tells apart by the bytes or by use.
SAME_CONTENT = [
    {"jpg", "jpeg", "jpe"},
    {"tif", "tiff"},
    {"ogg", "oga"},
    {"htm", "html"},
    {"mid", "midi"},
    {"aif", "aiff"},
    {"au", "snd"},
    {"p12", "pfx"},
    {"h5", "hdf5"},
    {"yaml", "yml"},
]
NAMES = {ext: frozenset(names) for names in SAME_CONTENT for ext in names}


def same_content(a, b):
    return a == b or b in NAMES.get(a, ())


def judged(ext, exts):
    """(offered at all, offered first, offered first by the exact name) for one file's answer."""
    offered = any(same_content(ext, e) for e in exts)
    first = bool(exts) and same_content(ext, exts[0])
    strict = bool(exts) and exts[0] == ext
    return offered, first, strict


def read_manifest(cache):
    rows = []
    with open(os.path.join(cache, "MANIFEST.tsv")) as f:
        for line in f:
            if not line.startswith("#") and line.strip():
                fields = line.rstrip("\n").split("\t")
                pset = fields[3] if len(fields) > 3 else "studied"
                rows.append((fields[0], fields[1].lstrip(".").lower(), fields[2], pset))
    return rows


# Text formats that the text tests name, counted as a row of their own whatever
# their category: plain text, tables, JSON, XML and its families, HTML, and the
# line-opened formats (registry exports, shortcuts, INI, calendars, cards,
# subtitles, mail, YAML).
NAMED_TEXT = set("""txt csv tsv json xml svg xhtml rss atom plist html htm reg url ini ics vcf srt eml yaml
yml""".split())


def by_extensions(label, exts, rows, tools, pset):
    """A by-category row for the files of one set whose true extension is among `exts`, whatever their category."""
    cells = []
    for _, offers in tools:
        total = hits = first = 0
        for (path, ext, cat, s), (answer, _) in zip(rows, offers):
            if s == pset and ext in exts:
                total += 1
                o, f1, _ = judged(ext, answer)
                hits += o
                first += f1
        cells.append(f"{percent(hits, total)} / {percent(first, total)}")
    files = sum(1 for r in rows if r[3] == pset and r[1] in exts)
    return f"| {label} | {files} | " + " | ".join(cells) + " |"


def score(args):
    cache = os.path.abspath(args.cache)
    rows = read_manifest(cache)
    paths = [r[0] for r in rows]
    tools = [("kindsniffer-cli", offers_kindsniffer(args.cli, args.signatures, paths))]
    tools.append((f"`{file_version()} --extension`", offers_file(paths)))
    if args.file_type_script:
        tools.append(("npm `file-type`" + (f" {args.file_type_version}" if args.file_type_version else ""),
                      offers_file_type(args.file_type_script, paths)))
    if args.magika_script:
        tools.append(("Magika" + (f" {args.magika_version}" if args.magika_version else ""),
                      offers_magika(args.magika_script, paths)))
    # Plain text's own extension stays with the named text formats, though a language type offers it too.
    weighed = weighed_extensions(args.signatures) - NAMED_TEXT

    def tally(offers, keep):
        total, counts = 0, [0, 0, 0]
        for (path, ext, cat, pset), (exts, _) in zip(rows, offers):
            if keep(cat, pset):
                total += 1
                for i, hit in enumerate(judged(ext, exts)):
                    counts[i] += hit
        return total, counts

    print("An answer counts as offered first when its first extension is the true one or another name of the same "
          "content (" + ", ".join("/".join(sorted(n)) for n in SAME_CONTENT) + "); the exact name alone is the "
          "strict count. The two sets of packages are scored apart. The weighed languages are the files whose true "
          "extension is one that a language type of the set (one with a `lang` test) offers: "
          + ", ".join(sorted(weighed)) + ".\n")
    for pset in dict.fromkeys(r[3] for r in rows):
        mine = [r for r in rows if r[3] == pset]
        text_files = sum(1 for r in mine if r[2] == "text")
        packages = {os.path.basename(r[0]).split("--", 1)[0] for r in mine}
        print(f"#### {pset.capitalize()} packages\n")
        print(f"{len(mine)} files from {len(packages)} packages (those that gave any), {len(mine) - text_files} of "
              "them without the text category.\n")
        print("| Tool | Offered, without text | Offered first, without text | Strict first, without text "
              "| Offered, all files | Offered first, all files | Strict first, all files |")
        print("|---|---|---|---|---|---|---|")
        for name, offers in tools:
            t, (o, f1, fs) = tally(offers, lambda c, s: s == pset and c != "text")
            ta, (oa, fa, fsa) = tally(offers, lambda c, s: s == pset)
            print(f"| {name} | {share(o, t)} | {share(f1, t)} | {share(fs, t)} "
                  f"| {share(oa, ta)} | {share(fa, ta)} | {share(fsa, ta)} |")
        print()
        print("By category (true extension offered / offered first, lenient):\n")
        print("| Category | Files | " + " | ".join(name for name, _ in tools) + " |")
        print("|---|---|" + "---|" * len(tools))
        for cat in sorted({r[2] for r in mine}):
            cells = []
            for _, offers in tools:
                t, (o, f1, _) = tally(offers, lambda c, s, cat=cat: s == pset and c == cat)
                cells.append(f"{percent(o, t)} / {percent(f1, t)}")
            print(f"| {cat} | {sum(1 for r in mine if r[2] == cat)} | " + " | ".join(cells) + " |")
        for label, exts in ((f"named text formats ({', '.join(sorted(NAMED_TEXT))})", NAMED_TEXT),
                            ("weighed languages", weighed)):
            print(by_extensions(label, exts, rows, tools, pset))
        print()
        if not pset.startswith("studied"):
            print("Weighed languages of packages not studied, by extension (offered / offered first, lenient):\n")
            print("| Extension | Files | " + " | ".join(name for name, _ in tools) + " |")
            print("|---|---|" + "---|" * len(tools))
            for ext in sorted({r[1] for r in mine if r[1] in weighed}):
                print(by_extensions(f".{ext}", {ext}, rows, tools, pset))
            print()
    if args.misses:
        with open(args.misses, "w") as f:
            f.write("# set\tpath\ttrue extension\toffered\tcategory\ttitle\n")
            for (path, ext, cat, pset), (exts, title) in zip(rows, tools[0][1]):
                if cat != "text" and not judged(ext, exts)[1]:
                    f.write(f"{pset}\t{path}\t.{ext}\t{' '.join('.' + e for e in exts)}\t{cat}\t{title}\n")
    if args.answers:
        with open(args.answers, "w") as f:
            f.write("# set\tpath\ttrue extension\tcategory\t" + "\t".join(n for n, _ in tools) + "\n")
            for i, (path, ext, cat, pset) in enumerate(rows):
                answers = [" ".join("." + e for e in offers[i][0]) or "-" for _, offers in tools]
                f.write(f"{pset}\t{path}\t.{ext}\t{cat}\t" + "\t".join(answers) + "\n")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = ap.add_subparsers(dest="command", required=True)
    g = sub.add_parser("gather")
    g.add_argument("cache")
    g.add_argument("--packages", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                      "found-files-packages.txt"))
    g.add_argument("--per-extension", type=int, default=4)
    s = sub.add_parser("score")
    s.add_argument("cache")
    s.add_argument("--cli", required=True)
    s.add_argument("--signatures", required=True)
    s.add_argument("--file-type-script")
    s.add_argument("--file-type-version", default="")
    s.add_argument("--magika-script")
    s.add_argument("--magika-version", default="")
    s.add_argument("--misses")
    s.add_argument("--answers")
    args = ap.parse_args()
    gather(args) if args.command == "gather" else score(args)


if __name__ == "__main__":
    main()
