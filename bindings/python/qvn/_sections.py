"""How the library reads a script: whether Script starts a transfer thread, and
one-entry file sections for upload and download.

Script answers "File transfer started : ..." when it starts the transfer
thread, unless a CLEARSYNC line replaces the answer text; the thread's last
message comes only when it was started. So the binding reads the script's
lines the way the library does (trimmed, no blank or "/" lines, no blanks
inside brackets, a lone "{" or "}" joined to its neighbour, sections from a
header through the first line ending in "}").
"""

from __future__ import annotations

import posixpath
import re
from typing import NamedTuple

_HEADERS = ("FILES [UPLOAD]", "FILES [DOWNLOAD]", "CONTENT [UPLOAD]", "CONTENT [DOWNLOAD]")
_BLANKS = "".join(map(chr, range(0x21)))  # every unit up to U+0020 is a blank
STARTED = "File transfer started : "


class ScriptShape(NamedTuple):
    starts_transfers: bool  # Script starts a transfer thread
    clear_sync: bool  # a CLEARSYNC line replaces the answer text


def _trim(s: str) -> str:
    return s.strip(_BLANKS)


def _collapse(s: str, pattern: str, replacement: str) -> str:
    s = _trim(s)
    while pattern in s:
        s = s.replace(pattern, replacement)
    return s


def _lines(s: str) -> list[str]:
    lines = re.split("\r\n|\r|\n", s)
    if lines[-1] == "":
        lines.pop()
    return lines


def _upper_trim(s: str) -> str:
    # One unit at a time, as the library does: no "ß" -> "SS".
    return "".join(u if len(u := c.upper()) == 1 else c for c in _trim(s))


def _is_header(line: str) -> bool:
    return _upper_trim(_collapse(line, "  ", " ")).startswith(_HEADERS)


def shape_of(script: str, port: int, file_port: int) -> ScriptShape:
    """What Script(script, port, file_port) will do about transfers."""
    script = script.split("\0", 1)[0]
    if port == 0 or file_port == 0 or len(_lines(script)) == 1:
        return ScriptShape(False, False)
    kept = (_trim(line) for line in _lines(_trim(script)))
    text = "".join(line + "\r\n" for line in kept if line and not line.startswith("/"))
    for pattern, replacement in (("[ ", "["), (" ]", "]"), ("{\r\n", "{"), ("\r\n}", "}")):
        text = _collapse(text, pattern, replacement)
    lines = _lines(text)
    in_section = [False] * len(lines)
    for k, line in enumerate(lines):
        if in_section[k] or not _is_header(line):
            continue
        for i in range(k, len(lines)):
            in_section[i] = True
            if lines[i].endswith("}"):
                break
    commands = [line for line, moved in zip(lines, in_section) if not moved and _trim(line)]
    return ScriptShape(any(in_section) and bool(commands),
                       any(_upper_trim(c) == "CLEARSYNC" for c in commands))


def server_name(path: str, content: bool = False) -> str:
    """The server's name for a relative POSIX path: "docs/a.txt" -> "..\\docs\\a.txt"
    (content=True: ".@\\docs\\a.txt", the server's content area)."""
    parts = path.split("/")
    if posixpath.isabs(path) or any(p in ("", ".", "..") for p in parts):
        raise ValueError(f"not a plain relative path: {path!r}")
    return (".@\\" if content else "..\\") + "\\".join(parts)


def one_entry_section(credentials: str, local_path: str, server: str, upload: bool) -> str:
    """A script whose only work is one file entry."""
    if server.startswith("..\\"):
        kind, prefix = "FILES", "..\\"
    elif server.startswith(".@\\"):
        kind, prefix = "CONTENT", ".@\\"
    else:
        raise ValueError(f'a server name begins with "..\\" or ".@\\" (see qvn.server_name): {server!r}')
    # What the script language would change or cut in an entry.
    unsafe = ["\r", "\n", "\0", "[ ", " ]", " {", "} ", "," + prefix, " " + prefix, prefix + " "]
    for name, value in (("local path", local_path), ("server name", server[len(prefix):])):
        bad = [u for u in unsafe if u in value]
        if not value or _trim(value) != value or bad:
            raise ValueError(f"the {name} {value!r} cannot be written in a file section"
                             + (f" (it holds {bad[0]!r})" if bad else ""))
    direction = "UPLOAD" if upload else "DOWNLOAD"
    # "{" first: a path that begins with "/" would otherwise be a comment line.
    return f"{credentials}\r\n{kind} [{direction}]\r\n{{{local_path},{server}}}"
