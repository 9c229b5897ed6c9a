"""Tells what kind of file a file really is, from its bytes: libkindsniffer from Python.

    import kindsniffer
    signatures = kindsniffer.open()             # the set shipped with the library
    answer = signatures.identify("photo.txt")   # a path, or the bytes themselves
    print(answer.state, answer.title, answer.extensions, answer.mime, answer.general)

The library is the file that the environment variable KINDSNIFFER_LIBRARY
names, when it is set. Else it is found, in this order: a copy beside this
module; the system's loader (libkindsniffer.so.0 as the libkindsniffer0
package installs it, or on LD_LIBRARY_PATH; kindsniffer.dll on PATH);
ctypes.util.find_library.

One set may be used from many threads at once: the library changes nothing in
it, and ctypes lets go of the interpreter lock for the length of each call.
"""
import ctypes
import ctypes.util
import dataclasses
import os
import sys
import threading

__all__ = ["Error", "Result", "SignatureSet", "open", "library_version"]

# The interface version this module was written against; a library that is older lacks a function it calls.
API_VERSION = 1

_OK = 0
_STATES = {0: "undetermined", 1: "detected", 2: "unreadable"}
_EXPLAIN = 1


class Error(Exception):
    """The library could not be loaded, or a signature set did not open.

    str(error) is the library's own message. code is its kindsniffer_error_code
    (0 when the library itself was not found), system_error the system's error
    number where reading failed, line and column where the XML fails."""

    def __init__(self, message, code=0, system_error=0, line=0, column=0):
        super().__init__(message)
        self.code = code
        self.system_error = system_error
        self.line = line
        self.column = column


class _ErrorStruct(ctypes.Structure):
    _fields_ = [("code", ctypes.c_int32), ("system_error", ctypes.c_int32), ("line", ctypes.c_uint32),
                ("column", ctypes.c_uint32), ("message", ctypes.c_char * 512)]


@dataclasses.dataclass(frozen=True)
class Result:
    """One answer: state is "detected", "undetermined" or "unreadable", as in the console program's --json.

    title, extensions (each with its period, the first the one to offer), mime
    ("" when the type has none) and general (a family of formats rather than
    one, so not a name to rename by) describe a detected type. An unreadable
    file has error (the system's message) and errno; basis is filled when
    identify was asked to explain."""

    state: str
    title: str = ""
    extensions: tuple = ()
    mime: str = ""
    general: bool = False
    error: str = ""
    errno: int = 0
    basis: str = ""


_library = None
_library_lock = threading.Lock()


def _candidates():
    """Where the library may be, first to last: (what to hand to CDLL, whether it is a path to check)."""
    named = os.environ.get("KINDSNIFFER_LIBRARY")
    if named:
        # A library named on purpose is the only one: another found instead would hide the mistake.
        yield named, True
        return
    if sys.platform == "win32":
        file_name = "kindsniffer.dll"
    elif sys.platform == "darwin":
        file_name = "libkindsniffer.0.dylib"
    else:
        file_name = "libkindsniffer.so.0"
    yield os.path.join(os.path.dirname(os.path.abspath(__file__)), file_name), True
    yield file_name, False
    found = ctypes.util.find_library("kindsniffer")
    if found:
        yield found, False


def _declare(lib):
    c = ctypes
    signatures = {
        "kindsniffer_api_version": (c.c_int, []),
        "kindsniffer_version": (c.c_char_p, []),
        "kindsniffer_set_open_file": (c.c_void_p, [c.c_char_p, c.POINTER(_ErrorStruct)]),
        "kindsniffer_set_open_memory": (c.c_void_p, [c.c_char_p, c.c_size_t, c.POINTER(_ErrorStruct)]),
        "kindsniffer_set_open_shipped": (c.c_void_p, [c.POINTER(_ErrorStruct)]),
        "kindsniffer_set_type_count": (c.c_size_t, [c.c_void_p]),
        "kindsniffer_set_free": (None, [c.c_void_p]),
        "kindsniffer_identify_file": (c.c_void_p, [c.c_void_p, c.c_char_p, c.c_uint]),
        "kindsniffer_identify_buffer": (c.c_void_p, [c.c_void_p, c.c_char_p, c.c_size_t, c.c_uint]),
        "kindsniffer_result_free": (None, [c.c_void_p]),
        "kindsniffer_result_state": (c.c_int, [c.c_void_p]),
        "kindsniffer_result_title": (c.c_char_p, [c.c_void_p]),
        "kindsniffer_result_extension_count": (c.c_size_t, [c.c_void_p]),
        "kindsniffer_result_extension": (c.c_char_p, [c.c_void_p, c.c_size_t]),
        "kindsniffer_result_mime_type": (c.c_char_p, [c.c_void_p]),
        "kindsniffer_result_general": (c.c_int, [c.c_void_p]),
        "kindsniffer_result_system_error": (c.c_int, [c.c_void_p]),
        "kindsniffer_result_error_message": (c.c_char_p, [c.c_void_p]),
        "kindsniffer_result_basis": (c.c_char_p, [c.c_void_p]),
    }
    for name, (restype, argtypes) in signatures.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes


