#!/usr/bin/env python3
"""Compares the extensions that kindsniffer-cli and `file --extension` suggest
for a corpus made by tests/corpus/make_corpus.py.

    bench/compare-with-file.py [--cli CMD] [--signatures FILE] [--details] CORPUS

Prints a Markdown table with, for each tool, the share of corpus files whose
true extension is among its suggestions and the share where it is the first
suggestion. `file --extension` answers with a slash-separated list such as
"jpeg/jpg/jpe/jfif", or "???" when it knows no extension. Extensions are
compared without regard to case. With --details, the files on which the two
tools disagree are listed below the table.
"""

import argparse
import json
import os
import shlex
import shutil
import subprocess
import sys

BATCH = 200
HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def batches(items):
    for start in range(0, len(items), BATCH):
        yield items[start:start + BATCH]


def file_suggestions(paths):
    """Extensions offered by `file --extension`, one list per path, without periods."""
    out = []
    for part in batches(paths):
        res = subprocess.run(["file", "--brief", "--extension", "--"] + part,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        lines = res.stdout.decode("utf-8", "replace").splitlines()
        lines += ["???"] * (len(part) - len(lines))
        for line in lines[:len(part)]:
            line = line.strip()
            out.append([] if line == "???" else [e.strip().lower() for e in line.split("/") if e.strip()])
    return out


def kindsniffer_suggestions(cli, signatures, paths):
    """Extensions offered by kindsniffer-cli, one list per path, without periods."""
    out = []
    for part in batches(paths):
        res = subprocess.run(cli + ["--signatures", signatures, "--json"] + part,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        by_name = {}
        for line in res.stdout.decode("utf-8", "replace").splitlines():
            if line.startswith("{"):
                obj = json.loads(line)
                by_name[os.path.basename(obj["path"].replace("\\", "/"))] = obj
        for path in part:
            obj = by_name.get(os.path.basename(path))
            exts = obj.get("extensions", []) if obj and obj.get("state") == "detected" else []
            out.append([e.lstrip(".").lower() for e in exts])
    return out


def score(truth, suggestions):
    anywhere = sum(1 for t, s in zip(truth, suggestions) if t in s)
    first = sum(1 for t, s in zip(truth, suggestions) if s and s[0] == t)
    return anywhere, first


def main():
    parser = argparse.ArgumentParser(description="Compare kindsniffer-cli with file --extension.")
    parser.add_argument("--cli", default=os.path.join(ROOT, "build/native/cli/kindsniffer-cli"),
                        help="the console program, as a shell-style command")
    parser.add_argument("--signatures", default=os.path.join(ROOT, "data/Kindsniffer.xml"))
    parser.add_argument("--details", action="store_true", help="list the files on which the tools disagree")
    parser.add_argument("corpus")
    args = parser.parse_args()

    if shutil.which("file") is None:
        print("compare-with-file: the file command is not installed", file=sys.stderr)
        return 2
    with open(os.path.join(args.corpus, "manifest.json")) as f:
        manifest = json.load(f)
    paths = [os.path.join(args.corpus, e["file"]) for e in manifest]
    truth = [e["ext"].lstrip(".").lower() for e in manifest]

    version = subprocess.run(["file", "--version"], stdout=subprocess.PIPE).stdout.decode().splitlines()[0]
    results = [("kindsniffer-cli", kindsniffer_suggestions(shlex.split(args.cli), args.signatures, paths)),
               ("`%s --extension`" % version.strip(), file_suggestions(paths))]

    n = len(manifest)
    print("Corpus: %d files, %d distinct true extensions.\n" % (n, len(set(truth))))
    print("| Tool | True extension suggested | True extension offered first |")
    print("|---|---|---|")
    for name, suggestions in results:
        anywhere, first = score(truth, suggestions)
        print("| %s | %d of %d (%.1f %%) | %d of %d (%.1f %%) |"
              % (name, anywhere, n, 100.0 * anywhere / n, first, n, 100.0 * first / n))

    if args.details:
        print("\n| File | kindsniffer-cli | file |")
        print("|---|---|---|")
        ours, theirs = results[0][1], results[1][1]
        for entry, t, a, b in zip(manifest, truth, ours, theirs):
            if (t in a) != (t in b):
                print("| %s | %s | %s |" % (entry["file"], "/".join(a) or "-", "/".join(b) or "???"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
