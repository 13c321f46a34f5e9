"""Scripts: answers, and whether Script started a transfer thread (the binding
waits for its last message only then)."""

import pytest

import qvn
from qvn import _script
from conftest import CREDENTIALS


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
def test_the_binding_reads_scripts_as_the_library_does(client: qvn.Client, body: str,
                                                       starts: bool) -> None:
    text = CREDENTIALS + "\r\n" + body
    shape = _script.shape_of(text, client.port, client.file_port)
    answer = client.script(text)
    assert (shape.starts_transfers, answer.startswith(_script.STARTED)) == (starts, starts)


def test_waits_for_transfers_behind_clearsync(client: qvn.Client, tmp_path) -> None:
    # CLEARSYNC replaces "File transfer started : ...": the script tells instead.
    local = tmp_path / "behind-clearsync.bin"
    local.write_bytes(b"c" * 700_000)
    seen = []
    answer = client.script(f"{CREDENTIALS}\r\nCLEARSYNC\r\nFILES [UPLOAD]\r\n"
                           f"{{{local},..\\py\\behind-clearsync.bin}}", progress=seen.append)
    assert not answer.startswith(_script.STARTED)
    assert seen and seen[-1].complete  # the final report came before script returned