def _load():
    global _library
    with _library_lock:
        if _library is not None:
            return _library
        tried = []
        for name, is_path in _candidates():
            if is_path and not os.path.exists(name):
                tried.append(f"{name}: no such file")
                continue
            try:
                lib = ctypes.CDLL(name)
            except OSError as error:
                tried.append(f"{name}: {error}")
                continue
            try:
                _declare(lib)
            except AttributeError as error:
                raise Error(f"{name} is no libkindsniffer: {error}") from None
            version = lib.kindsniffer_api_version()
            if version < API_VERSION:
                raise Error(f"{name} offers interface version {version}; this module needs {API_VERSION} or later")
            _library = lib
            return lib
        raise Error("libkindsniffer not found; set KINDSNIFFER_LIBRARY to its path. Tried:\n  " + "\n  ".join(tried))


def library_version():
    """The release of the library loaded, "0.4.0"."""
    return _load().kindsniffer_version().decode()


def _text(value):
    return value.decode("utf-8", "replace") if value else ""


def _is_buffer(value):
    return isinstance(value, (bytes, bytearray, memoryview))


def _path_bytes(path):
    """The file system's own bytes for a path: UTF-8 on Windows, whatever the name holds on POSIX."""
    encoded = os.fsencode(path)
    # The library reads a C string, which would end at a NUL and name another file.
    if b"\0" in encoded:
        raise ValueError("embedded null byte in path")
    return encoded


class SignatureSet:
    """An opened signature set, for any number of threads at once. Close it with close(), or use it in a
    with block, once no identify call is running on it; else it is freed when collected."""

    def __init__(self, lib, handle):
        self._lib = lib
        self._handle = handle

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        self.close()

    def close(self):
        handle, self._handle = getattr(self, "_handle", None), None
        if handle:
            self._lib.kindsniffer_set_free(handle)

    def __len__(self):
        """The number of types the set can report."""
        return self._lib.kindsniffer_set_type_count(self._live())

    def _live(self):
        if not self._handle:
            raise ValueError("the signature set is closed")
        return self._handle

    def identify(self, path_or_bytes, explain=False):
        """The answer for a file (a str or os.PathLike path) or for bytes held in memory
        (bytes, bytearray or memoryview, taken as a file's whole contents)."""
        lib, flags = self._lib, _EXPLAIN if explain else 0
        if _is_buffer(path_or_bytes):
            data = bytes(path_or_bytes)
            result = lib.kindsniffer_identify_buffer(self._live(), data, len(data), flags)
        else:
            result = lib.kindsniffer_identify_file(self._live(), _path_bytes(path_or_bytes), flags)
        if not result:
            raise MemoryError("libkindsniffer ran out of memory")
        try:
            code = lib.kindsniffer_result_state(result)
            if code not in _STATES:
                raise Error(f"libkindsniffer gave the unknown state {code}")
            state = _STATES[code]
            basis = _text(lib.kindsniffer_result_basis(result))
            if state == "unreadable":
                return Result(state, error=_text(lib.kindsniffer_result_error_message(result)),
                              errno=lib.kindsniffer_result_system_error(result), basis=basis)
            if state == "undetermined":
                return Result(state, basis=basis)
            extensions = [_text(lib.kindsniffer_result_extension(result, i))
                          for i in range(lib.kindsniffer_result_extension_count(result))]
            return Result(state, title=_text(lib.kindsniffer_result_title(result)), extensions=tuple(extensions),
                          mime=_text(lib.kindsniffer_result_mime_type(result)),
                          general=bool(lib.kindsniffer_result_general(result)), basis=basis)
        finally:
            lib.kindsniffer_result_free(result)


def open(path=None):
    """Opens a signature set: the one shipped with the library when path is None, else the file
    at path (a str or os.PathLike), or the set's own bytes (bytes, bytearray or memoryview).

    Raises Error with the library's message when the set cannot be read or is no well-formed set."""
    lib = _load()
    error = _ErrorStruct()
    if path is None:
        handle = lib.kindsniffer_set_open_shipped(ctypes.byref(error))
    elif _is_buffer(path):
        data = bytes(path)
        handle = lib.kindsniffer_set_open_memory(data, len(data), ctypes.byref(error))
    else:
        handle = lib.kindsniffer_set_open_file(_path_bytes(path), ctypes.byref(error))
    if not handle:
        if error.code == _OK:
            raise MemoryError("libkindsniffer ran out of memory")
        raise Error(_text(error.message), error.code, error.system_error, error.line, error.column)
    return SignatureSet(lib, handle)
