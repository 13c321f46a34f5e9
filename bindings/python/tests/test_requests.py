"""The server commands against qvn-server, and the failure words as exceptions."""

import socket
import struct

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


# What the server's answers mean, as bindings/answers.tsv says: failures raise,
# answers that are data come back.
@pytest.mark.parametrize("method, arguments, outcome", [
    ("authenticate", ("nobody", "x"), qvn.Refused),
    ("authenticate", ("alice", "wrong"), qvn.Refused),
    ("change_password", ("dbsecret", "alice", "wrong", "new"), qvn.Refused),
    ("script", ("dbsecret@alice@wrong\r\nlist",), qvn.Refused),
    ("script", ("wrong\r\nlist",), qvn.Refused),
    ("check_password", ("dbsecret@alice@wrong",), "DENIED"),
    ("script", (CREDENTIALS + "\r\nfrobnicate",), "ERROR:"),
    ("script", (CREDENTIALS + "\r\nget NoSuchTable[0,99]-",), "NOT_FOUND"),
])
def test_answers_mean_what_the_table_says(client: qvn.Client, method: str, arguments: tuple,
                                          outcome: object) -> None:
    if isinstance(outcome, str):
        assert getattr(client, method)(*arguments).startswith(outcome)
    else:
        with pytest.raises(outcome):  # type: ignore[call-overload]
            getattr(client, method)(*arguments)


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
