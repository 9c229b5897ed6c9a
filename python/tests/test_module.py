"""The kindsniffer module over the built library: its answers, its errors, and how it finds the library."""
import errno
import os
import subprocess
import sys
import threading

import pytest

import kindsniffer
from conftest import PYTHON_DIR, as_cli_reports


def sample_paths(samples):
    return sorted(os.path.join(samples, name) for name in os.listdir(samples))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def test_a_path_and_its_bytes_get_the_console_programs_answer(signatures, samples, cli_answers):
    paths = sample_paths(samples)
    expected = cli_answers(paths)
    for path in paths:
        answer = signatures.identify(path)
        assert answer.state == "detected", path
        assert as_cli_reports(answer, expected[path]) == expected[path], path
        data = read(path)
        for form in (data, bytearray(data), memoryview(data)):
            assert signatures.identify(form) == answer, (path, type(form))


def test_the_shipped_set_and_one_from_memory_answer_as_the_file_does(signatures, signatures_path, samples):
    photo = os.path.join(samples, "holiday-photo.txt")
    with kindsniffer.open() as shipped, kindsniffer.open(read(signatures_path)) as in_memory:
        for opened in (shipped, in_memory):
            assert len(opened) == len(signatures) > 1000
            assert opened.identify(photo) == signatures.identify(photo)
    assert signatures.identify(photo).title == "PNG image"


@pytest.mark.parametrize("contents", [b"", b"\x00", b"PK\x03\x04" + b"\x00" * 10], ids=["empty", "one byte", "cut ZIP"])
def test_hostile_buffers_get_an_answer(signatures, contents):
    answer = signatures.identify(contents)
    assert answer.state in ("detected", "undetermined")
    if not contents:
        assert answer == kindsniffer.Result("undetermined")


def test_an_unreadable_file_is_a_state_with_the_systems_reason(signatures, tmp_path):
    cases = [(tmp_path / "absent", errno.ENOENT), (tmp_path, errno.EISDIR)]
    for path, code in cases:
        answer = signatures.identify(path)
        assert (answer.state, answer.errno) == ("unreadable", code), path
        assert answer.error and not answer.title and not answer.extensions


def test_explain_gives_the_basis_only_when_asked(signatures, samples):
    photo = os.path.join(samples, "holiday-photo.txt")
    assert signatures.identify(photo).basis == ""
    basis = signatures.identify(photo, explain=True).basis
    assert basis.endswith("\n") and len(basis.splitlines()) >= 2


# A set that does not open: (its bytes, or a path under tmp_path; the code; words its message must hold).
BAD_SETS = [
    ("absent.xml", 2, os.strerror(errno.ENOENT)),
    (".", 3, ""),
    (b"", 5, ""),
    (b"<dat>\n<types>\n<type x=1></type>\n</types></dat>", 5, "line 3"),
    (b"<?xml version='1.0'?><other/>", 6, ""),
]


@pytest.mark.parametrize("source,code,words", BAD_SETS, ids=["absent", "folder", "empty", "bad attribute", "no types"])
def test_a_bad_set_raises_with_the_librarys_message(tmp_path, source, code, words):
    if isinstance(source, str):
        source = tmp_path / source
    with pytest.raises(kindsniffer.Error) as raised:
        kindsniffer.open(source)
    error = raised.value
    assert error.code == code and str(error) and words in str(error)
    if code == 5 and source:
        assert error.line == 3
    if code == 2:
        assert error.system_error == errno.ENOENT


def test_threads_share_one_set(signatures, samples):
    paths = sample_paths(samples)
    expected = [signatures.identify(path) for path in paths]
    got = [None] * 8

    def work(slot):
        got[slot] = [signatures.identify(path) for path in paths for _ in range(20)][::20]

    threads = [threading.Thread(target=work, args=(slot,)) for slot in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert got == [expected] * 8


def test_a_path_with_a_nul_or_a_closed_set_is_refused_and_closing_twice_is_harmless(signatures_path):
    opened = kindsniffer.open(signatures_path)
    # A NUL would end the C string early and name another file.
    for call in (opened.identify, kindsniffer.open):
        with pytest.raises(ValueError):
            call(signatures_path + "\0.txt")
    opened.close()
    opened.close()
    with pytest.raises(ValueError):
        opened.identify(b"x")


def test_the_versions_agree(source_dir):
    with open(os.path.join(source_dir, "CMakeLists.txt"), encoding="utf-8") as f:
        project = f.read().split("project(Kindsniffer VERSION ", 1)[1].split()[0]
    with open(os.path.join(PYTHON_DIR, "pyproject.toml"), encoding="utf-8") as f:
        assert f'\nversion = "{project}"\n' in f.read()
    assert kindsniffer.library_version() == project


def test_a_library_named_in_the_environment_is_the_only_one_tried(tmp_path, signatures_path):
    script = "import kindsniffer\ntry:\n    kindsniffer.open()\nexcept kindsniffer.Error as e:\n    print(e)\n"
    for named, words in [(tmp_path / "absent.so", "no such file"), (signatures_path, "invalid ELF header")]:
        env = dict(os.environ, KINDSNIFFER_LIBRARY=str(named), PYTHONPATH=PYTHON_DIR)
        done = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True, check=True)
        assert str(named) in done.stdout and words in done.stdout and done.stdout.count("\n  ") == 1, done.stdout
