"""The examples beside the module, run as a user runs them; the README holds one whole."""
import os
import shutil
import subprocess
import sys

from conftest import PYTHON_DIR, environment


def run_python(args, **kwargs):
    env = dict(os.environ, PYTHONPATH=PYTHON_DIR)
    return subprocess.run([sys.executable] + args, env=env, capture_output=True, text=True, check=False, **kwargs)


# Four kinds with a MIME type, one without, and one whose MIME type must not become a folder name.
SET = b"""<?xml version="1.0" encoding="UTF-8"?>
<dat><types>
  <type><magic>89 50 4E 47</magic><title>PNG image</title><ext>.png</ext><mime>image/png</mime></type>
  <type><magic>25 50 44 46</magic><title>PDF document</title><ext>.pdf</ext><mime>application/pdf</mime></type>
  <type><magic>4D 69 6C 6B</magic><title>Note</title><ext>.txt</ext><mime>TEXT/plain</mime></type>
  <type><magic>1F 8B</magic><title>gzip</title><ext>.gz</ext></type>
  <type><magic>2E 2E</magic><title>Odd</title><ext>.odd</ext><mime>../x</mime></type>
</types></dat>
"""


def test_sort_downloads_moves_each_file_by_its_contents(tmp_path, samples):
    signatures = tmp_path / "set.xml"
    signatures.write_bytes(SET)
    downloads = tmp_path / "Downloads"
    downloads.mkdir()
    for name in os.listdir(samples):
        shutil.copy(os.path.join(samples, name), downloads / name)
    (downloads / "notes").write_text("Milk, eggs and bread.\n")
    (downloads / "dots").write_text("..")
    (downloads / "empty").write_bytes(b"")
    (downloads / "kept").mkdir()
    # Already in the way: the PNG must stay where it is, and say so.
    (downloads / "image").mkdir()
    (downloads / "image" / "holiday-photo.txt").write_bytes(b"another")
    expected = {"minutes.doc": "application", "notes": "text", "backup": "unknown", "dots": "unknown",
                "empty": "unknown"}
    script = os.path.join(PYTHON_DIR, "examples", "sort_downloads.py")
    before = sorted(os.listdir(downloads))

    dry = run_python([script, "--dry-run", "--signatures", str(signatures), str(downloads)])
    assert dry.returncode == 0 and "notes -> text/\n" in dry.stdout, dry.stdout + dry.stderr
    assert sorted(os.listdir(downloads)) == before

    done = run_python([script, "--signatures", str(signatures), str(downloads)])
    assert done.returncode == 1 and "holiday-photo.txt: not moved" in done.stderr, done.stderr
    for name, folder in expected.items():
        assert (downloads / folder / name).is_file(), (name, done.stdout)
    assert (downloads / "holiday-photo.txt").is_file() and (downloads / "kept").is_dir()
    assert (downloads / "image" / "holiday-photo.txt").read_bytes() == b"another"
    assert sorted(os.listdir(downloads)) == ["application", "holiday-photo.txt", "image", "kept", "text", "unknown"]

    # The shipped set by default; only the file in the way is left to move.
    again = run_python([script, "--dry-run", str(downloads)])
    assert again.returncode == 0 and again.stdout.startswith("holiday-photo.txt -> "), again.stdout + again.stderr
    assert again.stdout.count("\n") == 1


def test_the_identify_example_answers_as_the_c_one_and_is_the_readmes(source_dir, samples):
    example = os.path.join(PYTHON_DIR, "examples", "identify.py")
    files = [os.path.join(samples, name) for name in sorted(os.listdir(samples))] + [os.path.join(samples, "absent")]
    done = run_python([example] + files)
    assert done.returncode == 0, done.stderr
    lines = done.stdout.splitlines()
    assert len(lines) == len(files) + 1 and lines[-1].startswith("upload: PNG image [.png] ")
    assert lines[-2].startswith(files[-1] + ": cannot read: ")
    c_example = subprocess.run([environment("KINDSNIFFER_C_EXAMPLE")] + files, capture_output=True, text=True,
                               check=True)
    assert done.stdout == c_example.stdout

    with open(example, encoding="utf-8") as f:
        text = f.read()
    with open(os.path.join(source_dir, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    section = readme.split("\n## Using Kindsniffer from your program\n", 1)[1].split("\n## ", 1)[0]
    assert f"```python\n{text}```\n" in section, "the README's copy of python/examples/identify.py differs"
