"""The library's text codecs; they need no server."""

from __future__ import annotations

from . import _library


def pack(text: str) -> str:
    """One Base64 line of the zlib-compressed text (in the system's code page; line
    breaks become CR LF, the text is trimmed)."""
    return _library.call("PackString", text)


def unpack(text: str) -> str:
    """Reverses pack; a text that is not packed comes back trimmed, line breaks as CR LF."""
    return _library.call("UnPackString", text)


def encode(text: str) -> str:
    """Escapes ; & , TAB CR LF { } as entities, so that the text can be stored as one field."""
    return _library.call("DataEncode", text)


def decode(text: str) -> str:
    """Reverses encode (entities in any letter case)."""
    return _library.call("DataDecode", text)


def value_count(text: str, delimiter: str, single: bool = False) -> int:
    """The number of fields of the trimmed text split at delimiter; a text without the
    delimiter counts 1 when single is set, else 0."""
    return int(_library.call("ValueCount", text, delimiter, single))


def value(text: str, index: int, delimiter: str) -> str:
    """Field number index (from 0) of the trimmed text split at delimiter; "" when there
    is no such field."""
    return _library.call("ValueFromString", text, index, delimiter)
