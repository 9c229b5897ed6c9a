#!/usr/bin/env python3
"""dask_sort.py on the generated corpus gives what one plain run gives.

    test_dask_sort.py --cli PROGRAM --signatures FILE CORPUS_DIR

Runs the recipe twice: with its own LocalCluster, and against a running
scheduler (--scheduler) started here. Exit status 77 (skipped) when Dask is
not installed.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
SKIPPED = 77


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--signatures", required=True)
    parser.add_argument("corpus")
    args = parser.parse_args()
    try:
        from dask.distributed import LocalCluster
    except ImportError as error:
        print(f"skipped: {error} (scripts/setup.sh installs python3-distributed)")
        return SKIPPED

    scratch = tempfile.mkdtemp(prefix="dask-sort-test-")
    try:
        paths = sorted(os.path.join(root, name) for root, _, names in os.walk(args.corpus) for name in names)
        # One that cannot be read: its line must come through, and its status.
        paths.insert(len(paths) // 2, os.path.join(scratch, "absent"))
        listed = os.path.join(scratch, "list")
        with open(listed, "wb") as f:
            f.write(b"\n".join(os.fsencode(p) for p in paths) + b"\n")

        plain = subprocess.run([args.cli, "--signatures", args.signatures, "--json", "--files-from", listed],
                               capture_output=True, timeout=120)
        assert plain.returncode == 1, plain.stderr
        expected = sorted(plain.stdout.splitlines())
        assert len(expected) == len(paths)

        recipe = [sys.executable, os.path.join(HERE, "dask_sort.py"), "--cli", args.cli,
                  "--signatures", args.signatures, "--list", listed]
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                          dashboard_address=None, local_directory=os.path.join(scratch, "cluster")) as cluster:
            runs = [("own LocalCluster", ["--workers", "2"]),
                    ("running scheduler, shares of two files", ["--scheduler", cluster.scheduler_address,
                                                                   "--shares", str(len(paths) // 2)])]
            for name, options in runs:
                output = os.path.join(scratch, "merged.jsonl")
                result = subprocess.run(recipe + options + ["--output", output], capture_output=True, timeout=120)
                assert result.returncode == 1, (name, result.stderr.decode(errors="replace"))
                with open(output, "rb") as f:
                    merged = f.read().splitlines()
                assert sorted(merged) == expected, name
                assert merged == plain.stdout.splitlines(), f"{name}: the list's order is kept"
                print(f"{name}: {len(merged)} lines, as one plain run")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
