"""What the tests are run against, from the environment the python.* CTest tests set:

    KINDSNIFFER_LIBRARY     the built libkindsniffer (the module loads it)
    KINDSNIFFER_CLI         the built console program, whose answers are the reference
    KINDSNIFFER_SIGNATURES  the shipped set, data/Kindsniffer.xml
    KINDSNIFFER_SOURCE      the source tree (for data/samples, README.md and the project's version)
    KINDSNIFFER_C_EXAMPLE   the built examples/identify.c, whose output the Python example's must equal
    KINDSNIFFER_CORPUS      the generated corpus (test_corpus.py only)
"""
import os
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
PYTHON_DIR = os.path.dirname(HERE)
# The module as it is in the tree, ahead of any installed copy.
sys.path.insert(0, PYTHON_DIR)


def environment(name):
    value = os.environ.get(name)
    if not value:
        pytest.fail(f"{name} is not set (see python/tests/conftest.py)")
    return value


@pytest.fixture(scope="session")
def source_dir():
    return environment("KINDSNIFFER_SOURCE")


@pytest.fixture(scope="session")
def samples(source_dir):
    return os.path.join(source_dir, "data", "samples")


@pytest.fixture(scope="session")
def signatures_path():
    return environment("KINDSNIFFER_SIGNATURES")


@pytest.fixture(scope="session")
def cli():
    return environment("KINDSNIFFER_CLI")


@pytest.fixture(scope="session")
def signatures(signatures_path):
    import kindsniffer
    environment("KINDSNIFFER_LIBRARY")
    with kindsniffer.open(signatures_path) as opened:
        yield opened


def as_cli_reports(answer, reference):
    """A Result in the terms of the console program's --json line `reference`, to compare with it.
    The MIME type is compared where that line has one."""
    out = {"state": answer.state, "title": answer.title, "extensions": list(answer.extensions),
           "general": answer.general}
    if "mime" in reference:
        out["mime"] = answer.mime
    return out


@pytest.fixture(scope="session")
def cli_answers(cli, signatures_path):
    """The console program's --json answers for paths, keyed by path: state, title, extensions, general, mime."""
    import json
    import subprocess

    def run(paths):
        answers = {}
        for start in range(0, len(paths), 500):
            done = subprocess.run([cli, "--signatures", signatures_path, "--json"] + paths[start:start + 500],
                                  capture_output=True, check=False)
            assert done.returncode in (0, 1), done.stderr.decode(errors="replace")
            for line in done.stdout.decode().splitlines():
                obj = json.loads(line)
                answers[obj["path"]] = {key: obj[key] for key in ("state", "title", "extensions", "mime")
                                        if key in obj}
                answers[obj["path"]]["general"] = obj.get("general", False)
        return answers

    return run
