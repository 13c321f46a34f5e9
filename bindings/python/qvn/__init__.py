"""qvn: Python binding of the client library of the Quarven NoSQL database server.

Pure Python over ctypes: it loads libqvn.so (Linux) or qvn.dll (64-bit Windows)
from QVN_LIBRARY, else where ctypes.util.find_library("qvn") finds it, else
beside this package.

    import qvn
    server = qvn.Client("127.0.0.1", 7711, 7712)
    print(server.db_name())
    print(server.script("dbpw@alice@secret\\r\\nlist Products"))
    server.upload("dbpw@alice@secret", "report.pdf", qvn.server_name("docs/report.pdf"),
                  progress=lambda p: print(p.percent))

Text is str both ways; answers that mean failure raise qvn.Error subclasses.
"""

import importlib as _importlib

from ._library import load as load_library
from ._sections import server_name
from .client import Client, set_timeouts
from .codecs import decode, encode, pack, unpack, value, value_count
from .errors import (ConfigurationError, ConnectionFailed, Error, LibraryNotFound, NoAnswer,
                     Refused, TransferFailed)
from .transfers import CANCEL, Outcome, Progress, TransferStatus

try:
    # Written by the package's build (setup.py), so not there to import statically.
    __version__: str = _importlib.import_module("._version", __name__).__version__
except ImportError:  # imported straight from the source tree: the project's version
    import re as _re
    from pathlib import Path as _Path

    _project = _Path(__file__).resolve().parents[3] / "CMakeLists.txt"
    _found = _re.search(r"^project\(qvn VERSION (\S+)", _project.read_text(encoding="utf-8")
                        if _project.is_file() else "", _re.MULTILINE)
    __version__ = _found.group(1) if _found else "0+unknown"

__all__ = [
    "CANCEL", "Client", "ConfigurationError", "ConnectionFailed", "Error", "LibraryNotFound", "NoAnswer", "Outcome",
    "Progress", "Refused", "TransferFailed", "TransferStatus", "__version__", "decode", "encode",
    "load_library", "pack", "server_name", "set_timeouts", "unpack", "value", "value_count",
]
