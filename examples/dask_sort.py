#!/usr/bin/env python3
"""Sort a long list of files by their real type on a Dask cluster.

    dask_sort.py --cli PROGRAM --signatures FILE --list LIST --output OUT.jsonl
                 [--null] [--workers N] [--shares N] [--scheduler ADDRESS]

The list (one path a line, or NUL-separated with --null) is cut into shares;
each Dask task runs `kindsniffer-cli --json -0 --files-from -` on one share,
and the JSON lines come back into OUT.jsonl in the list's own order, as one
plain run would write them.

Without --scheduler the script starts a LocalCluster of --workers processes
on this machine, on the loopback interface and without its dashboard. With
--scheduler tcp://HOST:8786 it uses a running cluster instead: the program,
the signature file and every listed path must then be reachable under the
same names on each worker (a shared filesystem, the same install path).

Exit status: 0 when every file was examined, 1 when some could not be read
(their lines say why), 2 when a share could not be examined at all.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

# kindsniffer-cli's own statuses that still mean a whole report: every file
# examined (0), or some of them unreadable and told as such (1).
WHOLE_REPORT = (0, 1)


def examine_share(cli, signatures, share):
    """Runs on a worker: the share's paths in, their JSON lines out."""
    result = subprocess.run([cli, "--signatures", signatures, "--json", "-0", "--files-from", "-"],
                            input=b"\0".join(share), capture_output=True, check=False)
    return result.returncode, result.stdout, result.stderr


def read_list(path, null):
    with open(path, "rb") as f:
        data = f.read()
    if null:
        entries = data.split(b"\0")
    else:
        entries = [line[:-1] if line.endswith(b"\r") else line for line in data.split(b"\n")]
    return [entry for entry in entries if entry]


def split(paths, shares):
    """Contiguous shares of nearly equal size, so that their outputs join in order."""
    shares = max(1, min(shares, len(paths)))
    size, extra = divmod(len(paths), shares)
    out, start = [], 0
    for i in range(shares):
        end = start + size + (1 if i < extra else 0)
        out.append(paths[start:end])
        start = end
    return out


def run(client, args, paths):
    started = time.monotonic()
    workers = len(client.scheduler_info()["workers"])
    # A few shares a worker, so that one slow share does not leave the others idle.
    shares = split(paths, args.shares or 4 * max(1, workers))
    futures = client.map(examine_share, [args.cli] * len(shares), [args.signatures] * len(shares), shares,
                         pure=False)
    status = 0
    # Gathered in the list's order, one share at a time: the output need not wait for the slowest share to
    # be held whole alongside all the others.
    with open(args.output, "wb") as out:
        for future in futures:
            code, stdout, stderr = future.result()
            sys.stderr.buffer.write(stderr)
            if code not in WHOLE_REPORT:
                print(f"dask_sort: a share ended with status {code}", file=sys.stderr)
                return 2
            out.write(stdout)
            status = max(status, code)
            future.release()
    # Without the cluster's start, which a long-running cluster does not pay per list.
    elapsed = time.monotonic() - started
    print(f"dask_sort: {len(paths)} files on {workers} workers in {elapsed:.2f} s "
          f"({len(paths) / elapsed:.0f} files/s)", file=sys.stderr)
    return status


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--cli", required=True, help="path of kindsniffer-cli, the same on every worker")
    parser.add_argument("--signatures", required=True, help="the signature file, the same on every worker")
    parser.add_argument("--list", required=True, help="the paths to examine, one a line")
    parser.add_argument("--null", action="store_true", help="the list's paths end in NUL bytes instead")
    parser.add_argument("--output", required=True, help="where the JSON lines go")
    parser.add_argument("--workers", type=int, default=2, help="LocalCluster's workers (default 2)")
    parser.add_argument("--shares", type=int, default=0, help="how many shares (default: 4 a worker)")
    parser.add_argument("--scheduler", help="a running cluster's scheduler, such as tcp://10.0.0.5:8786")
    args = parser.parse_args()
    args.cli = os.path.abspath(args.cli)
    args.signatures = os.path.abspath(args.signatures)

    paths = read_list(args.list, args.null)
    if not paths:
        open(args.output, "wb").close()
        return 0

    from dask.distributed import Client, LocalCluster

    if args.scheduler:
        with Client(args.scheduler) as client:
            status = run(client, args, paths)
    else:
        # Each worker's spill and lock files go to a folder removed on the way out.
        with tempfile.TemporaryDirectory(prefix="dask-sort-") as scratch, \
                LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True, host="127.0.0.1",
                             dashboard_address=None, local_directory=scratch) as cluster, \
                Client(cluster) as client:
            status = run(client, args, paths)
    return status


if __name__ == "__main__":
    sys.exit(main())
