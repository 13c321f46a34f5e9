"""Uploads and downloads with progress, cancel and failures, and the time-outs."""

import os
import signal
import subprocess
import sys
import textwrap

import pytest

import qvn
from conftest import CREDENTIALS, Server

NAME = "a*b ✓ \U0001D11E.bin"  # "*" is the progress text's separator


def test_upload_and_download(client: qvn.Client, tmp_path) -> None:
    content = os.urandom(1_500_000)
    local = tmp_path / NAME
    local.write_bytes(content)
    name = qvn.server_name("py/" + NAME)
    reports = []
    client.upload(CREDENTIALS, local, name, progress=reports.append)
    back = tmp_path / "back.bin"  # the server serves a download after the uploads before it
    client.download(CREDENTIALS, name, back, progress=reports.append)
    assert back.read_bytes() == content
    last_up = [r for r in reports if r.upload][-1]
    last_down = [r for r in reports if not r.upload][-1]
    assert (last_up.client_file, last_up.server_file, last_up.size) == (str(local), name, len(content))
    assert last_up.complete and last_up.percent == 100.0
    assert (last_down.client_file, last_down.server_file) == (str(back), name)
    assert last_down.count >= last_down.size == len(content)


def test_progress_exception_is_reported_not_raised(client: qvn.Client, tmp_path) -> None:
    local = tmp_path / "warned.bin"
    local.write_bytes(b"w" * 400_000)

    def broken(progress: qvn.Progress) -> None:
        raise KeyError("a bug in the host's progress bar")

    with pytest.warns(RuntimeWarning, match="a bug in the host"):
        client.upload(CREDENTIALS, local, "..\\py\\warned.bin", progress=broken)


@pytest.mark.parametrize("upload", [True, False])
def test_cancel(client: qvn.Client, server: Server, tmp_path, upload: bool) -> None:
    (server.data / "files" / "py").mkdir(parents=True, exist_ok=True)
    (server.data / "files" / "py" / "big.bin").write_bytes(b"s" * 2_000_000)
    local = tmp_path / "big.bin"
    local.write_bytes(b"l" * 2_000_000)
    with pytest.raises(qvn.TransferFailed) as failed:
        if upload:
            client.upload(CREDENTIALS, local, "..\\py\\cancelled.bin", progress=lambda p: qvn.CANCEL)
        else:
            client.download(CREDENTIALS, "..\\py\\big.bin", local, progress=lambda p: qvn.CANCEL)
    assert [o.status for o in failed.value.failures] == [qvn.TransferStatus.CANCELLED]
    # The text names the files in the direction the bytes went.
    client_file = failed.value.failures[0].client_file
    went = (f"upload {client_file} -> ..\\py\\cancelled.bin" if upload
            else f"download ..\\py\\big.bin -> {client_file}")
    assert f"{went}: cancelled" in str(failed.value)
    assert local.read_bytes() == b"l" * 2_000_000  # a cancelled download leaves the target
    assert not (server.data / "files" / "py" / "cancelled.bin").exists()


def test_failures(client: qvn.Client, tmp_path) -> None:
    with pytest.raises(qvn.TransferFailed) as failed:
        client.download(CREDENTIALS, "..\\py\\no such file.bin", tmp_path / "never.bin")
    assert [o.status for o in failed.value.failures] == [qvn.TransferStatus.FAILED]
    assert failed.value.failures[0].server_file == "..\\py\\no such file.bin"
    assert not (tmp_path / "never.bin").exists()
    with pytest.raises(FileNotFoundError):
        client.upload(CREDENTIALS, tmp_path / "missing.bin", "..\\py\\x.bin")


@pytest.mark.parametrize("local, name", [
    ("a.bin", "docs\\a.bin"),  # no "..\" or ".@\" prefix
    ("a\r\nFILES [DOWNLOAD]", "..\\a.bin"),
    (" a.bin", "..\\a.bin"),
    ("a {1}.bin", "..\\a.bin"),
    ("a.bin", "..\\x,..\\y.bin"),
])
def test_names_a_file_section_cannot_carry(client: qvn.Client, local: str, name: str) -> None:
    with pytest.raises(ValueError):
        client.download(CREDENTIALS, name, local)


@pytest.mark.parametrize("text, client, server, share", [
    ("a*b.txt*..\\a*b.txt*9*3*33,33%**12*Download", "a*b.txt", "..\\a*b.txt", 33.33),
    ("a*b.txt*.@\\ab.txt*9*9*100.00%*tag*1*Upload", "a*b.txt", ".@\\ab.txt", 100.0),
    ("a*..\\b*..\\c*4*1*?%**1*Upload", "a", "..\\b*..\\c", 25.0),  # ambiguous: cut at the first
])
def test_progress_text(text: str, client: str, server: str, share: float) -> None:
    p = qvn.Progress.parse(text)
    assert (p.client_file, p.server_file, p.percent) == (client, server, share)


def test_server_name() -> None:
    assert qvn.server_name("docs/a b.txt") == "..\\docs\\a b.txt"
    assert qvn.server_name("a.txt", content=True) == ".@\\a.txt"
    for bad in ("/etc/passwd", "../up", "a//b", "a/./b", ""):
        with pytest.raises(ValueError):
            qvn.server_name(bad)


def test_timeouts_end_a_silent_server(tmp_path) -> None:
    # Its own process: the library reads the time-outs once per process.
    child = textwrap.dedent("""
        import socket, warnings, qvn
        silent = socket.create_server(("127.0.0.1", 0))  # accepts, never answers
        client = qvn.Client("127.0.0.1", silent.getsockname()[1], 0, timeout_ms=500)
        try:
            client.db_name()
        except qvn.ConnectionFailed:
            print("failed in time")
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            qvn.set_timeouts(1000)
        print(caught[0].category.__name__)
    """)
    done = subprocess.run([sys.executable, "-c", child], capture_output=True, text=True, timeout=60)
    assert done.stdout.split() == ["failed", "in", "time", "RuntimeWarning"], done.stderr


def test_ctrl_c_during_a_transfer_never_aborts(server: Server, tmp_path) -> None:
    # Ctrl-C while a progress callback runs: the interpreter shuts down under
    # the library's thread, and ends that thread with pthread_exit when it
    # calls back (here while the last garbage collection keeps the
    # interpreter busy). The process must end by the interrupt, never by abort() (134).
    local = tmp_path / "interrupted.bin"
    local.write_bytes(b"i" * 8_000_000)
    child = textwrap.dedent(f"""
        import gc, os, signal, time, qvn
        class SlowTeardown:
            def __del__(self, sleep=time.sleep):
                sleep(0.6)
        gc.disable()
        slow = SlowTeardown()
        slow.cycle = slow  # collected only by the interpreter's last collection
        del slow
        client = qvn.Client("127.0.0.1", {server.port}, {server.file_port})
        def progress(report):
            os.kill(os.getpid(), signal.SIGINT)
            time.sleep(0.2)  # returns into an interpreter that is shutting down
        client.upload({CREDENTIALS!r}, {str(local)!r}, "..\\\\py\\\\interrupted.bin", progress=progress)
    """)
    for _ in range(20):
        done = subprocess.run([sys.executable, "-c", child], capture_output=True, text=True,
                              timeout=60)
        assert "FATAL" not in done.stderr
        assert done.returncode == -signal.SIGINT, done.stderr
