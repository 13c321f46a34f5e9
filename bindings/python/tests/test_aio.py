"""qvn.aio.Client: coroutines, progress on the loop's thread, cancelled tasks."""

import asyncio
import os
import threading

import pytest

import qvn
import qvn.aio
from conftest import CREDENTIALS, DB_NAME, Server


@pytest.fixture
def aio(server: Server) -> qvn.aio.Client:
    return qvn.aio.Client("127.0.0.1", server.port, server.file_port)


def test_commands_and_a_script(aio: qvn.aio.Client) -> None:
    async def main() -> tuple:
        # Both at once: neither blocks the loop.
        return await asyncio.gather(aio.db_name(), aio.script(
            CREDENTIALS + "\r\nadd Aio=Grüße\r\nlist Aio"), aio.try_connect(2000))

    name, answer, reachable = asyncio.run(main())
    assert (name, reachable) == (DB_NAME, True)
    assert "Grüße" in answer


def test_transfers_report_on_the_loop_thread(aio: qvn.aio.Client, tmp_path) -> None:
    content = os.urandom(1_000_000)
    local, back = tmp_path / "up.bin", tmp_path / "back.bin"
    local.write_bytes(content)
    reports: list = []

    async def main() -> int:
        seen = lambda p: reports.append((threading.get_ident(), p))  # noqa: E731
        await aio.upload(CREDENTIALS, local, "..\\aio\\up.bin", progress=seen)
        await aio.download(CREDENTIALS, "..\\aio\\up.bin", back, progress=seen)
        return threading.get_ident()

    loop_thread = asyncio.run(main())
    assert back.read_bytes() == content
    assert {thread for thread, _ in reports} == {loop_thread}
    directions = [p.upload for _, p in reports]
    assert directions == sorted(directions, reverse=True)  # the upload's, then the download's
    assert [p.complete for _, p in reports if p.upload][-1] and reports[-1][1].complete


# The server holds big.bin, the host l*; every case must leave both as they were.
@pytest.mark.parametrize("upload", [True, False])
@pytest.mark.parametrize("how", ["task cancelled in progress", "task cancelled, no progress",
                                 "progress returns CANCEL"])
def test_cancel(aio: qvn.aio.Client, server: Server, tmp_path, upload: bool, how: str) -> None:
    files = server.data / "files" / "aio"
    files.mkdir(parents=True, exist_ok=True)
    (files / "big.bin").write_bytes(b"s" * 2_000_000)
    local = tmp_path / "big.bin"
    local.write_bytes(b"l" * 2_000_000)
    reports: list = []

    async def main() -> None:
        task: "asyncio.Task[None]"

        def progress(p: qvn.Progress) -> object:
            reports.append(p)
            if how == "progress returns CANCEL":
                return qvn.CANCEL
            task.cancel()
            return None

        given = None if how == "task cancelled, no progress" else progress
        task = asyncio.create_task(
            aio.upload(CREDENTIALS, local, "..\\aio\\cancelled.bin", given) if upload
            else aio.download(CREDENTIALS, "..\\aio\\big.bin", local, given))
        if given is None:
            await asyncio.sleep(0)  # the call is on its way
            task.cancel()
        await task

    expected = asyncio.CancelledError if how.startswith("task") else qvn.TransferFailed
    with pytest.raises(expected):
        asyncio.run(main())
    # Cancelled at the first report, and over (its temporary file gone) before the raise.
    assert len(reports) == (0 if how == "task cancelled, no progress" else 1)
    assert os.listdir(tmp_path) == ["big.bin"] and local.read_bytes() == b"l" * 2_000_000
    assert not (files / "cancelled.bin").exists()
    assert (files / "big.bin").read_bytes() == b"s" * 2_000_000


def test_exceptions_are_those_of_qvn_client(aio: qvn.aio.Client, tmp_path) -> None:
    unreachable = qvn.aio.Client("127.0.0.1", 1, 0)
    local = tmp_path / "warned.bin"
    local.write_bytes(b"w" * 400_000)

    def broken(progress: qvn.Progress) -> None:
        raise KeyError("a bug in the host's progress bar")

    async def main() -> None:
        with pytest.raises(qvn.ConnectionFailed):
            await unreachable.db_name()
        with pytest.raises(qvn.NoAnswer):
            await unreachable.script(CREDENTIALS + "\r\nlist T")
        with pytest.raises(qvn.TransferFailed):
            await aio.download(CREDENTIALS, "..\\aio\\no such file.bin", tmp_path / "never.bin")
        with pytest.raises(FileNotFoundError):
            await aio.upload(CREDENTIALS, tmp_path / "missing.bin", "..\\aio\\x.bin")
        with pytest.warns(RuntimeWarning, match="a bug in the host"):  # and the upload goes on
            await aio.upload(CREDENTIALS, local, "..\\aio\\warned.bin", progress=broken)

    asyncio.run(main())
