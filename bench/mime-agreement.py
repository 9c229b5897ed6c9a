#!/usr/bin/env python3
"""How often kindsniffer-cli's MIME type agrees with `file --mime-type`.

    bench/mime-agreement.py [--cli CMD] [--signatures FILE] [--details] SOURCE...

Each SOURCE is a corpus made by tests/corpus/make_corpus.py (a folder with
manifest.json) or a found-files cache (a folder with MANIFEST.tsv, see
bench/found_files.py). A file counts where both name it specifically:
`file` answers neither application/octet-stream, text/plain nor inode/*, and
kindsniffer-cli gives a specific answer (not a general one) whose MIME type is
neither of the first two. Two names agree when they are equal without regard to
case. Each disagreement is put into one kind:

  listed     file's name is one of the type's later <mime> names, which the set
             lists as another name of the same format
  spelling   the same name but for an x- or vendor prefix, or the top-level type
             (image/x-dpx and image/dpx, text/rtf and application/rtf)
  alias      two names for one format, as ALIASES below lists them
  family     one names the family or container, the other the member: a ZIP,
             OLE2, gzip or XML answer against the format built in it, a
             program's generic executable type against the PE, ELF or COFF
             flavour, or the reverse
  other      none of these: a wrong answer of one of the two, listed with
             --details for a reader to judge

Prints a Markdown table per source, and with --details each pair of names in
each kind with its count.
"""

import argparse
import collections
import json
import os
import re
import shlex
import shutil
import subprocess
import sys

BATCH = 200
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)

# Names of no format.
UNSPECIFIC = {"application/octet-stream", "text/plain"}

# Two names each of one format, as each tool spells it: (file's, kindsniffer-cli's).
ALIASES = {
    ("audio/x-wav", "audio/vnd.wave"),
    ("image/x-ms-bmp", "image/bmp"),
    ("application/x-bytecode.python", "application/x-python-bytecode"),
    ("image/x-portable-greymap", "image/x-portable-graymap"),
    ("application/x-java-applet", "application/java-vm"),
    ("application/x-virtualbox-vhd", "application/x-vhd-disk"),
    ("application/x-virtualbox-vdi", "application/x-vdi-disk"),
    ("application/x-virtualbox-vmdk", "application/x-vmdk-disk"),
    ("application/x-iso9660-image", "application/x-cd-image"),
    ("application/x-ima", "application/x-raw-disk-image"),
    ("video/x-mng", "video/x-mng"),
    ("application/x-coff", "application/x-object"),
    ("font/sfnt", "font/ttf"),
    ("application/vnd.ms-opentype", "font/otf"),
    ("font/x-postscript-pfb", "application/x-font-type1"),
    ("application/x-font-sfn", "font/ttf"),
    ("audio/x-hx-aac-adts", "audio/aac"),
    ("audio/x-m4a", "audio/mp4"),
    ("audio/x-flac", "audio/flac"),
    ("audio/x-aiff", "audio/x-aifc"),
    ("video/x-matroska", "video/webm"),
    ("application/x-bzip2", "application/x-bzip"),
    ("application/x-lzh-compressed", "application/x-lha"),
    ("application/x-rar", "application/vnd.rar"),
    ("application/x-dosexec", "application/x-ms-dos-executable"),
    ("application/vnd.ms-cab-compressed", "application/vnd.ms-cab-compressed"),
    ("application/x-shockwave-flash", "application/vnd.adobe.flash.movie"),
    ("image/x-icon", "image/vnd.microsoft.icon"),
    ("image/vnd.adobe.photoshop", "image/vnd.adobe.photoshop"),
    ("text/x-shellscript", "application/x-shellscript"),
    ("text/x-script.python", "text/x-python3"),
    ("text/x-perl", "application/x-perl"),
    ("text/x-ruby", "application/x-ruby"),
    ("application/javascript", "text/javascript"),
    ("text/x-c", "text/x-csrc"),
    ("text/x-c++", "text/x-c++src"),
    ("text/x-c", "text/x-chdr"),
    ("text/x-c++", "text/x-c++hdr"),
    ("text/x-diff", "text/x-patch"),
    ("application/x-gettext-translation", "application/x-gettext-translation"),
    ("application/vnd.font-fontforge-sfd", "application/vnd.font-fontforge-sfd"),
    ("audio/x-mp4a-latm", "audio/mp4"),
    ("application/x-ms-ne-executable", "application/x-ms-dos-executable"),
    ("text/x-po", "text/x-gettext-translation"),
    ("text/x-po", "text/x-gettext-translation-template"),
    ("application/x-mach-binary", "application/x-mach-binary"),
}

# Names of a family or a container: a file of it may be a format with a name of its own.
FAMILIES = {
    "application/zip", "application/x-ole-storage", "application/cdfv2", "application/vnd.ms-office",
    "application/gzip", "application/x-gzip", "text/xml", "application/xml", "application/json", "text/html",
    "application/x-executable", "application/x-pie-executable", "application/x-sharedlib", "application/x-object",
    "application/x-dosexec", "application/vnd.microsoft.portable-executable", "application/x-ms-dos-executable",
    "application/x-mach-binary", "image/tiff", "application/x-tar", "application/x-raw-disk-image",
    "application/x-cd-image", "application/x-iso9660-image", "application/vnd.sqlite3", "application/x-sqlite3",
    "application/x-hdf", "application/x-hdf5", "application/x-riff", "audio/mp4", "video/mp4",
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet",
    "application/vnd.openxmlformats-officedocument.presentationml.presentation",
    "font/ttf", "font/sfnt", "application/x-archive", "application/java-archive", "application/x-java-archive",
    "application/postscript",
}

