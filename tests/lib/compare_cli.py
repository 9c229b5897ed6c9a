#!/usr/bin/env python3
"""Checks that the library gives the console program's answers.

    compare_cli.py --library TEST_PROGRAM --cli CLI --signatures SET CORPUS

Every file under CORPUS is identified by the console program (--json) and by
the library's test program (its --answers mode, which also checks that the
file's bytes as a buffer get the same answer as its path). State, title and
extensions must agree, and so must the MIME type and the general flag
wherever the console program reports them. --library and --cli are split
like shell command lines, so that an emulator may run them; with --windows
both are Windows programs under Wine, handed each path as Z: and its host
path, as Wine reads a host file. The last line is
always "N agreed, M differed"; exits 1 when any differed.
"""

import argparse
import json
import os
import shlex
import subprocess
import sys

BATCH = 200


def json_lines(text):
    answers = {}
    for line in text.decode("utf-8", "replace").splitlines():
        line = line.strip()
        if line.startswith("{"):  # an emulator may print notes of its own
            obj = json.loads(line)
            answers[obj["path"]] = obj
    return answers


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--library", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--signatures", required=True)
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("corpus")
    args = parser.parse_args()

    paths = []
    for folder, _, names in os.walk(args.corpus):
        paths += [os.path.join(folder, n) for n in sorted(names) if n not in ("manifest.json", "skipped.json")]
    paths.sort()
    if args.windows:
        paths = ["Z:" + os.path.abspath(p).replace("/", "\\") for p in paths]
    if not paths:
        print("compare_cli: no files in %s" % args.corpus, file=sys.stderr)
        print("0 agreed, 0 differed")
        return 1

    run = subprocess.run(shlex.split(args.library) + [args.signatures, "--answers"],
                         input=("\n".join(paths) + "\n").encode("utf-8"), stdout=subprocess.PIPE)
    library = json_lines(run.stdout)
    status = 0
    if run.returncode != 0:
        print("compare_cli: the library's program failed (a path and a buffer disagreed?)")
        status = 1

    agreed = differed = 0
    for start in range(0, len(paths), BATCH):
        batch = paths[start:start + BATCH]
        res = subprocess.run(shlex.split(args.cli) + ["--signatures", args.signatures, "--json"] + batch,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        cli = json_lines(res.stdout)
        for path in batch:
            want, got = cli.get(path), library.get(path)
            keys = ["state", "title", "extensions"] + [k for k in ("mime", "general") if want and k in want]
            if want and got and all(want[k] == got[k] for k in keys):
                agreed += 1
                continue
            differed += 1
            print("DIFFER %s: console %s, library %s" % (path, want and {k: want.get(k) for k in keys},
                                                          got and {k: got.get(k) for k in keys}))
    print("%d agreed, %d differed" % (agreed, differed))
    return 1 if differed or status else 0


if __name__ == "__main__":
    sys.exit(main())
