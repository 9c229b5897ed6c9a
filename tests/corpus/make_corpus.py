#!/usr/bin/env python3
"""Builds a corpus of real files of many kinds for checking the signature file.

    make_corpus.py OUTDIR [--exe PATH ...]

Every file is written as OUTDIR/<name>.<true extension>, and OUTDIR/manifest.json
lists them as {"file": NAME, "ext": ".EXT"}. Files come from three sources:
tools of the Debian packages that scripts/setup.sh installs (ImageMagick,
Ghostscript, the compressors, 7z, sqlite3, ...), files that the system already
holds (fonts, ELF programs, colour profiles), and small but valid files that
this script writes itself from the formats' published layouts (WAV, MIDI, class
files, WebAssembly, OOXML/ODF/EPUB packages, ...).

Every tool and system file the generator reads is declared below with the
Debian package that provides it (scripts/setup.sh installs them all). They are
checked before anything is made: when any is missing, one message names each
with its package, and the generator exits 2 without writing a corpus. Only the
sources marked optional may be absent; their samples are then skipped with a
notice, and the skip is recorded in skipped.json for check_corpus.py to report.
Only the Python standard library is used.
"""

import argparse
import bz2
import glob
import gzip
import json
import lzma
import math
import os
import plistlib
import re
import py_compile
import shutil
import sqlite3
import struct
import subprocess
import sys
import tarfile
import tempfile
import wave
import zipfile
import zlib


class Skip(Exception):
    """Raised by a maker that cannot produce its file on this machine."""


ITEMS = []


def item(name, ext):
    """Registers a maker that writes the file given to it as its one argument."""
    def register(func):
        ITEMS.append((name, ext, func))
        return func
    return register


# Every program a maker runs, with the package that provides it.
TOOLS = {
    "convert": "imagemagick", "gs": "ghostscript", "zip": "zip", "7z": "p7zip-full", "cpio": "cpio",
    "gcab": "gcab", "arj": "arj", "ar": "binutils", "dpkg-deb": "dpkg", "rpmbuild": "rpm",
    "qemu-img": "qemu-utils", "mkswap": "util-linux", "mksquashfs": "squashfs-tools", "mkfs.fat": "dosfstools",
    "mke2fs": "e2fsprogs", "gcc": "gcc", "clang": "clang", "woff2_compress": "woff2", "sqlite3": "sqlite3",
    "openssl": "openssl", "ssh-keygen": "openssh-client", "git": "git", "genisoimage": "genisoimage",
    "x86_64-w64-mingw32-gcc-posix": "gcc-mingw-w64-x86-64-posix",
    "x86_64-w64-mingw32-windres": "binutils-mingw-w64-x86-64",
    "gzip": "gzip", "bzip2": "bzip2", "xz": "xz-utils", "zstd": "zstd", "lzip": "lzip", "lz4": "lz4",
    "lzop": "lzop", "compress": "ncompress", "flac": "flac", "oggenc": "vorbis-tools", "opusenc": "opus-tools",
    "lame": "lame", "wavpack": "wavpack",
}

# Real files other packages install, copied as samples: the first existing
# match of the patterns, the package that provides it, and for the few that a
# plain set-up may lack, why their absence is not an error.
SYSTEM_FILES = {
    "icc": (["/usr/share/color/icc/ghostscript/srgb.icc", "/usr/share/color/icc/*/*.icc", "/usr/share/color/icc/*.icc"],
            "libgs-common", None),
    "apt-deb": (["/var/cache/apt/archives/*.deb"], "apt",
                "apt keeps no downloaded package where its cache is cleaned after every install"),
    "ls": (["/bin/ls", "/usr/bin/ls"], "coreutils", None),
    "libc": (["/lib/x86_64-linux-gnu/libc.so.6", "/lib/*/libc.so.6", "/lib64/libc.so.6", "/usr/lib/*/libc.so.6"],
             "libc6", None),
    "libz": (["/lib/x86_64-linux-gnu/libz.so.1", "/usr/lib/x86_64-linux-gnu/libz.so.1", "/lib/*/libz.so.1",
              "/usr/lib/*/libz.so.1"], "zlib1g", None),
    "typelib": (["/usr/lib/*/girepository-1.0/*.typelib", "/usr/lib/girepository-1.0/*.typelib"],
                "gir1.2-glib-2.0", None),
    "jmod": (["/usr/lib/jvm/*/jmods/java.sql.jmod", "/usr/lib/jvm/*/jmods/*.jmod"], "openjdk-17-jdk-headless", None),
    "dejavu-sans": (["/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"], "fonts-dejavu-core", None),
    "dejavu-serif": (["/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"], "fonts-dejavu-core", None),
    "ipa-gothic": (["/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
                    "/usr/share/fonts/truetype/fonts-japanese-gothic.ttf"], "fonts-ipafont-gothic", None),
    "urw-otf": (["/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf", "/usr/share/fonts/opentype/*/*.otf"],
                "fonts-urw-base35", None),
    "urw-pfb": (["/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.pfb", "/usr/share/fonts/X11/Type1/*.pfb",
                 "/usr/share/fonts/type1/*/*.pfb"], "fonts-urw-base35", None),
    "urw-t1": (["/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.t1", "/usr/share/fonts/type1/*/*.t1"],
               "fonts-urw-base35", None),
    "urw-afm": (["/usr/share/fonts/type1/urw-base35/NimbusSans-Regular.afm", "/usr/share/fonts/type1/*/*.afm"],
                "fonts-urw-base35", None),
    "keyring": (["/usr/share/keyrings/debian-archive-keyring.gpg", "/usr/share/keyrings/*.gpg"],
                "debian-archive-keyring", None),
    "wine-fon": (["/usr/share/wine/fonts/sserife.fon", "/usr/share/wine/fonts/*.fon"], "fonts-wine", None),
}


def first_existing(patterns):
    for pattern in patterns:
        for path in sorted(glob.glob(pattern)):
            if os.path.isfile(path):
                return path
    return None


def missing_sources():
    """Lines naming every required tool and system file that is absent, with its package."""
    lines = []
    for tool, package in sorted(TOOLS.items()):
        if shutil.which(tool) is None:
            lines.append("  program %-30s (package %s)" % (tool, package))
    for key, (patterns, package, optional) in sorted(SYSTEM_FILES.items()):
        if optional is None and first_existing(patterns) is None:
            lines.append("  file    %-30s (package %s)" % (patterns[0], package))
    return lines


def need(*tools):
    for tool in tools:
        assert tool in TOOLS, "%s is not declared in TOOLS" % tool
        if shutil.which(tool) is None:
            raise Skip("%s not installed" % tool)


def run(*cmd, **kw):
    """Runs a command quietly; a failure is turned into a skip with its message."""
    res = subprocess.run(list(cmd), stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)
    if res.returncode != 0:
        msg = (res.stderr or b"").decode("utf-8", "replace").strip().splitlines()
        raise Skip("%s failed: %s" % (cmd[0], msg[-1] if msg else "exit %d" % res.returncode))
    return res.stdout


class Optional(Skip):
    """An optional system source is absent: a notice, never a failure."""


def system_file(key):
    patterns, package, optional = SYSTEM_FILES[key]
    path = first_existing(patterns)
    if path is None:
        if optional:
            raise Optional("%s (%s)" % (patterns[0], optional))
        raise Skip("none of %s found (package %s)" % (", ".join(patterns), package))
    return path


def copy_from(key):
    """A maker that copies the system file KEY; the file is looked up when the maker runs."""
    return lambda out: shutil.copyfile(system_file(key), out)


WORK = None  # scratch folder, set by main()


def scratch(name):
    return os.path.join(WORK, name)


