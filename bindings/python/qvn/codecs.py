"""The library's text codecs; they need no server."""

from __future__ import annotations

from . import _library


def pack(text: str) -> str:
    """One Base64 line of the zlib-compressed text (in the system's code page; line
    breaks become CR LF, the text is trimmed)."""
    answer: str = _library.call("PackString", text)
    return answer


def unpack(text: str) -> str:
    """Reverses pack; a text that is not packed comes back trimmed, line breaks as CR LF."""
    answer: str = _library.call("UnPackString", text)
    return answer


def encode(text: str) -> str:
    """Escapes ; & , TAB CR LF { } as entities, so that the text can be stored as one field."""
    answer: str = _library.call("DataEncode", text)
    return answer


def decode(text: str) -> str:
    """Reverses encode (entities in any letter case)."""
    answer: str = _library.call("DataDecode", text)
    return answer


def value_count(text: str, delimiter: str, single: bool = False) -> int:
    """The number of fields of the trimmed text split at delimiter; a text without the
    delimiter counts 1 when single is set, else 0."""
    return int(_library.call("ValueCount", text, delimiter, single))


def value(text: str, index: int, delimiter: str) -> str:
    """Field number index (from 0) of the trimmed text split at delimiter; "" when there
    is no such field."""
    answer: str = _library.call("ValueFromString", text, index, delimiter)
    return answer
