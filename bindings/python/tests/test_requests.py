"""The server commands against qvn-server, and the failure words as exceptions."""

import socket
import struct
from pathlib import Path
from typing import Optional

import pytest

import qvn
from conftest import CREDENTIALS, DB_NAME, Server

UNREACHABLE = qvn.Client("127.0.0.1", 1, 0)  # nothing listens on port 1


def test_commands(client: qvn.Client, server: Server) -> None:
    assert client.try_connect(2000)
    assert client.db_name() == DB_NAME
    assert client.check_password(CREDENTIALS) == "OK"
    assert client.authenticate("alice", "alicepw") == "OK alice"
    assert client.change_password("dbsecret", "bob", "bobpw", "new ✓ pw") == "OK"
    assert client.check_password("dbsecret@bob@new ✓ pw") == "OK"
    assert not client.update_available(CREDENTIALS, "Versions", 0, "no such program", 1)


def test_messages(client: qvn.Client, server: Server) -> None:
    assert client.message_file("to the file ✓ \U0001D11E") == "OK"
    assert client.message_pipe("to the pipe") == "OK"
    messages = server.data / "messages"
    assert "to the file ✓ \U0001D11E\r\n" in (messages / "messages.txt").read_bytes().decode()
    assert "to the pipe\r\n" in (messages / "pipe.log").read_bytes().decode()
    with socket.create_server(("127.0.0.1", 0)) as receiver:
        port = receiver.getsockname()[1]
        assert client.message_tcp("127.0.0.1", port, "over TCP \U0001D11E") == "OK"
        connection, _ = receiver.accept()
        with connection, connection.makefile("rb") as stream:
            size = struct.unpack(">I", stream.read(4))[0]
            assert stream.read(size).decode("utf-16-le") == "over TCP \U0001D11E"


def _answer_cases() -> list:
    """tests/support/answer_cases.tsv: the cases every surface runs."""
    table = Path(__file__).resolve().parents[3] / "tests" / "support" / "answer_cases.tsv"
    rows = [line.split("\t") for line in table.read_text(encoding="utf-8").splitlines()
            if line and not line.startswith("#")]
    return [pytest.param(*row[1:], id=row[0]) for row in rows[1:]]


# The package's spelling of each call of the list.
_CALLS = {
    "ShowDbName": lambda c, a, tmp: c.db_name(),
    "TryDbPassword": lambda c, a, tmp: c.check_password(*a),
    "ChangeUniquePass": lambda c, a, tmp: c.change_password(*a),
    "UserAuthentication": lambda c, a, tmp: c.authenticate(*a),
    "Script": lambda c, a, tmp: c.script(*a),
    "Upload": lambda c, a, tmp: (tmp.joinpath("up.bin").write_bytes(b"u" * 32_000_000),
                                 c.upload(a[0], tmp / "up.bin", "..\\cases\\up.bin"))[1],
}


@pytest.mark.parametrize("server_state, call, arguments, meaning", _answer_cases())
def test_answers_mean_what_the_table_says(client: qvn.Client, tmp_path: Path, server_state: str,
                                          call: str, arguments: str, meaning: str) -> None:
    # The same list runs against the CLI and qvn.hpp (tests/tools, tests/api).
    filled = (arguments.replace("{db}", "dbsecret").replace("{user}", "alice")
              .replace("{pw}", "alicepw").replace("\\r\\n", "\r\n"))
    args = filled.split("|") if filled else []
    target = client if server_state == "up" else UNREACHABLE
    if meaning.startswith("data:"):
        assert _CALLS[call](target, args, tmp_path).startswith(meaning[5:])
    else:
        with pytest.raises(getattr(qvn, meaning)):
            _CALLS[call](target, args, tmp_path)


@pytest.mark.parametrize("method, arguments", [
    ("db_name", ()), ("check_password", (CREDENTIALS,)), ("change_password", ("d", "u", "p", "n")),
    ("authenticate", ("u", "p")), ("message_pipe", ("m",)), ("message_file", ("m",)),
    ("message_tcp", ("127.0.0.1", 9, "m")),
])
def test_unreachable_server_raises(method: str, arguments: tuple) -> None:
    with pytest.raises(qvn.ConnectionFailed):
        getattr(UNREACHABLE, method)(*arguments)


def test_unreachable_server_answers_false_or_none() -> None:
    assert not UNREACHABLE.try_connect(2000)
    assert not UNREACHABLE.update_available(CREDENTIALS, "T", 0, "x", 1)
    with pytest.raises(qvn.NoAnswer):
        UNREACHABLE.script(CREDENTIALS + "\r\nlist T")


TIMEOUT_VALUES = Path(__file__).resolve().parents[3] / "tests/support/timeout_values.tsv"


def _timeout_values() -> list[tuple[str, Optional[int]]]:
    lines = TIMEOUT_VALUES.read_text(encoding="utf-8").split("\n")
    rows = [line.split("\t") for line in lines if line and not line.startswith("#")][1:]
    return [(value, None if ms == "malformed" else int(ms)) for value, ms in rows]


@pytest.mark.parametrize("value, ms", _timeout_values())
def test_timeout_values_mean_what_the_shared_table_says(value: str, ms: Optional[int]) -> None:
    assert qvn._library.timeout_ms(value) == ms


def test_a_malformed_timeout_variable_is_refused(client: qvn.Client,
                                                 monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setattr(qvn._library, "_timeouts_checked", False)
    for name in qvn._library.TIMEOUT_VARIABLES:
        monkeypatch.setenv(name, "-5")
        with pytest.raises(qvn.ConfigurationError, match=f"{name} is '-5'"):
            client.db_name()
        with pytest.raises(qvn.ConfigurationError):
            client.script(CREDENTIALS + "\r\nlist")
        assert qvn.value("a@b", 1, "@") == "b"  # the codecs talk to no server
        monkeypatch.delenv(name)
    assert client.db_name() == DB_NAME
    with pytest.raises(ValueError):  # what the library would read as no limit
        qvn.set_timeouts(0, 0, 1_000_000_000)