def zip_package(out, members, stored_first=None):
    """Writes a ZIP whose optional first member is stored uncompressed with no
    extra field, as ODF and EPUB ask of their "mimetype" member."""
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        if stored_first:
            info = zipfile.ZipInfo(stored_first[0], date_time=(2024, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_STORED
            z.writestr(info, stored_first[1])
        for name, data in members:
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)


# --- pictures -----------------------------------------------------------------

def sample_png():
    """A small deterministic picture every image conversion starts from."""
    path = scratch("sample.png")
    if not os.path.exists(path):
        need("convert")
        run("convert", "rose:", "-resize", "48x32!", path)
    return path


def magick(fmt, *opts):
    def make(out):
        src = sample_png()
        run("convert", src, *opts, "%s:%s" % (fmt, out))
    return make


IMAGE_CONVERSIONS = [
    ("rose", "png", "png", ()),
    ("rose", "jpg", "jpeg", ()),
    ("rose", "gif", "gif", ()),
    ("rose", "bmp", "bmp", ()),
    ("rose-v2", "bmp", "bmp2", ()),
    ("rose", "tif", "tiff", ()),
    ("rose-be", "tif", "tiff", ("-endian", "MSB")),
    ("rose-big", "tif", "tiff64", ()),
    ("rose", "ico", "ico", ()),
    ("rose", "webp", "webp", ()),
    ("rose", "psd", "psd", ()),
    ("rose", "jp2", "jp2", ()),
    ("rose", "j2k", "j2k", ()),
    ("rose", "heic", "heic", ()),
    ("rose", "avif", "avif", ()),
    ("rose", "dds", "dds", ()),
    ("rose", "tga", "tga", ()),
    ("rose", "pcx", "pcx", ()),
    ("rose", "dcx", "dcx", ()),
    ("rose", "sgi", "sgi", ()),
    ("rose", "ras", "sun", ()),
    ("rose", "hdr", "hdr", ()),
    ("rose", "fits", "fits", ()),
    ("rose", "dpx", "dpx", ()),
    ("rose", "cin", "cin", ()),
    ("rose", "xpm", "xpm", ()),
    ("rose", "pbm", "pbm", ()),
    ("rose-plain", "pbm", "pbm", ("-compress", "none")),
    ("rose", "pgm", "pgm", ()),
    ("rose-plain", "pgm", "pgm", ("-compress", "none")),
    ("rose", "ppm", "ppm", ()),
    ("rose-plain", "ppm", "ppm", ("-compress", "none")),
    ("rose", "pam", "pam", ()),
    ("rose", "pfm", "pfm", ()),
    ("rose", "miff", "miff", ()),
    ("rose", "viff", "viff", ()),
    ("rose", "mng", "mng", ()),
    ("rose", "jng", "jng", ()),
    ("rose", "vic", "vicar", ()),
    ("rose", "pdb", "pdb", ()),
    ("rose", "xwd", "xwd", ()),
    ("rose", "pcd", "pcd", ()),
    ("rose", "v", "vips", ()),
    ("rose", "pgx", "pgx", ()),
    ("rose", "cal", "cals", ()),
    ("rose", "xbm", "xbm", ()),
]

for _name, _ext, _fmt, _opts in IMAGE_CONVERSIONS:
    item(_name, _ext)(magick(_fmt, *_opts))


@item("rose", "cur")
def make_cur(out):
    # A cursor is an icon file with resource type 2 and hot-spot fields in
    # place of planes and bit count.
    run("convert", sample_png(), "-resize", "32x32!", "ico:" + scratch("cursor.ico"))
    data = bytearray(open(scratch("cursor.ico"), "rb").read())
    data[2:4] = struct.pack("<H", 2)
    data[10:14] = struct.pack("<HH", 1, 1)
    open(out, "wb").write(bytes(data))


@item("python-drawn", "bmp")
def make_bmp(out):
    # 24-bit BMP with a BITMAPINFOHEADER, rows bottom-up, padded to 4 bytes.
    w, h = 5, 3
    row = b"".join(bytes((x * 50, 0, 255 - x * 50)) for x in range(w))
    row += b"\0" * ((4 - len(row) % 4) % 4)
    pixels = row * h
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    size = 14 + len(header) + len(pixels)
    open(out, "wb").write(b"BM" + struct.pack("<IHHI", size, 0, 0, 54) + header + pixels)


@item("python-drawn", "png")
def make_png(out):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    w, h = 4, 4
    raw = b"".join(b"\0" + b"".join(bytes((x * 60, y * 60, 128)) for x in range(w)) for y in range(h))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
    open(out, "wb").write(png)


@item("python-drawn", "gif")
def make_gif(out):
    # GIF87a, 2x2, two colours; the image data is LZW with a minimum code size
    # of 2: clear (4), indices 0 1 1 0, end (5), packed into 3-bit codes.
    codes = [4, 0, 1, 1, 0, 5]
    bits, nbits, data = 0, 0, bytearray()
    for c in codes:
        bits |= c << nbits
        nbits += 3
        while nbits >= 8:
            data.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8
    if nbits:
        data.append(bits & 0xFF)
    gif = b"GIF87a" + struct.pack("<HHBBB", 2, 2, 0x80, 0, 0) + b"\0\0\0\xff\xff\xff"
    gif += b"," + struct.pack("<HHHHB", 0, 0, 2, 2, 0) + b"\x02" + bytes((len(data),)) + bytes(data) + b"\0;"
    open(out, "wb").write(gif)


@item("python-drawn", "ico")
def make_ico(out):
    # One 32-bit 2x2 entry in BMP form: header with doubled height, pixels, AND mask.
    w = h = 2
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"\x00\x00\xff\xff" * (w * h)
    mask = b"\0\0\0\0" * h
    image = header + pixels + mask
    entry = struct.pack("<BBBBHHII", w, h, 0, 0, 1, 32, len(image), 6 + 16)
    open(out, "wb").write(struct.pack("<HHH", 0, 1, 1) + entry + image)


@item("python-drawn", "svg")
def make_svg(out):
    open(out, "w").write('<?xml version="1.0" encoding="UTF-8"?>\n'
                         '<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10">'
                         '<rect width="10" height="10" fill="teal"/></svg>\n')


@item("bare", "svg")
def make_bare_svg(out):
    open(out, "w").write('<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 4 4">'
                         '<circle cx="2" cy="2" r="2"/></svg>\n')


@item("ghostscript-colour", "icc")
def make_icc(out):
    copy_from("icc")(out)


# --- documents from Ghostscript ------------------------------------------------

PS_PAGE = b"""%!PS-Adobe-3.0
%%BoundingBox: 0 0 200 100
%%Pages: 1
%%EndComments
%%Page: 1 1
/Helvetica findfont 24 scalefont setfont
20 40 moveto (Kindsniffer) show
0.2 0.4 0.8 setrgbcolor 10 10 180 10 rectfill
showpage
%%EOF
"""


def ghostscript(device, *extra):
    def make(out):
        need("gs")
        src = scratch("page.ps")
        open(src, "wb").write(PS_PAGE)
        run("gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=" + device,
            "-sOutputFile=" + out, *extra, src)
    return make


item("ghostscript", "pdf")(ghostscript("pdfwrite"))
item("ghostscript", "ps")(ghostscript("ps2write"))
item("ghostscript", "eps")(ghostscript("eps2write"))
item("ghostscript", "pcl")(ghostscript("ljet4"))
item("ghostscript", "pxl")(ghostscript("pxlmono"))
item("ghostscript", "xps")(ghostscript("xpswrite"))
item("ghostscript-g4", "tif")(ghostscript("tiffg4", "-r72"))


@item("handwritten", "ps")
def make_ps(out):
    open(out, "wb").write(PS_PAGE)


@item("handwritten", "pdf")
def make_pdf(out):
    # One empty page; the cross-reference offsets are computed as written.
    objs = [b"<< /Type /Catalog /Pages 2 0 R >>",
            b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>"]
    body = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for i, obj in enumerate(objs, 1):
        offsets.append(len(body))
        body += b"%d 0 obj\n" % i + obj + b"\nendobj\n"
    xref = len(body)
    body += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    for off in offsets:
        body += b"%010d 00000 n \n" % off
    body += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
    open(out, "wb").write(bytes(body))


@item("handwritten", "rtf")
def make_rtf(out):
    open(out, "w").write("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 Kindsniffer\\par}\n")


# --- packages built on ZIP -------------------------------------------------------

CT_DEFAULTS = ('<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
               '<Default Extension="xml" ContentType="application/xml"/>')
PKG_NS = "http://schemas.openxmlformats.org/package/2006"
DOC_REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
XML_HEAD = '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'


def content_types(overrides):
    parts = "".join('<Override PartName="%s" ContentType="%s"/>' % o for o in overrides)
    return XML_HEAD + '<Types xmlns="%s/content-types">%s%s</Types>' % (PKG_NS, CT_DEFAULTS, parts)


def rels(targets):
    items = "".join('<Relationship Id="rId%d" Type="%s/%s" Target="%s"/>' % (i, DOC_REL, kind, target)
                    for i, (kind, target) in enumerate(targets, 1))
    return XML_HEAD + '<Relationships xmlns="%s/relationships">%s</Relationships>' % (PKG_NS, items)


@item("minimal", "docx")
def make_docx(out):
    ns = "http://schemas.openxmlformats.org/wordprocessingml/2006/main"
    zip_package(out, [
        ("[Content_Types].xml", content_types([("/word/document.xml",
         "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml")])),
        ("_rels/.rels", rels([("officeDocument", "word/document.xml")])),
        ("word/document.xml", XML_HEAD + '<w:document xmlns:w="%s"><w:body><w:p><w:r><w:t>Kindsniffer'
         '</w:t></w:r></w:p></w:body></w:document>' % ns),
    ])


@item("minimal", "xlsx")
def make_xlsx(out):
    ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
    zip_package(out, [
        ("[Content_Types].xml", content_types([
            ("/xl/workbook.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"),
            ("/xl/worksheets/sheet1.xml", "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml")])),
        ("_rels/.rels", rels([("officeDocument", "xl/workbook.xml")])),
        ("xl/workbook.xml", XML_HEAD + '<workbook xmlns="%s" xmlns:r="%s"><sheets><sheet name="Sheet1" '
         'sheetId="1" r:id="rId1"/></sheets></workbook>' % (ns, DOC_REL)),
        ("xl/_rels/workbook.xml.rels", rels([("worksheet", "worksheets/sheet1.xml")])),
        ("xl/worksheets/sheet1.xml", XML_HEAD + '<worksheet xmlns="%s"><sheetData><row r="1"><c r="A1">'
         '<v>42</v></c></row></sheetData></worksheet>' % ns),
    ])


@item("minimal", "pptx")
def make_pptx(out):
    p = "http://schemas.openxmlformats.org/presentationml/2006/main"
    a = "http://schemas.openxmlformats.org/drawingml/2006/main"
    ml = "application/vnd.openxmlformats-officedocument.presentationml."
    tree = ('<p:cSld><p:spTree><p:nvGrpSpPr><p:cNvPr id="1" name=""/><p:cNvGrpSpPr/><p:nvPr/></p:nvGrpSpPr>'
            '<p:grpSpPr/></p:spTree></p:cSld>')
    head = 'xmlns:a="%s" xmlns:r="%s" xmlns:p="%s"' % (a, DOC_REL, p)
    theme = (XML_HEAD + '<a:theme xmlns:a="%s" name="Plain"><a:themeElements>'
             '<a:clrScheme name="Plain"><a:dk1><a:srgbClr val="000000"/></a:dk1><a:lt1><a:srgbClr val="FFFFFF"/></a:lt1>'
             '<a:dk2><a:srgbClr val="1F497D"/></a:dk2><a:lt2><a:srgbClr val="EEECE1"/></a:lt2>'
             '<a:accent1><a:srgbClr val="4F81BD"/></a:accent1><a:accent2><a:srgbClr val="C0504D"/></a:accent2>'
             '<a:accent3><a:srgbClr val="9BBB59"/></a:accent3><a:accent4><a:srgbClr val="8064A2"/></a:accent4>'
             '<a:accent5><a:srgbClr val="4BACC6"/></a:accent5><a:accent6><a:srgbClr val="F79646"/></a:accent6>'
             '<a:hlink><a:srgbClr val="0000FF"/></a:hlink><a:folHlink><a:srgbClr val="800080"/></a:folHlink></a:clrScheme>'
             '<a:fontScheme name="Plain"><a:majorFont><a:latin typeface="Arial"/><a:ea typeface=""/><a:cs typeface=""/>'
             '</a:majorFont><a:minorFont><a:latin typeface="Arial"/><a:ea typeface=""/><a:cs typeface=""/></a:minorFont>'
             '</a:fontScheme><a:fmtScheme name="Plain"><a:fillStyleLst><a:solidFill><a:schemeClr val="phClr"/></a:solidFill>'
             '<a:solidFill><a:schemeClr val="phClr"/></a:solidFill><a:solidFill><a:schemeClr val="phClr"/></a:solidFill>'
             '</a:fillStyleLst><a:lnStyleLst><a:ln><a:solidFill><a:schemeClr val="phClr"/></a:solidFill></a:ln>'
             '<a:ln><a:solidFill><a:schemeClr val="phClr"/></a:solidFill></a:ln><a:ln><a:solidFill><a:schemeClr val="phClr"/>'
             '</a:solidFill></a:ln></a:lnStyleLst><a:effectStyleLst><a:effectStyle><a:effectLst/></a:effectStyle>'
             '<a:effectStyle><a:effectLst/></a:effectStyle><a:effectStyle><a:effectLst/></a:effectStyle></a:effectStyleLst>'
             '<a:bgFillStyleLst><a:solidFill><a:schemeClr val="phClr"/></a:solidFill><a:solidFill><a:schemeClr val="phClr"/>'
             '</a:solidFill><a:solidFill><a:schemeClr val="phClr"/></a:solidFill></a:bgFillStyleLst></a:fmtScheme>'
             '</a:themeElements></a:theme>' % a)
    zip_package(out, [
        ("[Content_Types].xml", content_types([
            ("/ppt/presentation.xml", ml + "presentation.main+xml"),
            ("/ppt/slideMasters/slideMaster1.xml", ml + "slideMaster+xml"),
            ("/ppt/slideLayouts/slideLayout1.xml", ml + "slideLayout+xml"),
            ("/ppt/slides/slide1.xml", ml + "slide+xml"),
            ("/ppt/theme/theme1.xml", "application/vnd.openxmlformats-officedocument.theme+xml")])),
        ("_rels/.rels", rels([("officeDocument", "ppt/presentation.xml")])),
        ("ppt/presentation.xml", XML_HEAD + '<p:presentation %s><p:sldMasterIdLst><p:sldMasterId id="2147483648" '
         'r:id="rId1"/></p:sldMasterIdLst><p:sldIdLst><p:sldId id="256" r:id="rId2"/></p:sldIdLst>'
         '<p:sldSz cx="9144000" cy="6858000"/><p:notesSz cx="6858000" cy="9144000"/></p:presentation>' % head),
        ("ppt/_rels/presentation.xml.rels", rels([("slideMaster", "slideMasters/slideMaster1.xml"),
                                                  ("slide", "slides/slide1.xml"), ("theme", "theme/theme1.xml")])),
        ("ppt/slideMasters/slideMaster1.xml", XML_HEAD + '<p:sldMaster %s>%s<p:clrMap bg1="lt1" tx1="dk1" bg2="lt2" '
         'tx2="dk2" accent1="accent1" accent2="accent2" accent3="accent3" accent4="accent4" accent5="accent5" '
         'accent6="accent6" hlink="hlink" folHlink="folHlink"/><p:sldLayoutIdLst><p:sldLayoutId id="2147483649" '
         'r:id="rId1"/></p:sldLayoutIdLst></p:sldMaster>' % (head, tree)),
        ("ppt/slideMasters/_rels/slideMaster1.xml.rels", rels([("slideLayout", "../slideLayouts/slideLayout1.xml"),
                                                               ("theme", "../theme/theme1.xml")])),
        ("ppt/slideLayouts/slideLayout1.xml", XML_HEAD + '<p:sldLayout %s>%s<p:clrMapOvr><a:masterClrMapping/>'
         '</p:clrMapOvr></p:sldLayout>' % (head, tree)),
        ("ppt/slideLayouts/_rels/slideLayout1.xml.rels", rels([("slideMaster", "../slideMasters/slideMaster1.xml")])),
        ("ppt/slides/slide1.xml", XML_HEAD + '<p:sld %s>%s<p:clrMapOvr><a:masterClrMapping/></p:clrMapOvr></p:sld>'
         % (head, tree)),
        ("ppt/slides/_rels/slide1.xml.rels", rels([("slideLayout", "../slideLayouts/slideLayout1.xml")])),
        ("ppt/theme/theme1.xml", theme),
    ])


def odf(mimetype, body):
    office = "urn:oasis:names:tc:opendocument:xmlns:office:1.0"
    manifest_ns = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"

    def make(out):
        content = (XML_HEAD + '<office:document-content xmlns:office="%s" xmlns:text="urn:oasis:names:tc:'
                   'opendocument:xmlns:text:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
                   'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" office:version="1.3">'
                   '<office:body>%s</office:body></office:document-content>' % (office, body))
        manifest = (XML_HEAD + '<manifest:manifest xmlns:manifest="%s" manifest:version="1.3">'
                    '<manifest:file-entry manifest:full-path="/" manifest:media-type="%s"/>'
                    '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml"/>'
                    '</manifest:manifest>' % (manifest_ns, mimetype))
        zip_package(out, [("content.xml", content), ("META-INF/manifest.xml", manifest)],
                    stored_first=("mimetype", mimetype))
    return make


ODF_MIME = "application/vnd.oasis.opendocument."
item("minimal", "odt")(odf(ODF_MIME + "text", "<office:text><text:p>Kindsniffer</text:p></office:text>"))
item("minimal", "ott")(odf(ODF_MIME + "text-template", "<office:text><text:p>Template</text:p></office:text>"))
item("minimal", "ods")(odf(ODF_MIME + "spreadsheet", '<office:spreadsheet><table:table table:name="Sheet1">'
                           '<table:table-row><table:table-cell/></table:table-row></table:table></office:spreadsheet>'))
item("minimal", "odp")(odf(ODF_MIME + "presentation", '<office:presentation><draw:page draw:name="page1"/>'
                           '</office:presentation>'))
item("minimal", "odg")(odf(ODF_MIME + "graphics", '<office:drawing><draw:page draw:name="page1"/></office:drawing>'))
item("minimal", "sxw")(odf("application/vnd.sun.xml.writer", "<office:text><text:p>Kindsniffer</text:p></office:text>"))
item("html-template", "stw")(odf("application/vnd.sun.xml.writer.web", "<office:text><text:p>Page</text:p></office:text>"))


@item("minimal", "epub")
def make_epub(out):
    container = ('<?xml version="1.0"?>\n<container version="1.0" xmlns="urn:oasis:names:tc:opendocument:xmlns:'
                 'container"><rootfiles><rootfile full-path="OEBPS/content.opf" media-type="application/oebps-'
                 'package+xml"/></rootfiles></container>')
    opf = ('<?xml version="1.0" encoding="UTF-8"?>\n<package xmlns="http://www.idpf.org/2007/opf" version="3.0" '
           'unique-identifier="id"><metadata xmlns:dc="http://purl.org/dc/elements/1.1/"><dc:identifier id="id">'
           'urn:uuid:8f7c0c1e-5b1a-4a52-9d1e-6a0b6b2f3c11</dc:identifier><dc:title>Sample</dc:title>'
           '<dc:language>en</dc:language><meta property="dcterms:modified">2024-01-01T00:00:00Z</meta></metadata>'
           '<manifest><item id="nav" href="nav.xhtml" media-type="application/xhtml+xml" properties="nav"/>'
           '</manifest><spine><itemref idref="nav"/></spine></package>')
    nav = ('<?xml version="1.0" encoding="UTF-8"?>\n<html xmlns="http://www.w3.org/1999/xhtml" xmlns:epub='
           '"http://www.idpf.org/2007/ops"><head><title>Sample</title></head><body><nav epub:type="toc"><ol>'
           '<li><a href="nav.xhtml">Start</a></li></ol></nav></body></html>')
    zip_package(out, [("META-INF/container.xml", container), ("OEBPS/content.opf", opf), ("OEBPS/nav.xhtml", nav)],
                stored_first=("mimetype", "application/epub+zip"))


@item("minimal", "ora")
def make_ora(out):
    png = open(sample_png(), "rb").read()
    stack = ('<?xml version="1.0" encoding="UTF-8"?>\n<image version="0.0.5" w="48" h="32"><stack>'
             '<layer name="rose" src="data/rose.png" x="0" y="0"/></stack></image>')
    zip_package(out, [("stack.xml", stack), ("data/rose.png", png), ("mergedimage.png", png),
                      ("Thumbnails/thumbnail.png", png)], stored_first=("mimetype", "image/openraster"))


# A Krita image as some versions wrote it: an empty mimetype, the Krita DTD in the main document.
@item("empty-mimetype", "kra")
def make_kra(out):
    maindoc = ('<?xml version="1.0" encoding="UTF-8"?>\n<!DOCTYPE DOC PUBLIC \'-//KDE//DTD krita 2.0//EN\' '
               '\'http://www.calligra.org/DTD/krita-2.0.dtd\'>\n<DOC xmlns="http://www.calligra.org/DTD/krita" '
               'syntaxVersion="2"><IMAGE width="1" height="1"/></DOC>\n')
    zip_package(out, [("maindoc.xml", maindoc), ("documentinfo.xml", "<document-info/>\n")],
                stored_first=("mimetype", ""))


@item("minimal", "jar")
def make_jar(out):
    zip_package(out, [("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nCreated-By: make_corpus\r\n\r\n"),
                      ("Hello.class", class_file())])


@item("minimal", "whl")
def make_whl(out):
    d = "sample-1.0.dist-info/"
    zip_package(out, [("sample/__init__.py", "VALUE = 1\n"),
                      (d + "METADATA", "Metadata-Version: 2.1\nName: sample\nVersion: 1.0\n"),
                      (d + "WHEEL", "Wheel-Version: 1.0\nGenerator: make_corpus\nRoot-Is-Purelib: true\n"
                                    "Tag: py3-none-any\n"),
                      (d + "RECORD", "sample/__init__.py,,\n%sMETADATA,,\n%sWHEEL,,\n%sRECORD,,\n" % (d, d, d))])


# Packages known by a member that only they hold; each holds no more than that member needs.
ZIP_MEMBERS = [
    ("war", [("WEB-INF/web.xml", '<web-app version="3.0"/>\n'), ("index.html", "<p>hi</p>\n")]),
    ("aar", [("AndroidManifest.xml", '<manifest package="org.example"/>\n'), ("classes.jar", b"")]),
    ("egg", [("sample/__init__.py", "VALUE = 1\n"), ("EGG-INFO/PKG-INFO", "Metadata-Version: 1.1\nName: sample\n")]),
    ("kmz", [("doc.kml", '<kml xmlns="http://www.opengis.net/kml/2.2"/>\n')]),
    ("FCStd", [("Document.xml", '<Document SchemaVersion="4"/>\n'), ("GuiDocument.xml", "<Document/>\n")]),    ("sbz", [("swatchbook.xml", '<SwatchBook version="0.7"/>\n')]),
    ("sob", [("Content.xml", '<ooo:bitmap-table/>\n'), ("Pictures/tile.png", b"")]),
]
for ext, members in ZIP_MEMBERS:
    item("minimal", ext)((lambda members: lambda out: zip_package(out, members))(members))


@item("minimal", "bau")
def make_bau(out):
    # An AutoText container: an empty, stored mimetype member, then the list of its blocks.
    zip_package(out, [("BlockList.xml", '<block-list:block-list block-list:list-name="Mine"/>\n')],
                stored_first=("mimetype", ""))


@item("minimal", "rdb")
def make_rdb(out):
    # As R stores each object of a lazy-load database: the serialised length, then zlib.
    obj = b"X\n" + struct.pack(">3i", 3, 0x40200, 0x30500) + bytes(64)
    with open(out, "wb") as f:
        f.write(struct.pack(">I", len(obj)) + zlib.compress(obj))


@item("gallery", "thm")
def make_thm(out):
    # A gallery theme: version 4, the theme's name, the object count, then the GALRESRV record.
    name = b"Arrows"
    with open(out, "wb") as f:
        f.write(struct.pack("<HH", 4, len(name)) + name + struct.pack("<I", 0) + b"GALRESRV"
                + struct.pack("<HI", 2, 5) + bytes(20))


def dng(order):
    """A raw image's TIFF header and first directory in byte ORDER ("<" or ">"): twenty entries in
    tag order, the DNG version (C612, four bytes 1 4 0 0) among the last, then a strip of pixels."""
    tags = [(0xFE, 4, 1, 0), (0x100, 4, 1, 8), (0x101, 4, 1, 8), (0x102, 3, 1, 16), (0x103, 3, 1, 1),
            (0x106, 3, 1, 32803), (0x10F, 2, 4, 0x6E6F43), (0x110, 2, 4, 0x6E6F43), (0x111, 4, 1, 0),
            (0x112, 3, 1, 1), (0x115, 3, 1, 1), (0x116, 4, 1, 8), (0x117, 4, 1, 128), (0x11C, 3, 1, 1),
            (0x131, 2, 4, 0x7A7978), (0x828D, 3, 2, 0x00020002), (0x828E, 1, 4, 0x02010100),
            (0xC612, 1, 4, 0x00000401 if order == "<" else 0x01040000), (0xC613, 1, 4, 0x00000401 if order == "<" else 0x01040000),
            (0xC614, 2, 4, 0x616D61)]
    directory = struct.pack(order + "H", len(tags))
    pixels_at = 8 + 2 + 12 * len(tags) + 4
    for tag, kind, count, value in tags:
        if tag == 0x111:
            value = pixels_at
        if kind == 3 and count == 1:
            directory += struct.pack(order + "HHIHH", tag, kind, count, value, 0)
        else:
            directory += struct.pack(order + "HHII", tag, kind, count, value)
    head = (b"II*\0" if order == "<" else b"MM\0*") + struct.pack(order + "I", 8)
    return head + directory + b"\0\0\0\0" + bytes(128)


item("raw-le", "dng")(lambda out: open(out, "wb").write(dng("<")))
item("raw-be", "dng")(lambda out: open(out, "wb").write(dng(">")))


@item("song", "mmpz")
def make_mmpz(out):
    # Qt's qCompress, as LMMS saves a project: the length of the text, then zlib.
    project = (b'<?xml version="1.0"?>\n<!DOCTYPE lmms-project>\n<lmms-project creator="LMMS" version="1.0" '
               b'type="song"><head bpm="140"/><song/></lmms-project>\n')
    with open(out, "wb") as f:
        f.write(struct.pack(">I", len(project)) + zlib.compress(project))


@item("minimal", "npz")
def make_npz(out):
    # As numpy.savez writes it: each array a stored .npy member.
    header = b"{'descr': '<i4', 'fortran_order': False, 'shape': (3,), }"
    header += b" " * (63 - len(header) % 64) + b"\n"
    npy = b"\x93NUMPY\x01\x00" + struct.pack("<H", len(header)) + header + struct.pack("<3i", 1, 2, 3)
    with zipfile.ZipFile(out, "w", zipfile.ZIP_STORED) as z:
        z.writestr("arr_0.npy", npy)


@item("python", "zip")
def make_zip(out):
    zip_package(out, [("readme.txt", "hello\n" * 20), ("data/values.csv", "a,b\n1,2\n")])


@item("python-empty", "zip")
def make_empty_zip(out):
    zipfile.ZipFile(out, "w").close()


@item("infozip", "zip")
def make_infozip(out):
    need("zip")
    src = scratch("zipme.txt")
    open(src, "w").write("zip me\n" * 10)
    run("zip", "-q", "-j", out, src)


# --- archives and compressors ----------------------------------------------------

PAYLOAD = b"".join(b"line %d of the sample payload, some words to compress\n" % i for i in range(400))


def payload_file():
    path = scratch("payload.txt")
    if not os.path.exists(path):
        open(path, "wb").write(PAYLOAD)
    return path


def compressor(tool, *args, suffix):
    """Runs TOOL ARGS on a copy of the payload and takes the file it leaves."""
    def make(out):
        need(tool)
        src = scratch("c-%s" % tool)
        open(src, "wb").write(PAYLOAD)
        run(tool, *args, src)
        shutil.move(src + suffix, out)
    return make


item("gzip", "gz")(compressor("gzip", "-f", suffix=".gz"))
item("bzip2", "bz2")(compressor("bzip2", "-f", suffix=".bz2"))
item("xz", "xz")(compressor("xz", "-f", suffix=".xz"))
item("xz-alone", "lzma")(compressor("xz", "-f", "--format=lzma", suffix=".lzma"))
item("zstd", "zst")(compressor("zstd", "-q", "-f", suffix=".zst"))
item("lzip", "lz")(compressor("lzip", "-f", suffix=".lz"))
item("lz4", "lz4")(compressor("lz4", "-q", "-f", "-m", "--rm", suffix=".lz4"))
item("lzop", "lzo")(compressor("lzop", "-f", "-U", suffix=".lzo"))
item("compress", "Z")(compressor("compress", "-f", suffix=".Z"))


@item("python", "gz")
def make_py_gz(out):
    with gzip.open(out, "wb") as f:
        f.write(PAYLOAD)


@item("python", "bz2")
def make_py_bz2(out):
    open(out, "wb").write(bz2.compress(PAYLOAD))


@item("python", "xz")
def make_py_xz(out):
    open(out, "wb").write(lzma.compress(PAYLOAD))


@item("python", "lzma")
def make_py_lzma(out):
    open(out, "wb").write(lzma.compress(PAYLOAD, format=lzma.FORMAT_ALONE))


@item("python", "tar")
def make_tar(out):
    with tarfile.open(out, "w") as t:
        t.add(payload_file(), arcname="payload.txt")


@item("python-gnu", "tar")
def make_gnu_tar(out):
    with tarfile.open(out, "w", format=tarfile.GNU_FORMAT) as t:
        t.add(payload_file(), arcname="payload.txt")


@item("python", "tgz")
def make_tgz(out):
    with tarfile.open(out, "w:gz") as t:
        t.add(payload_file(), arcname="payload.txt")


def sevenzip(kind):
    def make(out):
        need("7z")
        run("7z", "a", "-bd", "-y", "-t" + kind, out, payload_file())
    return make


item("7z", "7z")(sevenzip("7z"))
item("7z", "zip")(sevenzip("zip"))
item("7z", "wim")(sevenzip("wim"))


def cpio(fmt):
    def make(out):
        need("cpio")
        with open(out, "wb") as f:
            subprocess.run(["cpio", "-o", "--quiet", "-H", fmt], input=b"payload.txt\n", stdout=f,
                           stderr=subprocess.DEVNULL, cwd=os.path.dirname(payload_file()), check=True)
    return make


item("newc", "cpio")(cpio("newc"))
item("crc", "cpio")(cpio("crc"))
item("odc", "cpio")(cpio("odc"))
item("bin", "cpio")(cpio("bin"))


@item("gcab", "cab")
def make_cab(out):
    need("gcab")
    run("gcab", "-c", "-z", out, payload_file())


@item("arj", "arj")
def make_arj(out):
    need("arj")
    run("arj", "a", "-y", "-e", out, payload_file())


@item("ar", "a")
def make_ar(out):
    need("ar")
    run("ar", "rcs", out, payload_file())


@item("handwritten-ar", "a")
def make_py_ar(out):
    # "!<arch>\n" followed by 60-byte member headers, members padded to even length.
    member = b"hello\n"
    header = b"%-16s%-12d%-6d%-6d%-8o%-10d`\n" % (b"hello.txt/", 0, 0, 0, 0o644, len(member))
    open(out, "wb").write(b"!<arch>\n" + header + member)


@item("dpkg-deb", "deb")
def make_deb(out):
    need("dpkg-deb")
    root = scratch("debroot")
    os.makedirs(os.path.join(root, "DEBIAN"), exist_ok=True)
    os.makedirs(os.path.join(root, "usr/share/doc/sample"), exist_ok=True)
    open(os.path.join(root, "DEBIAN/control"), "w").write(
        "Package: sample\nVersion: 1.0\nArchitecture: all\nMaintainer: Nobody <nobody@example.org>\n"
        "Description: corpus sample\n")
    shutil.copyfile(payload_file(), os.path.join(root, "usr/share/doc/sample/payload.txt"))
    run("dpkg-deb", "--root-owner-group", "-Zxz", "--build", root, out)


@item("apt-cache", "deb")
def make_cached_deb(out):
    copy_from("apt-deb")(out)


@item("rpmbuild", "rpm")
def make_rpm(out):
    need("rpmbuild")
    top = scratch("rpmtop")
    recipe = os.path.join(top, "sample-package.rpmbuild")
    os.makedirs(top, exist_ok=True)
    open(recipe, "w").write("Name: sample\nVersion: 1.0\nRelease: 1\nSummary: corpus sample\nLicense: MIT\n"
                          "BuildArch: noarch\n%description\nsample\n%install\nmkdir -p %{buildroot}/opt/sample\n"
                          "echo hi > %{buildroot}/opt/sample/hi.txt\n%files\n/opt/sample/hi.txt\n")
    run("rpmbuild", "-bb", "--quiet", "--define", "_topdir " + top, recipe)
    built = first_existing([os.path.join(top, "RPMS/noarch/*.rpm")])
    if built is None:
        raise Skip("rpmbuild left no package")
    shutil.copyfile(built, out)


# --- disk and file-system images ---------------------------------------------------

@item("genisoimage", "iso")
def make_iso(out):
    need("genisoimage")
    run("genisoimage", "-quiet", "-V", "SAMPLE", "-o", out, make_tree())


def make_tree():
    tree = scratch("tree")
    os.makedirs(tree, exist_ok=True)
    shutil.copyfile(payload_file(), os.path.join(tree, "payload.txt"))
    return tree


def qemu(fmt, *opts):
    def make(out):
        need("qemu-img")
        run("qemu-img", "create", "-q", "-f", fmt, *opts, out, "2M")
    return make


item("qemu", "qcow2")(qemu("qcow2"))
item("qemu", "vmdk")(qemu("vmdk"))
item("qemu", "vdi")(qemu("vdi"))
item("qemu-dynamic", "vhd")(qemu("vpc"))
item("qemu-fixed", "vhd")(qemu("vpc", "-o", "subformat=fixed"))
item("qemu", "vhdx")(qemu("vhdx"))
item("qemu", "qed")(qemu("qed"))
item("qemu", "hds")(qemu("parallels"))
item("qemu", "luks")(qemu("luks", "--object", "secret,id=k,data=sample", "-o", "key-secret=k,iter-time=10"))


@item("mkswap", "swap")
def make_swap(out):
    need("mkswap")
    with open(out, "wb") as f:
        f.truncate(64 * 1024)
    run("mkswap", out)


@item("mksquashfs", "squashfs")
def make_squashfs(out):
    need("mksquashfs")
    run("mksquashfs", make_tree(), out, "-quiet", "-noappend", "-no-progress")


@item("mkfs-fat12", "img")
def make_fat(out):
    need("mkfs.fat")
    run("mkfs.fat", "-C", out, "1440")


@item("mkfs-fat32", "img")
def make_fat32(out):
    need("mkfs.fat")
    run("mkfs.fat", "-F", "32", "-C", out, "40000")


@item("mke2fs", "img")
def make_ext4(out):
    need("mke2fs")
    run("mke2fs", "-q", "-F", "-t", "ext4", out, "1M")


# --- audio ---------------------------------------------------------------------------

RATE = 8000


def tone(seconds=0.25, freq=440):
    n = int(RATE * seconds)
    return [int(12000 * math.sin(2 * math.pi * freq * i / RATE)) for i in range(n)]


def wav_file(seconds=0.25, rate=RATE):
    path = scratch("tone-%d.wav" % rate)
    if not os.path.exists(path):
        n = int(rate * seconds)
        samples = [int(12000 * math.sin(2 * math.pi * 440 * i / rate)) for i in range(n)]
        with wave.open(path, "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(rate)
            w.writeframes(struct.pack("<%dh" % len(samples), *samples))
    return path


@item("python", "wav")
def make_wav(out):
    shutil.copyfile(wav_file(), out)


@item("handwritten", "aiff")
def make_aiff(out):
    # FORM/AIFF with COMM (sample rate as an 80-bit extended float) and SSND.
    samples = tone()
    data = struct.pack(">%dh" % len(samples), *samples)
    exponent = 16383 + int(math.log2(RATE))
    mantissa = RATE << (63 - int(math.log2(RATE)))
    rate80 = struct.pack(">HQ", exponent, mantissa)
    comm = struct.pack(">hIh", 1, len(samples), 16) + rate80
    ssnd = struct.pack(">II", 0, 0) + data
    body = b"AIFF" + b"COMM" + struct.pack(">I", len(comm)) + comm + b"SSND" + struct.pack(">I", len(ssnd)) + ssnd
    open(out, "wb").write(b"FORM" + struct.pack(">I", len(body)) + body)


@item("handwritten", "au")
def make_au(out):
    samples = tone()
    data = struct.pack(">%dh" % len(samples), *samples)
    open(out, "wb").write(b".snd" + struct.pack(">IIIII", 24, len(data), 3, RATE, 1) + data)


@item("handwritten", "mid")
def make_midi(out):
    # Format 0, one track: a note on and off, then end of track.
    events = b"\x00\x90\x3c\x40\x60\x80\x3c\x40\x00\xff\x2f\x00"
    track = b"MTrk" + struct.pack(">I", len(events)) + events
    open(out, "wb").write(b"MThd" + struct.pack(">IHHH", 6, 0, 1, 96) + track)


def encoder(tool, *args, rate=RATE):
    def make(out):
        need(tool)
        run(tool, *[a.replace("{in}", wav_file(rate=rate)).replace("{out}", out) for a in args])
    return make


item("flac", "flac")(encoder("flac", "-s", "-f", "-o", "{out}", "{in}"))
item("oggenc", "ogg")(encoder("oggenc", "-Q", "-o", "{out}", "{in}"))
item("opusenc", "opus")(encoder("opusenc", "--quiet", "{in}", "{out}"))
item("lame", "mp3")(encoder("lame", "--silent", "{in}", "{out}", rate=44100))
item("lame-mpeg2", "mp3")(encoder("lame", "--silent", "{in}", "{out}", rate=22050))
item("lame-id3", "mp3")(encoder("lame", "--silent", "--id3v2-only", "--tt", "Tone", "{in}", "{out}"))
item("wavpack", "wv")(encoder("wavpack", "-q", "-y", "{in}", "-o", "{out}"))


# --- programs, libraries and bytecode --------------------------------------------------

item("system-ls", "elf")(copy_from("ls"))
item("libc", "so")(copy_from("libc"))
item("libz", "so")(copy_from("libz"))

C_SOURCE = "int answer(void) { return 42; }\n"
C_MAIN = "int main(void) { return 0; }\n"


def c_file(text, name):
    path = scratch(name)
    open(path, "w").write(text)
    return path


@item("gcc", "o")
def make_object(out):
    need("gcc")
    run("gcc", "-c", "-o", out, c_file(C_SOURCE, "answer.c"))


@item("gcc-static", "elf")
def make_static_elf(out):
    need("gcc")
    run("gcc", "-no-pie", "-o", out, c_file(C_MAIN, "main.c"))


@item("com32", "c32")
def make_c32(out):
    # The COM32 linker script's layout: ELF header, three program headers (one writable and
    # executable LOAD from offset 0, DYNAMIC, GNU_STACK), then code and a small dynamic section.
    dynamic = struct.pack("<8I", 5, 0x100, 6, 0x100, 10, 1, 0, 0)
    size = 0x100 + 1 + len(dynamic)
    header = struct.pack("<16sHHIIIIIHHHHHH", b"\x7fELF\x01\x01\x01" + bytes(9), 3, 3, 1, 0x100, 52, 0, 0, 52, 32, 3,
                         40, 0, 0)
    phdrs = (struct.pack("<8I", 1, 0, 0, 0, size, size, 7, 0x1000)
             + struct.pack("<8I", 2, 0x101, 0x101, 0x101, len(dynamic), len(dynamic), 6, 4)
             + struct.pack("<8I", 0x6474E551, 0, 0, 0, 0, 0, 6, 16))
    with open(out, "wb") as f:
        f.write((header + phdrs).ljust(0x100, b"\0") + b"\xc3" + dynamic)


@item("gcc", "so")
def make_shared(out):
    need("gcc")
    run("gcc", "-shared", "-fPIC", "-o", out, c_file(C_SOURCE, "answer.c"))


@item("clang", "bc")
def make_bitcode(out):
    need("clang")
    run("clang", "-c", "-emit-llvm", "-o", out, c_file(C_SOURCE, "answer.c"))


def mingw():
    need("x86_64-w64-mingw32-gcc-posix")
    return "x86_64-w64-mingw32-gcc-posix"


@item("mingw", "exe")
def make_exe(out):
    run(mingw(), "-o", out, c_file(C_MAIN, "main.c"))


@item("mingw", "dll")
def make_dll(out):
    run(mingw(), "-shared", "-o", out, c_file(C_SOURCE, "answer.c"))


@item("mingw", "obj")
def make_coff_object(out):
    run(mingw(), "-c", "-o", out, c_file(C_SOURCE, "answer.c"))


# Resources compiled into an object for the linker, as a Go tree keeps them.
@item("windres", "syso")
def make_resource_object(out):
    need("x86_64-w64-mingw32-windres")
    script = c_file('STRINGTABLE\nBEGIN\n 1, "sample"\nEND\n', "strings.rc")
    run("x86_64-w64-mingw32-windres", "-O", "coff", "-o", out, script)


# The subsystem in the PE header is what tells these apart from a program.
PE_SUBSYSTEMS = [("windows", "exe", "WinMain", "int WinMain(void *a, void *b, char *c, int d) { return 0; }\n"),
                 ("native", "sys", "DriverEntry", "long DriverEntry(void *d, void *r) { return 0; }\n"),
                 ("10", "efi", "efi_main", "long efi_main(void *image, void *table) { return 0; }\n")]
for subsystem, ext, entry, source in PE_SUBSYSTEMS:
    item("mingw-" + entry, ext)((lambda subsystem, entry, source: lambda out: run(
        mingw(), "-nostdlib", "-Wl,--subsystem," + subsystem, "-e", entry, "-o", out,
        c_file(source, entry + ".c")))(subsystem, entry, source))


def class_file():
    """public class Hello extends java.lang.Object, with no members (class file version 52)."""
    def utf8(text):
        return b"\x01" + struct.pack(">H", len(text)) + text
    pool = [b"\x07" + struct.pack(">H", 2), utf8(b"Hello"), b"\x07" + struct.pack(">H", 4), utf8(b"java/lang/Object")]
    return (b"\xca\xfe\xba\xbe" + struct.pack(">HHH", 0, 52, len(pool) + 1) + b"".join(pool)
            + struct.pack(">HHHHHHH", 0x21, 1, 3, 0, 0, 0, 0))


@item("handwritten", "class")
def make_class(out):
    open(out, "wb").write(class_file())


@item("handwritten", "wasm")
def make_wasm(out):
    # One function of type () -> () exported as "run", whose body is just "end".
    def section(sid, payload):
        return bytes((sid, len(payload))) + payload
    types = section(1, b"\x01\x60\x00\x00")
    funcs = section(3, b"\x01\x00")
    exports = section(7, b"\x01\x03run\x00\x00")
    code = section(10, b"\x01\x02\x00\x0b")
    open(out, "wb").write(b"\0asm\x01\0\0\0" + types + funcs + exports + code)


item("python", "pkl")(lambda out: open(out, "wb").write(__import__("pickle").dumps({"answer": 42}, protocol=4)))
item("python-protocol2", "pkl")(lambda out: open(out, "wb").write(__import__("pickle").dumps([1, "a"], protocol=2)))
item("gobject-introspection", "typelib")(copy_from("typelib"))
item("openjdk", "jmod")(copy_from("jmod"))


@item("python", "pyc")
def make_pyc(out):
    src = c_file("VALUE = 42\n", "module.py")
    py_compile.compile(src, cfile=out, doraise=True)


# --- fonts ------------------------------------------------------------------------------

item("dejavu-sans", "ttf")(copy_from("dejavu-sans"))
item("ipa-gothic", "ttf")(copy_from("ipa-gothic"))
item("urw-base35", "otf")(copy_from("urw-otf"))
item("urw-base35", "pfb")(copy_from("urw-pfb"))
item("urw-base35", "t1")(copy_from("urw-t1"))
item("urw-base35", "afm")(copy_from("urw-afm"))


def sfnt_tables(data):
    num = struct.unpack(">H", data[4:6])[0]
    tables = []
    for i in range(num):
        tag, checksum, offset, length = struct.unpack(">4sIII", data[12 + 16 * i:28 + 16 * i])
        tables.append((tag, checksum, data[offset:offset + length]))
    return data[0:4], tables


def sfnt_font(flavor, tables, base):
    """Lays out one sfnt font whose table data starts at file offset BASE.
    Returns (directory, table data) so that fonts can be packed into a collection."""
    num = len(tables)
    entry = 1 << (num.bit_length() - 1)
    directory = flavor + struct.pack(">HHHH", num, entry * 16, entry.bit_length() - 1, num * 16 - entry * 16)
    data = b""
    offset = base
    for tag, checksum, table in tables:
        directory += struct.pack(">4sIII", tag, checksum, offset, len(table))
        padded = table + b"\0" * (-len(table) % 4)
        data += padded
        offset += len(padded)
    return directory, data


@item("dejavu-pair", "ttc")
def make_ttc(out):
    # A collection of two fonts: "ttcf" header, the offsets of both table
    # directories, then the directories and their tables.
    fonts = [open(system_file(key), "rb").read() for key in ("dejavu-sans", "dejavu-serif")]
    parsed = [sfnt_tables(f) for f in fonts]
    header_len = 12 + 4 * len(parsed)
    dir_lens = [12 + 16 * len(t) for _, t in parsed]
    pos = header_len + sum(dir_lens)
    directories, blobs = [], []
    for flavor, tables in parsed:
        d, blob = sfnt_font(flavor, tables, pos)
        directories.append(d)
        blobs.append(blob)
        pos += len(blob)
    offsets, at = [], header_len
    for d in directories:
        offsets.append(at)
        at += len(d)
    head = b"ttcf" + struct.pack(">HHI", 1, 0, len(parsed)) + b"".join(struct.pack(">I", o) for o in offsets)
    open(out, "wb").write(head + b"".join(directories) + b"".join(blobs))


@item("dejavu-sans", "woff")
def make_woff(out):
    # WOFF 1.0: a 44-byte header, a 20-byte entry per table, each table
    # zlib-compressed when that makes it smaller, 4-byte aligned.
    font = open(system_file("dejavu-sans"), "rb").read()
    flavor, tables = sfnt_tables(font)
    entries, blobs = b"", b""
    offset = 44 + 20 * len(tables)
    for tag, checksum, table in tables:
        packed = zlib.compress(table)
        if len(packed) >= len(table):
            packed = table
        entries += struct.pack(">4sIIII", tag, offset, len(packed), len(table), checksum)
        padded = packed + b"\0" * (-len(packed) % 4)
        blobs += padded
        offset += len(padded)
    total = 44 + len(entries) + len(blobs)
    sfnt_size = 12 + 16 * len(tables) + sum((len(t) + 3) & ~3 for _, _, t in tables)
    header = b"wOFF" + flavor + struct.pack(">IHHIHHIIIII", total, len(tables), 0, sfnt_size, 1, 0, 0, 0, 0, 0, 0)
    open(out, "wb").write(header + entries + blobs)


@item("dejavu-sans", "woff2")
def make_woff2(out):
    need("woff2_compress")
    src = scratch("woff2src.ttf")
    shutil.copyfile(system_file("dejavu-sans"), src)
    run("woff2_compress", src)
    shutil.move(scratch("woff2src.woff2"), out)


# --- databases and data ------------------------------------------------------------------

# A repository's pack index, as git gc writes it.
@item("git", "idx")
def make_git_pack_index(out):
    need("git")
    repo = scratch("repo")
    run("git", "init", "-q", repo)
    run("git", "-C", repo, "-c", "user.name=sample", "-c", "user.email=sample@example.org", "commit", "-q",
        "--allow-empty", "-m", "sample")
    run("git", "-C", repo, "gc", "-q")
    shutil.copyfile(glob.glob(os.path.join(repo, ".git", "objects", "pack", "*.idx"))[0], out)


@item("python", "sqlite")
def make_sqlite(out):
    con = sqlite3.connect(out)
    con.execute("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT)")
    con.executemany("INSERT INTO t (name) VALUES (?)", [("a",), ("b",)])
    con.commit()
    con.close()


@item("sqlite3-cli", "db")
def make_sqlite_cli(out):
    need("sqlite3")
    run("sqlite3", out, "CREATE TABLE t (x); INSERT INTO t VALUES (1);")


# A GeoPackage is an SQLite database with its own application id (GPKG).
@item("python", "gpkg")
def make_gpkg(out):
    con = sqlite3.connect(out)
    con.execute("PRAGMA application_id = 0x47504B47")
    con.execute("CREATE TABLE gpkg_contents (table_name TEXT PRIMARY KEY, data_type TEXT)")
    con.commit()
    con.close()


@item("python-binary", "plist")
def make_bplist(out):
    open(out, "wb").write(plistlib.dumps({"Name": "sample", "Count": 3}, fmt=plistlib.FMT_BINARY))


@item("python-xml", "plist")
def make_xplist(out):
    open(out, "wb").write(plistlib.dumps({"Name": "sample", "Count": 3}, fmt=plistlib.FMT_XML))


@item("handwritten", "mo")
def make_mo(out):
    # Little-endian catalog: magic, revision 0, count, the offsets of the two
    # string tables, an empty hash table, then the tables and the strings.
    pairs = sorted([(b"", b"Content-Type: text/plain; charset=UTF-8\n"), (b"Hello", b"Hallo")])
    n = len(pairs)
    strings = b""
    start = 28 + 16 * n
    originals, translations = b"", b""
    for table, index in ((0, 0), (1, 1)):
        for pair in pairs:
            text = pair[index]
            entry = struct.pack("<II", len(text), start + len(strings))
            strings += text + b"\0"
            if table == 0:
                originals += entry
            else:
                translations += entry
    header = struct.pack("<IIIIIII", 0x950412DE, 0, n, 28, 28 + 8 * n, 0, 0)
    open(out, "wb").write(header + originals + translations + strings)


@item("handwritten", "npy")
def make_npy(out):
    # Format 1.0: magic, version, header length, a Python-literal header padded
    # with spaces to a multiple of 64 bytes, then the raw little-endian data.
    header = "{'descr': '<i4', 'fortran_order': False, 'shape': (3,), }"
    header += " " * (-(10 + len(header) + 1) % 64) + "\n"
    open(out, "wb").write(b"\x93NUMPY\x01\x00" + struct.pack("<H", len(header)) + header.encode()
                          + struct.pack("<3i", 1, 2, 3))


PACKET = bytes.fromhex("ffffffffffff02000000000108060001080006040001020000000001c0a80001000000000000c0a80002")


@item("handwritten", "pcap")
def make_pcap(out):
    head = struct.pack("<IHHiIII", 0xA1B2C3D4, 2, 4, 0, 0, 65535, 1)
    rec = struct.pack("<IIII", 1700000000, 0, len(PACKET), len(PACKET)) + PACKET
    open(out, "wb").write(head + rec)


@item("handwritten", "pcapng")
def make_pcapng(out):
    def block(kind, body):
        body += b"\0" * (-len(body) % 4)
        length = 12 + len(body)
        return struct.pack("<II", kind, length) + body + struct.pack("<I", length)
    shb = block(0x0A0D0D0A, struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1))
    idb = block(1, struct.pack("<HHI", 1, 0, 65535))
    epb = block(6, struct.pack("<IIIII", 0, 0, 0, len(PACKET), len(PACKET)) + PACKET)
    open(out, "wb").write(shb + idb + epb)


def bencode(value):
    if isinstance(value, int):
        return b"i%de" % value
    if isinstance(value, bytes):
        return b"%d:%s" % (len(value), value)
    if isinstance(value, str):
        return bencode(value.encode())
    if isinstance(value, list):
        return b"l" + b"".join(bencode(v) for v in value) + b"e"
    keys = sorted(value)
    return b"d" + b"".join(bencode(k) + bencode(value[k]) for k in keys) + b"e"


@item("handwritten", "torrent")
def make_torrent(out):
    import hashlib
    piece = 16384
    pieces = b"".join(hashlib.sha1(PAYLOAD[i:i + piece]).digest() for i in range(0, len(PAYLOAD), piece))
    meta = {"announce": "http://tracker.invalid/announce", "created by": "make_corpus",
            "info": {"length": len(PAYLOAD), "name": "payload.txt", "piece length": piece, "pieces": pieces}}
    open(out, "wb").write(bencode(meta))


@item("handwritten", "glb")
def make_glb(out):
    doc = json.dumps({"asset": {"version": "2.0"}, "scenes": [{"nodes": []}], "scene": 0}).encode()
    doc += b" " * (-len(doc) % 4)
    chunk = struct.pack("<II", len(doc), 0x4E4F534A) + doc
    open(out, "wb").write(b"glTF" + struct.pack("<II", 2, 12 + len(chunk)) + chunk)


@item("handwritten", "ply")
def make_ply(out):
    open(out, "w").write("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                         "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n"
                         "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n")


@item("handwritten", "lnk")
def make_lnk(out):
    # A shell link header with no optional parts: size 0x4C, the link class
    # identifier, and zeroed flags, times and sizes.
    clsid = bytes.fromhex("0114020000000000c000000000000046")
    header = struct.pack("<I", 0x4C) + clsid + struct.pack("<II", 0, 0x20) + b"\0" * 24
    header += struct.pack("<IIiHHII", 0, 0, 1, 0, 0, 0, 0)
    open(out, "wb").write(header + b"\0\0\0\0")


@item("openssl", "crt")
def make_crt(out):
    need("openssl")
    key = scratch("key.pem")
    run("openssl", "req", "-x509", "-newkey", "rsa:1024", "-nodes", "-keyout", key, "-out", out,
        "-subj", "/CN=sample", "-days", "1")


# A key in PEM is saved as .pem far more often than as .key.
@item("openssl-key", "pem")
def make_key(out):
    need("openssl")
    run("openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", out)


def openssl_from_cert(*args):
    """Runs openssl on a fresh self-signed certificate, whose path and that of its key fill {cert} and {key}."""
    def make(out):
        need("openssl")
        cert, key = scratch("cert.pem"), scratch("cert-key.pem")
        if not os.path.exists(cert):
            make_crt(cert)
            shutil.copyfile(scratch("key.pem"), key)
        run("openssl", *[a.format(cert=cert, key=key, out=out) for a in args])
    return make


item("openssl-der", "der")(openssl_from_cert("x509", "-in", "{cert}", "-outform", "DER", "-out", "{out}"))
item("openssl", "pfx")(openssl_from_cert("pkcs12", "-export", "-in", "{cert}", "-inkey", "{key}",
                                         "-passout", "pass:sample", "-out", "{out}"))
item("openssl", "p7b")(openssl_from_cert("crl2pkcs7", "-nocrl", "-certfile", "{cert}", "-out", "{out}"))
item("openssl-der", "p7b")(openssl_from_cert("crl2pkcs7", "-nocrl", "-certfile", "{cert}", "-outform", "DER",
                                             "-out", "{out}"))
item("openssl-ecparam", "pem")(openssl_from_cert("ecparam", "-name", "prime256v1", "-out", "{out}"))
item("openssl", "enc")(openssl_from_cert("enc", "-aes-256-cbc", "-pbkdf2", "-pass", "pass:sample", "-in", "{cert}",
                                         "-out", "{out}"))


def ssh_public_key(*export):
    def make(out):
        need("ssh-keygen")
        key = scratch("id_sample")
        if not os.path.exists(key):
            run("ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-C", "sample", "-f", key)
        if export:
            open(out, "wb").write(run("ssh-keygen", *export, "-f", key + ".pub"))
        else:
            shutil.copyfile(key + ".pub", out)
    return make


item("openssh", "pub")(ssh_public_key())
item("rfc4716", "pub")(ssh_public_key("-e", "-m", "RFC4716"))
item("debian-keyring", "gpg")(copy_from("keyring"))


# --- text -----------------------------------------------------------------------------------

def text(content, encoding="utf-8"):
    def make(out):
        open(out, "wb").write(content.encode(encoding))
    return make


SAMPLE_TEXT = "Kindsniffer sample text\nこんにちは\n"
item("utf8-bom", "txt")(text(SAMPLE_TEXT, "utf-8-sig"))
item("utf16le-bom", "txt")(text("\ufeff" + SAMPLE_TEXT, "utf-16-le"))
item("utf16be-bom", "txt")(text("\ufeff" + SAMPLE_TEXT, "utf-16-be"))
item("utf32le-bom", "txt")(text("\ufeff" + SAMPLE_TEXT, "utf-32-le"))
item("utf32be-bom", "txt")(text("\ufeff" + SAMPLE_TEXT, "utf-32-be"))
item("regedit", "reg")(text("\ufeffWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Sample]\r\n"
                            "\"Value\"=dword:00000001\r\n", "utf-16-le"))
item("regedit4", "reg")(text("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Sample]\r\n"))
item("sample", "xml")(text('<?xml version="1.0" encoding="UTF-8"?>\n<root><item>1</item></root>\n'))
item("utf8-bom", "xml")(text('<?xml version="1.0" encoding="UTF-8"?>\n<root/>\n', "utf-8-sig"))
item("utf16", "xml")(text('\ufeff<?xml version="1.0" encoding="UTF-16"?>\n<root/>\n', "utf-16-le"))
item("html5", "html")(text("<!DOCTYPE html>\n<html><head><title>x</title></head><body></body></html>\n"))
item("lowercase-doctype", "html")(text("<!doctype html>\n<html><body>x</body></html>\n"))
item("no-doctype", "html")(text("<html><body>x</body></html>\n"))
item("sample", "xhtml")(text('<?xml version="1.0" encoding="UTF-8"?>\n<html xmlns="http://www.w3.org/1999/xhtml">'
                             '<head><title>x</title></head><body/></html>\n'))
item("sample", "php")(text("<?php\necho 'hello';\n"))
item("posix", "sh")(text("#!/bin/sh\necho hello\n"))
item("bash", "sh")(text("#!/bin/bash\necho hello\n"))
item("env-bash", "sh")(text("#!/usr/bin/env bash\necho hello\n"))
item("env-python", "py")(text("#!/usr/bin/env python3\nprint('hello')\n"))
item("perl", "pl")(text("#!/usr/bin/perl\nprint \"hello\\n\";\n"))
item("node", "js")(text("#!/usr/bin/env node\nconsole.log('hello');\n"))
item("contact", "vcf")(text("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Sample Person\r\nEND:VCARD\r\n"))
item("calendar", "ics")(text("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Kindsniffer//corpus//EN\r\n"
                             "END:VCALENDAR\r\n"))
item("shortcut", "url")(text("[InternetShortcut]\r\nURL=http://example.org/\r\n"))
item("launcher", "desktop")(text("[Desktop Entry]\nType=Application\nName=Sample\nExec=true\n"))
item("solution", "sln")(text("\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n", "utf-8-sig"))


# --- more formats written from their published layouts -------------------------------------------

def dvi(ident):
    """One empty page: preamble, bop/eop, postamble, post_post padded with 223s to a multiple of 4."""
    num, den, mag = 25400000, 473628672, 1000
    pre = bytes((247, ident)) + struct.pack(">IIIB", num, den, mag, 0)
    bop = bytes((139,)) + struct.pack(">10ii", 1, *[0] * 9, -1) + bytes((140,))
    post_at = len(pre) + len(bop)
    post = bytes((248,)) + struct.pack(">iIIIIIHH", len(pre), num, den, mag, 0, 0, 1, 1)
    body = pre + bop + post + bytes((249,)) + struct.pack(">iB", post_at, ident)
    return body + b"\xdf" * (4 + -len(body) % 4)


def psf2(unicode_table):
    glyphs = bytes(256 * 16)
    table = b"".join(chr(i).encode("utf-8") + b"\xff" for i in range(256)) if unicode_table else b""
    return struct.pack("<8I", 0x864AB572, 0, 32, 1 if unicode_table else 0, 256, 16, 16, 8) + glyphs + table


def nifti1():
    header = bytearray(348)
    struct.pack_into("<i", header, 0, 348)
    struct.pack_into("<8h", header, 40, 3, 2, 2, 1, 1, 1, 1, 1)
    struct.pack_into("<hh", header, 70, 2, 8)  # unsigned bytes
    struct.pack_into("<8f", header, 76, 1, 1, 1, 1, 1, 1, 1, 1)
    struct.pack_into("<f", header, 108, 352.0)
    header[344:348] = b"n+1\0"
    return bytes(header) + bytes(4) + bytes(range(4))


def dicom():
    def element(group, elem, vr, value):
        if vr in (b"OB", b"UN"):
            return struct.pack("<HH2sHI", group, elem, vr, 0, len(value)) + value
        return struct.pack("<HH2sH", group, elem, vr, len(value)) + value
    meta = element(2, 1, b"OB", b"\0\1") + element(2, 0x10, b"UI", b"1.2.840.10008.1.2.1\0")
    return bytes(128) + b"DICM" + element(2, 0, b"UL", struct.pack("<I", len(meta))) + meta


def gimp_brush():
    name = b"Sample\0"
    return struct.pack(">7I", 28 + len(name), 2, 2, 2, 1, 0x47494D50, 10) + name + b"\x00\xff\xff\x00"


def gimp_pattern():
    name = b"Sample\0"
    return struct.pack(">6I", 24 + len(name), 1, 2, 2, 3, 0x47504154) + name + bytes(range(12))


def pcm16(byteorder="<"):
    return b"".join(struct.pack(byteorder + "h", v) for v in tone(0.05))


def sun_audio_le():
    data = pcm16("<")
    return b"dns." + struct.pack("<5I", 24, len(data), 3, RATE, 1) + data


def ircam():
    return (b"\x64\xa3\x01\x00" + struct.pack("<fii", float(RATE), 1, 2)).ljust(1024, b"\0") + pcm16("<")


def nist_sphere():
    data = pcm16("<")
    fields = ("NIST_1A\n   1024\nsample_count -i %d\nsample_rate -i %d\nchannel_count -i 1\n"
              "sample_n_bytes -i 2\nsample_byte_format -s2 01\nsample_coding -s3 pcm\nend_head\n"
              % (len(data) // 2, RATE))
    return fields.encode().ljust(1024, b" ") + data


def wave64():
    tail = bytes.fromhex("f3acd3118cd100c04f8edb8a")
    fmt = struct.pack("<HHIIHH", 1, 1, RATE, RATE * 2, 2, 16)
    data = pcm16("<")
    def chunk(name, body):
        return name + tail + struct.pack("<Q", 24 + len(body)) + body + b"\0" * (-len(body) % 8)
    body = b"wave" + tail + chunk(b"fmt ", fmt) + chunk(b"data", data)
    riff = b"riff" + bytes.fromhex("2e91cf11a5d628db04c10000")
    return riff + struct.pack("<Q", 24 + len(body)) + body


def rifx_wave():
    fmt = struct.pack(">HHIIHH", 1, 1, RATE, RATE * 2, 2, 16)
    data = pcm16(">")
    body = b"WAVE" + b"fmt " + struct.pack(">I", len(fmt)) + fmt + b"data" + struct.pack(">I", len(data)) + data
    return b"RIFX" + struct.pack(">I", len(body)) + body


def bw64():
    # A 64-bit wave: the 32-bit sizes say "see ds64", which follows WAVE.
    wav = open(wav_file(), "rb").read()
    data_size = len(wav) - 44
    ds64 = b"ds64" + struct.pack("<IQQQI", 28, len(wav) + 36 - 8, data_size, data_size // 2, 0)
    return b"BW64" + b"\xff\xff\xff\xff" + b"WAVE" + ds64 + wav[12:40] + b"\xff\xff\xff\xff" + wav[44:]


def psid():
    text = lambda t: t.encode().ljust(32, b"\0")
    header = b"PSID" + struct.pack(">HHHHHHHI", 2, 0x7C, 0, 0x1000, 0x1003, 1, 1, 0)
    header += text("Sample") + text("Kindsniffer") + text("2024") + struct.pack(">HBBH", 0, 0, 0, 0)
    return header + b"\x00\x10" + b"\x60\x60\x60"  # load address, then RTS for init and play


def model_3ds():
    def chunk(ident, data):
        return struct.pack("<HI", ident, 6 + len(data)) + data
    return chunk(0x4D4D, chunk(0x0002, struct.pack("<I", 3)) + chunk(0x3D3D, chunk(0x3D3E, struct.pack("<I", 3))))


def doom_wad():
    lump = b"sample lump"
    return b"PWAD" + struct.pack("<ii", 1, 12 + len(lump)) + lump + struct.pack("<ii8s", 12, len(lump), b"SAMPLE")


BINARY_SAMPLES = [
    ("handwritten", "dvi", lambda: dvi(2)),
    ("handwritten", "xdv", lambda: dvi(7)),
    ("handwritten", "psf", lambda: psf2(False)),
    ("handwritten", "psfu", lambda: psf2(True)),
    ("handwritten-psf1", "psf", lambda: b"\x36\x04\x00\x10" + bytes(256 * 16)),
    ("handwritten", "nii", nifti1),
    ("handwritten", "dcm", dicom),
    ("handwritten", "nrrd", lambda: b"NRRD0004\ntype: uint8\ndimension: 1\nsizes: 4\nencoding: raw\n\n" + bytes(4)),
    ("handwritten", "gbr", gimp_brush),
    ("handwritten", "pat", gimp_pattern),
    ("handwritten-le", "au", sun_audio_le),
    ("handwritten", "sf", ircam),
    ("handwritten", "sph", nist_sphere),
    ("handwritten", "w64", wave64),
    ("handwritten-rifx", "wav", rifx_wave),
    ("handwritten-bw64", "wav", bw64),
    ("handwritten", "sid", psid),
    ("handwritten", "3ds", model_3ds),
    ("handwritten", "wad", doom_wad),
]

for _name, _ext, _build in BINARY_SAMPLES:
    item(_name, _ext)((lambda build: lambda out: open(out, "wb").write(build()))(_build))

item("wine-sans-serif", "fon")(copy_from("wine-fon"))


def xml_doc(body):
    return text('<?xml version="1.0" encoding="UTF-8"?>\n' + body + "\n")


def flat_odf(kind):
    return xml_doc('<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
                   'office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.%s">'
                   '<office:body/></office:document>' % kind)


def iges():
    lines = [("Kindsniffer sample", "S"), ("1H,,1H;,,,,,,,,,,,,,,,,,,,,,,,;", "G")]
    counts = {}
    out = ""
    for content, section in lines:
        counts[section] = counts.get(section, 0) + 1
        out += "%-72s%s%7d\n" % (content, section, counts[section])
    return out + "%-72s%s%7d\n" % ("S%7dG%7dD%7dP%7d" % (counts["S"], counts["G"], 0, 0), "T", 1)


TEXT_SAMPLES = [
    ("subtitles", "vtt", text("WEBVTT\n\n00:00.000 --> 00:01.000\nHello\n")),
    ("subtitles-bom", "vtt", text("WEBVTT\n\n00:00.000 --> 00:01.000\nHello\n", "utf-8-sig")),
    ("subtitles", "ass", text("[Script Info]\nScriptType: v4.00+\n\n[Events]\nFormat: Layer, Start, End, Text\n")),
    ("playlist", "m3u", text("#EXTM3U\n#EXTINF:1,Tone\ntone.ogg\n")),
    ("playlist-bom", "m3u8", text("#EXTM3U\n#EXTINF:1,Tone\ntone.ogg\n", "utf-8-sig")),
    ("playlist", "pls", text("[playlist]\nFile1=tone.ogg\nNumberOfEntries=1\nVersion=2\n")),
    ("playlist", "asx", text('<ASX version="3.0"><Entry><Ref href="tone.wma"/></Entry></ASX>\n')),
    ("playlist", "xspf", xml_doc('<playlist version="1" xmlns="http://xspf.org/ns/0/"><trackList/></playlist>')),
    ("article", "tex", text("\\documentclass{article}\n\\begin{document}\nHello\n\\end{document}\n")),
    ("package", "sty", text("\\NeedsTeXFormat{LaTeX2e}\n\\ProvidesPackage{sample}\n\\endinput\n")),
    ("package", "dtx", text("% \\iffalse meta-comment\n% sample\n% \\fi\n")),
    ("manual", "texi", text("\\input texinfo\n@setfilename sample.info\n@settitle Sample\n@bye\n")),
    ("document", "lyx", text("#LyX 2.3 created this file. For more info see https://www.lyx.org/\n\\lyxformat 544\n")),
    ("pdftex", "log", text("This is pdfTeX, Version 3.141592653-2.6-1.40.24 (TeX Live 2022/Debian)\n")),
    ("xetex", "log", text("This is XeTeX, Version 3.141592653-2.6-0.999994 (TeX Live 2022/Debian)\n")),
    ("bibtex", "blg", text("This is BibTeX, Version 0.99d (TeX Live 2022/Debian)\n")),
    ("printer", "ppd", text('*PPD-Adobe: "4.3"\n*FormatVersion: "4.3"\n*ModelName: "Sample"\n')),
    ("metrics", "acfm", text("StartCompFontMetrics 2.0\nEndCompFontMetrics\n")),
    ("metrics", "amfm", text("StartMasterFontMetrics 4.0\nEndMasterFontMetrics\n")),
    ("figlet", "flf", text("flf2a$ 1 1 2 -1 1\nSample font\n$@\n$@@\n")),
    ("toilet", "tlf", text("tlf2a$ 1 1 2 -1 1\nSample font\n$@\n$@@\n")),
    ("fontforge", "sfd", text("SplineFontDB: 3.0\nFontName: Sample\nEndSplineFont\n")),
    ("palette", "gpl", text("GIMP Palette\nName: Sample\n#\n  0   0   0\tBlack\n255 255 255\tWhite\n")),
    ("gradient", "ggr", text("GIMP Gradient\nName: Sample\n1\n0 0.5 1 0 0 0 1 1 1 1 1 0 0\n")),
    ("jasc", "pal", text("JASC-PAL\r\n0100\r\n2\r\n0 0 0\r\n255 255 255\r\n")),
    ("drawing", "fig", text("#FIG 3.2  Produced by hand\nLandscape\nCenter\nMetric\nA4\n100.00\nSingle\n-2\n1200 2\n")),
    ("metafile", "cgm", text("BEGMF 'sample';\nMFVERSION 1;\nENDMF;\n")),
    ("score", "ly", text('\\version "2.24.0"\n{ c\'4 }\n')),
    ("score", "musicxml", xml_doc('<score-partwise version="4.0"><part-list/></score-partwise>')),
    ("score", "mscx", xml_doc('<museScore version="3.02"><Score/></museScore>')),
    ("book", "fb2", xml_doc('<FictionBook xmlns="http://www.gribuser.ru/xml/fictionbook/2.0"><body/></FictionBook>')),
    ("document", "abw", xml_doc('<abiword template="false" version="3.0"><section/></abiword>')),
    ("document", "sla", xml_doc('<SCRIBUSUTF8NEW Version="1.5.8"><DOCUMENT/></SCRIBUSUTF8NEW>')),
    ("diagram", "dia", xml_doc('<dia:diagram xmlns:dia="http://www.lysator.liu.se/~alla/dia/"/>')),
    ("font", "ttx", xml_doc('<ttFont sfntVersion="\\x00\\x01\\x00\\x00" ttLibVersion="4.38"/>')),
    ("flat", "fodt", flat_odf("text")),
    ("flat", "fods", flat_odf("spreadsheet")),
    ("flat", "fodp", flat_odf("presentation")),
    ("flat", "fodg", flat_odf("graphics")),
    ("model", "dae", xml_doc('<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1"/>')),
    ("scene", "x3d", xml_doc('<X3D profile="Interchange" version="3.3"><Scene/></X3D>')),
    ("scene", "x3dv", text("#X3D V3.3 utf8\nPROFILE Interchange\nShape { geometry Box {} }\n")),
    ("world", "wrl", text("#VRML V2.0 utf8\nShape { geometry Box {} }\n")),
    ("model", "step", text("ISO-10303-21;\nHEADER;\nFILE_NAME('sample');\nENDSEC;\nDATA;\nENDSEC;\n"
                           "END-ISO-10303-21;\n")),
    ("model", "igs", text(iges())),
    ("drawing", "dxf", text("  0\nSECTION\n  2\nENTITIES\n  0\nENDSEC\n  0\nEOF\n")),
    ("model", "stl", text("solid sample\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
                          "vertex 0 1 0\nendloop\nendfacet\nendsolid sample\n")),
    ("model", "off", text("OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n")),
    ("crlf", "ply", text("ply\r\nformat ascii 1.0\r\nelement vertex 0\r\nend_header\r\n")),
    ("data", "vtk", text("# vtk DataFile Version 3.0\nsample\nASCII\nDATASET POLYDATA\nPOINTS 0 float\n")),
    ("mesh", "msh", text("$MeshFormat\n4.1 0 8\n$EndMeshFormat\n")),
    ("scene", "usda", text("#usda 1.0\n(\n    defaultPrim = \"World\"\n)\n")),
    ("scene", "ma", text("//Maya ASCII 2020 scene\nrequires maya \"2020\";\n")),
    ("model", "x", text("xof 0303txt 0032\nMesh { 0;; 0;; }\n")),
    ("scene", "iv", text("#Inventor V2.1 ascii\n\nSeparator { Cube {} }\n")),
    ("scene", "rib", text("##RenderMan RIB\nversion 3.04\nWorldBegin\nWorldEnd\n")),
    ("model", "ac", text("AC3Db\nOBJECT world\nkids 0\n")),
    ("board", "kicad_pcb", text("(kicad_pcb (version 20221018) (generator pcbnew)\n)\n")),
    ("schematic", "kicad_sch", text("(kicad_sch (version 20230121) (generator eeschema)\n)\n")),
    ("cartridge", "p8", text("pico-8 cartridge // http://www.pico-8.com\nversion 41\n__lua__\n")),
    ("level", "pingus", text("(pingus-level\n  (version 3)\n  (head (levelname \"Sample\")))\n")),
    ("patch", "pd", text("#N canvas 0 50 450 300 12;\n#X obj 30 27 osc~ 440;\n")),
    ("pencil", "gtp", text("# GIMP tool preset file\n\n(name \"Sample\")\n\n# end of GIMP tool preset file\n")),
    ("pressure", "gdyn", text("# GIMP dynamics file\n\n(name \"Sample\")\n\n# end of GIMP dynamics file\n")),
    ("emblem", "icon", text("[Icon Data]\nDisplayName=Sample\n")),
    ("index", "theme", text("[Icon Theme]\nName=Sample\nDirectories=scalable\n")),
    ("palette", "soc", xml_doc('<office:color-table xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
                               'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0">'
                               '<draw:color draw:name="Black" draw:color="#000000"/></office:color-table>')),
    ("song", "mmp", xml_doc('<!DOCTYPE lmms-project>\n<lmms-project type="song" version="1.0" creator="LMMS"/>')),
    ("orchestra", "csd", text("<CsoundSynthesizer>\n<CsInstruments>\n</CsInstruments>\n</CsoundSynthesizer>\n")),
    ("sequence", "puml", text("@startuml\nAlice -> Bob: hello\n@enduml\n")),
    ("graph", "gv", text("digraph sample {\n  a -> b;\n}\n")),
    ("graph", "graphml", xml_doc('<graphml xmlns="http://graphml.graphdrawing.org/xmlns"><graph edgedefault="directed"/>'
                                 '</graphml>')),
    ("grid", "vtu", xml_doc('<VTKFile type="UnstructuredGrid" version="0.1"><UnstructuredGrid/></VTKFile>')),
    ("captions", "scc", text("Scenarist_SCC V1.0\n\n00:00:00:00\t9420 9420\n")),
    # XML that only names another dialect: it is what its root element says.
    ("feed-writer", "xsl", xml_doc('<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">'
                                   '<xsl:template match="/"><rss version="2.0"><channel/></rss></xsl:template>'
                                   '</xsl:stylesheet>')),
    ("inline-svg", "xhtml", xml_doc('<html xmlns="http://www.w3.org/1999/xhtml"><body><p>x</p>'
                                    '<svg xmlns="http://www.w3.org/2000/svg" width="1"/></body></html>')),
    ("pom-svg-comment", "xml", xml_doc('<project xmlns="http://maven.apache.org/POM/4.0.0"><!-- <svg> icons -->'
                                       '<modelVersion>4.0.0</modelVersion></project>')),
]

for _name, _ext, _make in TEXT_SAMPLES:
    item(_name, _ext)(_make)


# --- kinds told apart by their structure -------------------------------------------------------
# Each case is a file the set once named wrongly, or a kind it did not know; the generic
# formats around it (XML, DER, tar, bytecode) are what it must not be mistaken for.

def nifti1_regular():
    # NIfTI-1 asks writers to set Analyze's "regular" byte to 'r', as many do.
    header = bytearray(nifti1())
    header[38] = ord("r")
    return bytes(header)


def analyze75(byteorder="<"):
    header = bytearray(348)
    struct.pack_into(byteorder + "i", header, 0, 348)
    struct.pack_into(byteorder + "i", header, 32, 16384)
    header[38] = ord("r")
    struct.pack_into(byteorder + "8h", header, 40, 3, 2, 2, 1, 1, 1, 1, 1)
    struct.pack_into(byteorder + "hh", header, 70, 2, 8)
    return bytes(header)


def protobuf_varint(n):
    out = b""
    while True:
        byte = n & 0x7F
        n >>= 7
        out += bytes((byte | (0x80 if n else 0),))
        if not n:
            return out


def orc_file():
    # Header "ORC", no stripes, an empty footer, then the postscript (footer length, no
    # compression, version 0.12, the magic as field 8000) and the postscript's length.
    footer = b""
    postscript = (b"\x08" + protobuf_varint(len(footer)) + b"\x10\x00" + b"\x22\x02\x00\x0c"
                  + protobuf_varint(8000 << 3 | 2) + b"\x03ORC")
    return b"ORC" + footer + postscript + bytes((len(postscript),))


def grib2():
    # Indicator (edition 2, total length), an identification section, the end section.
    ident = struct.pack(">IB", 21, 1) + struct.pack(">HHBBBHBBBBBBB", 7, 0, 2, 1, 1, 2024, 1, 1, 0, 0, 0, 0, 0)
    total = 16 + len(ident) + 4
    return b"GRIB" + b"\0\0" + bytes((0, 2)) + struct.pack(">Q", total) + ident + b"7777"


def cram3():
    # Version 3.0 and the 20-byte file identifier, then the end-of-file container that 3.0 defines.
    eof = bytes.fromhex("0f000000ffffffff0fe0454f4600000000010005bdd94f0001000606010001000100ee63014b")
    return b"CRAM\x03\x00" + b"sample.cram".ljust(20, b"\0") + eof


def unif():
    # Revision 7, 24 reserved zero bytes, then chunks: the board name (MAPR) and the PRG ROM.
    chunk = lambda ident, data: ident + struct.pack("<I", len(data)) + data
    return (b"UNIF" + struct.pack("<I", 7) + bytes(24) + chunk(b"MAPR", b"NES-NROM-128\0")
            + chunk(b"PRG0", bytes(16384)))


def j2b():
    # A compressed module: magic, DEADBEAF, file length, checksum, packed and unpacked sizes, zlib data.
    packed = zlib.compress(b"RIFF" + struct.pack("<I", 4) + b"AM  ")
    return (b"MUSE" + b"\xde\xad\xbe\xaf" + struct.pack("<IIII", 24 + len(packed), zlib.crc32(packed), len(packed), 12)
            + packed)


def pyc_body():
    import marshal
    return marshal.dumps(compile("VALUE = 42\n", "module.py", "exec"))


def pypy3_pyc():
    # PyPy 3.7 numbers its bytecode 384; the header is then laid out as CPython 3.7's.
    return struct.pack("<H", 384) + b"\r\n" + struct.pack("<III", 0, 1700000000, 11) + pyc_body()


def pypy27_pyc():
    return struct.pack("<H", 62218) + b"\r\n" + struct.pack("<I", 1700000000) + pyc_body()


def ppu_unit():
    # Free Pascal 3.2.2 (version 207) for x86-64 Linux: compiler 3.2.2, cpu 8, target 26.
    compiler = 3 << 14 | 2 << 7 | 2
    header = b"PPU207" + struct.pack("<HHHIIIIIIII", compiler, 8, 26, 0x21080, 64, 0, 0, 0, 2, 4, 0)
    return header + b"\x01\x01\x01\x75" + bytes(60)


def der(tag, *parts):
    body = b"".join(parts)
    n = len(body)
    if n < 0x80:
        size = bytes((n,))
    else:
        raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
        size = bytes((0x80 | len(raw),)) + raw
    return bytes((tag,)) + size + body


def ocsp_response():
    # Successful, with a basic response: responder by key hash, produced at, one single response,
    # a signature algorithm and a (here zero) signature.
    oid_basic = bytes.fromhex("06092b0601050507300101")
    sha1 = der(0x30, bytes.fromhex("06052b0e03021a"), b"\x05\x00")
    cert_id = der(0x30, sha1, der(0x04, bytes(20)), der(0x04, bytes(20)), der(0x02, b"\x01"))
    single = der(0x30, cert_id, b"\x80\x00", der(0x18, b"20240101000000Z"))
    data = der(0x30, der(0xA2, der(0x04, bytes(20))), der(0x18, b"20240101000000Z"), der(0x30, single))
    sig_alg = der(0x30, bytes.fromhex("06092a864886f70d01010b"), b"\x05\x00")
    basic = der(0x30, data, sig_alg, der(0x03, b"\x00" + bytes(256)))
    return der(0x30, der(0x0A, b"\x00"), der(0xA0, der(0x30, oid_basic, der(0x04, basic))))


def ocsp_request():
    sha1 = der(0x30, bytes.fromhex("06052b0e03021a"), b"\x05\x00")
    cert_id = der(0x30, sha1, der(0x04, bytes(20)), der(0x04, bytes(20)), der(0x02, b"\x01"))
    return der(0x30, der(0x30, der(0x30, der(0x30, cert_id))))


def lzma_sized():
    # The .lzma header with the size written in: properties, dictionary size, uncompressed size.
    raw = lzma.compress(PAYLOAD, format=lzma.FORMAT_RAW,
                        filters=[{"id": lzma.FILTER_LZMA1, "dict_size": 1 << 20}])
    return b"\x5d" + struct.pack("<IQ", 1 << 20, len(PAYLOAD)) + raw


def v7_tar():
    # Before POSIX: octal fields ended by NUL (the checksum by NUL and space), no magic, no
    # owner names, a NUL type for a plain file.
    data = b"hello from a v7 archive\n"
    header = bytearray(512)
    header[0:9] = b"hello.txt"
    header[100:108] = b"0000644\0"
    header[108:116] = b"0001750\0"
    header[116:124] = b"0001750\0"
    header[124:136] = b"%011o\0" % len(data)
    header[136:148] = b"%011o\0" % 1700000000
    header[148:156] = b" " * 8
    header[148:156] = b"%06o\0 " % sum(header)
    return bytes(header) + data.ljust(512, b"\0") + bytes(1024)


def las_cloud():
    # LAS 1.2, point format 0, no points: signature, source id, encoding, GUID, version 1.2, ...
    header = bytearray(227)
    header[0:4] = b"LASF"
    header[24:26] = bytes((1, 2))
    header[26:58] = b"Kindsniffer".ljust(32, b"\0")
    header[58:90] = b"make_corpus".ljust(32, b"\0")
    struct.pack_into("<HHHII", header, 90, 1, 2024, 227, 227, 0)
    struct.pack_into("<BH", header, 104, 0, 20)
    struct.pack_into("<3d", header, 131, 0.01, 0.01, 0.01)
    return bytes(header)


def bufr4():
    # Edition 4: indicator, identification section (22 bytes), empty optional, data description
    # and data sections, end "7777".
    ident = struct.pack(">I", 22)[1:] + bytes((0,)) + struct.pack(">HHB", 98, 0, 0) + bytes((0, 0, 0, 0, 0))
    ident += struct.pack(">HBBBBB", 2024, 1, 1, 0, 0, 0) + b"\0"
    desc = struct.pack(">I", 9)[1:] + b"\0" + struct.pack(">H", 1) + b"\x80" + struct.pack(">H", 0x0101)
    data = struct.pack(">I", 6)[1:] + b"\0" + b"\0\0"
    body = ident + desc + data + b"7777"
    return b"BUFR" + struct.pack(">I", 8 + len(body))[1:] + bytes((4,)) + body


def photoshop_patterns():
    # Version 1 and no patterns.
    return b"8BPT" + struct.pack(">HI", 1, 0)


def shapefile_index():
    # The shapefile header (file code 9994, length in 16-bit words, version 1000, point shapes,
    # bounding box), then one record: the first shape at word 50, 10 words long.
    header = struct.pack(">7I", 9994, 0, 0, 0, 0, 0, 54) + struct.pack("<2I8d", 1000, 1, *([0.0] * 8))
    return header + struct.pack(">2I", 50, 10)


def ntv2_grid():
    # The overview header: eleven 16-byte records of an 8-byte name and its value; no sub-grids.
    records = [(b"NUM_OREC", struct.pack("<i4x", 11)), (b"NUM_SREC", struct.pack("<i4x", 11)),
               (b"NUM_FILE", struct.pack("<i4x", 0)), (b"GS_TYPE ", b"SECONDS "), (b"VERSION ", b"NTv2.0  ")]
    records += [(name.ljust(8).encode(), b"SAMPLE  ") for name in ("SYSTEM_F", "SYSTEM_T")]
    records += [(name.encode(), struct.pack("<d", 6378137.0)) for name in ("MAJOR_F ", "MINOR_F ", "MAJOR_T ",
                                                                          "MINOR_T ")]
    return b"".join(name + value for name, value in records)


def pci_rom():
    # 55 AA, one 512-byte block, a jump, and at 24 the offset of the PCI data structure: PCIR,
    # vendor and device, its own length, revision, class code, image length, code type 0 (x86), last image.
    rom = bytearray(512)
    rom[0:4] = b"\x55\xaa\x01\xcb"
    struct.pack_into("<H", rom, 24, 32)
    struct.pack_into("<4sHHHHB3sHHBBH", rom, 32, b"PCIR", 0x8086, 0x100E, 0, 24, 0, b"\0\0\x02", 1, 0, 0, 0x80, 0)
    return bytes(rom)


def tnef_message():
    # Signature, key, then the version attribute that must come first: level 1, id, length 4,
    # the value and its 16-bit checksum; then the message class.
    def attribute(level, ident, value):
        return struct.pack("<BII", level, ident, len(value)) + value + struct.pack("<H", sum(value) & 0xFFFF)
    return (struct.pack("<IH", 0x223E9F78, 1) + attribute(1, 0x00089006, struct.pack("<I", 0x00010000))
            + attribute(1, 0x00078008, b"IPM.Microsoft Mail.Note\0"))


def registry_hive():
    # The base block: two equal sequence numbers, a time, version 1.5, then the root cell's offset.
    block = bytearray(4096)
    block[0:4] = b"regf"
    struct.pack_into("<IIQIIIIII", block, 4, 1, 1, 0, 1, 5, 0, 1, 0x20, 4096)
    return bytes(block) + b"hbin" + bytes(4092)


def portable_pdb():
    # The metadata root of a portable PDB: BSJB, version 1.1, the version string, no streams.
    version = b"PDB v1.0\0\0\0\0"
    return b"BSJB" + struct.pack("<HHII", 1, 1, 0, len(version)) + version + struct.pack("<HH", 0, 0)


def caf_audio():
    data = pcm16(">")
    desc = struct.pack(">dIIIIII", float(RATE), 0x6C70636D, 2, 2, 1, 1, 16)  # 'lpcm', big-endian
    return (b"caff" + struct.pack(">HH", 1, 0) + b"desc" + struct.pack(">q", len(desc)) + desc
            + b"data" + struct.pack(">q", len(data) + 4) + struct.pack(">I", 0) + data)


def dsf_audio():
    samples = bytes(4096)
    fmt = struct.pack("<IIIIIIQII", 1, 0, 2, 1, 2822400, 1, 8 * len(samples), 4096, 0)
    total = 28 + 12 + len(fmt) + 12 + len(samples)
    return (b"DSD " + struct.pack("<QQQ", 28, total, 0) + b"fmt " + struct.pack("<Q", 12 + len(fmt)) + fmt
            + b"data" + struct.pack("<Q", 12 + len(samples)) + samples)


def xar_archive():
    toc = zlib.compress(b'<?xml version="1.0" encoding="UTF-8"?>\n<xar><toc/></xar>\n')
    return b"xar!" + struct.pack(">HHQQI", 28, 1, len(toc), 39, 0) + toc


def elder_plugin(version):
    if version == 3:  # Morrowind: 16-byte record header, then HEDR
        hedr = b"HEDR" + struct.pack("<I", 300) + struct.pack("<fI", 1.3, 0) + bytes(32 + 256) + struct.pack("<I", 0)
        return b"TES3" + struct.pack("<III", len(hedr), 0, 0) + hedr
    # Skyrim and later: 24-byte record header (flags 1: a master file), then HEDR (version,
    # records, next object id)
    hedr = b"HEDR" + struct.pack("<HfII", 12, 1.7, 0, 0x800)
    return b"TES4" + struct.pack("<IIIIHH", len(hedr), 1, 0, 0, 44, 0) + hedr


def glulx_story():
    # Version 3.1.3 with its memory layout: RAM at 256, memory and stack sizes, start function.
    header = b"Glul" + struct.pack(">IIIIIIII", 0x00030103, 256, 512, 512, 1024, 256, 0, 0) + b"Info"
    return header.ljust(512, b"\0")


def ivf_video():
    # Version 0, a 32-byte header, VP8, 16x16, 30 frames a second, one empty frame.
    return (b"DKIF" + struct.pack("<HH4sHHIIII", 0, 32, b"VP80", 16, 16, 30, 1, 1, 0)
            + struct.pack("<IQ", 0, 0))


def vgm_music():
    # Version 1.71: the EOF offset, then the version in BCD, then an empty command stream.
    header = bytearray(256)
    header[0:4] = b"Vgm "
    struct.pack_into("<III", header, 4, 256 + 1 - 4, 0x171, 3579545)
    struct.pack_into("<I", header, 0x34, 256 - 0x34)
    return bytes(header) + b"\x66"


def adobe_swatches():
    name = "Black\0".encode("utf-16-be")
    colour = struct.pack(">H", len(name) // 2) + name + b"RGB " + struct.pack(">fffH", 0, 0, 0, 2)
    return b"ASEF" + struct.pack(">HHI", 1, 0, 1) + struct.pack(">HI", 1, len(colour)) + colour


def qt_resources():
    # Format version 1 with its tree, data and names offsets, and an empty root.
    return b"qres" + struct.pack(">IIII", 1, 20, 34, 34) + struct.pack(">IHII", 0, 2, 0, 1)


def magicavoxel():
    # Version 150: a MAIN chunk holding the model's size and its one voxel.
    size = b"SIZE" + struct.pack("<II", 12, 0) + struct.pack("<3I", 1, 1, 1)
    xyzi = b"XYZI" + struct.pack("<II", 8, 0) + struct.pack("<I", 1) + bytes((0, 0, 0, 1))
    return b"VOX " + struct.pack("<I", 150) + b"MAIN" + struct.pack("<II", 0, len(size + xyzi)) + size + xyzi


def minc1_volume():
    # A classic NetCDF header as the MINC library writes it: no records, the dimensions zspace, yspace and
    # xspace (name length, name padded to 4, size), then no attributes and no variables.
    def dim(name, size):
        return struct.pack(">I", len(name)) + name.ljust(-(-len(name) // 4) * 4, b"\0") + struct.pack(">I", size)
    dims = dim(b"zspace", 2) + dim(b"yspace", 3) + dim(b"xspace", 4)
    return b"CDF\x01" + struct.pack(">III", 0, 10, 3) + dims + bytes(16)


def trackvis_tracks():
    # A 1000-byte header (dimensions, voxel size, then at 988 the track count, version 2 and its own size)
    # and no tracks.
    header = bytearray(1000)
    header[0:6] = b"TRACK\0"
    struct.pack_into("<3h3f", header, 6, 4, 4, 4, 1.0, 1.0, 1.0)
    struct.pack_into("<iii", header, 988, 0, 2, 1000)
    return bytes(header)


def ecat7_volume():
    # The 512-byte main header: the magic, the software version (72) at 46 and file type 7 (a 16-bit
    # volume) at 50, all big-endian.
    header = bytearray(512)
    header[0:14] = b"MATRIX72v".ljust(14, b"\0")
    struct.pack_into(">hhh", header, 46, 72, 0, 7)
    return bytes(header)


def panorama_classifier():
    # RSC and a NUL, the file's length, version 7.2, an encoding, two states, language 1, the next id,
    # the date, then the rest of the header empty.
    header = b"RSC\0" + struct.pack("<IIIIIII", 400, 0x0702, 0, 0, 0, 1, 1) + b"20240101"
    return header.ljust(400, b"\0")


def grime_lab():
    # LABN, version 1.0, one entry, an 8-byte name table; the entry holds the name's offset, the data's
    # offset and size, and a zero.
    data = b"hello\n"
    table_end = 16 + 16 + 8
    return (b"LABN" + struct.pack("<III", 0x10000, 1, 8) + struct.pack("<IIII", 0, table_end, len(data), 0)
            + b"a.txt".ljust(8, b"\0") + data)


def cc_archive(count=8):
    # Each index entry: a 16-bit id, a 24-bit offset, a 16-bit size and a zero, encrypted byte by byte:
    # minus a key that starts at AC and grows by 67, then rotated right by two bits.
    data = b"\0" * 4
    start = 2 + 8 * count
    index = b"".join(struct.pack("<H", i) + struct.pack("<I", start + 4 * i)[:3] + struct.pack("<H", 4) + b"\0"
                     for i in range(count))
    encrypted = bytes(((((b - 0xAC - 0x67 * i) & 0xFF) >> 2) | ((((b - 0xAC - 0x67 * i) & 0xFF) << 6) & 0xFF))
                      for i, b in enumerate(index))
    return struct.pack("<H", count) + encrypted + data * count


def aarch64_flash():
    # The reset branch to 4 KiB, erased flash up to there, then a firmware volume header: the zero
    # vector, the file system's GUID, the volume's length, _FVH, attributes, a 72-byte header, its
    # checksum, no extended header, reserved zero, revision 2, and the block map.
    volume = (bytes(16) + bytes.fromhex("78e58c8c3d8a1c4f9935896185c32dd3")
              + struct.pack("<Q", 0x2000) + b"_FVH" + struct.pack("<IHHHBB", 0x0004FEFF, 72, 0, 0, 0, 2)
              + struct.pack("<IIII", 2, 0x1000, 0, 0))
    return b"\x00\x04\x00\x14" + b"\xff" * 4092 + volume.ljust(0x2000, b"\xff")


def webm_video(long_size, versions, doctype=b"webm"):
    # The EBML head as three writers lay it out: with or without the version elements first, its size
    # coded in one byte or in eight; then an empty segment of unknown size.
    body = bytes.fromhex("4286 8101 42f7 8101 42f2 8104 42f3 8108") if versions else b""
    body += b"\x42\x82" + bytes([0x80 | len(doctype)]) + doctype + bytes.fromhex("4287 8102 4285 8102")
    size = (b"\x01" + len(body).to_bytes(7, "big")) if long_size else bytes([0x80 | len(body)])
    return b"\x1a\x45\xdf\xa3" + size + body + bytes.fromhex("18538067 01ffffffffffffff")


def minetest_schematic():
    # Version 4, 2 x 1 x 1 nodes, one slice probability, two node names, then the zlib-compressed
    # contents, light parameters and rotations of both nodes.
    names = b"".join(struct.pack(">H", len(n)) + n for n in (b"air", b"default:stone"))
    nodes = zlib.compress(struct.pack(">HH", 0, 1) + b"\x7f\x7f" + b"\x00\x00")
    return b"MTSM" + struct.pack(">HHHH", 4, 2, 1, 1) + b"\x7f" + struct.pack(">H", 2) + names + nodes


STRUCTURE_SAMPLES = [
    ("handwritten", "ivf", ivf_video),
    ("handwritten", "vgm", vgm_music),
    ("handwritten", "ase", adobe_swatches),
    ("handwritten", "rcc", qt_resources),
    ("handwritten", "vox", magicavoxel),
    ("emacs", "elc", lambda: b";ELC\x1b\0\0\0\n;;; Compiled\n(defvar sample 42)\n"),
    ("handwritten", "dat", registry_hive),
    ("handwritten", "pdb", portable_pdb),
    ("handwritten", "caf", caf_audio),
    ("handwritten", "dsf", dsf_audio),
    ("handwritten", "xar", xar_archive),
    ("skyrim-master", "esm", lambda: elder_plugin(4)),
    ("morrowind", "esp", lambda: elder_plugin(3)),
    ("handwritten", "ulx", glulx_story),
    ("handwritten", "las", las_cloud),
    ("handwritten", "bufr", bufr4),
    ("handwritten-empty", "pat", photoshop_patterns),
    ("nifti-regular", "nii", nifti1_regular),
    ("analyze", "hdr", analyze75),
    ("analyze-be", "hdr", lambda: analyze75(">")),
    ("handwritten", "orc", orc_file),
    ("handwritten", "grib2", grib2),
    ("handwritten", "shx", shapefile_index),
    ("handwritten", "gsb", ntv2_grid),
    ("handwritten", "tnef", tnef_message),
    ("handwritten", "rom", pci_rom),
    ("handwritten", "cff", lambda: b"\x01\x00\x04\x01" + b"\x00\x01\x01\x01\x07Sample" + b"\x00\x00" * 3),
    ("handwritten", "cram", cram3),
    ("handwritten", "unf", unif),
    ("handwritten", "j2b", j2b),
    ("pypy3", "pyc", pypy3_pyc),
    ("pypy27", "pyc", pypy27_pyc),
    ("handwritten", "ppu", ppu_unit),
    ("ocsp-response", "der", ocsp_response),
    ("ocsp-request", "der", ocsp_request),
    ("sized", "lzma", lzma_sized),
    ("v7", "tar", v7_tar),
    ("handwritten", "mnc", minc1_volume),
    ("handwritten", "trk", trackvis_tracks),
    ("empty", "tck", lambda: b"mrtrix tracks\ndatatype: Float32LE\ncount: 0\nfile: . 64\nEND\n".ljust(64, b" ")
     + struct.pack("<3f", math.inf, math.inf, math.inf)),
    ("handwritten", "v", ecat7_volume),
    # A design file: the first control element (level 8, type 9, 766 words), then the end-of-design mark.
    ("seed", "dgn", lambda: b"\x08\x09\xfe\x02" + bytes(1532) + b"\xff\xff"),
    ("handwritten", "rsc", panorama_classifier),
    ("handwritten", "lab", grime_lab),
    ("handwritten", "tbl", lambda: b"QTBL" + struct.pack(">I", 3) + bytes(32)),
    ("handwritten", "cc", cc_archive),
    ("handwritten", "qlf", lambda: b"SWI-Prolog .qlf file\n\0\x08\x81\x0a" + bytes(32)),
    ("aarch64", "fd", aarch64_flash),
    ("ffmpeg-layout", "webm", lambda: webm_video(False, True)),
    ("libebml-layout", "webm", lambda: webm_video(True, True)),
    ("gstreamer-layout", "webm", lambda: webm_video(True, False, b"webm\0")),
    ("handwritten", "mts", minetest_schematic),
]
for _name, _ext, _build in STRUCTURE_SAMPLES:
    item(_name, _ext)((lambda build: lambda out: open(out, "wb").write(build()))(_build))


def openssl_key(*steps):
    """Runs openssl STEPS in turn; each may name {prev} (the previous output) and {out}."""
    def make(out):
        need("openssl")
        prev = None
        for n, step in enumerate(steps):
            dest = out if n == len(steps) - 1 else scratch("key-step-%d-%s" % (n, os.path.basename(out)))
            run("openssl", *[a.format(prev=prev, out=dest) for a in step])
            prev = dest
    return make


item("openssl-sec1-ec", "der")(openssl_key(["ecparam", "-name", "prime256v1", "-genkey", "-noout", "-outform", "DER",
                                            "-out", "{out}"]))
item("openssl-ed25519-public", "der")(openssl_key(["genpkey", "-algorithm", "ed25519", "-out", "{out}"],
                                                  ["pkey", "-in", "{prev}", "-pubout", "-outform", "DER", "-out",
                                                   "{out}"]))
item("openssl-x25519", "der")(openssl_key(["genpkey", "-algorithm", "x25519", "-outform", "DER", "-out", "{out}"]))
item("openssl-x25519-public", "der")(openssl_key(["genpkey", "-algorithm", "x25519", "-out", "{out}"],
                                                 ["pkey", "-in", "{prev}", "-pubout", "-outform", "DER", "-out",
                                                  "{out}"]))
item("openssl-encrypted-pkcs8", "der")(openssl_key(
    ["genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out", "{out}"],
    ["pkcs8", "-topk8", "-in", "{prev}", "-v2", "aes-256-cbc", "-passout", "pass:sample", "-outform", "DER",
     "-out", "{out}"]))
# DSA keys in DER: the private key in the traditional form, and its public half.
DSA_KEY = (["genpkey", "-genparam", "-algorithm", "DSA", "-pkeyopt", "dsa_paramgen_bits:1024", "-out", "{out}"],
           ["genpkey", "-paramfile", "{prev}", "-out", "{out}"])
item("openssl-dsa", "der")(openssl_key(*DSA_KEY, ["dsa", "-in", "{prev}", "-outform", "DER", "-out", "{out}"]))
item("openssl-dsa-public", "der")(openssl_key(*DSA_KEY, ["dsa", "-in", "{prev}", "-pubout", "-outform", "DER",
                                                         "-out", "{out}"]))
item("openssl-ed448", "der")(openssl_key(["genpkey", "-algorithm", "ed448", "-outform", "DER", "-out", "{out}"]))
item("openssl-x448-public", "der")(openssl_key(["genpkey", "-algorithm", "x448", "-out", "{out}"],
                                               ["pkey", "-in", "{prev}", "-pubout", "-outform", "DER", "-out", "{out}"]))

GLIF = ('<?xml version="1.0" encoding="UTF-8"?>\n<glyph name="A" format="2">\n  <advance width="500"/>\n'
        '  <unicode hex="0041"/>\n</glyph>\n')
SVG_FONT = ('<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10"><defs><font horiz-adv-x="500">'
            '<font-face font-family="Sample" units-per-em="1000"/><glyph unicode="A" d="M0 0L500 700"/></font>'
            '</defs></svg>')
MATHML_NS = "http://www.w3.org/1998/Math/MathML"
FORMULA = '<math xmlns="%s"><mi>x</mi><mo>=</mo><mn>1</mn></math>' % MATHML_NS
STRUCTURE_TEXT = [
    ("ufo", "glif", text(GLIF)),
    ("font-with-glyphs", "svg", xml_doc(SVG_FONT)),
    ("formula", "mml", xml_doc(FORMULA)),
    ("bare-formula", "mml", text(FORMULA + "\n")),
    ("with-formula", "xhtml", xml_doc('<html xmlns="http://www.w3.org/1999/xhtml"><head><title>x</title></head>'
                                      '<body><p>%s</p></body></html>' % FORMULA)),
    ("with-formula", "svg", xml_doc('<svg xmlns="http://www.w3.org/2000/svg" width="10" height="10">'
                                    '<foreignObject width="10" height="10">%s</foreignObject></svg>' % FORMULA)),
]
for _name, _ext, _make in STRUCTURE_TEXT:
    item(_name, _ext)(_make)


# --- PE images with the header where linkers put it ----------------------------------------------
# Microsoft's linker writes a "Rich" record between the DOS stub and the PE header, so the
# header moves with the number of tools that built the file; MinGW puts it at 0x80.

DOS_STUB = bytes.fromhex("0e1fba0e00b409cd21b8014ccd21") + b"This program cannot be run in DOS mode.\r\r\n$"


def pe_image(lfanew, characteristics, subsystem, plus=True, data=b"", entry=0x1000, directory=None):
    """DATA follows a RET at the start of the one section; DIRECTORY (0 exports, 2 resources), when
    given, is the data directory that points at it."""
    dos = bytearray(lfanew)
    dos[0:2] = b"MZ"
    struct.pack_into("<HHHHHHHHH", dos, 2, 0x90, 3, 0, 4, 0, 0xFFFF, 0, 0xB8, 0)
    struct.pack_into("<H", dos, 24, 0x40)
    struct.pack_into("<I", dos, 60, lfanew)
    dos[64:64 + len(DOS_STUB)] = DOS_STUB
    rich_at = 64 + len(DOS_STUB) + (-len(DOS_STUB) % 16)
    if rich_at + 24 <= lfanew:  # a record of the tools, ended by "Rich" and its key
        dos[rich_at:rich_at + 4] = b"DanS"
        dos[lfanew - 8:lfanew - 4] = b"Rich"
    opt_size = 240 if plus else 224
    section_at = lfanew + 24 + opt_size + 40
    file_align = 0x200
    headers = (section_at + file_align - 1) // file_align * file_align
    body = (b"\xc3" + data).ljust(file_align, b"\0")
    coff = struct.pack("<HHIIIHH", 0x8664 if plus else 0x14C, 1, 1700000000, 0, 0, opt_size, characteristics)
    opt = bytearray(opt_size)
    struct.pack_into("<HBB", opt, 0, 0x20B if plus else 0x10B, 14, 0)
    struct.pack_into("<III", opt, 4, file_align, 0, 0)
    struct.pack_into("<II", opt, 16, entry, 0x1000)
    if plus:
        struct.pack_into("<Q", opt, 24, 0x180000000 if characteristics & 0x2000 else 0x140000000)
    else:
        struct.pack_into("<II", opt, 24, 0x1000, 0x10000000 if characteristics & 0x2000 else 0x400000)
    struct.pack_into("<II", opt, 32, 0x1000, file_align)
    struct.pack_into("<HHHHHH", opt, 40, 6, 0, 0, 0, 6, 0)
    struct.pack_into("<IIII", opt, 52, 0, 0x2000, headers, 0)
    struct.pack_into("<HH", opt, 68, subsystem, 0x8160)
    struct.pack_into("<I", opt, 108 if plus else 92, 16)
    if directory is not None:
        struct.pack_into("<II", opt, (112 if plus else 96) + 8 * directory, 0x1001, len(data))
    section = struct.pack("<8sIIIIIIHHI", b".text", len(body), 0x1000, len(body), headers, 0, 0, 0, 0, 0x60000020)
    image = bytes(dos) + b"PE\0\0" + coff + bytes(opt) + section
    return image.ljust(headers, b"\0") + body


LINKER_OFFSETS = [0x80, 0x88, 0x90, 0x98, 0xA0, 0xA8, 0xB0, 0xB8, 0xC8, 0xD0, 0xE0, 0xE8, 0xF0, 0xF8, 0x100, 0x108,
                  0x110, 0x118]
# (name, extension, characteristics, subsystem, PE32+): a 64-bit DLL, the 32-bit DLL flags of
# older linkers (0xA18E), a native driver, a GUI and a console program.
PE_KINDS = [("dll", "dll", 0x2022, 2, True), ("dll-a18e", "dll", 0xA18E, 2, False), ("driver", "sys", 0x0022, 1, True),
            ("gui", "exe", 0x0022, 2, True), ("console", "exe", 0x0122, 3, False)]
for _n, _offset in enumerate(LINKER_OFFSETS):
    for _kind in (PE_KINDS[_n % len(PE_KINDS)], PE_KINDS[(_n + 2) % len(PE_KINDS)]):
        _name, _ext, _chars, _sub, _plus = _kind
        item("pe-%s-%x" % (_name, _offset), _ext)(
            (lambda *a: lambda out: open(out, "wb").write(pe_image(*a)))(_offset, _chars, _sub, _plus))
# A type library is a DLL of resources alone, with no entry point; a library with code that
# also carries one is a DLL.
TYPELIB = "TYPELIB".encode("utf-16-le") + b"\0\0MSFT\x02\x00\x01\x00"
item("pe-resource-only", "tlb")(lambda out: open(out, "wb").write(pe_image(0x80, 0x2102, 2, False, TYPELIB, 0, directory=2)))
item("pe-with-typelib", "dll")(lambda out: open(out, "wb").write(pe_image(0x80, 0x2022, 2, True, TYPELIB, directory=2)))
# An ActiveX control's export directory: its own name, then its first export (sorted, so a
# DLLGetDocumentation comes before DllCanUnloadNow).
item("pe-ocx-documented", "ocx")(lambda out: open(out, "wb").write(
    pe_image(0x80, 0x2022, 2, data=b"script.ocx\0DLLGetDocumentation\0DllCanUnloadNow\0", directory=0)))
# A library whose data names a driver is still a library.
item("pe-dll-naming-null.sys", "dll")(lambda out: open(out, "wb").write(
    pe_image(0xF0, 0x2022, 2, data=b"\\\\.\\null.sys\0null.sys\0")))


# --- compound files --------------------------------------------------------------------------------

def compound_file(tree, clsid=b""):
    """A version 3 compound file (512-byte sectors). TREE maps names to bytes (a stream) or to
    another dict (a storage). Every stream is kept at least 4096 bytes long so that it lives in
    ordinary sectors; no mini stream is needed."""
    entries = []  # [name, type, data-or-None, children, clsid]
    def add(name, node, kind=None):
        index = len(entries)
        if isinstance(node, dict):
            entries.append([name, kind or 1, None, [], b""])
            for child_name, child in node.items():
                entries[index][3].append(add(child_name, child))
        else:
            entries.append([name, 2, node.ljust(4096, b"\0"), [], b""])
        return index
    add("Root Entry", tree, 5)
    entries[0][4] = clsid
    sectors = []  # stream data, one 512-byte piece at a time
    fat = []
    starts = {}
    for i, (name, kind, data, children, _) in enumerate(entries):
        if data is None:
            continue
        starts[i] = len(sectors)
        count = len(data) // 512
        for k in range(count):
            sectors.append(data[k * 512:(k + 1) * 512])
            fat.append(len(sectors) if k < count - 1 else 0xFFFFFFFE)
    NOSTREAM = 0xFFFFFFFF
    left = {}
    right = {}
    child = {}
    for i, entry in enumerate(entries):
        kids = sorted(entry[3], key=lambda k: (len(entries[k][0]), entries[k][0].upper()))
        if kids:
            # A chain to the right: every sibling is greater than the one before it.
            child[i] = kids[0]
            for a, b in zip(kids, kids[1:]):
                right[a] = b
    directory = b""
    for i, (name, kind, data, children, cls) in enumerate(entries):
        encoded = (name + "\0").encode("utf-16-le")
        start = starts.get(i, 0xFFFFFFFE if kind == 5 else 0)
        size = len(data) if data is not None else 0
        directory += (encoded.ljust(64, b"\0") + struct.pack("<HBB", len(encoded), kind, 1)
                      + struct.pack("<III", left.get(i, NOSTREAM), right.get(i, NOSTREAM), child.get(i, NOSTREAM))
                      + cls.ljust(16, b"\0") + struct.pack("<IQQIQ", 0, 0, 0, start, size))
    unused = bytes(68) + struct.pack("<III", NOSTREAM, NOSTREAM, NOSTREAM) + bytes(48)
    directory += unused * (-len(entries) % 4)
    dir_start = len(sectors)
    dir_count = len(directory) // 512
    for k in range(dir_count):
        sectors.append(directory[k * 512:(k + 1) * 512])
        fat.append(len(sectors) if k < dir_count - 1 else 0xFFFFFFFE)
    fat_count = 1
    while len(fat) + fat_count > fat_count * 128:
        fat_count += 1
    fat_start = len(sectors)
    fat += [0xFFFFFFFD] * fat_count
    fat += [0xFFFFFFFF] * (fat_count * 128 - len(fat))
    fat_bytes = struct.pack("<%dI" % len(fat), *fat)
    difat = list(range(fat_start, fat_start + fat_count)) + [0xFFFFFFFF] * (109 - fat_count)
    header = (b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + bytes(16) + struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6)
              + bytes(6) + struct.pack("<IIIIIIIII", 0, fat_count, dir_start, 0, 4096, 0xFFFFFFFE, 0,
                                       0xFFFFFFFE, 0) + struct.pack("<109I", *difat))
    return header + b"".join(sectors) + fat_bytes


def clsid(text):
    import uuid
    return uuid.UUID(text).bytes_le


BOOK = "Book".encode("utf-16-le")
WORD_CLSID = clsid("00020906-0000-0000-C000-000000000046")
EXCEL_CLSID = clsid("00020820-0000-0000-C000-000000000046")
SUMMARY = {"\x05SummaryInformation": b"\xfe\xff\x00\x00" + bytes(24) + BOOK}
WORD_STREAMS = {"WordDocument": b"\xec\xa5\xc1\x00" + bytes(28), "1Table": bytes(64), "\x01CompObj": b"\x01\xfe" + BOOK}
WORKBOOK = {"Workbook": b"\x09\x08\x10\x00\x00\x06\x05\x00" + bytes(12)}
COMPOUND_SAMPLES = [
    # Each of these holds "Book" in UTF-16 in its data, as a workbook's stream name would be.
    ("visio", "vsd", lambda: compound_file(dict(SUMMARY, VisioDocument=b"Visio (TM) Drawing\r\n" + BOOK))),
    ("publisher", "pub", lambda: compound_file(dict(SUMMARY, Quill={"QuillSub": {"CONTENTS": b"CHNKINK " + BOOK}},
                                                    Contents=b"\xe8\xac\x2c\x00" + BOOK))),
    ("hangul", "hwp", lambda: compound_file({"FileHeader": b"HWP Document File".ljust(32, b"\0") + BOOK,
                                             "DocInfo": BOOK, "BodyText": {"Section0": BOOK},
                                             "\x05HwpSummaryInformation": b"\xfe\xff" + BOOK})),
    ("word", "doc", lambda: compound_file(dict(SUMMARY, **WORD_STREAMS), WORD_CLSID)),
    ("excel-embedding-word", "xls", lambda: compound_file(dict(WORKBOOK, MBD0001A2B3=dict(WORD_STREAMS)),
                                                          EXCEL_CLSID)),
    ("word-embedding-excel", "doc", lambda: compound_file(dict(WORD_STREAMS, ObjectPool={"_1234567890": dict(WORKBOOK)}),
                                                          WORD_CLSID)),
    # Works 7 and later write a BIFF8 workbook beside a stream of their own.
    ("works", "xlr", lambda: compound_file(dict(WORKBOOK, WksSSWorkBook=b"\xff\x00"), EXCEL_CLSID)),
    ("works", "wps", lambda: compound_file({"MatOST": bytes(64), "CONTENTS": b"CHNKWKS " + BOOK})),
    ("unclassed-excel", "xls", lambda: compound_file(dict(SUMMARY, **WORKBOOK))),
    ("outlook", "msg", lambda: compound_file({"__properties_version1.0": bytes(32), "__nameid_version1.0": {
        "__substg1.0_00020102": bytes(16)}, "__substg1.0_0037001F": "Book".encode("utf-16-le")})),
    ("macros", "vsmacros", lambda: compound_file({"VSM_Project_MetaData": b"\x01\x00" + BOOK,
                                                   "VSM_Project_Data": {"VSMPROJ": bytes(64)}})),
    ("installer", "msi", lambda: compound_file({"\u4840\u3f3f\u4577\u446c\u3b6a\u45e4\u4824": bytes(16)},
                                               clsid("000C1084-0000-0000-C000-000000000046"))),
]
for _name, _ext, _build in COMPOUND_SAMPLES:
    item(_name, _ext)((lambda build: lambda out: open(out, "wb").write(build()))(_build))


# --- ZIP packages in any member order ------------------------------------------------------------

def reordered(maker, first=None, last=None, stored=()):
    """Rewrites the package MAKER writes so that member FIRST leads or LAST ends it; STORED
    members are kept uncompressed, the rest deflated."""
    def make(out):
        maker(scratch("reorder-" + os.path.basename(out)))
        with zipfile.ZipFile(scratch("reorder-" + os.path.basename(out))) as z:
            members = [(i.filename, z.read(i.filename)) for i in z.infolist()]
        if last:
            members.sort(key=lambda m: m[0] == last)
        if first:
            members.sort(key=lambda m: m[0] != first)
        with zipfile.ZipFile(out, "w") as z:
            for name, data in members:
                info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
                info.compress_type = zipfile.ZIP_STORED if name in stored else zipfile.ZIP_DEFLATED
                z.writestr(info, data)
    return make


def with_members(maker, extra, content_type=None):
    """The package MAKER writes, with EXTRA members added (stored) and, for Office files, the
    main part's content type replaced by CONTENT_TYPE."""
    def make(out):
        src = scratch("base-" + os.path.basename(out))
        maker(src)
        with zipfile.ZipFile(src) as z:
            members = [(i.filename, z.read(i.filename), i.compress_type) for i in z.infolist()]
        with zipfile.ZipFile(out, "w") as z:
            for name, data, method in members:
                if content_type and name == "[Content_Types].xml":
                    data = re.sub(rb'(PartName="/(word/document|xl/workbook|ppt/presentation)\.xml" ContentType=")'
                                  rb'[^"]+', lambda m: m.group(1) + content_type.encode(), data)
                info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
                info.compress_type = method
                z.writestr(info, data)
            for name, data in extra:
                info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
                z.writestr(info, data)
    return make


NPY = (b"\x93NUMPY\x01\x00" + struct.pack("<H", 118) + b"{'descr': '<i4', 'fortran_order': False, 'shape': (3,), }"
       .ljust(117) + b"\n" + struct.pack("<3i", 1, 2, 3))
OOXML = "application/vnd.openxmlformats-officedocument."
MS = "application/vnd.ms-"
REORDERED = [
    ("mimetype-last", "epub", reordered(make_epub, last="mimetype")),
    ("mimetype-last", "odt", reordered(odf(ODF_MIME + "text", "<office:text/>"), last="mimetype")),
    ("manifest-last", "jar", reordered(make_jar, last="META-INF/MANIFEST.MF")),
    ("no-manifest", "jar", lambda out: zip_package(out, [("META-INF/", ""), ("org/example/Hello.class", class_file())])),
    ("with-stored-array", "docx", with_members(make_docx, [("word/embeddings/values.npy", NPY)])),
    ("macro", "docm", with_members(make_docx, [("word/vbaProject.bin", b"")], MS + "word.document.macroEnabled.main+xml")),
    ("template", "dotx", with_members(make_docx, [], OOXML + "wordprocessingml.template.main+xml")),
    ("macro", "xlsm", with_members(make_xlsx, [("xl/vbaProject.bin", b"")], MS + "excel.sheet.macroEnabled.main+xml")),
    ("template", "xltx", with_members(make_xlsx, [], OOXML + "spreadsheetml.template.main+xml")),
    ("macro", "pptm", with_members(make_pptx, [("ppt/vbaProject.bin", b"")],
                                   MS + "powerpoint.presentation.macroEnabled.main+xml")),
    ("show", "ppsx", with_members(make_pptx, [], OOXML + "presentationml.slideshow.main+xml")),
    ("template", "potx", with_members(make_pptx, [], OOXML + "presentationml.template.main+xml")),
    ("signed", "apk", lambda out: zip_package(out, [("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\n\r\n"),
                                                   ("AndroidManifest.xml", b"\x03\x00\x08\x00"),
                                                   ("classes.dex", b"dex\n035\0"), ("resources.arsc", b"")])),
    ("bundle", "aab", lambda out: zip_package(out, [("BundleConfig.pb", b""),
                                                   ("base/manifest/AndroidManifest.xml", b"\x0a\x00"),
                                                   ("base/dex/classes.dex", b"dex\n035\0")])),
    ("fixed", "xps", lambda out: zip_package(out, [("[Content_Types].xml", content_types([])),
                                                  ("_rels/.rels", rels([])),
                                                  ("FixedDocumentSequence.fdseq", "<FixedDocumentSequence/>")])),
    ("compressed", "npz", lambda out: zip_package(out, [("x.npy", NPY), ("y.npy", NPY)])),
    ("freecol-map", "fsm", lambda out: zip_package(out, [
        ("savegame.properties", "map.width=40\nmap.height=100\n"),
        ("savegame.xml", '<?xml version="1.0" encoding="UTF-8"?><!--Configuration:\n-->\n'
                         '<savedGame owner="mapEditor" version="14"><game/></savedGame>')])),
    ("freecol-game", "fsg", lambda out: zip_package(out, [
        ("client-options.xml", "<clientOptions/>"), ("savegame.properties", "map.width=40\nmap.height=100\n"),
        ("savegame.xml", '<?xml version="1.0" encoding="UTF-8"?>\n<savedGame owner="Pat" version="14">'
                         '<game/></savedGame>')])),
    ("boot", "prc", lambda out: zip_package(out, [
        ("$prolog/state.qlf", b"SWI-Prolog state (www.swi-prolog.org)\n\0\x08\x81\x0a" + bytes(32))])),
    ("freecol-animation", "sza", lambda out: zip_package(out, [
        ("animation.txt", "wave-1.png (50ms)\nwave-2.png (50ms)\n"),
        ("wave-1.png", open(sample_png(), "rb").read()), ("wave-2.png", open(sample_png(), "rb").read())])),
]
for _name, _ext, _make in REORDERED:
    item(_name, _ext)(_make)


# --- formats that are a gzip stream ---------------------------------------------------------------

def gzipped(data):
    # gzip.compress stores no file name, as most writers of these formats do.
    return lambda out: open(out, "wb").write(gzip.compress(data() if callable(data) else data, mtime=0))


def emf_header():
    # EMR_HEADER: type 1, size 108, bounds, frame, " EMF", version, sizes, then the device
    # sizes; an EMR_EOF record ends the file.
    record = struct.pack("<II4i4i4sIIIHHIIIiiii", 1, 108, 0, 0, 47, 31, 0, 0, 1270, 846, b" EMF", 0x10000,
                         108 + 20, 2, 1, 0, 0, 0, 0, 1920, 1080, 508, 285)
    record = record.ljust(108, b"\0")
    return record + struct.pack("<IIIII", 14, 20, 0, 16, 20)


def r_serialized(head):
    # XDR format 3, written by R 4.3, read by R 3.5 and later, native encoding UTF-8, then an
    # integer vector c(1L, 2L).
    return (head + b"X\n" + struct.pack(">iii", 3, 0x040300, 0x030500) + struct.pack(">i", 5) + b"UTF-8"
            + struct.pack(">iiii", 13, 2, 1, 2))


def r_lazy_load_index():
    # list(variables = list(), references = list(), compressed = TRUE): a generic vector with
    # attributes, its three elements, then the names pairlist, which closes the stream.
    def string(text):
        return struct.pack(">ii", 0x00040009, len(text)) + text
    body = struct.pack(">ii", 0x213, 3) + struct.pack(">ii", 19, 0) * 2 + struct.pack(">iii", 10, 1, 1)
    names = (struct.pack(">i", 0x402) + struct.pack(">i", 1) + string(b"names") + struct.pack(">ii", 16, 3)
             + string(b"variables") + string(b"references") + string(b"compressed") + struct.pack(">i", 0xFE))
    return (b"X\n" + struct.pack(">iii", 3, 0x040300, 0x030500) + struct.pack(">i", 5) + b"UTF-8" + body + names)


GZIP_SAMPLES = [
    ("no-name", "svgz", gzipped(b'<?xml version="1.0"?>\n<svg xmlns="http://www.w3.org/2000/svg" width="4" height="4"/>\n')),
    ("bare", "svgz", gzipped(b'<svg xmlns="http://www.w3.org/2000/svg" width="4" height="4"/>\n')),
    # Release notes that talk about <svg> elements are still just compressed text.
    ("release-notes", "gz", gzipped(b"Version 2.54\n- render <svg> elements nested in <svg> correctly\n")),
    ("compressed", "blend", gzipped(b"BLENDER-v300REND" + bytes(32) + b"ENDB" + bytes(20))),
    ("handwritten", "emz", gzipped(emf_header)),
    ("compressed", "dia", gzipped(b'<?xml version="1.0" encoding="UTF-8"?>\n<dia:diagram '
                                  b'xmlns:dia="http://www.lysator.liu.se/~alla/dia/"/>\n')),
    ("handwritten", "gnumeric", gzipped(b'<?xml version="1.0" encoding="UTF-8"?>\n<gmr:Workbook '
                                        b'xmlns:gmr="http://www.gnumeric.org/v10.dtd"/>\n')),
    ("current-prefix", "gnumeric", gzipped(b'<?xml version="1.0" encoding="UTF-8"?>\n<gnm:Workbook '
                                           b'xmlns:gnm="http://www.gnumeric.org/v10.dtd"/>\n')),
    ("arpeggio", "xiz", gzipped(b'<?xml version="1.0" encoding="UTF-8"?>\n\n<!DOCTYPE ZynAddSubFX-data>\n'
                                b'<ZynAddSubFX-data version-major="2" version-minor="4">\n<INFORMATION>\n'
                                b'<par_bool name="PADsynth_used" value="no"/>\n</INFORMATION>\n<BASE_PARAMETERS>\n'
                                b'<par name="max_midi_parts" value="16"/>\n</BASE_PARAMETERS>\n<INSTRUMENT>\n'
                                b'</INSTRUMENT>\n</ZynAddSubFX-data>\n')),
    ("mixer", "xmz", gzipped(b'<?xml version="1.0" encoding="UTF-8"?>\n\n<!DOCTYPE ZynAddSubFX-data>\n'
                             b'<ZynAddSubFX-data version-major="2" version-minor="4">\n<MASTER>\n<PART id="0">\n'
                             b'<INSTRUMENT>\n</INSTRUMENT>\n</PART>\n</MASTER>\n</ZynAddSubFX-data>\n')),
    ("handwritten", "rds", gzipped(lambda: r_serialized(b""))),
    ("lazy-load-index", "rdx", gzipped(lambda: r_lazy_load_index())),
    ("handwritten", "rda", gzipped(lambda: r_serialized(b"RDX3\n"))),
    ("gfortran-like", "mod", gzipped(b"GFORTRAN module version '15' created from sample.f90\n(() () ())\n")),
    # MGH: version 1, a 2x2x1 volume of one frame, floats (type 3), no RAS transform; the header fills 284 bytes.
    ("lincity-ng", "scn", gzipped(b"1322\n" + b"0 0 0 0 1000 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n" * 16)),
    ("handwritten", "mgz", gzipped(struct.pack(">7ih", 1, 2, 2, 1, 1, 3, 0, 0).ljust(284, b"\0") + bytes(16))),
]
for _name, _ext, _make in GZIP_SAMPLES:
    item(_name, _ext)(_make)


# --- driver ------------------------------------------------------------------------------------

def main():
    global WORK
    parser = argparse.ArgumentParser(description="Build a corpus of files of known kinds.")
    parser.add_argument("outdir")
    parser.add_argument("--exe", action="append", default=[],
                        help="an existing Windows .exe to include (may be repeated)")
    args = parser.parse_args()

    missing = missing_sources()
    if missing:
        print("make_corpus: these sources are missing; install their packages (scripts/setup.sh does):\n"
              + "\n".join(missing), file=sys.stderr)
        sys.exit(2)

    os.makedirs(args.outdir, exist_ok=True)
    manifest = []
    skipped = []
    with tempfile.TemporaryDirectory(prefix="kindsniffer-corpus-") as work:
        WORK = work
        makers = list(ITEMS)
        for path in args.exe:
            base = os.path.splitext(os.path.basename(path))[0]
            makers.append(("given-" + base, "exe", (lambda src: lambda out: shutil.copyfile(src, out))(path)))
        used = set()
        for name, ext, make in makers:
            fname = "%s.%s" % (name, ext)
            n = 2
            while fname in used:
                fname = "%s-%d.%s" % (name, n, ext)
                n += 1
            out = os.path.join(args.outdir, fname)
            if os.path.exists(out):
                os.remove(out)  # a rerun into the same folder starts afresh
            try:
                make(out)
                if not os.path.isfile(out) or os.path.getsize(out) == 0:
                    raise Skip("produced no file")
            except (Skip, OSError, subprocess.CalledProcessError) as e:
                skipped.append({"file": fname, "why": str(e)})
                kind = "optional source absent" if isinstance(e, Optional) else "skipped"
                print("make_corpus: %s %s: %s" % (kind, fname, e), file=sys.stderr)
                if os.path.exists(out):
                    os.remove(out)
                continue
            used.add(fname)
            manifest.append({"file": fname, "ext": "." + ext})
    with open(os.path.join(args.outdir, "manifest.json"), "w") as f:
        json.dump(manifest, f, indent=1)
        f.write("\n")
    with open(os.path.join(args.outdir, "skipped.json"), "w") as f:
        json.dump(skipped, f, indent=1)
        f.write("\n")
    exts = {m["ext"].lower() for m in manifest}
    print("make_corpus: %d files, %d distinct extensions, %d skipped" % (len(manifest), len(exts), len(skipped)),
          file=sys.stderr)


if __name__ == "__main__":
    main()
