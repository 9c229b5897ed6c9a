"""`pip install ./python` into a fresh virtual environment, with no package index: the module imports and works."""
import os
import subprocess
import sys

from conftest import PYTHON_DIR


def test_pip_installs_the_module_into_a_venv_without_an_index(tmp_path, samples):
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", str(venv)], check=True)
    python = venv / "bin" / "python"
    # --no-index: what installs offline, and proves the build needs nothing fetched.
    subprocess.run([str(python), "-m", "pip", "install", "--no-index", "--disable-pip-version-check", "--quiet",
                    PYTHON_DIR], check=True, cwd=tmp_path)
    script = ("import sys, kindsniffer\n"
              "print(kindsniffer.__file__)\n"
              "print(kindsniffer.open().identify(sys.argv[1]).title)\n")
    env = {key: value for key, value in os.environ.items() if key != "PYTHONPATH"}
    done = subprocess.run([str(python), "-c", script, os.path.join(samples, "holiday-photo.txt")],
                          capture_output=True, text=True, check=True, cwd=tmp_path, env=env)
    installed, title = done.stdout.splitlines()
    assert installed.startswith(str(venv)) and title == "PNG image"
