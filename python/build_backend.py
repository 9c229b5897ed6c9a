"""Builds the kindsniffer wheel and source archive with the standard library alone.

pip builds a project in an isolated environment and first fetches its build
requirements from an index. With none to fetch, `pip install ./python` works
on a machine that reaches no index at all, in any virtual environment, with or
without setuptools. The module is pure Python, so its wheel is a zip of the
package plus the three metadata files the wheel format asks for.
"""
import base64
import hashlib
import io
import os
import re
import tarfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
PACKAGE = "kindsniffer"
# Entries dated as the zip format's earliest time, so that a wheel built twice is the same.
EPOCH = (1980, 1, 1, 0, 0, 0)


def _project():
    """The [project] table's plain `key = "text"` lines, which are all it holds but the license.

    Read by hand rather than with tomllib, which Python gained only in 3.11."""
    with open(os.path.join(HERE, "pyproject.toml"), encoding="utf-8") as f:
        text = f.read()
    table = re.search(r"^\[project\]\n(.*?)(?=^\[|\Z)", text, re.M | re.S).group(1)
    project = dict(re.findall(r'^([\w-]+) = "([^"]*)"$', table, re.M))
    project["license"] = re.search(r'^license = \{text = "([^"]*)"\}$', table, re.M).group(1)
    return project


def _metadata():
    project = _project()
    lines = ["Metadata-Version: 2.1", f"Name: {project['name']}", f"Version: {project['version']}",
             f"Summary: {project['description']}", f"Requires-Python: {project['requires-python']}",
             f"License: {project['license']}"]
    return "\n".join(lines) + "\n"


def _package_files():
    """The module's files as (path in the archive, bytes), in name order."""
    files = []
    for root, dirs, names in os.walk(os.path.join(HERE, PACKAGE)):
        dirs[:] = sorted(d for d in dirs if d != "__pycache__")
        for name in sorted(names):
            if name.endswith(".py"):
                path = os.path.join(root, name)
                with open(path, "rb") as f:
                    files.append((os.path.relpath(path, HERE).replace(os.sep, "/"), f.read()))
    return files


def _record_line(name, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}\n"


def _dist_info(project):
    return f"{project['name']}-{project['version']}.dist-info"


def _write_metadata(directory):
    project = _project()
    dist_info = os.path.join(directory, _dist_info(project))
    os.makedirs(dist_info, exist_ok=True)
    with open(os.path.join(dist_info, "METADATA"), "w", encoding="utf-8") as f:
        f.write(_metadata())
    return os.path.basename(dist_info)


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    return _write_metadata(metadata_directory)


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    project = _project()
    dist_info = _dist_info(project)
    name = f"{project['name']}-{project['version']}-py3-none-any.whl"
    entries = _package_files() + [
        (f"{dist_info}/METADATA", _metadata().encode()),
        (f"{dist_info}/WHEEL", b"Wheel-Version: 1.0\nGenerator: kindsniffer build_backend\n"
                               b"Root-Is-Purelib: true\nTag: py3-none-any\n"),
    ]
    record = "".join(_record_line(path, data) for path, data in entries) + f"{dist_info}/RECORD,,\n"
    entries.append((f"{dist_info}/RECORD", record.encode()))
    with zipfile.ZipFile(os.path.join(wheel_directory, name), "w", zipfile.ZIP_DEFLATED) as wheel:
        for path, data in entries:
            info = zipfile.ZipInfo(path, EPOCH)
            info.external_attr = 0o644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
    return name


def build_sdist(sdist_directory, config_settings=None):
    project = _project()
    base = f"{project['name']}-{project['version']}"
    files = [("PKG-INFO", _metadata().encode())] + _package_files()
    for extra in ("pyproject.toml", "build_backend.py"):
        with open(os.path.join(HERE, extra), "rb") as f:
            files.append((extra, f.read()))
    name = f"{base}.tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz", format=tarfile.PAX_FORMAT) as sdist:
        for path, data in sorted(files):
            info = tarfile.TarInfo(f"{base}/{path}")
            info.size = len(data)
            info.mode = 0o644
            sdist.addfile(info, io.BytesIO(data))
    return name
