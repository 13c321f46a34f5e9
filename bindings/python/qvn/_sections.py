"""Writing file sections: the server's names for files, and the one-entry
sections that upload and download run. (The binding never reads a script to
learn whether to wait: the library sends one done message per Script call.)
"""

from __future__ import annotations

import posixpath

_BLANKS = "".join(map(chr, range(0x21)))  # every unit up to U+0020 is a blank


def _trim(s: str) -> str:
    return s.strip(_BLANKS)


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
