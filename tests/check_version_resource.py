"""qvn.dll's version resource must carry the project version: the file and
product version of its fixed record and of its string table, MAJOR.MINOR.PATCH.0.

    check_version_resource.py VERSION DLL      e.g. 1.0.0 build/windows/bin/qvn.dll
"""
import re
import struct
import sys

version, dll = sys.argv[1], sys.argv[2]
expected = tuple(int(n) for n in version.split(".")) + (0,)
data = open(dll, "rb").read()
problems = []

# VS_FIXEDFILEINFO follows the resource's UTF-16 key "VS_VERSION_INFO" and its
# padding: its signature, the structure's version, then the file and the product
# version, each as two 32-bit words (major<<16|minor, patch<<16|build).
fixed = re.search(re.escape("VS_VERSION_INFO".encode("utf-16-le")) + rb"(?:\0\0)+"
                  + re.escape(struct.pack("<I", 0xFEEF04BD)), data)
if not fixed:
    problems.append("no VS_FIXEDFILEINFO")
else:
    words = struct.unpack_from("<4I", data, fixed.end() + 4)
    for what, (high, low) in (("FILEVERSION", words[0:2]), ("PRODUCTVERSION", words[2:4])):
        found = (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)
        if found != expected:
            problems.append(f"{what} is {found}")

# The string table: each value's UTF-16 key, NUL padding, then the value.
wanted = ".".join(map(str, expected))
for key in ("FileVersion", "ProductVersion"):
    pattern = re.escape(key.encode("utf-16-le")) + rb"(?:\0\0)+((?:[0-9.]\0)+)\0\0"
    match = re.search(pattern, data)
    found = match.group(1).decode("utf-16-le") if match else None
    if found != wanted:
        problems.append(f'"{key}" is {found!r}')

for problem in problems:
    print(f"{dll}: {problem}, not {wanted}")
if not problems:
    print(f"{dll} carries {wanted}")
sys.exit(1 if problems else 0)
