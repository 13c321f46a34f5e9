"""Finding and loading libqvn.so / qvn.dll, and the text that crosses it.

The library's text is NUL-terminated UTF-16 in native byte order: char16_t on
Linux, wchar_t on Windows. ctypes' c_wchar_p is 32 bits wide on Linux, so
text goes in as bytes and comes back through a raw pointer instead.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from pathlib import Path
from typing import Any, Optional

from .errors import ConfigurationError, LibraryNotFound

WINDOWS = sys.platform == "win32"
_CODEC = "utf-16-le" if sys.byteorder == "little" else "utf-16-be"
_PAGE = 4096  # every page size is a multiple of it

_text = ctypes.c_char_p  # an argument: the encoded bytes, NUL-terminated
_result = ctypes.c_void_p  # a result: kept as an address for ScriptFree
_u16 = ctypes.c_uint16
_i32 = ctypes.c_int32
_bool = ctypes.c_bool

# The 17 exports: name -> (argument types, result type).
_PROTOTYPES: dict[str, tuple[list[Any], Any]] = {
    "Script": ([ctypes.c_void_p, _text, _text, _u16, _u16], _result),
    "ScriptFree": ([ctypes.c_void_p], None),
    "TryConnect": ([_text, _u16, _i32], _bool),
    "TryDbPassword": ([_text, _u16, _text], _result),
    "ShowDbName": ([_text, _u16], _result),
    "ChangeUniquePass": ([_text, _u16, _text, _text, _text, _text], _result),
    "DbMessageFile": ([_text, _u16, _text], _result),
    "DbMessagePipe": ([_text, _u16, _text], _result),
    "DbMessageTcp": ([_text, _u16, _text, _u16, _text], _result),
    "UserAuthentication": ([_text, _u16, _text, _text], _result),
    "UpdateIsAvailable": ([_text, _u16, _text, _text, _i32, _text, _i32], _bool),
    "PackString": ([_text], _result),
    "UnPackString": ([_text], _result),
    "DataEncode": ([_text], _result),
    "DataDecode": ([_text], _result),
    "ValueCount": ([_text, _text, _bool], _i32),
    "ValueFromString": ([_text, _i32, _text], _result),
}

TIMEOUT_VARIABLES = ("QVN_CONNECT_TIMEOUT_MS", "QVN_IO_TIMEOUT_MS", "QVN_OPERATION_TIMEOUT_MS")
# The exports that connect to the server, and so make the library read them.
_CONNECTING = frozenset(("Script", "TryConnect", "TryDbPassword", "ShowDbName", "ChangeUniquePass",
                         "DbMessageFile", "DbMessagePipe", "DbMessageTcp", "UserAuthentication",
                         "UpdateIsAvailable"))
_timeouts_checked = False  # a check passed: the library holds what it read

_lock = threading.Lock()
_library: Optional[ctypes.CDLL] = None
calls_made = False  # whether the library may have read its time-outs yet


def _library_file_name() -> str:
    return "qvn.dll" if WINDOWS else "libqvn.so.1"


def _candidates() -> list[tuple[str, Optional[str]]]:
    """Where to look, in order: (description, path or None when not found)."""
    explicit = os.environ.get("QVN_LIBRARY")
    if explicit:
        # An explicit choice is not second-guessed by a search.
        return [("QVN_LIBRARY", explicit)]
    beside = Path(__file__).resolve().parent / _library_file_name()
    return [
        ("QVN_LIBRARY", None),  # not set
        ('ctypes.util.find_library("qvn")', ctypes.util.find_library("qvn")),
        ("beside the package", str(beside) if beside.exists() else None),
    ]


def load(path: Optional[str] = None) -> ctypes.CDLL:
    """Loads the library once per process (from `path` if given) and returns it."""
    global _library
    if _library is not None:
        return _library
    with _lock:
        if _library is not None:
            return _library
        tried = []
        candidates: list[tuple[str, Optional[str]]] = [("path", path)] if path else _candidates()
        for where, candidate in candidates:
            if candidate is None:
                tried.append(f"{where}: not set" if where == "QVN_LIBRARY" else f"{where}: nothing")
                continue
            try:
                library = ctypes.CDLL(candidate)
            except OSError as error:
                tried.append(f"{where}: {candidate}: {error}")
                continue
            missing = [name for name in _PROTOTYPES if not hasattr(library, name)]
            if missing:
                tried.append(f"{where}: {candidate}: not the qvn library (no {missing[0]})")
                continue
            for name, (arguments, result) in _PROTOTYPES.items():
                function = getattr(library, name)
                function.argtypes = arguments
                function.restype = result
            _library = library
            return library
        beside = Path(__file__).resolve().parent / _library_file_name()
        raise LibraryNotFound(
            "the qvn library was not found; looked at "
            + "; ".join(tried)
            + f". Set QVN_LIBRARY to the path of {_library_file_name()}, install it where the "
            f"system finds libraries, or put it at {beside}."
        )


def encode(text: Optional[str]) -> bytes:
    """A text argument: UTF-16 with its NUL. The library reads up to the first NUL;
    unpaired surrogates of a Python string go as they are."""
    if text is None:
        return b"\0\0"
    if not isinstance(text, str):
        raise TypeError(f"expected str, got {type(text).__name__}")
    return text.encode(_CODEC, errors="surrogatepass") + b"\0\0"


def read_text(address: Optional[int]) -> str:
    """The NUL-terminated UTF-16 text at address; unpaired surrogates become U+FFFD.

    Reads a page at a time: a page that holds part of the text is mapped
    whole, and units never straddle pages, so no read goes past the text's
    last page.
    """
    if not address:
        return ""
    pieces = []
    start = address
    while True:
        end = (start // _PAGE + 1) * _PAGE
        chunk = ctypes.string_at(start, end - start)
        at = chunk.find(b"\0\0")
        while at != -1 and (start + at - address) % 2:
            at = chunk.find(b"\0\0", at + 1)
        if at != -1:
            pieces.append(chunk[:at])
            break
        pieces.append(chunk)
        start = end
    return b"".join(pieces).decode(_CODEC, errors="replace")


def timeout_ms(value: str) -> Optional[int]:
    """The bound a time-out variable's value sets, by the library's rule: 0 (no
    limit) for the empty value or zeros, else the number of a plain decimal of at
    most nine ASCII digits; None for anything else (malformed: the library would
    set no limit)."""
    if len(value) > 9 or any(c not in "0123456789" for c in value):
        return None
    return int(value) if value else 0


def check_timeouts() -> None:
    """Raises ConfigurationError for a time-out variable the library would read as
    no limit though it is set to something else."""
    for name in TIMEOUT_VARIABLES:
        value = os.environ.get(name, "")
        if timeout_ms(value) is None:
            raise ConfigurationError(f"{name} is {value!r}: not a whole number of milliseconds "
                                     "from 0 to 999999999 (0: no limit)")


def call(name: str, *arguments: Any) -> Any:
    """Calls an export; text arguments (str or None) are encoded, a text result is
    read and released with ScriptFree. A call that connects is refused while a
    time-out variable is malformed (checked until a check passes: the library reads
    them once, at its first connection)."""
    global calls_made, _timeouts_checked
    if name in _CONNECTING and not _timeouts_checked:
        check_timeouts()
        _timeouts_checked = True
    library = load()
    function = getattr(library, name)  # a ctypes function: argtypes, restype
    encoded = [
        encode(a) if kind is _text else a for kind, a in zip(function.argtypes, arguments)
    ]
    calls_made = True
    result = function(*encoded)
    if function.restype is not _result:
        return result
    try:
        return read_text(result)
    finally:
        library.ScriptFree(result)
