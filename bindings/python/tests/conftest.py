"""A qvn-server on free loopback ports for the whole session.

The server is QVN_SERVER, else bin/qvn-server of the build that QVN_LIBRARY
points into (build/linux/lib/libqvn.so -> build/linux/bin/qvn-server).
"""

from __future__ import annotations

import os
import re
import subprocess
from pathlib import Path
from typing import Iterator, NamedTuple

import pytest

import qvn

DB_NAME = "Python base ✓ \U0001D11E"
CREDENTIALS = "dbsecret@alice@alicepw"


class Server(NamedTuple):
    port: int
    file_port: int
    data: Path  # the data folder: files/ holds what "..\" names


def _server_binary() -> str:
    explicit = os.environ.get("QVN_SERVER")
    if explicit:
        return explicit
    library = os.environ.get("QVN_LIBRARY")
    if library:
        candidate = Path(library).resolve().parent.parent / "bin" / "qvn-server"
        if candidate.exists():
            return str(candidate)
    pytest.fail("set QVN_SERVER (or QVN_LIBRARY inside a CMake build) to find qvn-server")


@pytest.fixture(scope="session")
def server(tmp_path_factory: pytest.TempPathFactory) -> Iterator[Server]:
    binary = _server_binary()
    data = tmp_path_factory.mktemp("server-data")
    subprocess.run([binary, "init", str(data), "--db-name", DB_NAME, "--db-password", "dbsecret",
                    "--user", "alice:alicepw", "--user", "bob:bobpw"],
                   check=True, stdout=subprocess.DEVNULL)
    process = subprocess.Popen([binary, "--data", str(data), "--port", "0", "--file-port", "0",
                                "--quiet"], stdout=subprocess.PIPE, text=True)
    try:
        assert process.stdout is not None
        line = process.stdout.readline()  # "qvn-server listening: port=N file-port=M"
        found = re.search(r" port=(\d+) file-port=(\d+)", line)
        if not found:
            pytest.fail(f"qvn-server did not start: {line!r}")
        yield Server(int(found.group(1)), int(found.group(2)), data)
    finally:
        process.terminate()
        process.wait(timeout=60)


@pytest.fixture
def client(server: Server) -> qvn.Client:
    return qvn.Client("127.0.0.1", server.port, server.file_port)


@pytest.fixture(autouse=True)
def hang_guard() -> Iterator[None]:
    """A test that waits for a message that never comes ends the run with every
    thread's traceback instead of hanging it."""
    import faulthandler
    faulthandler.dump_traceback_later(300, exit=True)
    yield
    faulthandler.cancel_dump_traceback_later()
