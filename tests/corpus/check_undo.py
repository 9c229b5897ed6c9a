#!/usr/bin/env python3
"""Checks that a --rename batch over the corpus undoes to the original names.

    check_undo.py --cli "build/native/cli/kindsniffer-cli" --signatures data/Kindsniffer.xml CORPUS WORK

Every file of the corpus is linked (or copied) into WORK under a name that
hides its type (rose.png becomes rose_png.data), so that the batch renames
nearly all of them. `-r --rename --journal` runs over WORK, then `--undo`:
every name and every file's bytes must be as they were, and a second `--undo`
must change nothing. Exits 1 otherwise.
"""

import argparse
import json
import os
import shlex
import shutil
import subprocess
import sys


def snapshot(top):
    found = {}
    for root, _, files in os.walk(os.fsencode(top)):
        for name in files:
            path = os.path.join(root, name)
            with open(path, "rb") as f:
                found[os.path.relpath(path, os.fsencode(top))] = f.read()
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cli", required=True, help="the console program, as a shell-style command")
    parser.add_argument("--signatures", required=True)
    parser.add_argument("corpus", help="folder with the files and manifest.json")
    parser.add_argument("work", help="scratch folder, emptied first")
    args = parser.parse_args()
    cli = shlex.split(args.cli)

    with open(os.path.join(args.corpus, "manifest.json")) as f:
        manifest = json.load(f)
    shutil.rmtree(args.work, ignore_errors=True)
    files = os.path.join(args.work, "files")
    os.makedirs(files)
    for entry in manifest:
        source = os.path.join(args.corpus, entry["file"])
        target = os.path.join(files, entry["file"].replace("/", "_").replace(".", "_") + ".data")
        try:
            os.link(source, target)
        except OSError:
            shutil.copy2(source, target)
    before = snapshot(files)
    journal = os.path.join(args.work, "journal.jsonl")

    def run(*extra):
        return subprocess.run(cli + list(extra), capture_output=True, timeout=600)

    renamed = run("--signatures", args.signatures, "--rename", "-r", "--journal", journal, files)
    after = snapshot(files)
    with open(journal, "rb") as f:
        lines = f.read().count(b"\n")
    moved = len(set(after) - set(before))
    print("check_undo: %d of %d files renamed (exit status %d), %d journal lines"
          % (moved, len(before), renamed.returncode, lines))
    problems = []
    if renamed.returncode not in (0, 5) or moved == 0 or lines != moved:
        problems.append("the batch: " + renamed.stderr.decode("utf-8", "replace")[-2000:])
    for attempt in ("first", "second"):
        undone = run("--undo", journal)
        if undone.returncode != 0:
            problems.append("the %s --undo exited %d: %s" % (attempt, undone.returncode,
                                                             undone.stderr.decode("utf-8", "replace")[-2000:]))
        now = snapshot(files)
        if now != before:
            lost = sorted(set(before) - set(now))[:10]
            problems.append("after the %s --undo the files differ; missing names include %r" % (attempt, lost))
    for problem in problems:
        print("FAIL " + problem)
    if not problems:
        shutil.rmtree(args.work, ignore_errors=True)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