# A format named by its family where neither name is a family's alone: (file's, kindsniffer-cli's).
FAMILY_PAIRS = {
    ("application/vnd.ms-excel", "application/vnd.ms-works"),  # a Works spreadsheet is a BIFF workbook
    ("text/x-tex", "text/x-texinfo"),  # Texinfo is a TeX macro package's input
    ("audio/x-mod", "audio/x-it"),  # every tracker's module is a "mod" to file
    ("audio/x-mod", "audio/x-xm"),
    ("audio/x-mod", "audio/x-s3m"),
    ("audio/x-mod", "audio/x-stm"),
}


def batches(items):
    for start in range(0, len(items), BATCH):
        yield items[start:start + BATCH]


def read_source(source):
    """The files of a generated corpus or of a found-files cache."""
    manifest = os.path.join(source, "manifest.json")
    if os.path.exists(manifest):
        with open(manifest) as f:
            return [os.path.join(source, entry["file"]) for entry in json.load(f)]
    rows = []
    with open(os.path.join(source, "MANIFEST.tsv")) as f:
        for line in f:
            if line.strip() and not line.startswith("#"):
                rows.append(line.split("\t")[0])
    return rows


def file_answers(paths):
    out = []
    for part in batches(paths):
        res = subprocess.run(["file", "--brief", "--mime-type", "--"] + part,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        lines = res.stdout.decode("utf-8", "replace").splitlines()
        lines += [""] * (len(part) - len(lines))
        out += [line.strip().lower() for line in lines[:len(part)]]
    return out


def type_mimes(signatures):
    """Each type's MIME types, by the line its <type> starts on, as --explain tells it."""
    by_line, line_of, current = {}, None, None
    with open(signatures, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            if re.search(r"<type>", line):
                line_of, current = number, []
            current is not None and current.extend(m.lower() for m in re.findall(r"<mime>([^<]*)</mime>", line))
            if "</type>" in line and current is not None:
                by_line[line_of] = current
                current = None
    return by_line


def kindsniffer_answers(cli, signatures, paths):
    """(MIME type, all MIME types of the type, general, title) per path, or None when not detected."""
    mimes = type_mimes(signatures)
    out = []
    for part in batches(paths):
        res = subprocess.run(cli + ["--signatures", signatures, "--json", "--explain"] + part,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        answers = [json.loads(line) for line in res.stdout.decode("utf-8", "replace").splitlines()
                   if line.startswith("{")]
        answers += [{}] * (len(part) - len(answers))
        for obj in answers[:len(part)]:
            if obj.get("state") != "detected":
                out.append(None)
                continue
            listed = mimes.get(obj["basis"]["line"], [])
            out.append((obj.get("mime", "").lower(), listed, bool(obj.get("general")), obj["title"]))
    return out


def stem(name):
    """A name without its top-level type and the x- or vendor prefixes of its subtype."""
    sub = name.split("/", 1)[-1]
    sub = re.sub(r"^(x-|vnd\.)", "", sub)
    return sub.rsplit(".", 1)[-1]


def kind_of(theirs, ours, listed):
    if theirs in listed:
        return "listed"
    if stem(theirs) == stem(ours):
        return "spelling"
    if (theirs, ours) in ALIASES:
        return "alias"
    if theirs in FAMILIES or ours in FAMILIES or (theirs, ours) in FAMILY_PAIRS:
        return "family"
    return "other"


KINDS = ["listed", "spelling", "alias", "family", "other"]


def main():
    parser = argparse.ArgumentParser(description="Compare kindsniffer-cli's MIME types with file --mime-type.")
    parser.add_argument("--cli", default=os.path.join(ROOT, "build/native/cli/kindsniffer-cli"),
                        help="the console program, as a shell-style command")
    parser.add_argument("--signatures", default=os.path.join(ROOT, "data/Kindsniffer.xml"))
    parser.add_argument("--details", action="store_true", help="list each pair of names that disagree")
    parser.add_argument("sources", nargs="+")
    args = parser.parse_args()
    if shutil.which("file") is None:
        sys.exit("mime-agreement.py: `file` is not installed")
    version = subprocess.run(["file", "--version"], capture_output=True, text=True).stdout.splitlines()[0]
    cli = shlex.split(args.cli)

    for source in args.sources:
        paths = read_source(source)
        theirs_all = file_answers(paths)
        ours_all = kindsniffer_answers(cli, args.signatures, paths)
        counts = collections.Counter()
        pairs = collections.defaultdict(collections.Counter)
        for path, theirs, ours in zip(paths, theirs_all, ours_all):
            counts["files"] += 1
            if not theirs or theirs in UNSPECIFIC or theirs.startswith("inode/"):
                continue
            if ours is None or ours[2] or not ours[0] or ours[0] in UNSPECIFIC:
                continue
            counts["both"] += 1
            if theirs == ours[0]:
                counts["agree"] += 1
                continue
            kind = kind_of(theirs, ours[0], ours[1])
            counts[kind] += 1
            pairs[kind][(theirs, ours[0], ours[3])] += 1
        both = counts["both"] or 1
        print(f"\n### {source}: {counts['files']} files, `{version}`\n")
        print("| | files | share of those both name |")
        print("|---|---:|---:|")
        print(f"| both name specifically | {counts['both']} | 100 % |")
        print(f"| agree | {counts['agree']} | {100 * counts['agree'] / both:.1f} % |")
        for kind in KINDS:
            print(f"| differ: {kind} | {counts[kind]} | {100 * counts[kind] / both:.1f} % |")
        if args.details:
            for kind in KINDS:
                if pairs[kind]:
                    print(f"\n{kind}:")
                    for (theirs, ours, title), n in sorted(pairs[kind].items(), key=lambda item: (-item[1], item[0])):
                        print(f"  {n:4}  file {theirs}  kindsniffer {ours}  ({title})")


if __name__ == "__main__":
    main()
