#!/usr/bin/env python3
"""Sorts a folder of downloads into subfolders by the top-level MIME type of each file's contents.

    sort_downloads.py [--dry-run] [--signatures FILE] FOLDER

Each file directly in FOLDER moves into FOLDER/image/, FOLDER/text/,
FOLDER/application/ and so on, as its bytes say, whatever its name says. A file
whose type has no MIME type, or that matches no type, goes to FOLDER/unknown/.
Subfolders are left alone, so running it again moves nothing twice. A file
already in the way is never replaced: the file stays where it was, and is told.

Exit status: 0 when every file was sorted, 1 when some could not be read or
moved (each is told on stderr), 2 when the signature set did not open.
"""
import argparse
import os
import re
import sys

import kindsniffer

# RFC 6838's characters for a type name. A MIME type comes from an editable
# set, so anything else (a slash, "..") must not become a folder name.
TOP_LEVEL = re.compile(r"[a-z0-9][a-z0-9!#$&^_.+-]{0,126}")


def folder_for(answer):
    """The subfolder a file goes to: its MIME type's top-level type, else "unknown"."""
    top = answer.mime.partition("/")[0].lower() if answer.state == "detected" else ""
    return top if TOP_LEVEL.fullmatch(top) else "unknown"


def move_without_replacing(source, target):
    if os.name == "nt":
        os.rename(source, target)  # never replaces an existing file on Windows
    else:
        # rename() would replace a file that appeared meanwhile; a link does not.
        os.link(source, target)
        os.unlink(source)


def main():
    parser = argparse.ArgumentParser(description="Sort downloads into subfolders by MIME top-level type.")
    parser.add_argument("--signatures", help="a signature set (default: the one shipped with the library)")
    parser.add_argument("--dry-run", action="store_true", help="tell what would move, move nothing")
    parser.add_argument("folder")
    args = parser.parse_args()

    try:
        signatures = kindsniffer.open(args.signatures)
    except kindsniffer.Error as error:
        print(f"sort_downloads: {error}", file=sys.stderr)
        return 2

    failed = False
    with signatures:
        for entry in sorted(os.scandir(args.folder), key=lambda e: e.name):
            if not entry.is_file(follow_symlinks=False):
                continue
            answer = signatures.identify(entry.path)
            if answer.state == "unreadable":
                print(f"{entry.name}: not read: {answer.error}", file=sys.stderr)
                failed = True
                continue
            folder = folder_for(answer)
            print(f"{entry.name} -> {folder}/")
            if args.dry_run:
                continue
            target_folder = os.path.join(args.folder, folder)
            try:
                os.makedirs(target_folder, exist_ok=True)
                move_without_replacing(entry.path, os.path.join(target_folder, entry.name))
            except OSError as error:
                print(f"{entry.name}: not moved: {error.strerror or error}", file=sys.stderr)
                failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
