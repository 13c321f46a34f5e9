"""Text through the library and back: UTF-16 marshalling and the codecs (no server)."""

import pytest

import qvn

LONG = "x" * 5000 + "\U0001D11E" * 3000  # results that span several memory pages


@pytest.mark.parametrize("text", ["", "plain", "a;b&c{d}\t\r\n,", "Grüße ✓ 中文",
                                  "\U0001D11E pair \U0010FFFF", LONG])
def test_text_crosses_unchanged(text: str) -> None:
    escaped = qvn.encode(text)
    assert not set(",\t\r\n{}") & set(escaped)  # one field now
    assert qvn.decode(escaped) == text


@pytest.mark.parametrize("text, escaped", [
    ("a,b{c}", "a&#44;b&#123;c&#125;"),
    ("\ud800 lone \udc00", "\ufffd lone \ufffd"),  # unpaired surrogates come back as U+FFFD
    ("cut\0here", "cut"),  # the library reads up to the first NUL
    (None, ""),
])
def test_encode(text: str, escaped: str) -> None:
    assert qvn.encode(text) == escaped


@pytest.mark.parametrize("text, delimiter, single, count", [
    ("  a@b@c ", "@", False, 3), ("single", "@", False, 0), ("single", "@", True, 1),
    ("x\U0001D11Ey\U0001D11Ez", "\U0001D11E", False, 3),
])
def test_value_count(text: str, delimiter: str, single: bool, count: int) -> None:
    assert qvn.value_count(text, delimiter, single) == count


@pytest.mark.parametrize("text, index, delimiter, field", [
    ("  a@b@c ", 1, "@", "b"), ("a@b@c", 3, "@", ""), ("single", 0, "@", "single"),
    ("x\U0001D11Ey\U0001D11Ez", 2, "\U0001D11E", "z"),
])
def test_value(text: str, index: int, delimiter: str, field: str) -> None:
    assert qvn.value(text, index, delimiter) == field


def test_pack() -> None:
    assert qvn.pack("a") == "eNpL5OUCAAFKAA=="  # zlib and Base64 of "a" CR LF, as CPython makes it
    assert qvn.unpack(qvn.pack(" packed\ntext ")) == "packed\r\ntext"
