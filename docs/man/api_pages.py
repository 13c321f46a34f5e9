#!/usr/bin/env python3
"""Makes a man page per export, NAME.3, from the export's section of docs/api.md.

    api_pages.py [--gzip] --version V --date D API_MD OUT_DIR NAME...

docs/api.md stays the one text of the reference: each page is its "## NAME"
section (the declaration as the synopsis, the rest as the description), with
the Markdown that section uses turned into man(7): paragraphs, "- " and "1. "
lists (nested by two spaces), code blocks, `code`, **bold**, *emphasis* and
links (their text). --gzip writes NAME.3.gz instead, without a name or time in
its header, so that the same section gives the same bytes. Fails for a name
without a section or a declaration. Python 3 standard library only.
"""

import argparse
import gzip
import re
import sys
from pathlib import Path


def escape(text: str) -> str:
    """Text as roff reads it literally: backslashes escaped, other than ASCII as \\[uXXXX]."""
    out = text.replace("\\", "\\e")
    return "".join(c if ord(c) < 128 else f"\\[u{ord(c):04X}]" for c in out)


def line(text: str) -> str:
    """One input line; a leading "." or "'" would be read as a request."""
    return "\\&" + text if text[:1] in (".", "'") else text


def inline(text: str) -> str:
    """`code` and **bold** in bold, *emphasis* in italics, [text](link) as its text."""
    out = []
    for code, rest in re.findall(r"`([^`]*)`|([^`]+)", text):
        if code:
            out.append("\\fB" + escape(code) + "\\fR")
            continue
        rest = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", rest)
        rest = escape(rest)
        rest = re.sub(r"\*\*(.+?)\*\*", r"\\fB\1\\fR", rest)
        rest = re.sub(r"(?<![\w*])\*(\S(?:.*?\S)?)\*(?![\w*])", r"\\fI\1\\fR", rest)
        out.append(rest)
    return "".join(out)


def blocks(lines: list[str]) -> list[tuple[str, int, str]]:
    """(kind, depth, text): paragraphs, list items and code blocks. A list item's
    depth is its nesting; a paragraph indented under an item ("cont") has that
    item's depth; code keeps its lines."""
    found: list[tuple[str, int, str]] = []
    current: list = []
    fence: list[str] = []
    in_fence = new_block = False
    for raw in lines:
        if raw.lstrip().startswith("```"):
            if in_fence:
                found.append(("code", 0, "\n".join(fence)))
                fence = []
            elif current:
                found.append(tuple(current))
                current = []
            in_fence = not in_fence
            continue
        if in_fence:
            fence.append(raw)
            continue
        if not raw.strip():
            new_block = True
            continue
        indent = len(raw) - len(raw.lstrip(" "))
        item = re.match(r"( *)(- |(\d+)\. )(.*)", raw)
        if item:
            if current:
                found.append(tuple(current))
            kind = "bullet" if item.group(2) == "- " else "number " + item.group(3)
            current = [kind, len(item.group(1)) // 2, item.group(4).strip()]
        elif new_block or not current:
            if current:
                found.append(tuple(current))
            current = ["cont", indent // 2 - 1, raw.strip()] if indent else ["para", 0, raw.strip()]
        else:
            current[2] += " " + raw.strip()
        new_block = False
    if current:
        found.append(tuple(current))
    return found


def page(name: str, section: list[str], version: str, date: str) -> str:
    parts = blocks(section)
    if not parts or parts[0][0] != "code" or name + "(" not in parts[0][2]:
        raise SystemExit(f"api_pages.py: the section of {name} does not begin with its declaration")
    declaration, body = parts[0][2], parts[1:]
    summary = re.split(r"(?<=\.)\s|:\s", body[0][2])[0] if body else name
    summary = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", summary).replace("`", "").replace("*", "")
    summary = summary.rstrip(".")
    out = [
        f'.TH {name.upper()} 3 {date} "qvn {version}" "qvn Library Functions"',
        ".nh",
        ".ad l",
        ".SH NAME",
        f"{name} \\- {escape(summary[:1].lower() + summary[1:])}",
        ".SH LIBRARY",
        "qvn (\\fBlibqvn\\fR, \\fB\\-lqvn\\fR)",
        ".SH SYNOPSIS",
        ".nf",
        ".B #include <qvn.h>",
        ".PP",
        *(line(escape(code)) for code in declaration.splitlines()),
        ".fi",
        ".SH DESCRIPTION",
    ]
    depth = 0  # .RS levels open
    for kind, level, text in body:
        wanted = 0 if kind in ("para", "code") else max(level, 0)
        for _ in range(depth - wanted):
            out.append(".RE")
        for _ in range(wanted - depth):
            out.append(".RS")
        depth = wanted
        if kind == "code":
            code = [line(escape(c)) for c in text.splitlines()]
            out += [".PP", ".RS 4", ".nf", *code, ".fi", ".RE"]
            continue
        if kind == "para":
            if out[-1] != ".SH DESCRIPTION":  # a section begins a paragraph of its own
                out.append(".PP")
        elif kind == "cont":
            out.append(".IP")
        elif kind == "bullet":
            out.append(".IP \\(bu 2")
        else:
            out.append(f".IP {kind.split()[1]}. 4")
        out.append(line(inline(text)))
    out += [".RE"] * depth
    out += [".SH SEE ALSO", ".BR qvn (3),",
            "the reference of the C interface, api.md (share/doc/qvn)"]
    return "\n".join(out) + "\n"


def sections(api_md: str) -> dict[str, list[str]]:
    found: dict[str, list[str]] = {}
    current: list[str] = []
    for text in api_md.splitlines():
        heading = re.match(r"## (\S+)$", text)
        if heading:
            current = found.setdefault(heading.group(1), [])
        elif text.startswith("## ") or text.startswith("# "):
            current = []
        else:
            current.append(text)
    return found


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--date", required=True)
    parser.add_argument("--gzip", action="store_true")
    parser.add_argument("api_md", type=Path)
    parser.add_argument("out_dir", type=Path)
    parser.add_argument("names", nargs="+")
    args = parser.parse_args()
    found = sections(args.api_md.read_text(encoding="utf-8"))
    args.out_dir.mkdir(parents=True, exist_ok=True)
    for name in args.names:
        if name not in found:
            print(f"api_pages.py: {args.api_md} has no section '## {name}'", file=sys.stderr)
            return 1
        text = page(name, found[name], args.version, args.date).encode("utf-8")
        if args.gzip:
            with open(args.out_dir / f"{name}.3.gz", "wb") as raw, \
                    gzip.GzipFile(filename="", mode="wb", fileobj=raw, mtime=0) as packed:
                packed.write(text)
        else:
            (args.out_dir / f"{name}.3").write_bytes(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
