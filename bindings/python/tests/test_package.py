"""The package itself: its version, and how it finds the library."""

import ctypes.util
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import qvn
from conftest import CREDENTIALS, Server

CMAKE_LISTS = Path(__file__).resolve().parents[3] / "CMakeLists.txt"


def test_version_is_the_librarys() -> None:
    version = re.search(r"project\(qvn VERSION (\S+)", CMAKE_LISTS.read_text()).group(1)
    assert qvn.__version__ == version
    # Also when imported from the source tree, where the build wrote no _version.py.
    child = "import qvn; print(qvn.__file__, qvn.__version__)"
    done = subprocess.run([sys.executable, "-c", child], capture_output=True, text=True,
                          env=dict(os.environ, PYTHONPATH=str(CMAKE_LISTS.parent / "bindings/python")))
    assert done.stdout.split() == [str(CMAKE_LISTS.parent / "bindings/python/qvn/__init__.py"),
                                   version], done.stdout + done.stderr


@pytest.mark.parametrize("library, says", [
    ("/nonexistent/libqvn.so.1", "/nonexistent/libqvn.so.1"),
    (ctypes.util.find_library("z"), "not the qvn library"),
])
def test_library_not_found_says_where_it_looked(library: str, says: str) -> None:
    child = "import qvn\ntry:\n    qvn.encode('x')\nexcept qvn.LibraryNotFound as e:\n    print(e)"
    done = subprocess.run([sys.executable, "-c", child], capture_output=True, text=True,
                          env=dict(os.environ, QVN_LIBRARY=library))
    assert "QVN_LIBRARY" in done.stdout and says in done.stdout, done.stdout + done.stderr


EXAMPLES = Path(__file__).resolve().parents[1] / "examples"


@pytest.mark.parametrize("example", ["transfer_progress.py", "progress_on_main_thread.py"])
def test_example_usage_needs_no_library(example: str) -> None:
    done = subprocess.run([sys.executable, str(EXAMPLES / example), "--help"], capture_output=True,
                          text=True, env=dict(os.environ, QVN_LIBRARY="/nonexistent/libqvn.so.1"))
    assert done.returncode == 0 and f"usage: {example}" in done.stdout, done.stdout + done.stderr


def test_progress_example_uploads(server: Server, tmp_path: Path) -> None:
    local = tmp_path / "example.bin"
    local.write_bytes(os.urandom(700_000))
    done = subprocess.run([sys.executable, str(EXAMPLES / "progress_on_main_thread.py"), str(local)],
                          capture_output=True, text=True, timeout=120,
                          env=dict(os.environ, QVN_PORT=str(server.port),
                                   QVN_FILE_PORT=str(server.file_port), QVN_CREDENTIALS=CREDENTIALS))
    assert done.returncode == 0 and "(100%)" in done.stdout, done.stdout + done.stderr
    assert (server.data / "files" / "examples" / "example.bin").read_bytes() == local.read_bytes()


def test_a_missing_wheel_package_is_named(tmp_path) -> None:
    # An older setuptools without the wheel package: pip's build stops with
    # what to install instead of "invalid command 'bdist_wheel'".
    setup_py = Path(__file__).resolve().parents[1] / "setup.py"
    child = ("import runpy, sys\n"
             "sys.modules['wheel'] = None\n"
             "sys.modules['setuptools.command.bdist_wheel'] = None\n"
             "sys.argv = ['setup.py', 'dist_info']\n"
             f"runpy.run_path({str(setup_py)!r})\n")
    done = subprocess.run([sys.executable, "-c", child], capture_output=True, text=True,
                          cwd=tmp_path, timeout=60)
    assert done.returncode != 0
    assert "python3-wheel" in done.stderr
