#!/usr/bin/env python3
"""Checks that the console program recognises every file of a corpus.

    check_corpus.py --cli "build/native/cli/kindsniffer-cli" --signatures data/Kindsniffer.xml CORPUS

The corpus folder holds manifest.json as written by make_corpus.py. --cli is
split like a shell command line, so a wrapper works too, for example
--cli "wine build/windows/cli/kindsniffer-cli.exe". A file passes when the
program reports it as detected and its true extension is among the offered
extensions (compared without regard to case, as file names are on Windows).
The extension a user gets by default is the first one offered, so the share
of files whose true extension comes first is counted too and must reach
--min-first (a fraction, 0.98 unless told). Exits 1 when any file fails or that
share falls short; the last line is always "N passed, M failed".
"""

import argparse
import json
import os
import shlex
import subprocess
import sys

BATCH = 200


def run_batch(cli, signatures, paths):
    """Runs the program on PATHS and returns its answers keyed by the path it printed."""
    cmd = cli + ["--signatures", signatures, "--json"] + paths
    res = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    answers = {}
    for line in res.stdout.decode("utf-8", "replace").splitlines():
        line = line.strip()
        if not line.startswith("{"):
            continue  # an emulator may print notes of its own
        try:
            obj = json.loads(line)
        except ValueError:
            continue
        answers[obj.get("path", "")] = obj
    return answers, res


def judge(entry, answer):
    """Returns None when the answer is right, else the reason it is not."""
    if answer is None:
        return "no answer from the program"
    state = answer.get("state")
    if state != "detected":
        return "state %s" % state
    offered = [e.lower() for e in answer.get("extensions", [])]
    if entry["ext"].lower() not in offered:
        offered_text = ", ".join(answer.get("extensions", [])) or "no extension"
        return "detected as %r with %s" % (answer.get("title", ""), offered_text)
    return None


def offered_first(entry, answer):
    offered = (answer or {}).get("extensions", [])
    return bool(offered) and offered[0].lower() == entry["ext"].lower()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cli", required=True, help="the console program, as a shell-style command")
    parser.add_argument("--signatures", required=True, help="signature file to check")
    parser.add_argument("--min-first", type=float, default=0.98,
                        help="least share of files whose true extension must be offered first")
    parser.add_argument("corpus", help="folder with the files and manifest.json")
    args = parser.parse_args()

    cli = shlex.split(args.cli)
    with open(os.path.join(args.corpus, "manifest.json")) as f:
        manifest = json.load(f)
    # Samples the generator could not make here are not checked: say which.
    skipped_path = os.path.join(args.corpus, "skipped.json")
    if os.path.exists(skipped_path):
        with open(skipped_path) as f:
            for entry in json.load(f):
                print("check_corpus: not checked, %s: %s" % (entry["file"], entry["why"]))
    if not manifest:
        print("check_corpus: the manifest lists no files", file=sys.stderr)
        print("0 passed, 0 failed")
        return 1

    failures = []
    passed = 0
    not_first = []
    for start in range(0, len(manifest), BATCH):
        batch = manifest[start:start + BATCH]
        paths = [os.path.join(args.corpus, e["file"]) for e in batch]
        try:
            answers, res = run_batch(cli, args.signatures, paths)
        except OSError as e:
            print("check_corpus: cannot run %s: %s" % (args.cli, e), file=sys.stderr)
            print("0 passed, %d failed" % len(manifest))
            return 1
        by_name = {os.path.basename(p.replace("\\", "/")): a for p, a in answers.items()}
        if not answers and res.returncode != 0:
            sys.stderr.write(res.stderr.decode("utf-8", "replace"))
        for entry, path in zip(batch, paths):
            answer = answers.get(path) or by_name.get(os.path.basename(path))
            reason = judge(entry, answer)
            if reason is None:
                passed += 1
                if not offered_first(entry, answer):
                    not_first.append((entry["file"], answer["extensions"][0]))
            else:
                failures.append((entry["file"], entry["ext"], reason))

    for name, ext, reason in failures:
        print("FAIL %s (true %s): %s" % (name, ext, reason))
    first = passed - len(not_first)
    share = first / len(manifest)
    for name, offered in not_first:
        print("not first: %s (offered %s first)" % (name, offered))
    print("true extension offered first for %d of %d files (%.1f%%, at least %.1f%% wanted)"
          % (first, len(manifest), 100 * share, 100 * args.min_first))
    if share < args.min_first:
        print("FAIL too few files have their true extension offered first")
    print("%d passed, %d failed" % (passed, len(failures)))
    return 1 if failures or share < args.min_first else 0


if __name__ == "__main__":
    sys.exit(main())
