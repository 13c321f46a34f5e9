"""Scripts: answers, and waiting for the one done message of every Script call."""

import pytest

import qvn
from conftest import CREDENTIALS

STARTED = "File transfer started : "


def test_answer_crosses_both_ways(client: qvn.Client) -> None:
    answer = client.script(CREDENTIALS + "\r\nadd Python=Grüße \U0001D11E\r\nlist Python")
    assert "Grüße \U0001D11E" in answer


# Sections without entries: the thread starts, has nothing to do, and ends.
@pytest.mark.parametrize("body, starts", [
    ("FILES [UPLOAD]\r\n}", True),
    ("  files   [ upload ] \r\n}\r\nlist T", True),
    ("content [ download ]}", True),
    ("FILES[UPLOAD]\r\n}", False),  # no blank before "[": a command line
    ("/FILES [UPLOAD]\r\nlist T", False),  # a comment line
    ("list T\r\nFILES [UPLOAD]", True),  # no "}": the rest of the script
])
def test_script_returns_with_or_without_a_transfer_thread(client: qvn.Client, body: str,
                                                          starts: bool) -> None:
    # Either way one done message ends the wait: the thread's, or Script's own.
    answer = client.script(CREDENTIALS + "\r\n" + body)
    assert answer.startswith(STARTED) == starts


def test_waits_for_transfers_behind_clearsync(client: qvn.Client, tmp_path) -> None:
    # CLEARSYNC replaces "File transfer started : ...": the script tells instead.
    local = tmp_path / "behind-clearsync.bin"
    local.write_bytes(b"c" * 700_000)
    seen = []
    answer = client.script(f"{CREDENTIALS}\r\nCLEARSYNC\r\nFILES [UPLOAD]\r\n"
                           f"{{{local},..\\py\\behind-clearsync.bin}}", progress=seen.append)
    assert not answer.startswith(STARTED)
    assert seen and seen[-1].complete  # the final report came before script returned
