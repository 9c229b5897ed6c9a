#!/usr/bin/env bash
# A batch of 10,000 small files, a third of them text, run by two builds side by side: what the text tests and the
# weighing of languages cost per file, against an older release.
#
#   bench/text-batch.sh OLD_CLI OLD_SIGNATURES [CLI] [SIGNATURES] [RUNS]
#
# The two thirds that are not text are the test corpus's small files, in turns (as bench/batch.sh takes them); the
# text third is real text files of this machine (Python, Perl, CMake, headers, documentation...), chosen in turns by
# extension from a sorted walk, so that the same machine gives the same batch. Each run gives a build the text
# folder, the other folder and the whole batch, one worker each, the builds in turns; processor time (user +
# system) per file is the median of RUNS runs; peak memory is that of one run over the whole batch.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
    echo "usage: $0 OLD_CLI OLD_SIGNATURES [CLI] [SIGNATURES] [RUNS]" >&2
    exit 2
fi
old_cli=$1
old_signatures=$2
cli=${3:-build/native/cli/kindsniffer-cli}
signatures=${4:-data/Kindsniffer.xml}
runs=${5:-7}
work=build/bench/text-batch
corpus=build/bench/corpus

if [ ! -x "$cli" ]; then
    cmake --preset native >/dev/null && cmake --build --preset native --target kindsniffer-cli >/dev/null
fi
[ -f "$corpus/manifest.json" ] || python3 tests/corpus/make_corpus.py "$corpus" >/dev/null 2>&1

python3 - "$corpus" "$work" "$old_cli" "$old_signatures" "$cli" "$signatures" "$runs" <<'PY'
import collections, os, shutil, statistics, subprocess, sys, time
corpus, work, old_cli, old_sig, cli, sig, runs = sys.argv[1:7] + [int(sys.argv[7])]
COUNT, TEXT = 10000, 3334
ROOTS = ["/usr/lib/python3", "/usr/share/perl", "/usr/share/perl5", "/usr/include", "/usr/share/cmake",
         "/usr/share/doc", "/usr/share/X11", "/usr/share/vim", "/usr/share/emacs", "/usr/share/misc",
         "/usr/share/ruby", "/usr/lib/ruby", "/usr/share/tcltk", "/usr/share/bash-completion", "/etc"]

def is_text(head):
    return bool(head) and b"\0" not in head and not any(b < 32 and b not in (8, 9, 10, 12, 13, 27) for b in head)

def head(path):
    try:
        with open(path, "rb") as f:
            return f.read(4096)
    except OSError:
        return b""

def build():
    small = sorted(os.path.join(corpus, n) for n in os.listdir(corpus)
                   if n != "manifest.json" and os.path.getsize(os.path.join(corpus, n)) < 65536)
    other = [p for p in small if not is_text(head(p))]
    by_ext = collections.defaultdict(list)
    for root in ROOTS:
        for folder, dirs, files in os.walk(root):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(folder, name)
                if os.path.islink(path) or not os.path.isfile(path):
                    continue
                size = os.path.getsize(path)
                if 64 <= size < 65536 and is_text(head(path)):
                    by_ext[os.path.splitext(name)[1].lower()].append(path)
    text, queues = [], [collections.deque(by_ext[e]) for e in sorted(by_ext)]
    while len(text) < TEXT and any(queues):
        for q in queues:
            if q and len(text) < TEXT:
                text.append(q.popleft())
    shutil.rmtree(work, ignore_errors=True)
    for kind, sources, n in (("text", text, TEXT), ("other", other, COUNT - TEXT)):
        for i in range(n):
            folder = os.path.join(work, "files", kind, str(i // 1000))
            os.makedirs(folder, exist_ok=True)
            src = sources[i % len(sources)]
            shutil.copyfile(src, os.path.join(folder, f"{i}-{os.path.basename(src)}"))
    with open(os.path.join(work, "SOURCES"), "w") as f:
        f.write("".join(f"text\t{p}\n" for p in text) + "".join(f"other\t{p}\n" for p in other))

if not os.path.exists(os.path.join(work, "SOURCES")):
    build()
files = {k: sum(len(f) for _, _, f in os.walk(os.path.join(work, "files", k))) for k in ("text", "other")}
files["all"] = files["text"] + files["other"]

def once(program, signatures, folder):
    """Processor time (user + system) of one run, in seconds."""
    p = subprocess.Popen([program, "--signatures", signatures, "--json", "-r", folder], stdout=subprocess.DEVNULL,
                         stderr=subprocess.DEVNULL, env=dict(os.environ, KINDSNIFFER_WORKERS="1"))
    _, status, usage = os.wait4(p.pid, 0)
    if status != 0:
        sys.exit(f"{program} failed on {folder}")
    return usage.ru_utime + usage.ru_stime

def peak(program, signatures, folder):
    """Peak resident memory of one run, in KiB, under /usr/bin/time: a child that Python forks starts with Python's
    own memory as its peak."""
    report = os.path.join(work, "time.out")
    subprocess.run(["/usr/bin/time", "-o", report, "-f", "%M", program, "--signatures", signatures, "--json", "-r",
                    folder], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return int(open(report).read().split()[-1])

builds = (("old", old_cli, old_sig), ("new", cli, sig))
times = {(b, k): [] for b, _, _ in builds for k in files}
for _ in range(runs):
    for kind in files:
        for name, program, signatures in builds:  # in turns, so that a busy moment falls on both
            folder = os.path.join(work, "files", *([] if kind == "all" else [kind]))
            times[(name, kind)].append(once(program, signatures, folder))

print(f"{files['all']} files: {files['text']} text, {files['other']} other; {runs} runs each, one worker")
print(f"old: {old_cli} ({old_sig})\nnew: {cli} ({sig})")
print(f"load: {open('/proc/loadavg').read().split()[:3]}")
print("processor time per file (median)   old        new        new/old")
for kind in ("text", "other", "all"):
    o, n = (statistics.median(times[(b, kind)]) / files[kind] * 1e6 for b in ("old", "new"))
    print(f"  {kind:32} {o:7.1f} us  {n:7.1f} us  {n / o:6.3f}")
print("peak resident memory, the whole batch with the usual workers: "
      + ", ".join(f"{name} {peak(program, signatures, os.path.join(work, 'files')) / 1024:.1f} MB"
                  for name, program, signatures in builds))
PY
